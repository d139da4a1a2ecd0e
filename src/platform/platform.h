// The seam between the program and the operating system.
//
// Everything above this header (vcl/, the program's own units) sees the system only through
// the abstract class Platform. Two backends implement it: platform/win32 (the real thing) and
// platform/headless (in memory, deterministic, for tests). No system header leaks through here:
// handles are opaque integers.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace plat {

// Opaque handle of a window, icon or mutex. 0 means "none".
using Handle = std::uintptr_t;

// Colour as the component layer stores it: 0x00BBGGRR, or 0x80000000 + n for system colour n.
using Color = std::uint32_t;

enum class WindowKind : std::uint8_t {
  Application,  // hidden top-level window that owns the forms and carries the title
  Form,         // top-level window, owned by the application window
  Memo,         // multi-line text view (child)
  Edit,         // single-line edit (child)
  Button,       // push button (child)
  Label,        // static text (child)
  Child,        // empty child window, e.g. the tray notification window
  Utility,      // hidden top-level window that only receives messages (timers)
};

enum class Border : std::uint8_t {
  None,
  Single,
  Sizeable,
  Dialog,      // caption bar and fixed dialog frame
  ToolWindow,  // narrow caption bar, thin fixed border
};

// Style bits of a window, fixed at creation.
enum Style : std::uint32_t {
  kVisible = 1u << 0,
  kTopmost = 1u << 1,    // forms: stay above ordinary windows
  kSysMenu = 1u << 2,    // forms: window menu and caption buttons
  kReadOnly = 1u << 3,   // memo/edit
  kTabStop = 1u << 4,    // controls that take part in keyboard navigation
  kWordWrap = 1u << 5,   // memo
  kScrollBars = 1u << 6, // memo
  kBorder = 1u << 7,     // sunken single border of memo/edit
};

struct WindowSpec {
  WindowKind kind = WindowKind::Child;
  Border border = Border::None;  // forms only
  std::uint32_t style = 0;       // Style bits
  Handle parent = 0;             // controls: parent window; forms: owner window
  int left = 0, top = 0;         // forms: screen position of the outer frame; controls: in parent's client area
  int width = 0, height = 0;     // outer size
  std::string caption;           // UTF-8
  // Window class name for Application/Form/Child/Utility windows (e.g. "TForm1"), so that other
  // processes and tests can find the program's windows by class. Controls use the system classes.
  std::string className;
};

struct Point {
  int x = 0, y = 0;
};
struct Size {
  int width = 0, height = 0;
};
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};

// What a window reports to the component layer that owns it.
enum class EventKind : std::uint8_t {
  Close,            // close request (WM_CLOSE), from the user or from outside
  Click,            // button clicked; memo/edit: left press and release inside it
  Timer,            // a timer of this window fired; id in wParam
  Activate,         // a form became the active window
  Deactivate,       // a form stopped being the active window
  FocusGained,      // this control received the keyboard focus
  QueryEndSession,  // the logon may end?  Return non-zero to agree.
  EndSession,       // the logon ends now (wParam non-zero) or not
  User,             // any message number >= 1024 (WM_USER); message, wParam, lParam as sent
  TaskbarCreated,   // the shell's notification area was (re)created; top-level windows only
};

struct Event {
  EventKind kind = EventKind::User;
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

// Implemented by the component layer; one per native window.
class WindowSink {
 public:
  virtual std::intptr_t HandleEvent(const Event& e) = 0;

 protected:
  ~WindowSink() = default;
};

// One message taken from the thread's queue. The backend fills kind/key so that the component
// layer can pre-process keys (dialog keyboard) without knowing the native message.
struct Message {
  enum class Kind : std::uint8_t { Quit, KeyDown, Other };
  Kind kind = Kind::Other;
  Handle window = 0;  // target window (for KeyDown: the focused control)
  int key = 0;        // virtual-key code for KeyDown
  int quitCode = 0;   // for Quit
  std::array<std::uintptr_t, 8> native{};  // backend's own copy of the message
};

// Virtual-key codes the layers above use.
enum VKey : int {
  kVkTab = 0x09,
  kVkReturn = 0x0D,
  kVkShift = 0x10,
  kVkControl = 0x11,
  kVkMenu = 0x12,  // Alt
  kVkEscape = 0x1B,
  kVkLeft = 0x25,
  kVkUp = 0x26,
  kVkRight = 0x27,
  kVkDown = 0x28,
};

struct MutexResult {
  Handle handle = 0;          // 0 when the create failed
  std::uint32_t lastError = 0;  // GetLastError() read right after the create (183: name existed)
};

enum class ClipRead : std::uint8_t {
  Ok,          // text holds the CF_TEXT text up to its first zero byte, or "" if there is no text
  CannotOpen,  // another application holds the clipboard; text is untouched
};

enum class ClipWrite : std::uint8_t {
  Ok,
  CannotOpen,  // another application holds the clipboard; nothing changed
  NoMemory,    // the global block could not be had; nothing changed
  Failed,      // emptied but SetClipboardData refused
};

// Shell_NotifyIconA operations.
enum NotifyOp : std::uint32_t { kNimAdd = 0, kNimModify = 1, kNimDelete = 2 };
constexpr std::size_t kNotifyDataSize = 88;

enum class BoxIcon : std::uint8_t { None, Stop };

class Platform {
 public:
  virtual ~Platform() = default;

  // --- process -------------------------------------------------------------------------------
  // File name of the running executable (UTF-8), with or without directories.
  virtual std::string ExecutablePath() = 0;
  virtual MutexResult CreateNamedMutex(const std::string& name) = 0;
  virtual bool ReleaseNamedMutex(Handle mutex) = 0;
  // Ends the process at once with the status. Never returns. (Headless: throws ProcessExit.)
  [[noreturn]] virtual void ExitProcess(int status) = 0;

  // --- windows -------------------------------------------------------------------------------
  virtual Handle CreateWindow(const WindowSpec& spec, WindowSink* sink) = 0;
  virtual void DestroyWindow(Handle w) = 0;
  virtual void SetVisible(Handle w, bool visible) = 0;  // plain show/hide, no activation
  virtual bool IsVisible(Handle w) = 0;
  virtual void BringToFront(Handle w) = 0;              // raise and activate a shown window
  virtual void SetBounds(Handle w, const Rect& outer) = 0;
  virtual Rect GetBounds(Handle w) = 0;                 // forms: screen; controls: parent client
  // Outer size of a form of this border/style for the given client size.
  virtual Size FrameSizeFor(Border border, std::uint32_t style, int clientWidth,
                            int clientHeight) = 0;
  virtual void SetTextUtf8(Handle w, const std::string& utf8) = 0;
  virtual std::string GetTextUtf8(Handle w) = 0;
  // Text in the system ANSI code page, handed to the native control as bytes.
  virtual void SetTextAnsi(Handle w, const std::string& ansi) = 0;
  virtual void SetColors(Handle w, Color background, Color text) = 0;
  // Font of a window: face (UTF-8), character height in pixels, character set (128: Shift-JIS).
  virtual void SetFont(Handle w, const std::string& faceUtf8, int heightPx, int charset) = 0;
  virtual void SetFocus(Handle w) = 0;
  virtual Handle GetFocus() = 0;
  virtual bool SetForegroundWindow(Handle w) = 0;
  virtual Size ScreenSize() = 0;
  virtual Point CursorPos() = 0;
  // System ANSI code page: is this byte the first of a double-byte character?
  virtual bool IsLeadByte(std::uint8_t b) = 0;

  // Error box: text and caption UTF-8, one OK button, modal over the program's windows.
  virtual void MessageBox(Handle owner, const std::string& textUtf8,
                          const std::string& captionUtf8, BoxIcon icon) = 0;

  // --- message queue -------------------------------------------------------------------------
  virtual bool PeekMessage(Message& m) = 0;  // takes the next message without waiting
  virtual void WaitMessage() = 0;            // sleeps until a message arrives
  virtual void DispatchMessage(const Message& m) = 0;
  virtual void PostQuit(int code) = 0;
  virtual void PostUserMessage(Handle w, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) = 0;

  // --- timers --------------------------------------------------------------------------------
  virtual bool SetTimer(Handle w, std::uintptr_t id, std::uint32_t ms) = 0;
  virtual void KillTimer(Handle w, std::uintptr_t id) = 0;

  // --- keyboard ------------------------------------------------------------------------------
  virtual std::int16_t GetAsyncKeyState(int vk) = 0;  // system-wide, as GetAsyncKeyState
  virtual bool IsKeyDown(int vk) = 0;                 // thread's key state (GetKeyState < 0)

  // --- clipboard (CF_TEXT only) --------------------------------------------------------------
  // `owner` is a window of the program (the clipboard needs one to be emptied and written).
  virtual ClipRead ReadClipboardText(Handle owner, std::string& text) = 0;
  // On Ok, `sequence` is the clipboard's sequence number that this write produced, when it is
  // certain that nobody changed the clipboard after it; otherwise 0.
  virtual ClipWrite WriteClipboardText(Handle owner, const std::string& text,
                                       std::uint32_t& sequence) = 0;
  // Changes whenever the clipboard's content changes (GetClipboardSequenceNumber).
  virtual std::uint32_t ClipboardSequence() = 0;

  // --- shell tray ----------------------------------------------------------------------------
  // `block` is the 88-byte NOTIFYICONDATAA as the tray component fills it.
  virtual bool ShellNotifyIcon(std::uint32_t op,
                               const std::array<std::uint8_t, kNotifyDataSize>& block) = 0;
  // Builds an icon from a standard .ico file image; 0 on failure.
  virtual Handle CreateIconFromImage(const std::string& icoBytes) = 0;
  virtual void DestroyIcon(Handle icon) = 0;
};

// The platform chosen at start-up. Set once by the entry (or by a test).
Platform& Current();
void SetCurrent(Platform* p);

}  // namespace plat
