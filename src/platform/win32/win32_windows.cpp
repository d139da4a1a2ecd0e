// Windows and controls: creation, the window procedures that turn messages into events,
// geometry, text, colours and fonts.
#include <exception>

#include "platform/win32/win32_internal.h"

namespace plat::win32 {
namespace {

constexpr wchar_t kFallbackClass[] = L"QuintorbWindow";
// Large enough that no text the program shows is cut by the control itself.
constexpr WPARAM kEditTextLimit = 0x7FFFFFFE;

bool IsOwnClass(WindowKind k) {
  return k == WindowKind::Application || k == WindowKind::Form || k == WindowKind::Child ||
         k == WindowKind::Utility;
}

WindowData* DataOf(HWND hwnd) {
  return reinterpret_cast<WindowData*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// The component layer promises that HandleEvent throws nothing; should it ever, stop here
// rather than unwind through the system's frames.
LRESULT Notify(WindowData* d, EventKind kind, UINT msg, WPARAM wp, LPARAM lp) {
  WindowSink* sink = d ? d->sink : nullptr;
  if (!sink) return 0;
  Event e;
  e.kind = kind;
  e.message = msg;
  e.wParam = wp;
  e.lParam = lp;
  try {
    return static_cast<LRESULT>(sink->HandleEvent(e));
  } catch (...) {
    std::terminate();
  }
}

LRESULT ColorChild(WindowData* parent, HDC dc, HWND child) {
  WindowData* c = parent->state->Find(child);
  if (!c || !c->hasColors) return 0;
  SetTextColor(dc, ToColorRef(c->text));
  SetBkColor(dc, ToColorRef(c->background));
  return reinterpret_cast<LRESULT>(parent->state->BrushFor(c->background));
}

// Procedure of the program's own classes (application, forms, notification and utility windows).
LRESULT CALLBACK OwnWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    if (auto* d = static_cast<WindowData*>(cs->lpCreateParams)) {
      d->hwnd = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(d));
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  WindowData* d = DataOf(hwnd);
  if (!d) return DefWindowProcW(hwnd, msg, wp, lp);

  switch (msg) {
    case WM_CLOSE:
      // The component layer decides whether the window goes; the default would destroy it.
      Notify(d, EventKind::Close, msg, wp, lp);
      return 0;
    case WM_TIMER:
      Notify(d, EventKind::Timer, msg, wp, lp);
      return 0;
    case WM_ACTIVATE: {
      // Default first (it gives the window the focus), so that the sink can move the focus
      // on to one of its controls.
      LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
      Notify(d, LOWORD(wp) == WA_INACTIVE ? EventKind::Deactivate : EventKind::Activate, msg, wp,
             lp);
      return r;
    }
    case WM_QUERYENDSESSION:
      if (!d->sink) break;
      return Notify(d, EventKind::QueryEndSession, msg, wp, lp);
    case WM_ENDSESSION:
      Notify(d, EventKind::EndSession, msg, wp, lp);
      return 0;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED && lp != 0) {
        WindowData* b = d->state->Find(reinterpret_cast<HWND>(lp));
        if (b && b->kind == WindowKind::Button) {
          Notify(b, EventKind::Click, msg, wp, lp);
          return 0;
        }
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      if (LRESULT brush =
              ColorChild(d, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp))) {
        return brush;
      }
      break;
    case WM_ERASEBKGND:
      if (d->hasColors) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, d->state->BrushFor(d->background));
        return 1;
      }
      break;
    case WM_NCDESTROY: {
      Win32Platform::State* state = d->state;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
      state->windows.erase(hwnd);  // frees d
      return r;
    }
    default:
      if (msg >= WM_USER && msg < 0xC000) return Notify(d, EventKind::User, msg, wp, lp);
      if (msg == d->state->taskbarCreated && msg != 0) {
        Notify(d, EventKind::TaskbarCreated, msg, wp, lp);
        return 0;
      }
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// Subclass procedure of the system-class controls (EDIT, BUTTON, STATIC). A sink may destroy
// its window while handling an event, so `d` is looked up again after the control's own
// procedure ran and never used after Notify.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  WindowData* d = DataOf(hwnd);
  if (!d) return DefWindowProcW(hwnd, msg, wp, lp);
  Win32Platform::State* state = d->state;
  WNDPROC old = d->oldProc;
  const bool clicks = d->kind == WindowKind::Memo || d->kind == WindowKind::Edit;

  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // the second press of a double click: a second click
      if (clicks) d->leftDown = true;
      break;
    case WM_CAPTURECHANGED:
      // Something else took the mouse between press and release: no click.
      d->leftDown = false;
      break;
    case WM_LBUTTONUP: {
      POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      RECT rc;
      GetClientRect(hwnd, &rc);
      const bool click = d->leftDown && PtInRect(&rc, pt);
      d->leftDown = false;
      LRESULT r = CallWindowProcW(old, hwnd, msg, wp, lp);
      if (click) Notify(state->Find(hwnd), EventKind::Click, msg, wp, lp);
      return r;
    }
    case WM_SETFOCUS: {
      LRESULT r = CallWindowProcW(old, hwnd, msg, wp, lp);
      Notify(state->Find(hwnd), EventKind::FocusGained, msg, wp, lp);
      return r;
    }
    case WM_NCDESTROY: {
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      LRESULT r = CallWindowProcW(old, hwnd, msg, wp, lp);
      state->windows.erase(hwnd);  // frees d
      return r;
    }
    default:
      break;
  }
  return CallWindowProcW(old, hwnd, msg, wp, lp);
}

// The window itself, or a window below it by parent or owner.
bool IsWithin(HWND w, HWND top) {
  for (int depth = 0; w && depth < 64; ++depth) {
    if (w == top) return true;
    w = (GetWindowLongW(w, GWL_STYLE) & WS_CHILD) ? GetAncestor(w, GA_PARENT)
                                                   : GetWindow(w, GW_OWNER);
  }
  return false;
}

BOOL CALLBACK FirstIconGroup(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR param) {
  *reinterpret_cast<HICON*>(param) = LoadIconW(module, name);
  return FALSE;  // the first one is the program's icon
}

}  // namespace

FrameStyle FormFrameStyle(Border border, std::uint32_t style) {
  const bool sysMenu = (style & kSysMenu) != 0;
  FrameStyle f;
  f.style = WS_POPUP | WS_CLIPCHILDREN;
  switch (border) {
    case Border::None:
      break;
    case Border::Single:
      f.style |= WS_CAPTION | WS_BORDER;
      if (sysMenu) f.style |= WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
      break;
    case Border::Sizeable:
      f.style |= WS_CAPTION | WS_THICKFRAME;
      if (sysMenu) f.style |= WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
      break;
    case Border::Dialog:
      f.style |= WS_CAPTION | WS_DLGFRAME;
      f.exStyle |= WS_EX_DLGMODALFRAME;
      if (sysMenu) f.style |= WS_SYSMENU;
      break;
    case Border::ToolWindow:
      f.style |= WS_CAPTION;
      f.exStyle |= WS_EX_TOOLWINDOW;
      if (sysMenu) f.style |= WS_SYSMENU;
      break;
  }
  if (style & kTopmost) f.exStyle |= WS_EX_TOPMOST;
  return f;
}

COLORREF ToColorRef(Color c) {
  if (c & 0x80000000u) return GetSysColor(static_cast<int>(c & 0x7FFFFFFFu));
  return static_cast<COLORREF>(c & 0x00FFFFFFu);
}

std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  }
  return wide;
}

std::string WideToUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
  }
  return utf8;
}

}  // namespace plat::win32

namespace plat {

using win32::ToHandle;
using win32::ToHwnd;
using win32::WindowData;

Win32Platform::State::~State() {
  for (auto& [color, brush] : brushes) DeleteObject(brush);
  for (auto& [key, font] : fonts) DeleteObject(font);
}

WindowData* Win32Platform::State::Find(HWND h) const {
  auto it = windows.find(h);
  return it == windows.end() ? nullptr : it->second.get();
}

const wchar_t* Win32Platform::State::EnsureClass(const std::string& nameUtf8) {
  std::wstring name = nameUtf8.empty() ? std::wstring(win32::kFallbackClass)
                                       : win32::Utf8ToWide(nameUtf8);
  auto found = classes.find(name);
  if (found != classes.end()) return found->c_str();

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = win32::OwnWindowProc;
  wc.hInstance = instance;
  wc.hIcon = classIcon;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = name.c_str();
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  return classes.insert(std::move(name)).first->c_str();
}

HBRUSH Win32Platform::State::BrushFor(Color c) {
  if (c & 0x80000000u) return GetSysColorBrush(static_cast<int>(c & 0x7FFFFFFFu));
  auto it = brushes.find(c);
  if (it != brushes.end()) return it->second;
  HBRUSH b = CreateSolidBrush(win32::ToColorRef(c));
  if (b) brushes.emplace(c, b);
  return b;
}

Handle Win32Platform::CreateWindow(const WindowSpec& spec, WindowSink* sink) {
  auto data = std::make_unique<WindowData>();
  data->state = state_.get();
  data->sink = sink;
  data->kind = spec.kind;

  const bool own = win32::IsOwnClass(spec.kind);
  const std::uint32_t st = spec.style;
  HWND parent = ToHwnd(spec.parent);
  DWORD style = 0;
  DWORD exStyle = 0;
  const wchar_t* cls = nullptr;
  const DWORD tabStop = (st & kTabStop) ? WS_TABSTOP : 0;
  const DWORD readOnly = (st & kReadOnly) ? ES_READONLY : 0;
  const DWORD edge = (st & kBorder) ? WS_EX_CLIENTEDGE : 0;

  switch (spec.kind) {
    case WindowKind::Application:
      style = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;
      parent = nullptr;
      break;
    case WindowKind::Form: {
      const win32::FrameStyle f = win32::FormFrameStyle(spec.border, st);
      style = f.style;
      exStyle = f.exStyle;
      break;
    }
    case WindowKind::Child:
      // Without a parent it can still receive messages as a hidden top-level window.
      style = parent ? WS_CHILD : WS_POPUP;
      break;
    case WindowKind::Utility:
      // A real top-level window (not message-only), so that broadcasts reach it.
      style = WS_POPUP;
      parent = nullptr;
      break;
    case WindowKind::Memo:
      cls = L"EDIT";
      style = WS_CHILD | ES_MULTILINE | readOnly | tabStop;
      if (!(st & kWordWrap)) style |= ES_AUTOHSCROLL;
      if (st & kScrollBars) style |= WS_VSCROLL | WS_HSCROLL;
      exStyle = edge;
      break;
    case WindowKind::Edit:
      cls = L"EDIT";
      style = WS_CHILD | ES_AUTOHSCROLL | readOnly | tabStop;
      exStyle = edge;
      break;
    case WindowKind::Button:
      cls = L"BUTTON";
      style = WS_CHILD | BS_PUSHBUTTON | tabStop;
      break;
    case WindowKind::Label:
      cls = L"STATIC";
      style = WS_CHILD | SS_LEFT | SS_NOPREFIX;
      break;
  }
  if ((st & kVisible) && spec.kind != WindowKind::Utility) style |= WS_VISIBLE;
  if (own) {
    cls = state_->EnsureClass(spec.className);
    if (!cls) return 0;
  }
  HMENU id = nullptr;
  if (style & WS_CHILD) id = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(state_->nextControlId++));

  const std::wstring caption = win32::Utf8ToWide(spec.caption);
  HWND hwnd = CreateWindowExW(exStyle, cls, caption.c_str(), style, spec.left, spec.top,
                              spec.width, spec.height, parent, id, state_->instance,
                              own ? data.get() : nullptr);
  if (!hwnd) return 0;

  if (!own) {
    data->hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data.get()));
    data->oldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(win32::ControlProc)));
    if (spec.kind == WindowKind::Memo || spec.kind == WindowKind::Edit) {
      SendMessageW(hwnd, EM_SETLIMITTEXT, win32::kEditTextLimit, 0);
    }
  }
  state_->windows[hwnd] = std::move(data);
  return ToHandle(hwnd);
}

void Win32Platform::DestroyWindow(Handle w) {
  HWND hwnd = ToHwnd(w);
  // The sinks of this window, its children and the windows it owns may already be half torn
  // down: destruction sends deactivation and focus messages that must not reach them.
  for (auto& [h, d] : state_->windows) {
    if (win32::IsWithin(h, hwnd)) d->sink = nullptr;
  }
  ::DestroyWindow(hwnd);  // per-window data goes with WM_NCDESTROY
}

void Win32Platform::SetVisible(Handle w, bool visible) {
  ShowWindow(ToHwnd(w), visible ? SW_SHOWNA : SW_HIDE);
}

bool Win32Platform::IsVisible(Handle w) { return IsWindowVisible(ToHwnd(w)) != FALSE; }

void Win32Platform::BringToFront(Handle w) {
  HWND hwnd = ToHwnd(w);
  ShowWindow(hwnd, SW_SHOW);
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetForegroundWindow(hwnd);
}

void Win32Platform::SetBounds(Handle w, const Rect& r) {
  MoveWindow(ToHwnd(w), r.left, r.top, r.width, r.height, TRUE);
}

Rect Win32Platform::GetBounds(Handle w) {
  HWND hwnd = ToHwnd(w);
  RECT r;
  if (!GetWindowRect(hwnd, &r)) return {};
  if (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) {
    MapWindowPoints(HWND_DESKTOP, GetAncestor(hwnd, GA_PARENT), reinterpret_cast<POINT*>(&r), 2);
  }
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

Size Win32Platform::FrameSizeFor(Border border, std::uint32_t style, int clientWidth,
                                 int clientHeight) {
  const win32::FrameStyle f = win32::FormFrameStyle(border, style);
  RECT r{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&r, f.style, FALSE, f.exStyle);
  return {r.right - r.left, r.bottom - r.top};
}

void Win32Platform::SetTextUtf8(Handle w, const std::string& utf8) {
  SetWindowTextW(ToHwnd(w), win32::Utf8ToWide(utf8).c_str());
}

std::string Win32Platform::GetTextUtf8(Handle w) {
  HWND hwnd = ToHwnd(w);
  const int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, buffer.data(), length + 1);
  buffer.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return win32::WideToUtf8(buffer);
}

void Win32Platform::SetTextAnsi(Handle w, const std::string& ansi) {
  SetWindowTextA(ToHwnd(w), ansi.c_str());
}

void Win32Platform::SetColors(Handle w, Color background, Color text) {
  HWND hwnd = ToHwnd(w);
  if (WindowData* d = state_->Find(hwnd)) {
    d->hasColors = true;
    d->background = background;
    d->text = text;
  }
  InvalidateRect(hwnd, nullptr, TRUE);
}

void Win32Platform::SetFont(Handle w, const std::string& faceUtf8, int heightPx, int charset) {
  std::wstring face = win32::Utf8ToWide(faceUtf8);
  auto key = std::make_tuple(face, heightPx, charset);
  HFONT font = nullptr;
  auto it = state_->fonts.find(key);
  if (it != state_->fonts.end()) {
    font = it->second;
  } else {
    font = CreateFontW(-heightPx, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       static_cast<DWORD>(charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    if (!font) return;
    state_->fonts.emplace(std::move(key), font);
  }
  SendMessageW(ToHwnd(w), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void Win32Platform::SetFocus(Handle w) { ::SetFocus(ToHwnd(w)); }

Handle Win32Platform::GetFocus() { return ToHandle(::GetFocus()); }

bool Win32Platform::SetForegroundWindow(Handle w) {
  return ::SetForegroundWindow(ToHwnd(w)) != FALSE;
}

}  // namespace plat

namespace plat::win32 {

void InitState(Win32Platform::State& state) {
  EnumResourceNamesW(state.instance, reinterpret_cast<LPCWSTR>(RT_GROUP_ICON),
                     FirstIconGroup, reinterpret_cast<LONG_PTR>(&state.classIcon));
  state.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  state.EnsureClass(std::string());
}

}  // namespace plat::win32
