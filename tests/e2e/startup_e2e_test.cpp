// Start-up, single instance, ending, and the two windows of the real Quintorb.exe under Wine.
#include <algorithm>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {
namespace {

constexpr const char* kProductName = "ミルテナ";
constexpr long long kWsSysMenu = 0x80000;
constexpr long long kWsExTopmost = 0x8;
constexpr long long kWsExToolWindow = 0x80;
constexpr unsigned kBmClick = 0xF5;

bool Visible(const Record& r) { return r.count("visible") && r.at("visible") == "1"; }
long long Field(const Record& r, const char* key) {
  return r.count(key) ? Number(r.at(key)) : -1;
}

// A control the layout must contain. Position/size fields of -1 are not checked, nor is an
// empty text.
struct ExpectedChild {
  const char* cls;
  bool visible;
  int x, y, w, h;
  const char* text;
};

bool Matches(const Record& r, const ExpectedChild& e) {
  if (r.count("class") == 0 || !SameClass(r.at("class"), e.cls) || Visible(r) != e.visible)
    return false;
  const std::pair<const char*, int> geometry[] = {{"x", e.x}, {"y", e.y}, {"w", e.w}, {"h", e.h}};
  for (auto [key, want] : geometry)
    if (want >= 0 && Field(r, key) != want) return false;
  return *e.text == '\0' || (r.count("text") && r.at("text") == e.text);
}

std::string Dump(const std::vector<Record>& records) {
  std::string s;
  for (auto r : records) {
    s += "  " + r["class"] + " '" + r["text"] + "'";
    for (const char* key : {"visible", "x", "y", "w", "h", "style", "exstyle", "hwnd"})
      s += std::string(" ") + key + "=" + r[key];
    s += "\n";
  }
  return s;
}

// Every expected control is there, each matched by a different window, and no other control.
// Windows of the program's own classes (the tray's notification window) are not controls.
void ExpectControls(const std::vector<Record>& all, const std::vector<ExpectedChild>& want) {
  std::vector<Record> children;
  for (const auto& r : all)
    for (const char* cls : {"Edit", "Button", "Static"})
      if (r.count("class") && SameClass(r.at("class"), cls)) children.push_back(r);
  std::vector<bool> used(children.size(), false);
  for (const auto& e : want) {
    bool found = false;
    for (size_t i = 0; i < children.size() && !found; ++i)
      if (!used[i] && Matches(children[i], e)) used[i] = found = true;
    EXPECT_TRUE(found) << "no " << (e.visible ? "visible " : "hidden ") << e.cls << " '" << e.text
                       << "' at " << e.x << "," << e.y << " " << e.w << "x" << e.h
                       << " among:\n"
                       << Dump(children);
  }
  EXPECT_EQ(children.size(), want.size()) << Dump(children);
}

class StartupTest : public QuintorbTest {
 protected:
  // Starts the program and waits until its windows exist.
  Process& StartAndWait() {
    Process& p = StartQuintorb();
    WaitForStarted();
    return p;
  }

  // Shows a hidden form from outside, as the tests cannot reach the program's own ways of
  // showing it here, and returns its window as it is then.
  Record ShowForm(const char* cls) {
    Record form = FindOne(cls);
    DriverResult shown = Driver({"show", form["hwnd"]});
    EXPECT_TRUE(shown.ok()) << shown.Describe();
    EXPECT_TRUE(WaitWindow(cls, "visible"));
    return FindOne(cls);
  }

  std::vector<Record> Children(const std::string& hwnd) {
    DriverResult r = Driver({"children", hwnd});
    EXPECT_TRUE(r.ok()) << r.Describe();
    return r.records;
  }
};

TEST_F(StartupTest, StartsWithEveryWindowHidden) {
  StartAndWait();
  Record form1 = FindOne("TForm1");
  EXPECT_EQ(form1["title"], kProductName);
  EXPECT_FALSE(Visible(form1));
  EXPECT_FALSE(Visible(FindOne("TForm2")));

  Record app = FindOne("TApplication");
  EXPECT_EQ(app["title"], "Quintorb");
  EXPECT_FALSE(Visible(app));
  EXPECT_EQ(Field(app, "w"), 0);
  EXPECT_EQ(Field(app, "h"), 0);
  // The forms belong to the hidden application window, which keeps them off the taskbar.
  EXPECT_EQ(form1["owner"], app["hwnd"]);
  Screenshot("startup-nothing-shown");
}

TEST_F(StartupTest, SecondStartEndsWithMinusOneAndShowsNothing) {
  Process& first = StartAndWait();
  Record form1 = FindOne("TForm1");

  DriverResult second = Driver({"run", QuintorbExe(), std::to_string(Scaled(60s).count())});
  ASSERT_TRUE(second.ok()) << second.Describe();
  EXPECT_EQ(second.Get("exit"), "0xFFFFFFFF") << second.Describe();

  // Still the first copy's windows only, all hidden, and the first copy still runs.
  EXPECT_EQ(FindOne("TForm1")["hwnd"], form1["hwnd"]);
  FindOne("TForm2");
  FindOne("TApplication");
  for (const char* cls : {"TForm1", "TForm2", "TApplication"}) {
    DriverResult visible = Driver({"wait", cls, "visible", "0"});
    EXPECT_FALSE(visible.ok()) << cls << " became visible\n" << visible.Describe();
  }
  EXPECT_TRUE(first.Running());
}

// A close request to either window ends the program with status 0, as the Linux side sees it
// (the low 8 bits, through wine) and as a Win32 parent sees it (all 32 bits).
struct CloseCase {
  const char* target;   // class of the window that gets WM_CLOSE
  bool throughDriver;   // started by `qdriver run` rather than by wine directly
};

void PrintTo(const CloseCase& c, std::ostream* os) {
  *os << c.target << (c.throughDriver ? " started by a Win32 parent" : " started by wine");
}

class CloseTest : public StartupTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseTest, CloseRequestEndsWithStatusZero) {
  const CloseCase& c = GetParam();
  Process& p = c.throughDriver ? StartQuintorbThroughDriver() : StartQuintorb();
  WaitForStarted();
  Record target = FindOne(c.target);
  DriverResult closed = Driver({"close", target["hwnd"]});
  ASSERT_TRUE(closed.ok()) << closed.Describe();

  CommandResult end = p.Finish(Scaled(30s));
  ASSERT_FALSE(end.timedOut) << "still running after the close request";
  EXPECT_EQ(end.exitCode, 0) << end.out << end.err;
  if (c.throughDriver) {
    std::string exit;
    for (auto& r : ParseRecords(end.out))
      if (r.count("exit")) exit = r["exit"];
    EXPECT_EQ(exit, "0x00000000") << end.out;
  }
  EXPECT_TRUE(WaitWindow("TForm1", "gone"));
}

INSTANTIATE_TEST_SUITE_P(Windows, CloseTest,
                         ::testing::Values(CloseCase{"TForm1", false},
                                           CloseCase{"TForm1", true},
                                           CloseCase{"TApplication", false},
                                           CloseCase{"TApplication", true}),
                         [](const auto& info) {
                           return std::string(info.param.target) +
                                  (info.param.throughDriver ? "_Win32Parent" : "_Wine");
                         });

TEST_F(StartupTest, StartsAgainAfterTheFirstWasKilled) {
  Process& first = StartAndWait();
  Record old = FindOne("TForm1");
  first.Kill();
  ASSERT_TRUE(WaitWindow("TForm1", "gone"));

  // The killed copy's mutex must not keep the new one out (under Wine the start may stall).
  Process& second = StartAndWait();
  Record form1 = FindOne("TForm1");
  EXPECT_NE(form1["hwnd"], old["hwnd"]);
  EXPECT_TRUE(second.Running());
}

TEST_F(StartupTest, Form1IsATopmostToolWindowWithTheSlotViews) {
  StartAndWait();
  Record form = ShowForm("TForm1");
  Screenshot("form1-shown");
  EXPECT_EQ(form["title"], kProductName);
  EXPECT_EQ(Field(form, "x"), 552);
  EXPECT_EQ(Field(form, "y"), 433);
  EXPECT_EQ(Field(form, "cx"), 240);
  EXPECT_EQ(Field(form, "cy"), 75);
  long long ex = Field(form, "exstyle");
  EXPECT_TRUE(ex & kWsExTopmost) << form["exstyle"];
  EXPECT_TRUE(ex & kWsExToolWindow) << form["exstyle"];
  EXPECT_FALSE(Field(form, "style") & kWsSysMenu) << form["style"];

  ExpectControls(Children(form["hwnd"]),
                 {
                     {"EDIT", true, 0, 0, 240, 25, ""},
                     {"EDIT", true, 0, 25, 240, 27, ""},
                     {"EDIT", false, -1, -1, -1, -1, "A"},
                     {"BUTTON", true, 0, 56, 240, 17, "クリップボードビューア非表示"},
                 });
}

TEST_F(StartupTest, Form2IsTheQuitDialog) {
  StartAndWait();
  Record form = ShowForm("TForm2");
  Screenshot("form2-shown");
  EXPECT_EQ(form["title"], kProductName);
  EXPECT_EQ(Field(form, "cx"), 203);
  EXPECT_EQ(Field(form, "cy"), 70);
  EXPECT_FALSE(Field(form, "style") & kWsSysMenu) << form["style"];

  ExpectControls(Children(form["hwnd"]),
                 {
                     {"STATIC", true, -1, -1, -1, -1, "ミルテナを終了します。"},
                     {"BUTTON", true, 16, 40, 81, 25, "OK"},
                     {"BUTTON", true, 112, 40, 75, 25, "キャンセル"},
                 });
}

TEST_F(StartupTest, Button1HidesForm1) {
  StartAndWait();
  // Shown the program's own way, a right press on its tray icon (a window shown from outside
  // is not one the program knows to be shown, so it would have nothing to hide).
  std::vector<XWindow> icons;
  ASSERT_TRUE(WaitFor([&] { return !(icons = TrayIcons()).empty(); }, Scaled(10s)))
      << "no icon docked in trayer";
  ASSERT_TRUE(RightClickIconUntilMainWindowShows(icons));

  Record form = FindOne("TForm1");
  std::vector<Record> children = Children(form["hwnd"]);
  auto button = std::find_if(children.begin(), children.end(),
                             [](const Record& r) { return SameClass(r.at("class"), "BUTTON"); });
  ASSERT_NE(button, children.end()) << Dump(children);

  DriverResult click = Driver({"send", button->at("hwnd"), std::to_string(kBmClick), "0", "0"});
  ASSERT_TRUE(click.ok()) << click.Describe();
  EXPECT_TRUE(WaitWindow("TForm1", "hidden"));
}

}  // namespace
}  // namespace e2e
