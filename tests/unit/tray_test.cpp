// The tray icon component, its id registry and notification window, and the tray indication of
// the program.
#include <gtest/gtest.h>

#include <memory>

#include "TaskTray.h"
#include "program_fixture.h"
#include "resources/Resources.h"

namespace {

using plat::EventKind;

std::uint32_t Get32(const std::array<std::uint8_t, 88>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::string Tip(const std::array<std::uint8_t, 88>& b) {
  return std::string(reinterpret_cast<const char*>(&b[24]));
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const vcl::EInvalidOperation& e) {
    return e.Message();
  }
  return "";
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::SetCurrent(&hl);
    ResetProcessState();
    vcl::InitApplication();
    owner = new vcl::TForm(vcl::Application);
    image.LoadFromBytes(std::string(res::Find("TrayIcon1.ico")));
  }
  void TearDown() override {
    ResetProcessState();
    plat::SetCurrent(nullptr);
  }
  TTaskTray* NewTray(bool registered = false) {
    auto* t = new TTaskTray(owner);
    t->SetIcon(&image);
    if (registered) t->SetRegistered(true);
    return t;
  }
  std::vector<std::string> Ids() {
    std::vector<std::string> ids;
    for (const auto& e : TrayIdList) ids.push_back(e.first);
    return ids;
  }
  std::vector<std::uint32_t> Ops() {
    std::vector<std::uint32_t> ops;
    for (const auto& c : hl.shellCalls) ops.push_back(c.op);
    return ops;
  }
  plat::HeadlessPlatform hl;
  vcl::TForm* owner = nullptr;
  vcl::TIcon image;
};

using IdList = std::vector<std::string>;
using OpList = std::vector<std::uint32_t>;

TEST_F(TrayTest, IdsComeFromTheLastEntryAndSkipIdsInUse) {
  TTaskTray* t1 = NewTray();
  TTaskTray* t2 = NewTray();
  EXPECT_EQ(Ids(), (IdList{"1", "2"}));
  delete t1;
  EXPECT_EQ(Ids(), (IdList{"2"}));
  TTaskTray* t3 = NewTray();
  EXPECT_EQ(t3->IconID(), 3);
  delete t2;
  delete t3;
  EXPECT_EQ(NewTray()->IconID(), 1);  // all gone: 1 again
  TTaskTray* b = NewTray();
  b->SetIconID(7);
  EXPECT_EQ(Ids(), (IdList{"1", "7"}));
  EXPECT_EQ(NewTray()->IconID(), 8);
  // With entries 1, 7, 8: make the order end in a number below one in use.
  b->SetIconID(9);  // entries 1, 9, 8
  EXPECT_EQ(NewTray()->IconID(), 10);  // 8 + 1 is 9, in use: the next free one
  EXPECT_TRUE(hl.shellCalls.empty());
}

TEST_F(TrayTest, IconIdWritesThatAreRefused) {
  TTaskTray* a = NewTray(true);
  NewTray();
  hl.shellCalls.clear();
  EXPECT_EQ(ErrorOf([&] { a->SetIconID(0); }), "0以下は指定できません");
  EXPECT_EQ(ErrorOf([&] { a->SetIconID(-5); }), "0以下は指定できません");
  EXPECT_EQ(ErrorOf([&] { a->SetIconID(2); }), "同じアイコン識別子が有ります");
  a->SetIconID(1);  // the current id: nothing
  EXPECT_EQ(a->IconID(), 1);
  EXPECT_TRUE(a->Registered());
  EXPECT_EQ(Ids(), (IdList{"1", "2"}));
  EXPECT_TRUE(hl.shellCalls.empty());
}

TEST_F(TrayTest, NewIdOnAShownIconDeletesTheOldOneAndAddsTheNew) {
  TTaskTray* a = NewTray(true);
  TTaskTray* b = NewTray();
  hl.shellCalls.clear();
  a->SetIconID(5);
  ASSERT_EQ(Ops(), (OpList{plat::kNimDelete, plat::kNimAdd}));
  EXPECT_EQ(Get32(hl.shellCalls[0].block, 8), 1u);
  EXPECT_EQ(Get32(hl.shellCalls[1].block, 8), 5u);
  EXPECT_TRUE(a->Registered());
  hl.shellCalls.clear();
  b->SetIconID(3);  // not registered: the entry keeps its place, no shell call
  EXPECT_EQ(Ids(), (IdList{"5", "3"}));
  EXPECT_TRUE(hl.shellCalls.empty());
}

TEST_F(TrayTest, RegisteredAddsAndDeletesOnceAndFillsTheBlockAgain) {
  TTaskTray* t = NewTray();
  t->SetRegistered(true);
  t->SetRegistered(true);
  ASSERT_EQ(Ops(), (OpList{plat::kNimAdd}));
  auto check = [&](const plat::ShellCall& c) {
    EXPECT_EQ(Get32(c.block, 0), 88u);
    EXPECT_EQ(Get32(c.block, 4), static_cast<std::uint32_t>(SharedNotifyWindow->Handle()));
    EXPECT_EQ(Get32(c.block, 8), 1u);
    EXPECT_EQ(Get32(c.block, 12), 3u);
    EXPECT_EQ(Get32(c.block, 16), 1126u);
    EXPECT_NE(Get32(c.block, 20), 0u);
    EXPECT_EQ(Tip(c.block), "");
  };
  check(hl.shellCalls[0]);
  // The notification window: a zero-size child of the owner.
  const plat::WindowState& nw = hl.Window(SharedNotifyWindow->Handle());
  EXPECT_EQ(nw.spec.parent, owner->Handle());
  EXPECT_EQ(nw.bounds.width, 0);
  t->SetRegistered(false);
  t->SetRegistered(false);
  hl.shellCalls.clear();
  t->SetRegistered(true);
  ASSERT_EQ(Ops(), (OpList{plat::kNimAdd}));
  check(hl.shellCalls[0]);
}

TEST_F(TrayTest, RegisteredWithoutAnImageIsRefused) {
  auto* t = new TTaskTray(owner);
  EXPECT_EQ(ErrorOf([&] { t->SetRegistered(true); }), "アイコンが指定されていません");
  EXPECT_FALSE(t->Registered());
  EXPECT_TRUE(hl.shellCalls.empty());
}

TEST_F(TrayTest, TipStringModifiesAndIsCutSafely) {
  TTaskTray* off = NewTray();
  off->SetTipString("abc");
  EXPECT_TRUE(hl.shellCalls.empty());
  TTaskTray* t = NewTray(true);
  hl.shellCalls.clear();
  t->SetTipString("abc");
  t->SetTipString("abc");
  ASSERT_EQ(Ops(), (OpList{plat::kNimModify}));
  EXPECT_EQ(Get32(hl.shellCalls[0].block, 12), 7u);
  EXPECT_EQ(Tip(hl.shellCalls[0].block), "abc");
  t->SetTipString("");
  EXPECT_EQ(Get32(hl.shellCalls.back().block, 12), 3u);

  const std::string kanji = "\x83\x7e";  // one double-byte character
  struct Case {
    std::string tip, sent;
  } cases[] = {
      {std::string(63, 'a'), std::string(63, 'a')},
      {std::string(64, 'b'), std::string(63, 'b')},
      {std::string(300, 'c'), std::string(63, 'c')},
      {std::string(62, 'd') + kanji, std::string(62, 'd')},  // never half a character
      {std::string(61, 'e') + kanji + "f", std::string(61, 'e') + kanji},
  };
  for (const Case& c : cases) {
    t->SetTipString(c.tip);
    const auto& block = hl.shellCalls.back().block;
    EXPECT_EQ(Tip(block), c.sent) << c.tip.size();
    EXPECT_EQ(block[87], 0);
  }
}

TEST_F(TrayTest, IconWrites) {
  TTaskTray* t = NewTray(true);
  vcl::TIcon other;
  other.LoadFromBytes(std::string(res::Find("TrayIcon2.ico")));
  hl.shellCalls.clear();
  t->SetIcon(&other);
  EXPECT_EQ(Ops(), (OpList{plat::kNimModify, plat::kNimModify}));
  hl.shellCalls.clear();
  t->SetIcon(nullptr);
  EXPECT_EQ(Ops(), (OpList{plat::kNimModify, plat::kNimModify, plat::kNimDelete}));
  EXPECT_FALSE(t->Registered());

  TTaskTray* u = NewTray(true);
  hl.shellFilter = [](std::uint32_t op, const auto&) { return op != plat::kNimModify; };
  EXPECT_EQ(ErrorOf([&] { u->SetIcon(nullptr); }), "タスクトレイに登録できません");
}

TEST_F(TrayTest, RefusedAddLeavesItRegisteredAndTheNextUpdateAddsAgain) {
  hl.shellFilter = [](std::uint32_t, const auto&) { return false; };
  TTaskTray* t = NewTray();
  EXPECT_EQ(ErrorOf([&] { t->SetRegistered(true); }), "タスクトレイに登録できません");
  EXPECT_TRUE(t->Registered());
  EXPECT_FALSE(t->InTray());
  hl.shellFilter = nullptr;
  hl.shellCalls.clear();
  t->SetTipString("tip");
  EXPECT_EQ(Ops(), (OpList{plat::kNimAdd}));
  EXPECT_TRUE(t->InTray());
}

TEST_F(TrayTest, DesignStateCallsNothing) {
  auto* t = new TTaskTray(owner);
  t->SetDesigning(true);
  t->SetIcon(&image);
  t->SetRegistered(true);
  t->SetTipString("x");
  t->BeginLoading();
  t->EndLoading();
  EXPECT_TRUE(t->Registered());
  EXPECT_TRUE(hl.shellCalls.empty());
}

TEST_F(TrayTest, DestroyingAShownIconDeletesItAndItsEntry) {
  TTaskTray* t = NewTray(true);
  hl.shellCalls.clear();
  delete t;
  EXPECT_EQ(Ops(), (OpList{plat::kNimDelete}));
  EXPECT_TRUE(TrayIdList.empty());
  EXPECT_TRUE(hl.TrayIcons().empty());
}

// --- events and the notification window --------------------------------------------------------

class TrayEventsTest : public TrayTest {
 protected:
  void SetUp() override {
    TrayTest::SetUp();
    t = NewTray(true);
    t2 = NewTray(true);
    auto log = [this](const char* who) {
      return [this, who](vcl::TComponent* s, TMouseButton b, TShiftState sh, int x, int y) {
        events.push_back(std::string(who) + (s == t ? "1" : "2") + " b" + std::to_string(b) + " s" +
                         std::to_string(sh) + " " + std::to_string(x) + "," + std::to_string(y));
      };
    };
    for (TTaskTray* x : {t, t2}) {
      x->OnMouseDown = log("down");
      x->OnMouseUp = log("up");
      x->OnDblClick = [this](vcl::TComponent* s, TMouseButton b) {
        events.push_back(std::string("dbl") + (s == t ? "1" : "2") + " b" + std::to_string(b));
      };
      x->OnMouseMove = [this](vcl::TComponent* s, TShiftState sh, int x, int y) {
        events.push_back(std::string("move") + (s == t ? "1" : "2") + " s" + std::to_string(sh) +
                         " " + std::to_string(x) + "," + std::to_string(y));
      };
    }
    hl.SetCursorPos({300, 700});
  }
  std::intptr_t Callback(std::uintptr_t id, std::intptr_t mouse) {
    return hl.Send(SharedNotifyWindow->Handle(), {EventKind::User, 1126, id, mouse});
  }
  TTaskTray* t = nullptr;
  TTaskTray* t2 = nullptr;
  std::vector<std::string> events;
};

TEST_F(TrayEventsTest, DispatchTable) {
  struct Row {
    std::intptr_t lParam;
    const char* event;  // nullptr: none
  } rows[] = {
      {512, "move1 s0 300,700"},   {513, "down1 b0 s8 300,700"}, {514, "up1 b0 s8 300,700"},
      {515, "dbl1 b0"},            {516, "down1 b1 s16 300,700"}, {517, "up1 b1 s16 300,700"},
      {518, "dbl1 b1"},            {519, "down1 b2 s32 300,700"}, {520, "up1 b2 s32 300,700"},
      {521, nullptr},              {0, nullptr},                  {511, nullptr},
      {522, nullptr},
  };
  for (const Row& r : rows) {
    events.clear();
    Callback(1, r.lParam);
    if (r.event)
      EXPECT_EQ(events, (std::vector<std::string>{r.event})) << r.lParam;
    else
      EXPECT_TRUE(events.empty()) << r.lParam;
  }
  events.clear();
  Callback(2, 513);
  Callback(99, 513);  // no such icon
  EXPECT_EQ(events, (std::vector<std::string>{"down2 b0 s8 300,700"}));
}

TEST_F(TrayEventsTest, DoubleClickSequenceAndTheCursorAtEachCallback) {
  int step = 0;
  for (std::intptr_t m : {513, 514, 515, 514}) {
    hl.SetCursorPos({10 * ++step, 5});
    Callback(1, m);
  }
  EXPECT_EQ(events, (std::vector<std::string>{"down1 b0 s8 10,5", "up1 b0 s8 20,5", "dbl1 b0",
                                              "up1 b0 s8 40,5"}));
}

TEST_F(TrayEventsTest, CallbacksDuringADispatchAreDroppedAndAnErrorClearsTheFlag) {
  t->OnMouseDown = [this](vcl::TComponent*, TMouseButton, TShiftState, int, int) {
    events.push_back("outer");
    Callback(2, 513);  // arrives inside the first dispatch
    Callback(1, 514);
    throw vcl::EInvalidOperation("タスクトレイに登録できません");
  };
  Callback(1, 513);
  EXPECT_EQ(events, (std::vector<std::string>{"outer"}));
  EXPECT_FALSE(DispatchBusy);
  ASSERT_EQ(hl.boxes.size(), 1u);
  EXPECT_EQ(hl.boxes[0].text, "タスクトレイに登録できません.");
  events.clear();
  Callback(2, 514);
  EXPECT_EQ(events, (std::vector<std::string>{"up2 b0 s8 300,700"}));
}

TEST_F(TrayEventsTest, PressBringsTheOwnerFormForwardAndRunsWaitingMessagesFirst) {
  bool tickSeen = false;
  vcl::TTimer timer(nullptr);
  timer.SetInterval(100);
  timer.SetOnTimer([&](vcl::TComponent*) { tickSeen = true; });
  hl.Advance(100);  // a tick waits in the queue
  t->OnMouseDown = [&](vcl::TComponent*, TMouseButton, TShiftState, int, int) {
    EXPECT_TRUE(tickSeen);
    EXPECT_EQ(hl.foregroundLog, (std::vector<plat::Handle>{owner->Handle()}));
  };
  Callback(1, 513);
  EXPECT_TRUE(tickSeen);
  // Also without a handler.
  hl.foregroundLog.clear();
  t2->OnMouseDown = nullptr;
  Callback(2, 516);
  EXPECT_EQ(hl.foregroundLog.size(), 1u);
  // An owner that is not a form: neither.
  hl.foregroundLog.clear();
  vcl::TComponent plain(nullptr);
  TTaskTray loose(&plain);
  loose.FireMouseDown(mbLeft, ssLeft, 0, 0);
  EXPECT_TRUE(hl.foregroundLog.empty());
}

TEST_F(TrayEventsTest, MenusShowAfterTheHandlerForTheirButtonOnly) {
  auto* left = new vcl::TPopupMenu(owner);
  auto* right = new vcl::TPopupMenu(owner);
  left->OnPopup = [this](int x, int y) { events.push_back("L " + std::to_string(x) + "," + std::to_string(y)); };
  right->OnPopup = [this](int, int) { events.push_back("R"); };
  t->SetPopupMenuL(left);
  t->SetPopupMenuR(right);
  Callback(1, 513);
  Callback(1, 516);
  Callback(1, 519);
  EXPECT_EQ(events, (std::vector<std::string>{"down1 b0 s8 300,700", "L 300,700",
                                              "down1 b1 s16 300,700", "R",
                                              "down1 b2 s32 300,700"}));
  t->SetPopupMenuR(left);
  delete left;
  EXPECT_EQ(t->PopupMenuL(), nullptr);
  EXPECT_EQ(t->PopupMenuR(), nullptr);
}

// --- the program's tray indication -------------------------------------------------------------

// The stored 16x16 icons, decoded pixel by pixel: F frame, K black, '.' transparent.
std::vector<std::string> Decode(std::string_view ico, std::uint8_t frameIndex) {
  EXPECT_EQ(ico.size(), 318u);
  auto u8 = [&](std::size_t i) { return static_cast<std::uint8_t>(ico[i]); };
  std::size_t image = u8(18) | u8(19) << 8;
  std::size_t colours = image + 40 + 64, mask = colours + 128;
  std::vector<std::string> rows(16);
  for (int y = 0; y < 16; ++y) {
    int stored = 15 - y;  // bottom-up
    for (int x = 0; x < 16; ++x) {
      std::uint8_t idx = u8(colours + stored * 8 + x / 2);
      idx = x % 2 ? idx & 15 : idx >> 4;
      bool transparent = u8(mask + stored * 4 + x / 8) & (0x80 >> (x % 8));
      rows[y] += transparent ? (idx == 0 ? '.' : '?') : idx == frameIndex ? 'F' : idx == 0 ? 'K' : '?';
    }
  }
  return rows;
}

TEST(TrayIconsTest, StoredIconsArePixelForPixelTheGrids) {
  const std::vector<std::string> one = {
      "FFFFFFFFFFFFFFFF", "F..............F", "F..............F", "F.......KK.....F",
      "F....KKKFK.....F", "F....KFFFK.....F", "F....KKKFK.....F", "F......KFK.....F",
      "F......KFK.....F", "F......KFK.....F", "F......KFK.....F", "F......KFK.....F",
      "F......KFK.....F", "F......KKK.....F", "F..............F", "FFFFFFFFFFFFFFFF"};
  const std::vector<std::string> two = {
      "FFFFFFFFFFFFFFFF", "F..............F", "F....KKKKK.....F", "F...KKFFFKK....F",
      "F...KFKKKFK....F", "F...KFK.KFK....F", "F...KKK.KFK....F", "F.....KKFKK....F",
      "F....KKFKK.....F", "F...KKFKK......F", "F...KFKKKKK....F", "F...KFFFFFK....F",
      "F...KKKKKKK....F", "F..............F", "F..............F", "FFFFFFFFFFFFFFFF"};
  std::string_view ico1 = res::Find("TrayIcon1.ico"), ico2 = res::Find("TrayIcon2.ico");
  EXPECT_EQ(Decode(ico1, 12), one);
  EXPECT_EQ(Decode(ico2, 13), two);
  // Palette entries 12 and 13: pure blue and magenta (stored B, G, R, 0).
  std::size_t palette = 22 + 40;
  EXPECT_EQ(ico1.substr(palette + 12 * 4, 4), std::string("\xff\x00\x00\x00", 4));
  EXPECT_EQ(ico1.substr(palette + 13 * 4, 4), std::string("\xff\x00\xff\x00", 4));
}

class TrayProgramTest : public ProgramTest {
 protected:
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Calls() {  // (op, uID)
    std::vector<std::pair<std::uint32_t, std::uint32_t>> v;
    for (const auto& c : hl.shellCalls) v.push_back({c.op, Get32(c.block, 8)});
    return v;
  }
  using Calls_ = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
  void Callback(std::uintptr_t id, std::intptr_t mouse) {
    hl.Send(SharedNotifyWindow->Handle(), {EventKind::User, 1126, id, mouse});
  }
};

TEST_F(TrayProgramTest, StartAddsSlotAThenModifiesItAndSwitchesMoveTheIcon) {
  Run({[&] {
    EXPECT_EQ(Calls(), (Calls_{{plat::kNimAdd, 1}, {plat::kNimModify, 1}}));
    EXPECT_TRUE(Form1->TaskTray1->Registered());
    EXPECT_FALSE(Form1->TaskTray2->Registered());
    hl.shellCalls.clear();
    ASSERT_TRUE(Form1->SwitchSlot());
    EXPECT_EQ(Calls(), (Calls_{{plat::kNimDelete, 1}, {plat::kNimAdd, 2}}));
    hl.shellCalls.clear();
    ASSERT_TRUE(Form1->SwitchSlot());
    EXPECT_EQ(Calls(), (Calls_{{plat::kNimAdd, 1}, {plat::kNimDelete, 2}}));
    ASSERT_EQ(hl.TrayIcons().size(), 1u);
    EXPECT_EQ(hl.TrayIcons()[0].id, 1u);
  }});
  EXPECT_TRUE(hl.TrayIcons().empty());  // the icon leaves with the program
}

TEST_F(TrayProgramTest, RightPressShowsTheMainWindowAndDoubleClickTheDialog) {
  Run({[&] {
    for (std::uintptr_t id : {1u, 2u}) {
      Form1->Hide();
      Form2->Hide();
      Callback(id, 513);  // left press: nothing
      Callback(id, 519);  // middle press: nothing
      EXPECT_FALSE(hl.IsVisible(Form1->Handle()));
      Callback(id, 516);
      EXPECT_TRUE(hl.IsVisible(Form1->Handle()));
      EXPECT_EQ(hl.TopWindow(), Form1->Handle());
      for (std::intptr_t m : {513, 514, 515, 514}) Callback(id, m);
      EXPECT_TRUE(hl.IsVisible(Form2->Handle()));
      EXPECT_EQ(hl.ActiveWindow(), Form2->Handle());
    }
    EXPECT_EQ(Form1->Edit1->Text(), "A");
  }});
}

TEST_F(TrayProgramTest, RefusedIconAtStartShowsTheErrorAndEndsWithZero) {
  hl.shellFilter = [](std::uint32_t op, const auto&) { return op != plat::kNimAdd; };
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(hl.boxes.size(), 1u);
  EXPECT_EQ(hl.boxes[0].text, "タスクトレイに登録できません.");
  EXPECT_EQ(waits, 0);
  EXPECT_EQ(Form1, nullptr);
  EXPECT_TRUE(hl.TrayIcons().empty());
  for (plat::Handle h : hl.Windows()) EXPECT_FALSE(hl.Window(h).alive && hl.Window(h).visible);
}

TEST_F(TrayProgramTest, SwitchWithARefusedAddStillNamesOneSlotEverywhere) {
  Run({[&] {
    hl.SetClipboardText("a");
    Pass(100);
    hl.shellFilter = [](std::uint32_t op, const auto&) { return op != plat::kNimAdd; };
    hl.SetKeyDown(plat::kVkControl, true);
    hl.SetKeyDown(plat::kVkShift, true);
    Pass(100);
    ASSERT_EQ(hl.boxes.size(), 1u);
    EXPECT_EQ(hl.boxes[0].text, "タスクトレイに登録できません.");
    EXPECT_EQ(Form1->Edit1->Text(), "B");
    EXPECT_EQ(hl.ClipboardText(), "");
    EXPECT_FALSE(Form1->TaskTray1->Registered());
    EXPECT_TRUE(Form1->TaskTray2->Registered());
    EXPECT_EQ(hl.Window(Form1->Memo2->Handle()).background, vcl::clWindow);
    // The chord is still held: no second switch before ten ticks.
    Pass(100);
    EXPECT_EQ(Form1->Edit1->Text(), "B");
    hl.SetKeyDown(plat::kVkControl, false);
    EXPECT_EQ(Form1->Memo1->Text(), "a");
    // The shell takes icons again; the next update adds the refused one.
    hl.shellFilter = nullptr;
    hl.shellCalls.clear();
    hl.Send(Form1->Handle(), {EventKind::TaskbarCreated});
    EXPECT_EQ(Calls(), (Calls_{{plat::kNimAdd, 2}}));
  }});
}

TEST_F(TrayProgramTest, RebuiltNotificationAreaGetsTheIconBack) {
  Run({[&] {
    hl.shellCalls.clear();
    hl.Send(Form1->Handle(), {EventKind::TaskbarCreated});
    ASSERT_EQ(Calls(), (Calls_{{plat::kNimAdd, 1}}));
    EXPECT_EQ(Get32(hl.shellCalls[0].block, 0), 88u);
    EXPECT_EQ(Get32(hl.shellCalls[0].block, 16), 1126u);
  }});
}

}  // namespace
