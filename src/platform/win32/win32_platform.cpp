// Process, message queue, timers, keyboard, screen and the error box.
#include <cstring>
#include <vector>

#include "platform/win32/win32_internal.h"

namespace plat {

using win32::ToHandle;
using win32::ToHwnd;

Win32Platform::Win32Platform(void* instance) : state_(std::make_unique<State>()) {
  state_->instance = static_cast<HINSTANCE>(instance);
  win32::InitState(*state_);
}

Win32Platform::~Win32Platform() = default;

// --- process ---------------------------------------------------------------------------------

std::string Win32Platform::ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return win32::WideToUtf8(path);
    }
    path.resize(path.size() * 2);  // cut off: try a larger buffer
  }
}

MutexResult Win32Platform::CreateNamedMutex(const std::string& name) {
  MutexResult r;
  HANDLE h = CreateMutexA(nullptr, FALSE, name.c_str());
  r.lastError = GetLastError();  // before any other call can change it
  r.handle = ToHandle(h);
  return r;
}

bool Win32Platform::ReleaseNamedMutex(Handle mutex) {
  return ReleaseMutex(reinterpret_cast<HANDLE>(mutex)) != FALSE;
}

void Win32Platform::ExitProcess(int status) { ::ExitProcess(static_cast<UINT>(status)); }

// --- screen, keyboard ------------------------------------------------------------------------

Size Win32Platform::ScreenSize() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

Point Win32Platform::CursorPos() {
  POINT p{};
  GetCursorPos(&p);
  return {p.x, p.y};
}

bool Win32Platform::IsLeadByte(std::uint8_t b) { return IsDBCSLeadByte(b) != FALSE; }

std::int16_t Win32Platform::GetAsyncKeyState(int vk) { return ::GetAsyncKeyState(vk); }

bool Win32Platform::IsKeyDown(int vk) { return ::GetKeyState(vk) < 0; }

// --- error box -------------------------------------------------------------------------------

namespace {

struct DisabledWindows {
  HWND keep = nullptr;  // the box's owner: MessageBoxW disables and re-enables it itself
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectEnabled(HWND h, LPARAM param) {
  auto* c = reinterpret_cast<DisabledWindows*>(param);
  if (h != c->keep && IsWindowVisible(h) && IsWindowEnabled(h)) c->windows.push_back(h);
  return TRUE;
}

}  // namespace

void Win32Platform::MessageBox(Handle owner, const std::string& textUtf8,
                               const std::string& captionUtf8, BoxIcon icon) {
  HWND ownerWnd = ToHwnd(owner);
  HWND wasActive = GetActiveWindow();

  // Under Wine a task-modal box leaves the program's other windows usable; disable them
  // ourselves for as long as the box is up.
  DisabledWindows disabled;
  disabled.keep = ownerWnd;
  EnumThreadWindows(GetCurrentThreadId(), CollectEnabled, reinterpret_cast<LPARAM>(&disabled));
  for (HWND h : disabled.windows) EnableWindow(h, FALSE);

  UINT flags = MB_OK;
  if (icon == BoxIcon::Stop) flags |= MB_ICONSTOP;
  if (!ownerWnd) flags |= MB_TASKMODAL;
  MessageBoxW(ownerWnd, win32::Utf8ToWide(textUtf8).c_str(),
              win32::Utf8ToWide(captionUtf8).c_str(), flags);

  for (HWND h : disabled.windows) {
    if (IsWindow(h)) EnableWindow(h, TRUE);
  }
  if (wasActive && IsWindow(wasActive) && GetActiveWindow() != wasActive) {
    SetActiveWindow(wasActive);
  }
}

// --- message queue ---------------------------------------------------------------------------

static_assert(sizeof(MSG) <= sizeof(Message::native), "MSG must fit in Message::native");

bool Win32Platform::PeekMessage(Message& m) {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  m = Message{};
  std::memcpy(m.native.data(), &msg, sizeof msg);
  m.window = ToHandle(msg.hwnd);
  if (msg.message == WM_QUIT) {
    m.kind = Message::Kind::Quit;
    m.quitCode = static_cast<int>(msg.wParam);
  } else if (msg.message == WM_KEYDOWN) {
    m.kind = Message::Kind::KeyDown;
    m.key = static_cast<int>(msg.wParam);
  }
  return true;
}

void Win32Platform::WaitMessage() { ::WaitMessage(); }

void Win32Platform::DispatchMessage(const Message& m) {
  MSG msg;
  std::memcpy(&msg, m.native.data(), sizeof msg);
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void Win32Platform::PostQuit(int code) { PostQuitMessage(code); }

void Win32Platform::PostUserMessage(Handle w, std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
  PostMessageW(ToHwnd(w), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

// --- timers ----------------------------------------------------------------------------------

bool Win32Platform::SetTimer(Handle w, std::uintptr_t id, std::uint32_t ms) {
  return ::SetTimer(ToHwnd(w), static_cast<UINT_PTR>(id), ms, nullptr) != 0;
}

void Win32Platform::KillTimer(Handle w, std::uintptr_t id) {
  ::KillTimer(ToHwnd(w), static_cast<UINT_PTR>(id));
}

}  // namespace plat
