// The tray icon of the real Quintorb.exe under Wine, docked in trayer: what it shows, and what
// real clicks on it and the shell's callback message do.
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {
namespace {

constexpr long long kWsSysMenu = 0x80000;
constexpr long long kWsExTopmost = 0x8;
constexpr int kScreenWidth = 1024, kScreenHeight = 768;  // the Xvfb screen of scripts/e2e-env.sh
constexpr unsigned kTrayCallback = 1126;
constexpr unsigned kBmClick = 0xF5;

// The tray's mouse messages, as the shell passes them in lParam.
constexpr int kMove = 512, kLeftDown = 513, kLeftUp = 514, kLeftDouble = 515, kRightDown = 516;

const Rgb kBlue{0, 0, 255};      // the digit 1: slot A
const Rgb kMagenta{255, 0, 255};  // the digit 2: slot B

long long Field(const Record& r, const char* key) {
  return r.count(key) ? Number(r.at(key)) : -1;
}

size_t CountOf(const std::vector<Rgb>& pixels, const Rgb& colour) {
  size_t n = 0;
  for (const Rgb& p : pixels) n += p == colour;
  return n;
}

class TrayTest : public QuintorbTest {
 protected:
  void StartAndWait() {
    StartQuintorb();
    WaitForStarted();
  }

  // The single docked icon, waited for.
  XWindow Icon() {
    std::vector<XWindow> icons = WaitTrayIcons(1);
    EXPECT_EQ(icons.size(), 1u);
    return icons.empty() ? XWindow{} : icons.front();
  }

  static int CentreX(const XWindow& w) { return w.x + w.width / 2; }
  static int CentreY(const XWindow& w) { return w.y + w.height / 2; }

  // Waits until one icon is docked and a screenshot of it has pixels of `want` and none of
  // `unwanted`; keeps the last screenshot and the crop of the icon as <name>.png and
  // <name>-icon.png.
  void ExpectIconColour(const std::string& name, const Rgb& want, const Rgb& unwanted) {
    size_t wanted = 0, other = 0, icons = 0;
    bool ok = WaitFor(
        [&] {
          std::vector<XWindow> docked = TrayIcons();
          icons = docked.size();
          if (icons != 1) return false;
          std::string shot = Screenshot(name);
          std::vector<Rgb> pixels =
              ReadPixels(shot, docked[0], ArtifactDir() + "/" + name + "-icon.png");
          wanted = CountOf(pixels, want);
          other = CountOf(pixels, unwanted);
          // A digit's strokes, not a stray pixel.
          return wanted >= 20 && other == 0;
        },
        Scaled(10s), 100ms);
    EXPECT_TRUE(ok) << "icons docked: " << icons << "; pixels of the wanted colour: " << wanted
                    << ", of the other: " << other << " (see " << name << "-icon.png)";
  }
};

// --- what the icon shows ---------------------------------------------------------------------

TEST_F(TrayTest, OneIconShowsTheActiveSlot) {
  StartAndWait();
  ExpectIconColour("tray-slot-a", kBlue, kMagenta);

  const struct {
    const char* slot;
    Rgb want, unwanted;
  } steps[] = {{"B", kMagenta, kBlue}, {"A", kBlue, kMagenta}};
  for (const auto& s : steps) {
    SCOPED_TRACE(std::string("switched to ") + s.slot);
    ASSERT_TRUE(SwitchWithChord(s.slot));
    ExpectIconColour(std::string("tray-switched-to-") + s.slot, s.want, s.unwanted);
  }
}

// --- real clicks on the docked icon ----------------------------------------------------------

TEST_F(TrayTest, RightClickShowsTheMainWindowOnTop) {
  StartAndWait();
  XWindow icon = Icon();
  ASSERT_TRUE(RightClickIconUntilMainWindowShows({icon}));
  Screenshot("tray-right-click");

  Record form = FindOne("TForm1");
  EXPECT_EQ(Field(form, "x"), 552);
  EXPECT_EQ(Field(form, "y"), 433);
  EXPECT_TRUE(Field(form, "exstyle") & kWsExTopmost) << form["exstyle"];
  EXPECT_FALSE(Field(form, "style") & kWsSysMenu) << form["style"];
  EXPECT_FALSE(Field(FindOne("TForm2"), "visible") == 1);
}

TEST_F(TrayTest, DoubleClickOpensTheQuitDialogAndEnterEndsTheProgram) {
  Process& program = StartQuintorbThroughDriver();
  WaitForStarted();
  XWindow icon = Icon();
  ASSERT_TRUE(ClickAt(CentreX(icon), CentreY(icon), 1, 2));
  ASSERT_TRUE(WaitWindow("TForm2", "visible"));
  Screenshot("tray-double-click-quit-dialog");

  Record dialog = FindOne("TForm2");
  EXPECT_EQ(Field(dialog, "x"), (kScreenWidth - Field(dialog, "w")) / 2);
  EXPECT_EQ(Field(dialog, "y"), (kScreenHeight - Field(dialog, "h")) / 2);
  EXPECT_FALSE(Field(FindOne("TForm1"), "visible") == 1);

  // Enter goes to the foreground window: it must be the dialog, whose OK has the focus.
  DriverResult front;
  ASSERT_TRUE(WaitFor(
      [&] {
        front = Driver({"foreground"});
        return SameClass(front.Get("class"), "TForm2");
      },
      Scaled(5s), 50ms))
      << "the dialog is not the foreground window\n"
      << front.Describe();
  DriverResult enter = Driver({"keys", "tap", "return"});
  ASSERT_TRUE(enter.ok()) << enter.Describe();

  CommandResult end = program.Finish(Scaled(30s));
  ASSERT_FALSE(end.timedOut) << "still running after Enter on the dialog";
  std::string exit;
  for (auto& r : ParseRecords(end.out))
    if (r.count("exit")) exit = r["exit"];
  EXPECT_EQ(exit, "0x00000000") << end.out;
  EXPECT_TRUE(WaitTrayIcons(0).empty()) << "the icon stayed in the tray";
}

// --- the shell's callback, sent straight to the notification window --------------------------

struct CallbackCase {
  const char* name;
  int id;                     // wParam: the icon
  std::vector<int> messages;  // lParam of each callback, in order
  const char* shows;          // the window class that becomes visible, or "" for none
};

void PrintTo(const CallbackCase& c, std::ostream* os) { *os << c.name; }

class CallbackTest : public TrayTest, public ::testing::WithParamInterface<CallbackCase> {};

TEST_P(CallbackTest, CallbackShowsTheRightWindow) {
  const CallbackCase& c = GetParam();
  StartAndWait();
  MainWindow m = ReadMainWindow();
  ASSERT_TRUE(m.error.empty()) << m.error;
  for (int message : c.messages) {
    // Sent, not posted: when it returns, the program has handled the callback.
    DriverResult r = Driver({"send", m.notify["hwnd"], std::to_string(kTrayCallback),
                             std::to_string(c.id), std::to_string(message)});
    ASSERT_TRUE(r.ok()) << r.Describe();
  }
  for (const char* cls : {"TForm1", "TForm2"}) {
    if (std::string(cls) == c.shows) {
      EXPECT_TRUE(WaitWindow(cls, "visible"));
    } else {
      DriverResult visible = Driver({"wait", cls, "visible", "0"});
      EXPECT_FALSE(visible.ok()) << cls << " became visible\n" << visible.Describe();
    }
  }
  Screenshot(std::string("tray-callback-") + c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CallbackTest,
    ::testing::Values(
        CallbackCase{"RightPress", 1, {kRightDown}, "TForm1"},
        CallbackCase{"DoubleClick", 1, {kLeftDown, kLeftUp, kLeftDouble, kLeftUp}, "TForm2"},
        CallbackCase{"LeftClick", 1, {kLeftDown, kLeftUp}, ""},
        CallbackCase{"Move", 1, {kMove}, ""},
        CallbackCase{"UnknownIdRightPress", 77, {kRightDown}, ""},
        CallbackCase{"UnknownIdDoubleClick", 77, {kLeftDown, kLeftUp, kLeftDouble, kLeftUp},
                     ""}),
    [](const auto& info) { return std::string(info.param.name); });

// OK on the dialog (pressed as a button, BM_CLICK) ends the program with status 0 as well, and
// the icon leaves the tray.
TEST_F(TrayTest, OkOnTheQuitDialogEndsTheProgram) {
  Process& program = StartQuintorbThroughDriver();
  WaitForStarted();
  Icon();
  MainWindow m = ReadMainWindow();
  ASSERT_TRUE(m.error.empty()) << m.error;
  for (int message : {kLeftDown, kLeftUp, kLeftDouble, kLeftUp}) {
    DriverResult r = Driver({"send", m.notify["hwnd"], std::to_string(kTrayCallback), "1",
                             std::to_string(message)});
    ASSERT_TRUE(r.ok()) << r.Describe();
  }
  ASSERT_TRUE(WaitWindow("TForm2", "visible"));
  DriverResult buttons = Driver({"children", FindOne("TForm2")["hwnd"]});
  std::string ok;
  for (const Record& r : buttons.records)
    if (r.count("text") && r.at("text") == "OK") ok = r.at("hwnd");
  ASSERT_FALSE(ok.empty()) << buttons.Describe();
  // Posted: the button's handler ends the program, which would leave a sent message unanswered.
  DriverResult click = Driver({"post", ok, std::to_string(kBmClick), "0", "0"});
  ASSERT_TRUE(click.ok()) << click.Describe();

  CommandResult end = program.Finish(Scaled(30s));
  ASSERT_FALSE(end.timedOut) << "still running after OK";
  std::string exit;
  for (auto& r : ParseRecords(end.out))
    if (r.count("exit")) exit = r["exit"];
  EXPECT_EQ(exit, "0x00000000") << end.out;
  EXPECT_TRUE(WaitTrayIcons(0).empty()) << "the icon stayed in the tray";
}

}  // namespace
}  // namespace e2e
