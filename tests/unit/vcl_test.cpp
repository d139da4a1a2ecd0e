// Component layer rules the program relies on: ownership, the timer's re-arming, and the
// default handling of errors raised in event handlers.
#include <gtest/gtest.h>

#include <memory>

#include "app/QuintorbMain.h"
#include "platform/headless/headless.h"
#include "vcl/ExtCtrls.h"
#include "vcl/Forms.h"

namespace {

class VclTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::SetCurrent(&hl);
    vcl::InitApplication();
  }
  void TearDown() override {
    ResetProcessState();
    plat::SetCurrent(nullptr);
  }
  plat::HeadlessPlatform hl;
};

class Logged : public vcl::TComponent {
 public:
  Logged(vcl::TComponent* owner, std::string name, std::vector<std::string>& log)
      : vcl::TComponent(owner), log_(log) {
    SetName(name);
  }
  ~Logged() override { log_.push_back(Name()); }

 private:
  std::vector<std::string>& log_;
};

TEST_F(VclTest, OwnerDestroysWhatItOwnsLastCreatedFirst) {
  std::vector<std::string> log;
  auto* root = new Logged(nullptr, "root", log);
  new Logged(root, "a", log);
  auto* b = new Logged(root, "b", log);
  new Logged(b, "b1", log);
  new Logged(root, "c", log);
  delete root;
  // Each destructor's own work runs first, then its components go, newest first.
  EXPECT_EQ(log, (std::vector<std::string>{"root", "c", "b", "b1", "a"}));
}

TEST_F(VclTest, ComponentDestroyedBeforeItsOwnerLeavesTheOwnersList) {
  std::vector<std::string> log;
  Logged root(nullptr, "root", log);
  auto* a = new Logged(&root, "a", log);
  new Logged(&root, "b", log);
  delete a;
  ASSERT_EQ(root.Components().size(), 1u);
  EXPECT_EQ(root.Components()[0]->Name(), "b");
}

TEST_F(VclTest, TimerArmsOnlyWithIntervalEnabledAndHandler) {
  auto timer = std::make_unique<vcl::TTimer>(nullptr);
  plat::Handle w = 0;
  for (plat::Handle h : hl.Windows())
    if (hl.Window(h).spec.className == "TPUtilWindow") w = h;
  ASSERT_NE(w, 0u);
  int ticks = 0;
  timer->SetInterval(100);
  EXPECT_FALSE(hl.TimerArmed(w, 1));  // no handler yet
  timer->SetOnTimer([&](vcl::TComponent*) { ++ticks; });
  EXPECT_EQ(hl.TimerPeriod(w, 1), 100u);
  hl.Advance(350);
  vcl::Application->ProcessMessages();
  EXPECT_EQ(ticks, 1);  // one pending tick at most; missed periods are not made up
  timer->SetEnabled(false);
  EXPECT_FALSE(hl.TimerArmed(w, 1));
  timer->SetEnabled(true);
  timer->SetInterval(0);
  EXPECT_FALSE(hl.TimerArmed(w, 1));
  timer->SetInterval(50);
  EXPECT_EQ(hl.TimerPeriod(w, 1), 50u);
  hl.RefuseTimers(true);
  try {
    timer->SetInterval(60);
    ADD_FAILURE() << "no error";
  } catch (const vcl::EOutOfResources& e) {
    EXPECT_EQ(e.Message(), "ﾀｲﾏｰを取得できません");
  }
  timer.reset();
  EXPECT_FALSE(hl.Window(w).alive);
}

// An error in a handler is shown with a full stop appended and the run goes on; EAbort is
// silent; a failed allocation reads as the out-of-memory message.
TEST_F(VclTest, HandlerErrorsGoToTheDefaultDisplay) {
  struct Case {
    std::function<void()> raise;
    const char* shown;  // nullptr: nothing shown
  } cases[] = {
      {[] { throw vcl::EInvalidOperation("タスクトレイに登録できません"); },
       "タスクトレイに登録できません."},
      {[] { throw vcl::Exception("ends with a stop."); }, "ends with a stop.."},
      {[] { throw vcl::EAbort(); }, nullptr},
      {[] { throw std::bad_alloc(); }, "メモリが不足しています."},
  };
  vcl::TTimer timer(nullptr);
  timer.SetInterval(100);
  for (const Case& c : cases) {
    hl.boxes.clear();
    timer.SetOnTimer([&](vcl::TComponent*) { c.raise(); });
    hl.Advance(100);
    vcl::Application->ProcessMessages();
    if (!c.shown) {
      EXPECT_TRUE(hl.boxes.empty());
      continue;
    }
    ASSERT_EQ(hl.boxes.size(), 1u);
    EXPECT_EQ(hl.boxes[0].text, c.shown);
    EXPECT_EQ(hl.boxes[0].caption, "Quintorb");
    EXPECT_EQ(hl.boxes[0].icon, plat::BoxIcon::Stop);
    EXPECT_EQ(hl.boxes[0].owner, vcl::Application->Handle());
  }
  // The timer kept running through all of it.
  hl.boxes.clear();
  hl.Advance(100);
  vcl::Application->ProcessMessages();
  EXPECT_EQ(hl.boxes.size(), 1u);
}

}  // namespace
