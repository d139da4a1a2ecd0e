// Host-side helpers for the end-to-end tests: the real Quintorb.exe runs under Wine in an X
// display that scripts/test.sh prepares; the tests drive it from outside, through the Win32
// test driver (qdriver.exe, also under Wine), xclip and ImageMagick.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace e2e {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

// A deadline stretched by E2E_TIME_SCALE (a number, default 1), for slow machines such as an
// emulated 32-bit Wine.
Ms Scaled(Ms base);

// --- processes -------------------------------------------------------------------------------

struct CommandResult {
  int exitCode = -1;      // 0..255 when it exited by itself, -1 otherwise
  int signal = 0;         // the signal that ended it, 0 if none
  bool timedOut = false;  // killed because the deadline passed
  std::string out;        // stdout (only when captured)
  std::string err;        // stderr (only when captured)
};

// A child process running in the background. Destroying a Process that still runs kills it.
class Process {
 public:
  Process() = default;
  // argv[0] is looked up in PATH. With `capture`, stdout and stderr are kept, else discarded.
  // `input`, if given, is written to its stdin, which is then closed.
  static Process Start(const std::vector<std::string>& argv, bool capture,
                       const std::optional<std::string>& input = std::nullopt);
  Process(Process&& o) noexcept;
  Process& operator=(Process&& o) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  pid_t pid() const { return pid_; }
  bool Running();
  // Output captured so far (reads what is available without waiting).
  const std::string& Output();
  // Waits for the end, killing it with SIGKILL at the deadline.
  CommandResult Finish(Ms timeout);
  // SIGKILL, then reaps it.
  void Kill();

 private:
  void Drain(int timeoutMs);
  void Reap(int status);
  void CloseFds();

  pid_t pid_ = -1;
  int outFd_ = -1, errFd_ = -1;
  bool exited_ = false;
  CommandResult result_;
};

// Runs a command to its end (or the deadline) and returns what it did.
CommandResult RunCommand(const std::vector<std::string>& argv, Ms timeout = 20s,
                  const std::optional<std::string>& input = std::nullopt);

// Polls `pred` every `interval` until it holds or the deadline passes; returns its last value.
bool WaitFor(const std::function<bool()>& pred, Ms deadline, Ms interval = 25ms);

// --- the test driver -------------------------------------------------------------------------

// One line of driver output: "key=value key=value ...". A `title` or `text` field runs to the
// end of the line (it may contain spaces); a word without '=' becomes a key with an empty value.
using Record = std::map<std::string, std::string>;
std::vector<Record> ParseRecords(const std::string& out);

struct DriverResult {
  int exitCode = -1;
  bool timedOut = false;
  std::string out, err;
  std::vector<Record> records;
  bool ok() const { return exitCode == 0; }
  // Value of `key` in the first record that has it, or "" when none has.
  std::string Get(const std::string& key) const;
  // Everything, for failure messages.
  std::string Describe() const;
};

// `wine qdriver.exe args...`
DriverResult Driver(const std::vector<std::string>& args, Ms timeout = Scaled(60s));
// The same, left running in the background with its output captured.
Process StartDriver(const std::vector<std::string>& args);

// Window class names compare without regard to case, as Windows compares them: the system's
// control classes report themselves as "Edit", "Button", "Static".
bool SameClass(const std::string& a, const std::string& b);

// Numbers as the driver prints them ("0x1A2B" or decimal).
long long Number(const std::string& s);

// --- the X side ------------------------------------------------------------------------------

// Makes `text` (UTF-8) the X clipboard, served by an xclip process that lives until
// KillXclips(); returns once the X side reads it back.
bool XclipSet(const std::string& text);
// The X clipboard as UTF-8 text, or nothing when no one offers text.
std::optional<std::string> XclipGet();
void KillXclips();

// An X window on the screen, in root coordinates.
struct XWindow {
  std::string id;
  int x = 0, y = 0, width = 0, height = 0;
};
// The icons docked in trayer's panel (Wine's explorer.exe embeds one X window per icon),
// left to right.
std::vector<XWindow> TrayIcons();
// A real click (pointer moved there first) with X button 1 (left) or 3 (right); `count`
// clicks in a row make a double click.
bool ClickAt(int x, int y, int button, int count = 1);

// Saves the whole screen as <artifacts>/<name>.png; returns the path, or "" on failure.
std::string Screenshot(const std::string& name);

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
// The pixels of an area of a PNG file, row by row, or nothing when it cannot be read. With
// `cropTo`, the area is saved there too (a PNG), to be looked at when a test fails.
std::vector<Rgb> ReadPixels(const std::string& png, const XWindow& area,
                            const std::string& cropTo = "");

// Bytes as lower-case hex, as the driver takes and prints clipboard contents.
std::string Hex(const std::string& bytes);

// --- where things are ------------------------------------------------------------------------

std::string QuintorbExe();
std::string QdriverExe();
std::string ArtifactDir();

// Why the end-to-end environment is not there (no X display or no Wine prefix), or nothing.
std::optional<std::string> MissingEnvironment();

// The name of the program's single-instance mutex.
inline constexpr const char* kMutexName = "Quintorb";

// --- the program's main window ---------------------------------------------------------------

// TForm1's controls as the driver reports them (hwnd, text, sx/sy on the screen, ...), told
// apart by their place in the layout: Memo1 shows slot A at 0,0, Memo2 slot B at 0,25; the
// hidden EDIT is the marker whose text names the active slot; the 0x0 TNotifyWindow receives
// the tray icons' callbacks.
struct MainWindow {
  Record form, memo1, memo2, marker, button, notify;
  std::string error;  // what was missing, when something was
};
MainWindow ReadMainWindow();

// --- the fixture -----------------------------------------------------------------------------

// Skips without the environment; after each test kills the Quintorb processes it started (only
// those: the wineserver is shared) and waits until a new copy could start again, with the tray
// empty.
class QuintorbTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // `wine Quintorb.exe` in the background; the PID is the Windows process's own.
  Process& StartQuintorb();
  // `wine qdriver.exe run Quintorb.exe <timeout>` in the background, killed with the test.
  Process& StartQuintorbThroughDriver(Ms timeout = Scaled(120s));
  // Waits until the program's windows exist (it has finished starting).
  void WaitForStarted();
  // The single top-level window of a class (and title, if given); fails the test otherwise.
  Record FindOne(const std::string& cls, const std::string& title = "");
  // Waits for a top-level window of the class to reach a state (visible, hidden, exists, gone).
  bool WaitWindow(const std::string& cls, const std::string& state, Ms timeout = Scaled(20s));
  // Real right clicks on the docked icons until TForm1 shows. A click that reaches an icon
  // before Wine has finished embedding it is lost, and Wine leaves the icons of killed copies
  // docked (both seen in full runs); a right press on a shown window only brings it forward, so
  // pressing again, or another icon, is safe.
  bool RightClickIconUntilMainWindowShows(const std::vector<XWindow>& icons);
  // Holds Ctrl+Shift down (SendInput, system-wide) until the marker control reads `slot` ("A"
  // or "B"), then lets go at once. The driver's answer tells when (pressed_at, seen_at: the
  // GetTickCount clock every Wine process shares). Keys stay up a while between two chords,
  // or the program, sampling every 100 ms, might not see them go up.
  DriverResult HoldChordUntil(const std::string& markerHwnd, const std::string& slot);
  // The same for the running program's marker; fails the test when no switch to `slot` came.
  bool SwitchWithChord(const std::string& slot);
  // Waits for the docked tray icons (trayer) to be `count`.
  std::vector<XWindow> WaitTrayIcons(size_t count, Ms timeout = Scaled(10s));

  std::vector<Process> started_;
  std::chrono::steady_clock::time_point keysUp_{};
};

}  // namespace e2e
