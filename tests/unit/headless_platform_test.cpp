// The headless platform's own rules: the ones the program's tests rely on to mean what Windows
// would do.
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <deque>
#include <type_traits>

namespace plat {
namespace {

struct Delivered {
  Handle window;
  EventKind kind;
  std::uintptr_t wParam;
  std::uint64_t at;  // virtual time of delivery
  bool operator==(const Delivered&) const = default;
  friend void PrintTo(const Delivered& d, std::ostream* os) {
    *os << "{window " << d.window << ", kind " << static_cast<int>(d.kind) << ", wParam "
        << d.wParam << ", at " << d.at << "}";
  }
};

std::string Ico(std::uint16_t reserved, std::uint16_t type, std::uint16_t count,
                std::uint32_t size, std::uint32_t offset, std::size_t total) {
  std::string s(std::max<std::size_t>(total, 22), '\0');
  auto put = [&](std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
  };
  put(0, reserved, 2);
  put(2, type, 2);
  put(4, count, 2);
  put(6 + 8, size, 4);
  put(6 + 12, offset, 4);
  s.resize(total);
  return s;
}

// The smallest .ico image the platform accepts.
const std::string kTinyIcon = Ico(0, 1, 1, 1, 22, 23);

class RecordingSink final : public WindowSink {
 public:
  RecordingSink(std::vector<Delivered>& log, const HeadlessPlatform& p) : log_(log), p_(p) {}
  std::intptr_t HandleEvent(const Event& e) override {
    log_.push_back({self, e.kind, e.wParam, p_.Now()});
    if (onEvent) onEvent(e);
    return answer;
  }
  Handle self = 0;
  std::intptr_t answer = 0;
  std::function<void(const Event&)> onEvent;

 private:
  std::vector<Delivered>& log_;
  const HeadlessPlatform& p_;
};

class HeadlessTest : public ::testing::Test {
 protected:
  // A write; on success the sequence it reports is the clipboard's own.
  ClipWrite Write(Handle w, const std::string& text) {
    std::uint32_t seq = 1234;
    ClipWrite r = p.WriteClipboardText(w, text, seq);
    EXPECT_EQ(seq, r == ClipWrite::Ok ? p.ClipboardSequence() : 0u);
    return r;
  }
  Handle Make(WindowKind kind, Handle parent = 0, std::uint32_t style = 0,
              const std::string& caption = "") {
    RecordingSink& sink = sinks_.emplace_back(log, p);
    WindowSpec spec;
    spec.kind = kind;
    spec.parent = parent;
    spec.style = style;
    spec.caption = caption;
    sink.self = p.CreateWindow(spec, &sink);
    return sink.self;
  }
  RecordingSink& SinkOf(Handle w) {
    for (auto& s : sinks_) {
      if (s.self == w) return s;
    }
    throw std::out_of_range("no sink");
  }
  int Drain() {
    int n = 0;
    for (Message m; p.PeekMessage(m); ++n) p.DispatchMessage(m);
    return n;
  }
  std::vector<Delivered> Taken() { return std::exchange(log, {}); }

  HeadlessPlatform p;
  std::vector<Delivered> log;

 private:
  std::deque<RecordingSink> sinks_;
};

// ----- timers ----------------------------------------------------------------------------------

struct TimerStep {
  std::uint64_t advance;
  bool drain;                            // run the queue after advancing
  std::vector<std::uint64_t> tickTimes;  // times at which ticks were delivered by this step
};
struct TimerCase {
  const char* name;
  std::uint32_t period;
  std::vector<TimerStep> steps;
};

class TimerTimeline : public HeadlessTest, public ::testing::WithParamInterface<TimerCase> {};

TEST_P(TimerTimeline, TicksAsWindowsWould) {
  const Handle w = Make(WindowKind::Utility);
  ASSERT_TRUE(p.SetTimer(w, 7, GetParam().period));
  for (const TimerStep& step : GetParam().steps) {
    p.Advance(step.advance);
    if (step.drain) Drain();
    std::vector<std::uint64_t> times;
    for (const Delivered& d : Taken()) {
      EXPECT_EQ(d.kind, EventKind::Timer);
      EXPECT_EQ(d.wParam, 7u);
      times.push_back(d.at);
    }
    EXPECT_EQ(times, step.tickTimes) << "after advancing to " << p.Now();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Headless, TimerTimeline,
    ::testing::Values(
        TimerCase{"EveryPeriodWhenDrained", 100,
                  {{99, true, {}}, {1, true, {100}}, {100, true, {200}}, {100, true, {300}}}},
        TimerCase{"OnePendingTickHowEverLongTheWait", 100,
                  {{1000, false, {}}, {0, true, {1000}}, {0, true, {}}}},
        TimerCase{"MissedPeriodsAreNotMadeUp", 100,
                  {{350, true, {350}}, {49, true, {}}, {1, true, {400}}, {100, true, {500}}}},
        TimerCase{"TicksWithinOneAdvanceCoalesce", 30,
                  {{30, true, {30}}, {29, true, {}}, {31, true, {90}}}},
        TimerCase{"PeriodBelowTheMinimumIsRaised", 1, {{9, true, {}}, {1, true, {10}}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HeadlessTest, TimersDueTogetherTickInArmingOrderAndEarlierDueFirst) {
  const Handle a = Make(WindowKind::Utility), b = Make(WindowKind::Utility);
  p.SetTimer(b, 2, 100);
  p.SetTimer(a, 1, 100);
  p.SetTimer(a, 3, 40);
  p.Advance(100);
  Drain();
  std::vector<std::pair<Handle, std::uintptr_t>> order;
  for (const Delivered& d : Taken()) order.push_back({d.window, d.wParam});
  // 3 ticks at 40 and 80 but the second is coalesced (not drained); then 2 and 1 at 100.
  EXPECT_EQ(order, (std::vector<std::pair<Handle, std::uintptr_t>>{{a, 3}, {b, 2}, {a, 1}}));
}

TEST_F(HeadlessTest, KillingOrResettingATimerDropsItsPendingTick) {
  const Handle w = Make(WindowKind::Utility);
  p.SetTimer(w, 1, 100);
  p.SetTimer(w, 2, 100);
  p.Advance(100);
  ASSERT_EQ(p.QueueLength(), 2u);

  p.KillTimer(w, 1);
  p.SetTimer(w, 2, 50);  // re-armed: period and due time start again from now
  EXPECT_EQ(Drain(), 0);
  EXPECT_FALSE(p.TimerArmed(w, 1));
  EXPECT_EQ(p.TimerPeriod(w, 2), 50u);
  p.Advance(49);
  EXPECT_EQ(Drain(), 0);
  p.Advance(1);
  EXPECT_EQ(Drain(), 1);
  EXPECT_EQ(Taken(), (std::vector<Delivered>{{w, EventKind::Timer, 2, 150}}));
}

TEST_F(HeadlessTest, RefusedTimersAreNotArmed) {
  const Handle w = Make(WindowKind::Utility);
  p.RefuseTimers(true);
  EXPECT_FALSE(p.SetTimer(w, 1, 100));
  EXPECT_FALSE(p.TimerArmed(w, 1));
  p.RefuseTimers(false);
  EXPECT_TRUE(p.SetTimer(w, 1, 100));
}

TEST_F(HeadlessTest, AdvanceToNextTimerStopsAtTheEarliestDueTime) {
  const Handle w = Make(WindowKind::Utility);
  EXPECT_FALSE(p.AdvanceToNextTimer());
  EXPECT_EQ(p.Now(), 0u);
  p.Advance(5);
  p.SetTimer(w, 1, 300);
  p.SetTimer(w, 2, 100);
  EXPECT_TRUE(p.AdvanceToNextTimer());
  EXPECT_EQ(p.Now(), 105u);
  Drain();
  EXPECT_EQ(Taken(), (std::vector<Delivered>{{w, EventKind::Timer, 2, 105}}));
}

// ----- asynchronous key state ------------------------------------------------------------------

enum class KeyAct { Down, Up, Tap, Query };
struct KeyCase {
  const char* name;
  std::vector<KeyAct> acts;
  std::vector<std::uint16_t> answers;  // one per Query
};

class AsyncKeys : public HeadlessTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(AsyncKeys, StateAndPressedSinceLastQueryBit) {
  std::vector<std::uint16_t> answers;
  for (KeyAct a : GetParam().acts) {
    switch (a) {
      case KeyAct::Down: p.SetKeyDown(kVkControl, true); break;
      case KeyAct::Up: p.SetKeyDown(kVkControl, false); break;
      case KeyAct::Tap: p.TapKey(kVkControl); break;
      case KeyAct::Query:
        answers.push_back(static_cast<std::uint16_t>(p.GetAsyncKeyState(kVkControl)));
        break;
    }
  }
  EXPECT_EQ(answers, GetParam().answers);
}

using enum KeyAct;
INSTANTIATE_TEST_SUITE_P(
    Headless, AsyncKeys,
    ::testing::Values(
        KeyCase{"NeverPressed", {Query}, {0}},
        KeyCase{"PressSetsTheBitOnce", {Down, Query, Query}, {0x8001, 0x8000}},
        KeyCase{"PressAndReleaseBetweenQueries", {Down, Up, Query, Query}, {0x0001, 0}},
        KeyCase{"TapIsOnlyTheBit", {Tap, Query, Query}, {0x0001, 0}},
        KeyCase{"TapWhileHeld", {Down, Query, Tap, Query}, {0x8001, 0x8001}},
        KeyCase{"HoldingIsNotPressingAgain", {Down, Query, Down, Query}, {0x8001, 0x8000}},
        KeyCase{"PressAgainAfterRelease", {Down, Query, Up, Down, Query}, {0x8001, 0x8001}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HeadlessTest, KeyQueriesAreLoggedAndIsKeyDownLeavesTheBitAlone) {
  p.SetKeyDown(kVkShift, true);
  EXPECT_TRUE(p.IsKeyDown(kVkShift));
  EXPECT_FALSE(p.IsKeyDown(kVkControl));
  EXPECT_EQ(static_cast<std::uint16_t>(p.GetAsyncKeyState(kVkControl)), 0u);
  EXPECT_EQ(static_cast<std::uint16_t>(p.GetAsyncKeyState(kVkShift)), 0x8001u);
  EXPECT_EQ(p.keyQueries, (std::vector<int>{kVkControl, kVkShift}));
}

// ----- clipboard -------------------------------------------------------------------------------

TEST_F(HeadlessTest, ReadingYieldsTextUpToItsFirstZeroByte) {
  const Handle w = Make(WindowKind::Utility);
  struct Case {
    const char* name;
    std::function<void()> setup;
    std::string expected;
  } cases[] = {
      {"text", [&] { p.SetClipboardText("abc"); }, "abc"},
      {"zero byte cuts", [&] { p.SetClipboardText(std::string("ab\0cd", 5)); }, "ab"},
      {"Shift-JIS bytes kept", [&] { p.SetClipboardText("\x82\xa0\x0d\x0a"); }, "\x82\xa0\x0d\x0a"},
      {"picture only", [&] { p.SetClipboardNonText(); }, ""},
      {"empty", [&] { p.ClearClipboard(); }, ""},
  };
  for (const Case& c : cases) {
    c.setup();
    std::string text = "stale";
    EXPECT_EQ(p.ReadClipboardText(w, text), ClipRead::Ok) << c.name;
    EXPECT_EQ(text, c.expected) << c.name;
  }
}

TEST_F(HeadlessTest, AHeldClipboardCannotBeOpened) {
  const Handle w = Make(WindowKind::Utility);
  p.SetClipboardText("theirs");
  const std::uint32_t seq = p.ClipboardSequence();
  p.HoldClipboard(true);
  std::string text = "untouched";
  EXPECT_EQ(p.ReadClipboardText(w, text), ClipRead::CannotOpen);
  EXPECT_EQ(text, "untouched");
  EXPECT_EQ(Write(w, "mine"), ClipWrite::CannotOpen);
  EXPECT_EQ(p.ClipboardText(), "theirs");
  EXPECT_EQ(p.ClipboardSequence(), seq);
  EXPECT_EQ(p.clipOpens, 2);
  EXPECT_EQ(p.clipReads + p.clipWrites, 0);

  p.HoldClipboard(false);
  EXPECT_EQ(Write(w, "mine"), ClipWrite::Ok);
  EXPECT_EQ(p.ClipboardText(), "mine");
  EXPECT_EQ(p.clipOwner, w);
}

TEST_F(HeadlessTest, ProgrammedWriteFailures) {
  const Handle w = Make(WindowKind::Utility);
  struct Case {
    ClipWrite how;
    bool hasTextAfter;
    std::string textAfter;
    bool sequenceMoves;
  } cases[] = {
      {ClipWrite::NoMemory, true, "before", false},  // failed before anything changed
      {ClipWrite::Failed, false, "", true},          // emptied, then the data was refused
      {ClipWrite::CannotOpen, true, "before", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.how));
    p.SetClipboardText("before");
    const std::uint32_t seq = p.ClipboardSequence();
    p.FailWrites(c.how, 1);
    EXPECT_EQ(Write(w, "after"), c.how);
    EXPECT_EQ(p.ClipboardHasText(), c.hasTextAfter);
    EXPECT_EQ(p.ClipboardText(), c.textAfter);
    EXPECT_EQ(p.ClipboardSequence() != seq, c.sequenceMoves);
    // Only `count` writes fail.
    EXPECT_EQ(Write(w, "after"), ClipWrite::Ok);
    EXPECT_EQ(p.ClipboardText(), "after");
  }
}

TEST_F(HeadlessTest, WriteFailureCountsHeldAttemptsDoNotUseThemUp) {
  const Handle w = Make(WindowKind::Utility);
  p.FailWrites(ClipWrite::NoMemory, 2);
  p.HoldClipboard(true);
  EXPECT_EQ(Write(w, "x"), ClipWrite::CannotOpen);
  p.HoldClipboard(false);
  EXPECT_EQ(Write(w, "x"), ClipWrite::NoMemory);
  EXPECT_EQ(Write(w, "x"), ClipWrite::NoMemory);
  EXPECT_EQ(Write(w, "x"), ClipWrite::Ok);

  p.FailWrites(ClipWrite::Failed, -1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Write(w, "x"), ClipWrite::Failed);
  p.FailWrites(ClipWrite::Ok, -1);
  EXPECT_EQ(Write(w, "x"), ClipWrite::Ok);
  EXPECT_EQ(p.clipOpens, 10);
  EXPECT_EQ(p.clipWrites, 9);
}

TEST_F(HeadlessTest, EveryContentChangeMovesTheSequence) {
  const Handle w = Make(WindowKind::Utility);
  std::uint32_t last = p.ClipboardSequence();
  auto moved = [&] {
    const std::uint32_t now = p.ClipboardSequence();
    return std::exchange(last, now) != now;
  };
  p.SetClipboardText("a");
  EXPECT_TRUE(moved());
  p.SetClipboardText("a");  // copied again: still a change for Windows
  EXPECT_TRUE(moved());
  p.SetClipboardNonText();
  EXPECT_TRUE(moved());
  std::string text;
  p.ReadClipboardText(w, text);
  EXPECT_FALSE(moved());
  Write(w, "b");
  EXPECT_TRUE(moved());
  p.ClearClipboard();
  EXPECT_TRUE(moved());
}

// ----- shell tray ------------------------------------------------------------------------------

std::array<std::uint8_t, kNotifyDataSize> Block(std::uint32_t window, std::uint32_t id,
                                                std::uint32_t flags = 0, std::uint32_t icon = 0,
                                                const std::string& tip = "") {
  std::array<std::uint8_t, kNotifyDataSize> b{};
  auto put = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put(0, kNotifyDataSize);
  put(4, window);
  put(8, id);
  put(12, flags);
  put(16, 1126);
  put(20, icon);
  std::copy(tip.begin(), tip.end(), b.begin() + 24);
  return b;
}

TEST_F(HeadlessTest, TrayHoldsOneIconPerWindowAndId) {
  struct Call {
    NotifyOp op;
    std::uint32_t window, id;
    bool result;
  } calls[] = {
      {kNimModify, 0x100, 1, false},  // not there yet
      {kNimDelete, 0x100, 1, false},
      {kNimAdd, 0x100, 1, true},
      {kNimAdd, 0x100, 1, false},     // the shell refuses a second add of the same key
      {kNimAdd, 0x100, 2, true},      // another id is another icon
      {kNimAdd, 0x200, 1, true},      // and so is another window
      {kNimModify, 0x100, 1, true},
      {kNimDelete, 0x100, 1, true},
      {kNimDelete, 0x100, 1, false},
      {kNimAdd, 0x100, 1, true},      // back, now last in order
  };
  for (const Call& c : calls) {
    EXPECT_EQ(p.ShellNotifyIcon(c.op, Block(c.window, c.id)), c.result)
        << "op " << c.op << " window " << c.window << " id " << c.id;
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> keys;
  for (const TrayIcon& t : p.TrayIcons()) keys.push_back({t.window, t.id});
  EXPECT_EQ(keys, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                      {0x100, 2}, {0x200, 1}, {0x100, 1}}));
  ASSERT_EQ(p.shellCalls.size(), std::size(calls));
  EXPECT_EQ(p.shellCalls[3].op, kNimAdd);
  EXPECT_FALSE(p.shellCalls[3].result);
  EXPECT_EQ(p.shellCalls[3].block, Block(0x100, 1));
}

TEST_F(HeadlessTest, RefusedShellCallsAreRecordedAndChangeNothing) {
  p.shellFilter = [](std::uint32_t op, const auto&) { return op != kNimAdd; };
  EXPECT_FALSE(p.ShellNotifyIcon(kNimAdd, Block(0x100, 1)));
  EXPECT_TRUE(p.TrayIcons().empty());
  p.shellFilter = nullptr;
  EXPECT_TRUE(p.ShellNotifyIcon(kNimAdd, Block(0x100, 1)));
  p.shellFilter = [](std::uint32_t, const auto&) { return false; };
  EXPECT_FALSE(p.ShellNotifyIcon(kNimDelete, Block(0x100, 1)));
  EXPECT_EQ(p.TrayIcons().size(), 1u);
  ASSERT_EQ(p.shellCalls.size(), 3u);
  EXPECT_FALSE(p.shellCalls[0].result);
  EXPECT_TRUE(p.shellCalls[1].result);
  EXPECT_FALSE(p.shellCalls[2].result);
}

TEST_F(HeadlessTest, TrayModifyChangesOnlyTheFlaggedFields) {
  constexpr std::uint32_t kMessage = 1, kIcon = 2, kTip = 4;
  p.ShellNotifyIcon(kNimAdd, Block(0x100, 1, kMessage | kIcon | kTip, 0x501, "one"));
  p.ShellNotifyIcon(kNimModify, Block(0x100, 1, kIcon, 0x502, "ignored"));
  ASSERT_EQ(p.TrayIcons().size(), 1u);
  const TrayIcon& t = p.TrayIcons()[0];
  EXPECT_EQ(t.icon, 0x502u);
  EXPECT_EQ(t.tip, "one");
  EXPECT_EQ(t.callbackMessage, 1126u);
}

// ----- named objects and the process -----------------------------------------------------------

TEST_F(HeadlessTest, NamedMutexAgainstWhatHoldsTheName) {
  struct Case {
    const char* name;
    int claim;  // -1: free, else the NamedKind another process holds it as
    bool handle;
    std::uint32_t lastError;
  } cases[] = {
      {"free", -1, true, 0},
      {"held as a mutex", static_cast<int>(NamedKind::Mutex), true, 183},
      {"held as an event", static_cast<int>(NamedKind::Other), false, 6},
  };
  for (const Case& c : cases) {
    HeadlessPlatform fresh;
    if (c.claim >= 0) fresh.ClaimName("Quintorb", static_cast<NamedKind>(c.claim));
    const MutexResult r = fresh.CreateNamedMutex("Quintorb");
    EXPECT_EQ(r.handle != 0, c.handle) << c.name;
    EXPECT_EQ(r.lastError, c.lastError) << c.name;
    EXPECT_TRUE(fresh.NameExists("Quintorb")) << c.name;
  }
}

TEST_F(HeadlessTest, NamesLiveAsLongAsAProcessHoldsThem) {
  const MutexResult first = p.CreateNamedMutex("ours");
  const MutexResult again = p.CreateNamedMutex("ours");
  EXPECT_EQ(again.lastError, 183u);
  EXPECT_NE(again.handle, first.handle);
  EXPECT_FALSE(p.ReleaseNamedMutex(first.handle));
  EXPECT_EQ(p.mutexReleases, 1);

  p.ClaimName("theirs", NamedKind::Mutex);
  p.ClaimName("shared", NamedKind::Mutex);
  p.CreateNamedMutex("shared");
  p.EndProcess();
  EXPECT_FALSE(p.NameExists("ours"));
  EXPECT_TRUE(p.NameExists("theirs"));
  EXPECT_TRUE(p.NameExists("shared"));
  p.UnclaimName("shared");
  EXPECT_FALSE(p.NameExists("shared"));
  EXPECT_EQ(p.CreateNamedMutex("ours").lastError, 0u);
}

TEST_F(HeadlessTest, ExitProcessThrowsPastStdExceptionHandlersAndFreesNames) {
  static_assert(!std::is_base_of_v<std::exception, ProcessExit>);
  p.CreateNamedMutex("ours");
  try {
    p.ExitProcess(-1);
    FAIL() << "ExitProcess returned";
  } catch (const ProcessExit& e) {
    EXPECT_EQ(e.status, -1);
  }
  EXPECT_FALSE(p.NameExists("ours"));
}

// ----- windows ---------------------------------------------------------------------------------

TEST_F(HeadlessTest, DestroyTakesChildrenAndOwnedWindowsFirstAndSilencesThem) {
  const Handle app = Make(WindowKind::Application);
  const Handle form = Make(WindowKind::Form, app, kVisible);
  const Handle panel = Make(WindowKind::Child, form, kVisible);
  const Handle button = Make(WindowKind::Button, panel, kVisible);
  const Handle owned = Make(WindowKind::Form, form, kVisible);
  const Handle other = Make(WindowKind::Form, app, kVisible);
  p.SetTimer(button, 1, 100);
  p.Advance(100);
  p.Post(owned, Event{EventKind::User, 2000});
  p.Post(other, Event{EventKind::User, 2000});
  p.SetFocus(button);
  p.BringToFront(form);
  Taken();

  p.DestroyWindow(form);
  for (Handle h : {form, panel, button, owned}) {
    EXPECT_FALSE(p.Window(h).alive) << h;
    EXPECT_FALSE(p.IsVisible(h)) << h;
    EXPECT_EQ(p.Send(h, Event{EventKind::Click}), 0) << h;
  }
  EXPECT_TRUE(p.Window(other).alive);
  EXPECT_TRUE(p.Window(app).alive);
  EXPECT_FALSE(p.TimerArmed(button, 1));
  EXPECT_EQ(p.GetFocus(), 0u);
  EXPECT_EQ(p.ActiveWindow(), 0u);
  EXPECT_FALSE(p.Post(owned, Event{EventKind::User, 2000}));
  EXPECT_EQ(p.QueueLength(), 1u);  // their queued tick and message are gone with them
  Drain();
  p.Advance(1000);
  Drain();
  EXPECT_EQ(Taken(), (std::vector<Delivered>{{other, EventKind::User, 0, 100}}));

  p.DestroyWindow(form);  // harmless
  EXPECT_EQ(Make(WindowKind::Button, form), 0u);  // Windows refuses a parent that is gone
}

TEST_F(HeadlessTest, HandlesAreNeverReusedAndWindowsListInCreationOrder) {
  const Handle a = Make(WindowKind::Form);
  p.DestroyWindow(a);
  const Handle b = Make(WindowKind::Form);
  const Handle icon = p.CreateIconFromImage(kTinyIcon);
  const Handle c = Make(WindowKind::Form);
  EXPECT_NE(a, 0u);
  EXPECT_NE(icon, 0u);
  for (Handle h : {a, b, c}) EXPECT_NE(h, icon);
  EXPECT_NE(b, a);
  EXPECT_EQ(p.Windows(), (std::vector<Handle>{a, b, c}));
  EXPECT_THROW(p.Window(icon), std::out_of_range);
}

TEST_F(HeadlessTest, ActivationDeactivatesThePreviousWindowFirst) {
  const Handle app = Make(WindowKind::Application);
  const Handle a = Make(WindowKind::Form, app);
  const Handle b = Make(WindowKind::Form, app);
  const Handle edit = Make(WindowKind::Edit, b);
  using V = std::vector<Delivered>;

  p.BringToFront(a);
  EXPECT_EQ(Taken(), (V{{a, EventKind::Activate, 0, 0}}));
  EXPECT_TRUE(p.IsVisible(a));
  p.BringToFront(b);
  EXPECT_EQ(Taken(), (V{{a, EventKind::Deactivate, 0, 0}, {b, EventKind::Activate, 0, 0}}));
  p.BringToFront(b);
  p.BringToFront(edit);  // a control activates the form it sits in
  EXPECT_EQ(Taken(), V{});
  EXPECT_TRUE(p.SetForegroundWindow(a));
  EXPECT_EQ(Taken(), (V{{b, EventKind::Deactivate, 0, 0}, {a, EventKind::Activate, 0, 0}}));
  EXPECT_EQ(p.foregroundLog, (std::vector<Handle>{a}));
  EXPECT_EQ(p.ActiveWindow(), a);

  p.DestroyWindow(a);  // a window that is gone is not told it lost activation
  p.BringToFront(b);
  EXPECT_EQ(Taken(), (V{{b, EventKind::Activate, 0, 0}}));
}

TEST_F(HeadlessTest, ActivationHandlersSeeTheNewActiveWindow) {
  const Handle a = Make(WindowKind::Form), b = Make(WindowKind::Form);
  p.BringToFront(a);
  Handle seen = 0;
  SinkOf(a).onEvent = [&](const Event& e) {
    if (e.kind == EventKind::Deactivate) seen = p.ActiveWindow();
  };
  p.BringToFront(b);
  EXPECT_EQ(seen, b);
}

TEST_F(HeadlessTest, FocusIsDeliveredAtOnceAndOnlyWhenItMoves) {
  const Handle form = Make(WindowKind::Form);
  const Handle e1 = Make(WindowKind::Edit, form), e2 = Make(WindowKind::Edit, form);
  p.SetFocus(e1);
  EXPECT_EQ(Taken(), (std::vector<Delivered>{{e1, EventKind::FocusGained, 0, 0}}));
  p.SetFocus(e1);
  EXPECT_EQ(Taken(), std::vector<Delivered>{});
  p.SetFocus(e2);
  EXPECT_EQ(p.GetFocus(), e2);
  EXPECT_EQ(Taken(), (std::vector<Delivered>{{e2, EventKind::FocusGained, 0, 0}}));
}

TEST_F(HeadlessTest, TopWindowFollowsZOrderWithTopmostAbove) {
  const Handle app = Make(WindowKind::Application);
  const Handle tool = Make(WindowKind::Form, app, kTopmost);
  const Handle a = Make(WindowKind::Form, app, kVisible);
  const Handle b = Make(WindowKind::Form, app, kVisible);
  Make(WindowKind::Memo, a, kVisible);
  EXPECT_EQ(p.TopWindow(), b);  // the latest created is on top; controls do not count
  p.BringToFront(a);
  EXPECT_EQ(p.TopWindow(), a);
  p.SetVisible(tool, true);
  EXPECT_EQ(p.TopWindow(), tool);
  p.BringToFront(b);
  EXPECT_EQ(p.TopWindow(), tool);
  p.SetVisible(tool, false);
  EXPECT_EQ(p.TopWindow(), b);
}

TEST_F(HeadlessTest, ControlsShowOnlyWhenTheirParentsDo) {
  const Handle app = Make(WindowKind::Application);  // hidden, as the program's own is
  const Handle form = Make(WindowKind::Form, app);
  const Handle memo = Make(WindowKind::Memo, form, kVisible);
  EXPECT_FALSE(p.IsVisible(memo));
  EXPECT_TRUE(p.Window(memo).visible);
  p.SetVisible(form, true);
  EXPECT_TRUE(p.IsVisible(memo));
  EXPECT_TRUE(p.IsVisible(form));  // an owner's visibility does not matter
}

TEST_F(HeadlessTest, TextSetsAreCountedAndAnsiBytesKept) {
  const Handle memo = Make(WindowKind::Memo, 0, 0, "キャプション");
  EXPECT_EQ(p.GetTextUtf8(memo), "キャプション");
  EXPECT_EQ(p.Window(memo).textSets, 0);
  const std::string ansi("\x82\xa0\x0d\x0a\xff", 5);
  p.SetTextAnsi(memo, ansi);
  p.SetTextUtf8(memo, "ミルテナ");
  EXPECT_EQ(p.Window(memo).textAnsi, ansi);
  EXPECT_EQ(p.FindWindowByText("ミルテナ"), memo);
  EXPECT_EQ(p.FindWindowByText("キャプション"), 0u);
  EXPECT_EQ(p.Window(memo).textSets, 2);
  p.SetColors(memo, 0xFFFFFF, 0x80000008);
  EXPECT_EQ(p.Window(memo).colorSets, 1);
  EXPECT_EQ(p.Window(memo).textColor, 0x80000008u);
}

TEST_F(HeadlessTest, FrameSizes) {
  struct Case {
    Border border;
    Size outer;
  } cases[] = {
      {Border::None, {200, 100}},       {Border::Single, {206, 125}},
      {Border::Sizeable, {206, 125}},   {Border::Dialog, {206, 125}},
      {Border::ToolWindow, {206, 121}},
  };
  for (const Case& c : cases) {
    const Size s = p.FrameSizeFor(c.border, kSysMenu, 200, 100);
    EXPECT_EQ(s.width, c.outer.width) << static_cast<int>(c.border);
    EXPECT_EQ(s.height, c.outer.height) << static_cast<int>(c.border);
  }
}

TEST_F(HeadlessTest, LeadBytesOfCodePage932) {
  for (int b = 0; b < 256; ++b) {
    const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(p.IsLeadByte(static_cast<std::uint8_t>(b)), lead) << b;
  }
}

// ----- message queue ---------------------------------------------------------------------------

TEST_F(HeadlessTest, QueueIsFirstInFirstOut) {
  const Handle form = Make(WindowKind::Form);
  const Handle edit = Make(WindowKind::Edit, form);
  p.SetFocus(edit);
  Taken();
  p.PostUserMessage(form, 1126, 5, 513);
  p.PostKeyDown(kVkReturn);
  p.PostQuit(3);
  p.Post(form, Event{EventKind::Close});

  Message m;
  ASSERT_TRUE(p.PeekMessage(m));
  EXPECT_EQ(m.kind, Message::Kind::Other);
  EXPECT_EQ(m.window, form);
  p.DispatchMessage(m);
  ASSERT_TRUE(p.PeekMessage(m));
  EXPECT_EQ(m.kind, Message::Kind::KeyDown);
  EXPECT_EQ(m.window, edit);
  EXPECT_EQ(m.key, kVkReturn);
  p.DispatchMessage(m);
  ASSERT_TRUE(p.PeekMessage(m));
  EXPECT_EQ(m.kind, Message::Kind::Quit);
  EXPECT_EQ(m.quitCode, 3);
  p.DispatchMessage(m);
  ASSERT_TRUE(p.PeekMessage(m));
  p.DispatchMessage(m);
  EXPECT_FALSE(p.PeekMessage(m));

  EXPECT_EQ(Taken(), (std::vector<Delivered>{{form, EventKind::User, 5, 0},
                                             {form, EventKind::Close, 0, 0}}));
  ASSERT_EQ(p.dispatchedKeys.size(), 1u);
  EXPECT_EQ(p.dispatchedKeys[0].window, edit);
}

TEST_F(HeadlessTest, UserMessagesArriveWithTheirParameters) {
  const Handle w = Make(WindowKind::Child);
  std::vector<Event> got;
  SinkOf(w).onEvent = [&](const Event& e) { got.push_back(e); };
  p.PostUserMessage(w, 1126, 7, -2);
  Drain();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].message, 1126u);
  EXPECT_EQ(got[0].wParam, 7u);
  EXPECT_EQ(got[0].lParam, -2);
  SinkOf(w).answer = 42;
  EXPECT_EQ(p.Send(w, Event{EventKind::QueryEndSession}), 42);
}

TEST_F(HeadlessTest, WaitMessageStallsWhenNothingCanCome) {
  const Handle w = Make(WindowKind::Utility);
  EXPECT_THROW(p.WaitMessage(), HeadlessStall);
  static_assert(std::is_base_of_v<std::logic_error, HeadlessStall>);

  int hooks = 0;
  p.onWait = [&] { ++hooks; };
  EXPECT_THROW(p.WaitMessage(), HeadlessStall);
  EXPECT_EQ(hooks, 1);

  p.Post(w, Event{EventKind::Click});
  p.WaitMessage();  // something is queued: no wait, no hook
  EXPECT_EQ(hooks, 1);
  Drain();

  p.SetTimer(w, 1, 100);
  p.onWait = [&] { p.AdvanceToNextTimer(); };
  p.WaitMessage();
  EXPECT_EQ(p.Now(), 100u);
  EXPECT_EQ(p.QueueLength(), 1u);
}

TEST_F(HeadlessTest, MessagesRunInsideAnOpenMessageBox) {
  const Handle form = Make(WindowKind::Form);
  p.SetTimer(form, 1, 100);
  int openDuringTick = 0;
  SinkOf(form).onEvent = [&](const Event&) { openDuringTick = p.boxesOpen; };
  p.onMessageBox = [&](const BoxRecord& box) {
    EXPECT_EQ(box.text, "エラー");
    p.Advance(100);
    Drain();
  };
  p.MessageBox(form, "エラー", "Quintorb", BoxIcon::Stop);
  EXPECT_EQ(openDuringTick, 1);
  EXPECT_EQ(p.boxesOpen, 0);
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].owner, form);
  EXPECT_EQ(p.boxes[0].caption, "Quintorb");
  EXPECT_EQ(p.boxes[0].icon, BoxIcon::Stop);
}

// ----- icons -----------------------------------------------------------------------------------

TEST_F(HeadlessTest, OnlyPlausibleIconImagesMakeIcons) {
  struct Case {
    const char* name;
    std::string bytes;
    bool accepted;
  } cases[] = {
      {"the tray icon's shape", Ico(0, 1, 1, 296, 22, 318), true},
      {"image ends exactly at the end", Ico(0, 1, 1, 1, 22, 23), true},
      {"too short", Ico(0, 1, 1, 0, 22, 21), false},
      {"reserved not zero", Ico(1, 1, 1, 296, 22, 318), false},
      {"a cursor, not an icon", Ico(0, 2, 1, 296, 22, 318), false},
      {"no images", Ico(0, 1, 0, 296, 22, 318), false},
      {"image runs past the end", Ico(0, 1, 1, 297, 22, 318), false},
      {"offset far outside", Ico(0, 1, 1, 16, 0xFFFFFFF0u, 318), false},
  };
  for (const Case& c : cases) {
    const Handle h = p.CreateIconFromImage(c.bytes);
    EXPECT_EQ(h != 0, c.accepted) << c.name;
    if (h) {
      EXPECT_EQ(p.IconImage(h), c.bytes) << c.name;
      p.DestroyIcon(h);
      EXPECT_THROW(p.IconImage(h), std::out_of_range) << c.name;
    }
  }
  EXPECT_EQ(p.IconCount(), 0u);
}

}  // namespace
}  // namespace plat
