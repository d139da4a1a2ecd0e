// The headless platform: Windows in memory, for unit tests of the program.
//
// One HeadlessPlatform is one process of the program; a test makes a fresh one per case. It
// behaves like Windows where the program depends on it (activation order, one pending timer tick,
// the async key bit, clipboard failures, the shell's icon set, named objects) and lets the test
// read and steer everything through the public members and functions below. Nothing here sleeps:
// time moves only when the test calls Advance().
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace plat {

// Thrown by HeadlessPlatform::ExitProcess. Deliberately not a std::exception, so that the
// program's own catch-all handlers for errors do not swallow the end of the process.
struct ProcessExit {
  int status = 0;
};

// Thrown by WaitMessage when the program would sleep forever: the queue is empty and the test's
// onWait hook brought nothing.
class HeadlessStall : public std::logic_error {
 public:
  HeadlessStall();
};

// Who holds a name in the named-object table.
enum class NamedKind : std::uint8_t { Mutex, Other };

struct WindowState {
  Handle handle = 0;
  WindowSpec spec;
  Rect bounds;
  bool visible = false;  // its own flag; IsVisible() also asks its parents, as Windows does
  bool alive = true;
  std::string textUtf8;  // from the caption, SetTextUtf8
  std::string textAnsi;  // from SetTextAnsi, bytes exactly as given
  Color background = 0, textColor = 0;
  std::string fontFace;
  int fontHeight = 0, fontCharset = 0;
  int textSets = 0;   // SetTextUtf8 + SetTextAnsi calls
  int colorSets = 0;  // SetColors calls
  std::uint64_t zOrder = 0;  // larger is nearer the top (topmost windows rank above all others)
  WindowSink* sink = nullptr;
};

struct BoxRecord {
  Handle owner = 0;
  std::string text, caption;
  BoxIcon icon = BoxIcon::None;
};

struct ShellCall {
  std::uint32_t op = 0;
  std::array<std::uint8_t, kNotifyDataSize> block{};
  bool result = false;
};

// An icon the tray holds: its key (window and id, from the block) and what add/modify gave it.
struct TrayIcon {
  std::uint32_t window = 0, id = 0;
  std::uint32_t callbackMessage = 0, icon = 0;
  std::string tip;  // bytes up to the first zero
};

// Frame metrics of FrameSizeFor (outer = client + 2 * border + caption).
constexpr int kFrameBorder = 3;         // Single, Sizeable, Dialog, ToolWindow: each side
constexpr int kCaptionHeight = 19;      // Single, Sizeable, Dialog
constexpr int kToolCaptionHeight = 15;  // ToolWindow
// Shortest timer period; Windows raises smaller ones to this (USER_TIMER_MINIMUM).
constexpr std::uint32_t kMinTimerPeriod = 10;

class HeadlessPlatform : public Platform {
 public:
  HeadlessPlatform() = default;

  // ===== Platform =============================================================================
  // Where Windows would fail on a window that is gone (or never was), these do nothing and
  // answer 0/false/empty. Points worth knowing: creating a window never activates it; a control
  // whose parent is gone is refused (0); SetFocus on the focused window sends nothing; activation
  // by BringToFront/SetForegroundWindow goes to the Form/Application window a control sits in.
  std::string ExecutablePath() override;
  MutexResult CreateNamedMutex(const std::string& name) override;
  bool ReleaseNamedMutex(Handle mutex) override;
  [[noreturn]] void ExitProcess(int status) override;

  Handle CreateWindow(const WindowSpec& spec, WindowSink* sink) override;
  void DestroyWindow(Handle w) override;
  void SetVisible(Handle w, bool visible) override;
  bool IsVisible(Handle w) override;
  void BringToFront(Handle w) override;
  void SetBounds(Handle w, const Rect& outer) override;
  Rect GetBounds(Handle w) override;
  Size FrameSizeFor(Border border, std::uint32_t style, int clientWidth,
                    int clientHeight) override;
  void SetTextUtf8(Handle w, const std::string& utf8) override;
  std::string GetTextUtf8(Handle w) override;
  void SetTextAnsi(Handle w, const std::string& ansi) override;
  void SetColors(Handle w, Color background, Color text) override;
  void SetFont(Handle w, const std::string& faceUtf8, int heightPx, int charset) override;
  void SetFocus(Handle w) override;
  Handle GetFocus() override;
  bool SetForegroundWindow(Handle w) override;
  Size ScreenSize() override;
  Point CursorPos() override;
  bool IsLeadByte(std::uint8_t b) override;
  void MessageBox(Handle owner, const std::string& textUtf8, const std::string& captionUtf8,
                  BoxIcon icon) override;

  bool PeekMessage(Message& m) override;
  void WaitMessage() override;
  void DispatchMessage(const Message& m) override;
  void PostQuit(int code) override;
  void PostUserMessage(Handle w, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) override;

  bool SetTimer(Handle w, std::uintptr_t id, std::uint32_t ms) override;
  void KillTimer(Handle w, std::uintptr_t id) override;

  std::int16_t GetAsyncKeyState(int vk) override;
  bool IsKeyDown(int vk) override;

  ClipRead ReadClipboardText(Handle owner, std::string& text) override;
  ClipWrite WriteClipboardText(Handle owner, const std::string& text,
                               std::uint32_t& sequence) override;
  std::uint32_t ClipboardSequence() override;

  bool ShellNotifyIcon(std::uint32_t op,
                       const std::array<std::uint8_t, kNotifyDataSize>& block) override;
  Handle CreateIconFromImage(const std::string& icoBytes) override;
  void DestroyIcon(Handle icon) override;

  // ===== Test-facing API ======================================================================

  // --- windows ---
  // Throws std::out_of_range for a handle that was never a window. Destroyed windows stay
  // readable (alive == false).
  const WindowState& Window(Handle w) const;
  std::vector<Handle> Windows() const;  // every window ever created, in creation order
  Handle ActiveWindow() const;
  // Top of the z-order among visible top-level windows; topmost ones rank above the rest.
  Handle TopWindow() const;
  Handle FindWindowByText(const std::string& utf8) const;  // first alive window; 0 if none
  std::vector<Handle> foregroundLog;  // every SetForegroundWindow, in order

  // Delivers an event at once and returns the sink's answer, as SendMessage (0 if the window
  // is gone). Post queues it, as PostMessage; false if the window is gone.
  std::intptr_t Send(Handle w, const Event& e);
  bool Post(Handle w, const Event& e);
  // Queues a key press for the focused window (or the active one if none has the focus).
  // The key state is not touched: combine with SetKeyDown for modifiers.
  void PostKeyDown(int vk);
  // Key messages that reached DispatchMessage (the program did not consume them first).
  struct DispatchedKey {
    Handle window = 0;
    int key = 0;
  };
  std::vector<DispatchedKey> dispatchedKeys;
  std::size_t QueueLength() const { return queue_.size(); }

  // Called by WaitMessage when the queue is empty: a test advances time or posts here.
  std::function<void()> onWait;

  // --- virtual clock and timers ---
  // Moves the clock forward by ms. Each time a timer's due time is reached it queues one Timer
  // event, unless a tick of that timer is still queued; periods missed are not made up.
  void Advance(std::uint64_t ms);
  // Advances to the earliest due time of any timer; false (and no change) when none is armed.
  bool AdvanceToNextTimer();
  std::uint64_t Now() const { return now_; }
  void RefuseTimers(bool refuse) { refuseTimers_ = refuse; }
  bool TimerArmed(Handle w, std::uintptr_t id) const;
  std::uint32_t TimerPeriod(Handle w, std::uintptr_t id) const;  // 0 when not armed

  // --- keyboard ---
  // Pressing (up -> down) also sets the key's "pressed since the last query" bit.
  void SetKeyDown(int vk, bool down);
  // Down and up again between two queries: sets only the bit.
  void TapKey(int vk);
  std::vector<int> keyQueries;  // every GetAsyncKeyState, in order

  // --- clipboard ---
  void SetClipboardText(const std::string& bytes);  // another application copied text
  void SetClipboardNonText();                        // another application copied a picture
  void ClearClipboard();                             // another application emptied it
  bool ClipboardHasText() const { return clip_ == Clip::Text; }
  const std::string& ClipboardText() const { return clipBytes_; }  // raw bytes, "" if no text
  void HoldClipboard(bool held) { clipHeld_ = held; }  // while held, every open fails
  // The next `count` writes that open the clipboard end with `how` (-1: all of them; 0 or
  // how == Ok: none). CannotOpen fails the open itself.
  void FailWrites(ClipWrite how, int count);
  int clipOpens = 0;   // every read or write attempt, failed ones included
  int clipReads = 0;   // reads that opened the clipboard
  int clipWrites = 0;  // writes that opened the clipboard, whatever happened next
  Handle clipOwner = 0;  // owner given to the last write that opened the clipboard

  // --- shell tray ---
  // Consulted before the tray applies a call; false makes the call fail and change nothing.
  std::function<bool(std::uint32_t op, const std::array<std::uint8_t, kNotifyDataSize>&)>
      shellFilter;
  std::vector<ShellCall> shellCalls;
  const std::vector<TrayIcon>& TrayIcons() const { return tray_; }  // in insertion order

  // --- icons ---
  const std::string& IconImage(Handle icon) const;  // std::out_of_range if not a live icon
  std::size_t IconCount() const { return icons_.size(); }

  // --- named objects and the process ---
  // Another process holds `name` (as a mutex, or as another kind of object such as an event).
  void ClaimName(const std::string& name, NamedKind kind);
  void UnclaimName(const std::string& name);  // that other process ended
  bool NameExists(const std::string& name) const;
  // This process ended: the names it created or opened are let go. ExitProcess does it too.
  void EndProcess();
  int mutexReleases = 0;
  void SetExecutablePath(const std::string& path) { exePath_ = path; }

  // --- message boxes ---
  // Every box, in order. onMessageBox runs while the box is open, as its modal loop would:
  // a test may run the program's messages there.
  std::vector<BoxRecord> boxes;
  std::function<void(const BoxRecord&)> onMessageBox;
  int boxesOpen = 0;

  // --- screen ---
  void SetScreenSize(Size s) { screen_ = s; }
  void SetCursorPos(Point p) { cursor_ = p; }

 private:
  struct Queued {
    Message::Kind kind = Message::Kind::Other;
    Handle window = 0;
    Event event;
    int key = 0;
    int quitCode = 0;
    bool tick = false;  // queued by a timer (as opposed to posted)
  };
  struct Timer {
    std::uint32_t period = 0;
    std::uint64_t due = 0;
    std::uint64_t armed = 0;  // order of arming, so timers due together tick in that order
    bool pending = false;     // a tick of it is in the queue
  };
  struct Key {
    bool down = false, pressedBit = false;
  };
  struct Named {
    NamedKind kind = NamedKind::Mutex;
    bool heldByOther = false, heldByUs = false;
  };
  enum class Clip : std::uint8_t { Empty, Text, NonText };

  WindowState* Alive(Handle w);
  const WindowState* Alive(Handle w) const;
  Handle NewHandle() { return nextHandle_++; }
  void Activate(Handle w);
  void DropTick(Handle w, std::uintptr_t id);
  void ChangeClipboard(Clip state, const std::string& bytes);

  Handle nextHandle_ = 0x100;
  std::map<Handle, WindowState> windows_;  // handles only grow: map order is creation order
  std::uint64_t zCounter_ = 0;
  Handle active_ = 0, focus_ = 0;

  std::deque<Queued> queue_;
  std::uint64_t now_ = 0, armCounter_ = 0;
  std::map<std::pair<Handle, std::uintptr_t>, Timer> timers_;
  bool refuseTimers_ = false;

  std::array<Key, 256> keys_{};

  Clip clip_ = Clip::Empty;
  std::string clipBytes_;
  std::uint32_t clipSeq_ = 1;
  bool clipHeld_ = false;
  ClipWrite failHow_ = ClipWrite::Ok;
  int failCount_ = 0;

  std::vector<TrayIcon> tray_;
  std::map<Handle, std::string> icons_;
  std::map<std::string, Named> names_;

  std::string exePath_ = "C:\\Program Files\\Quintorb\\Quintorb.exe";
  Size screen_{1024, 768};
  Point cursor_{};
};

}  // namespace plat
