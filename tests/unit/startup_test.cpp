// Start-up, the instance guard, the error box at start and the ways a run ends.
#include <gtest/gtest.h>

#include "program_fixture.h"

namespace {

using plat::EventKind;

bool AnyVisibleTopLevel(const plat::HeadlessPlatform& hl) {
  for (plat::Handle h : hl.Windows()) {
    const plat::WindowState& w = hl.Window(h);
    bool topLevel = w.spec.kind == plat::WindowKind::Form ||
                    w.spec.kind == plat::WindowKind::Application ||
                    w.spec.kind == plat::WindowKind::Utility;
    if (w.alive && topLevel && w.visible) return true;
  }
  return false;
}

TEST_F(ProgramTest, StartsWithNothingVisibleAndEndsWithZeroOnClose) {
  bool checked = false;
  int status = Run({[&] {
    checked = true;
    EXPECT_TRUE(hl.NameExists("Quintorb"));
    ASSERT_NE(Form1, nullptr);
    ASSERT_NE(Form2, nullptr);
    EXPECT_EQ(vcl::Application->MainForm(), Form1);
    EXPECT_FALSE(vcl::Application->ShowMainForm);
    EXPECT_FALSE(AnyVisibleTopLevel(hl));
    // The main window is created before the dialog.
    plat::Handle f1 = WindowOfClass("TForm1"), f2 = WindowOfClass("TForm2");
    EXPECT_LT(f1, f2);
    EXPECT_EQ(Form1->Edit1->Text(), "A");
    EXPECT_EQ(Form1->Memo1->Text(), "");
    EXPECT_EQ(Form1->Memo2->Text(), "");
    // The poll timer was armed while the main window was built.
    EXPECT_EQ(hl.TimerPeriod(WindowOfClass("TPUtilWindow"), 1), 100u);
  }});
  EXPECT_TRUE(checked);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(hl.boxes.empty());
  // The release is refused (never owned), so the name stays until the process ends.
  EXPECT_EQ(hl.mutexReleases, 1);
  EXPECT_TRUE(hl.NameExists("Quintorb"));
  // The exit sequence destroyed both forms.
  EXPECT_FALSE(hl.Window(WindowOfClass("TForm1")).alive);
  EXPECT_FALSE(hl.Window(WindowOfClass("TForm2")).alive);
}

struct GuardCase {
  const char* what;
  plat::NamedKind heldAs;
};

class GuardTest : public ProgramTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(GuardTest, NameAlreadyTakenEndsSilentlyWithMinusOne) {
  hl.ClaimName("Quintorb", GetParam().heldAs);
  EXPECT_EQ(Run(), -1);
  EXPECT_EQ(WindowOfClass("TForm1"), 0u);
  EXPECT_EQ(WindowOfClass("TForm2"), 0u);
  EXPECT_TRUE(hl.boxes.empty());
  EXPECT_TRUE(hl.shellCalls.empty());
  EXPECT_EQ(waits, 0);
  EXPECT_FALSE(AnyVisibleTopLevel(hl));
}

INSTANTIATE_TEST_SUITE_P(Guard, GuardTest,
                         ::testing::Values(GuardCase{"another copy runs", plat::NamedKind::Mutex},
                                           GuardCase{"an object of another kind",
                                                     plat::NamedKind::Other}),
                         [](const auto& info) {
                           return info.param.heldAs == plat::NamedKind::Mutex ? "Mutex" : "Other";
                         });

TEST_F(ProgramTest, StartAfterTheFirstCopyEndedWorks) {
  hl.ClaimName("Quintorb", plat::NamedKind::Mutex);
  EXPECT_EQ(Run(), -1);
  hl.EndProcess();
  hl.UnclaimName("Quintorb");
  EXPECT_EQ(Run({[] {}}), 0);
  EXPECT_GT(waits, 0);
}

TEST_F(ProgramTest, RefusedTimerWhileTheMainWindowIsBuiltShowsTheErrorAndEndsWithZero) {
  hl.RefuseTimers(true);
  hl.SetExecutablePath("C:\\Tools\\MILTENA.EXE");
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(hl.boxes.size(), 1u);
  EXPECT_EQ(hl.boxes[0].text, "ﾀｲﾏｰを取得できません.");
  EXPECT_EQ(hl.boxes[0].caption, "Miltena");
  EXPECT_EQ(hl.boxes[0].icon, plat::BoxIcon::Stop);
  EXPECT_EQ(hl.boxes[0].owner, WindowOfClass("TApplication"));
  EXPECT_EQ(Form1, nullptr);            // reset when construction failed
  EXPECT_EQ(WindowOfClass("TForm2"), 0u);  // the dialog is never created
  EXPECT_EQ(waits, 0);                  // no loop
  EXPECT_EQ(hl.mutexReleases, 0);       // the release is skipped
  for (plat::Handle h : hl.Windows()) EXPECT_FALSE(hl.Window(h).alive && hl.Window(h).visible);
}

TEST(TitleTest, FormedFromTheExecutableName) {
  struct Case {
    const char* path;
    const char* title;
  } cases[] = {
      {"C:\\Program Files\\Quintorb\\Quintorb.exe", "Quintorb"},
      {"ABC.EXE", "Abc"},
      {"C:\\dir.with.dots\\MyTool.Setup.exe", "Mytool"},
      {"C:/unix/style/XYZ", "Xyz"},
      {"quintorb.exe", "quintorb"},
      {"C:\\ＡＢＣ.exe", "Ａｂｃ"},
      {"C:\\ÀÉÎ.exe", "Àéî"},
      {"C:\\ミルテナ.exe", "ミルテナ"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(vcl::TApplication::TitleFromExeName(c.path), c.title) << c.path;
}

struct CloseCase {
  const char* name;
  bool toApplicationWindow;
};

class CloseTest : public ProgramTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseTest, CloseRequestFromOutsideEndsTheRun) {
  int status = Run({[&] {
    plat::Handle target = GetParam().toApplicationWindow ? vcl::Application->Handle()
                                                         : Form1->Handle();
    hl.Post(target, {EventKind::Close});
    closing = true;  // no close of our own
  }});
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(hl.boxes.empty());
  EXPECT_FALSE(hl.Window(WindowOfClass("TForm1")).alive);
}

INSTANTIATE_TEST_SUITE_P(Close, CloseTest,
                         ::testing::Values(CloseCase{"MainWindow", false},
                                           CloseCase{"ApplicationWindow", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgramTest, ClosingTheMainWindowLeavesItAsItWasUntilTheEnd) {
  int status = Run({[&] {
    Form1->Show();
    ASSERT_TRUE(hl.IsVisible(Form1->Handle()));
    Form1->Close();
    closing = true;
    // Not hidden by the close: only the quit request is posted.
    EXPECT_TRUE(hl.IsVisible(Form1->Handle()));
  }});
  EXPECT_EQ(status, 0);
}

TEST_F(ProgramTest, LogOffEndsTheProcessWithZeroAfterDestroyingTheForms) {
  std::intptr_t agreed = -1;
  int status = Run({[&] {
    agreed = hl.Send(vcl::Application->Handle(), {EventKind::QueryEndSession});
    // Every top-level window of the program agrees.
    for (plat::Handle h : hl.Windows()) {
      const plat::WindowState& w = hl.Window(h);
      if (w.alive && w.spec.kind != plat::WindowKind::Child && !w.spec.parent) {
        EXPECT_EQ(hl.Send(h, {EventKind::QueryEndSession}), 1) << w.spec.className;
      }
    }
    EXPECT_EQ(hl.Send(Form1->Handle(), {EventKind::QueryEndSession}), 1);
    hl.Send(vcl::Application->Handle(), {EventKind::EndSession, 0, 1, 0});
    ADD_FAILURE() << "the process should have ended";
  }});
  EXPECT_EQ(agreed, 1);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(hl.boxes.empty());
  EXPECT_FALSE(hl.Window(WindowOfClass("TForm1")).alive);
  EXPECT_FALSE(hl.Window(WindowOfClass("TForm2")).alive);
  EXPECT_EQ(hl.mutexReleases, 0);  // the entry's remaining steps do not run
}

TEST_F(ProgramTest, EndSessionThatIsCancelledChangesNothing) {
  int status = Run({[&] {
    hl.Send(vcl::Application->Handle(), {EventKind::EndSession, 0, 0, 0});
    EXPECT_TRUE(hl.Window(Form1->Handle()).alive);
  }});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(hl.mutexReleases, 1);
}

}  // namespace
