// The two slots of the real Quintorb.exe under Wine: copies from X and from other Win32
// programs land in the active slot, Ctrl+Shift and clicks on the views switch, and another
// program holding the clipboard open makes the program wait, not lose anything.
#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {
namespace {

constexpr Ms kTick = 100ms;                // the program's clipboard poll
constexpr Ms kXToWine = 100ms;             // X copy reaching Wine's clipboard (WINE.md)
constexpr Ms kScheduling = 100ms;          // a busy machine's delay on top
constexpr size_t kShownBytes = 4096;       // what a view shows of its slot
constexpr unsigned kWmLButtonDown = 0x201;
constexpr unsigned kWmLButtonUp = 0x202;
constexpr unsigned kMkLButton = 1;

using Clock = std::chrono::steady_clock;

// Texts as a view shows them (read back through WM_GETTEXT): line breaks are CR LF there.
std::string AsShown(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

bool Contains(Process& p, const std::string& what) {
  return p.Output().find(what) != std::string::npos;
}

// Clipboard contents compared as hex; a long mismatch is told by its lengths and where the
// two part, not printed whole.
::testing::AssertionResult SameBytes(const std::string& gotHex, const std::string& wantHex) {
  if (gotHex == wantHex) return ::testing::AssertionSuccess();
  if (gotHex.size() + wantHex.size() < 400)
    return ::testing::AssertionFailure() << "clipboard " << gotHex << "\n     want " << wantHex;
  size_t at = 0;
  while (at < gotHex.size() && at < wantHex.size() && gotHex[at] == wantHex[at]) ++at;
  return ::testing::AssertionFailure()
         << "clipboard has " << gotHex.size() / 2 << " bytes, want " << wantHex.size() / 2
         << "; they differ from byte " << at / 2 << " on";
}

class SlotsTest : public QuintorbTest {
 protected:
  // Starts the program; its main window as it is once started (`error` says what is missing).
  MainWindow StartAndRead() {
    StartQuintorb();
    WaitForStarted();
    return ReadMainWindow();
  }

  // Another Win32 program copies these bytes.
  void CopyWin32(const std::string& bytes) {
    DriverResult r = Driver({"clip-set-hex", Hex(bytes)});
    ASSERT_TRUE(r.ok()) << r.Describe();
  }

  std::string ClipboardHex() {
    DriverResult r = Driver({"clip-get-hex"});
    return r.ok() ? r.Get("hex") : "(" + r.Describe() + ")";
  }

  // Waits until the views show these texts (as shown: CR LF) and the marker names `active`.
  bool WaitSlots(const std::string& a, const std::string& b, const std::string& active) {
    MainWindow m;
    bool ok = WaitFor(
        [&] {
          m = ReadMainWindow();
          return m.error.empty() && m.memo1["text"] == AsShown(a) &&
                 m.memo2["text"] == AsShown(b) && m.marker["text"] == active;
        },
        Scaled(5s), 50ms);
    if (!ok) {
      ADD_FAILURE() << "want A='" << a << "' B='" << b << "' active " << active << "\nhave A='"
                    << m.memo1["text"] << "' B='" << m.memo2["text"] << "' active "
                    << m.marker["text"] << "\nWine's clipboard: " << ClipboardHex()
                    << "\nX's clipboard: " << XclipGet().value_or("(no text)") << "\n"
                    << m.error;
    }
    return ok;
  }

  // Slot A holds a, slot B holds b, A is active and on the clipboard.
  void FillBothSlots(const std::string& a, const std::string& b) {
    CopyWin32(a);
    ASSERT_TRUE(WaitSlots(a, "", "A"));
    ASSERT_TRUE(SwitchWithChord("B"));
    CopyWin32(b);
    ASSERT_TRUE(WaitSlots(a, b, "B"));
    ASSERT_TRUE(SwitchWithChord("A"));
    ASSERT_TRUE(WaitSlots(a, b, "A"));
    ASSERT_EQ(ClipboardHex(), Hex(a));
  }

  // Waits until the X side reads this text from the clipboard.
  bool XSees(const std::string& text) {
    std::optional<std::string> x;
    bool ok = WaitFor([&] { return (x = XclipGet()) == text; }, Scaled(5s));
    EXPECT_TRUE(ok) << "X reads '" << x.value_or("(no text)") << "', want '" << text << "'";
    return ok;
  }

  // Starts watching a control for a text; returns once the watcher is looking.
  Process Watch(const std::string& hwnd, const std::string& text) {
    Process w = StartDriver(
        {"wait-text", hwnd, Hex(text), std::to_string(Scaled(10s).count())});
    EXPECT_TRUE(WaitFor([&] { return Contains(w, "watching=1") || !w.Running(); }, Scaled(30s),
                        5ms))
        << w.Output();
    return w;
  }
};

// --- captures --------------------------------------------------------------------------------

// Each copy, from the X side or from a second Win32 program, shows in the active view within
// two ticks of the poll (X adds its own hand-over to Wine).
TEST_F(SlotsTest, CopiesShowInTheActiveSlotWithinTwoTicks) {
  struct Case {
    bool fromX;
    const char* text;
  };
  const Case cases[] = {
      {true, "copied on the X side"},
      {false, "copied by another Win32 program"},
      {true, "second X copy, same slot"},
      {false, "a Win32 copy again"},
  };
  MainWindow m = StartAndRead();
  ASSERT_TRUE(m.error.empty()) << m.error;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Process watcher = Watch(m.memo1["hwnd"], c.text);
    Ms took{};
    if (c.fromX) {
      // Timed here: from the copy to the moment the watcher (polling every 5 ms) sees it.
      auto start = Clock::now();
      ASSERT_TRUE(XclipSet(c.text));
      ASSERT_TRUE(WaitFor([&] { return Contains(watcher, "ok=1") || !watcher.Running(); },
                          Scaled(10s), 2ms));
      took = std::chrono::duration_cast<Ms>(Clock::now() - start);
      ASSERT_TRUE(Contains(watcher, "ok=1")) << watcher.Output();
      EXPECT_LE(took, Scaled(2 * kTick + kXToWine + kScheduling)) << took.count() << " ms";
    } else {
      // Timed inside Wine: the copy's and the sighting's GetTickCount.
      DriverResult set = Driver({"clip-set-hex", Hex(c.text)});
      ASSERT_TRUE(set.ok()) << set.Describe();
      CommandResult seen = watcher.Finish(Scaled(20s));
      ASSERT_EQ(seen.exitCode, 0) << seen.out;
      // The watcher's first line is its start; the sighting is the last.
      took = Ms(Number(ParseRecords(seen.out).back()["at"]) - Number(set.Get("at")));
      EXPECT_LE(took, Scaled(2 * kTick + kScheduling)) << took.count() << " ms";
    }
    std::printf("[   info   ] %s copy shown after %lld ms\n", c.fromX ? "X" : "Win32",
                static_cast<long long>(took.count()));
    KillXclips();
  }
  m = ReadMainWindow();
  EXPECT_EQ(m.marker["text"], "A");
  EXPECT_EQ(m.memo2["text"], "");
}

// Whatever bytes another Win32 program copies come back exactly when the slot returns to the
// clipboard, also those the system's code page cannot show and those X would change.
TEST_F(SlotsTest, Win32CopyIsKeptByteForByte) {
  std::string ascending, descending;
  for (int b = 1; b <= 0xFF; ++b) ascending += static_cast<char>(b);
  for (int b = 0xFF; b >= 1; --b) descending += static_cast<char>(b);
  struct Case {
    const char* name;
    std::string bytes;
  };
  // Each begins with its own plain words, so that the view shows when it has been taken.
  const Case cases[] = {
      {"every byte ascending", "case 1:" + ascending},
      {"every byte descending", "case 2:" + descending},
      {"lead byte at the end", "case 3:\x83\x7e\x83"},
      {"CR LF LF and a lone LF", "case 4:\r\n\n|\n"},
      {"trail bytes that are backslashes and brackets", "case 5:\x95\x5c\x83\x5c\x81\x5b\\"},
  };
  MainWindow m = StartAndRead();
  ASSERT_TRUE(m.error.empty()) << m.error;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CopyWin32(c.bytes);
    const std::string start = c.bytes.substr(0, 7);
    ASSERT_TRUE(WaitFor(
        [&] { return ReadMainWindow().memo1["text"].compare(0, start.size(), start) == 0; },
        Scaled(5s), 50ms))
        << "slot A did not take the copy";
    // Away and back: the clipboard is written from the slot, not left as it was.
    ASSERT_TRUE(SwitchWithChord("B"));
    EXPECT_EQ(ClipboardHex(), "");
    ASSERT_TRUE(SwitchWithChord("A"));
    EXPECT_TRUE(SameBytes(ClipboardHex(), Hex(c.bytes)));
  }
}

// A slot keeps every byte of a long copy; its view shows only the start of it.
TEST_F(SlotsTest, LongCopyIsKeptWholeWhileTheViewShowsItsStart) {
  std::string text;
  for (int i = 0; text.size() < 12000; ++i) text += "line " + std::to_string(i) + " of a long copy;";
  MainWindow m = StartAndRead();
  ASSERT_TRUE(m.error.empty()) << m.error;
  CopyWin32(text);
  ASSERT_TRUE(WaitFor(
      [&] { return ReadMainWindow().memo1["text"] == text.substr(0, kShownBytes); },
      Scaled(5s), 50ms))
      << "the view does not show the first " << kShownBytes << " bytes";
  ASSERT_TRUE(SwitchWithChord("B"));
  ASSERT_TRUE(SwitchWithChord("A"));
  EXPECT_TRUE(SameBytes(ClipboardHex(), Hex(text)));
}

// --- switching -------------------------------------------------------------------------------

// Ctrl+Shift puts the other slot on the clipboard as the X side sees it, and moves the marker;
// neither slot loses its text.
TEST_F(SlotsTest, ChordPutsTheOtherSlotOnTheClipboard) {
  MainWindow m = StartAndRead();
  ASSERT_TRUE(m.error.empty()) << m.error;
  ASSERT_TRUE(XclipSet("first slot's text"));
  ASSERT_TRUE(WaitSlots("first slot's text", "", "A"));

  ASSERT_TRUE(SwitchWithChord("B"));
  EXPECT_TRUE(XSees(""));
  ASSERT_TRUE(XclipSet("second slot's text"));
  ASSERT_TRUE(WaitSlots("first slot's text", "second slot's text", "B"));

  const struct {
    const char* to;
    const char* clipboard;
  } steps[] = {{"A", "first slot's text"}, {"B", "second slot's text"}, {"A", "first slot's text"}};
  for (const auto& s : steps) {
    SCOPED_TRACE(std::string("to ") + s.to);
    ASSERT_TRUE(SwitchWithChord(s.to));
    EXPECT_TRUE(XSees(s.clipboard));
    EXPECT_TRUE(WaitSlots("first slot's text", "second slot's text", s.to));
  }
}

// Japanese copied on the X side (UTF-8, Shift-JIS inside Wine) is the same text when it comes
// back from the slot, including characters whose second byte is a backslash or a bracket.
TEST_F(SlotsTest, JapaneseTextComesBackUnchangedToX) {
  const char* texts[] = {
      "ミルテナ",
      "日本語のテキスト\n二行目",
      "表示ソフト能力",  // 表 ソ 能: trail byte 0x5C
      "ﾊﾝｶｸｶﾀｶﾅ と ＡＢＣ",
      "①②③ ㈱ ｢括弧｣",
  };
  MainWindow m = StartAndRead();
  ASSERT_TRUE(m.error.empty()) << m.error;
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(XclipSet(text));
    ASSERT_TRUE(WaitSlots(text, "", "A"));
    ASSERT_TRUE(SwitchWithChord("B"));
    ASSERT_TRUE(SwitchWithChord("A"));
    EXPECT_TRUE(XSees(text));
    KillXclips();
  }
}

// A left click on the inactive view switches to it; on the active one it does nothing. Either
// a real click where the view is on the screen, or the mouse messages sent to the view.
struct ClickCase {
  const char* name;
  bool real;
};

void PrintTo(const ClickCase& c, std::ostream* os) { *os << c.name; }

class ClickTest : public SlotsTest, public ::testing::WithParamInterface<ClickCase> {
 protected:
  void Click(const Record& view) {
    if (GetParam().real) {
      ASSERT_TRUE(ClickAt(static_cast<int>(Number(view.at("sx")) + Number(view.at("w")) / 2),
                          static_cast<int>(Number(view.at("sy")) + Number(view.at("h")) / 2),
                          1));
      return;
    }
    const std::string at = std::to_string((10 << 16) | 10);  // x 10, y 10
    for (auto [msg, keys] : {std::pair{kWmLButtonDown, kMkLButton}, std::pair{kWmLButtonUp, 0u}}) {
      DriverResult r =
          Driver({"send", view.at("hwnd"), std::to_string(msg), std::to_string(keys), at});
      ASSERT_TRUE(r.ok()) << r.Describe();
    }
  }
};

TEST_P(ClickTest, ClickOnTheInactiveViewSwitches) {
  MainWindow m = StartAndRead();
  ASSERT_TRUE(m.error.empty()) << m.error;
  ASSERT_NO_FATAL_FAILURE(FillBothSlots("text of A", "text of B"));
  ASSERT_TRUE(SwitchWithChord("B"));

  // Shown the program's own way, so that the views are on the screen to be clicked.
  std::vector<XWindow> icons = WaitTrayIcons(1);
  ASSERT_EQ(icons.size(), 1u);
  ASSERT_TRUE(RightClickIconUntilMainWindowShows(icons));
  m = ReadMainWindow();
  ASSERT_TRUE(m.error.empty()) << m.error;

  ASSERT_NO_FATAL_FAILURE(Click(m.memo1));
  EXPECT_TRUE(WaitSlots("text of A", "text of B", "A"));
  EXPECT_EQ(ClipboardHex(), Hex("text of A"));
  Screenshot(std::string("click-switched-to-a-") + GetParam().name);

  // A click on the view that is active already: no switch. The copy after it shows where
  // the program then captures: still in A.
  ASSERT_NO_FATAL_FAILURE(Click(m.memo1));
  CopyWin32("copied after the second click");
  EXPECT_TRUE(WaitSlots("copied after the second click", "text of B", "A"));

  ASSERT_NO_FATAL_FAILURE(Click(m.memo2));
  EXPECT_TRUE(WaitSlots("copied after the second click", "text of B", "B"));
  EXPECT_EQ(ClipboardHex(), Hex("text of B"));
}

INSTANTIATE_TEST_SUITE_P(Views, ClickTest,
                         ::testing::Values(ClickCase{"RealClick", true},
                                           ClickCase{"SentMessages", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- another program holding the clipboard ---------------------------------------------------

// A copy made just before another program takes the clipboard and keeps it for a second: the
// program sees that something was copied but cannot read it until the hold ends. Whether Wine
// refuses its OpenClipboard meanwhile or keeps it waiting in there (its clipboard manager
// decides), the slot must not change before the copy can be read, and then take it.
TEST_F(SlotsTest, CopyPendingBehindAHeldClipboardIsTakenAfterwards) {
  MainWindow m = StartAndRead();
  ASSERT_TRUE(m.error.empty()) << m.error;
  ASSERT_NO_FATAL_FAILURE(FillBothSlots("alpha", "beta"));

  Process holder =
      StartDriver({"clip-hold", std::to_string(Scaled(1s).count()), Hex("gamma")});
  ASSERT_TRUE(WaitFor([&] { return Contains(holder, "held=1") || !holder.Running(); },
                      Scaled(30s), 5ms))
      << holder.Output();
  // Looked at again and again while the hold lasts (a look counts when the hold was still on
  // after it): still the old text, or the copy if the program read it in the moment between
  // the copy and the hold; never anything else.
  int looks = 0;
  while (!Contains(holder, "released=1") && holder.Running()) {
    MainWindow during = ReadMainWindow();
    if (Contains(holder, "released=1")) break;
    ++looks;
    EXPECT_TRUE(during.memo1["text"] == "alpha" || during.memo1["text"] == "gamma")
        << "slot A while the clipboard was held: '" << during.memo1["text"] << "'";
    EXPECT_EQ(during.memo2["text"], "beta");
    EXPECT_EQ(during.marker["text"], "A");
  }
  CommandResult held = holder.Finish(Scaled(30s));
  ASSERT_EQ(held.exitCode, 0) << held.out << held.err;
  std::printf("[   info   ] %d look(s) at the program while the clipboard was held\n", looks);

  EXPECT_TRUE(WaitSlots("gamma", "beta", "A"));
  EXPECT_EQ(ClipboardHex(), Hex("gamma"));
}

// Ctrl+Shift held while another program keeps the clipboard open: the switch waits for the
// clipboard, then happens once; both slots keep their texts, and the marker and the clipboard
// name the same slot.
TEST_F(SlotsTest, ChordPressedWhileTheClipboardIsHeldSwitchesAfterwards) {
  MainWindow m = StartAndRead();
  ASSERT_TRUE(m.error.empty()) << m.error;
  ASSERT_NO_FATAL_FAILURE(FillBothSlots("alpha", "beta"));

  Process holder = StartDriver({"clip-hold", std::to_string(Scaled(1s).count())});
  ASSERT_TRUE(WaitFor([&] { return Contains(holder, "held=1") || !holder.Running(); },
                      Scaled(30s), 5ms))
      << holder.Output();
  DriverResult chord = HoldChordUntil(m.marker["hwnd"], "B");
  CommandResult held = holder.Finish(Scaled(30s));
  ASSERT_EQ(held.exitCode, 0) << held.out << held.err;
  ASSERT_TRUE(chord.ok()) << "no switch after the clipboard was let go\n" << chord.Describe();

  // The clock is GetTickCount in both: the chord went down while the clipboard was held, and
  // the switch came after it was let go.
  long long released = Number(ParseRecords(held.out).back()["at"]);
  EXPECT_LT(Number(chord.Get("pressed_at")), released)
      << "the hold ended before the chord was pressed: the test proved nothing (a slow "
         "machine? raise E2E_TIME_SCALE)";
  EXPECT_GE(Number(chord.Get("seen_at")), released) << "switched while the clipboard was held";

  EXPECT_TRUE(WaitSlots("alpha", "beta", "B"));
  EXPECT_EQ(ClipboardHex(), Hex("beta"));
  // Back again: B kept its text through the ticks since.
  ASSERT_TRUE(SwitchWithChord("A"));
  EXPECT_TRUE(WaitSlots("alpha", "beta", "A"));
  EXPECT_EQ(ClipboardHex(), Hex("alpha"));
}

}  // namespace
}  // namespace e2e
