// Shared by the Win32 backend's own .cpp files only.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

// These macros would rename the Platform members of the same names.
#undef CreateWindow
#undef MessageBox
#undef PeekMessage
#undef DispatchMessage

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "platform/win32/win32_platform.h"

namespace plat::win32 {

inline HWND ToHwnd(Handle h) { return reinterpret_cast<HWND>(h); }
inline Handle ToHandle(const void* p) { return reinterpret_cast<Handle>(p); }

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// What the backend keeps for every window it created.
struct WindowData {
  Win32Platform::State* state = nullptr;
  WindowSink* sink = nullptr;  // null once the window is being destroyed
  WindowKind kind = WindowKind::Child;
  HWND hwnd = nullptr;
  WNDPROC oldProc = nullptr;  // system-class controls: the class's own procedure
  bool hasColors = false;
  Color background = 0;
  Color text = 0;
  bool leftDown = false;  // memo/edit: a left press inside, not released yet
};

// Style and extended style of a form; CreateWindow and FrameSizeFor must agree.
struct FrameStyle {
  DWORD style = 0;
  DWORD exStyle = 0;
};
FrameStyle FormFrameStyle(Border border, std::uint32_t style);

COLORREF ToColorRef(Color c);

}  // namespace plat::win32

struct plat::Win32Platform::State {
  HINSTANCE instance = nullptr;
  HICON classIcon = nullptr;  // the module's first icon group, if it has one
  UINT taskbarCreated = 0;
  std::set<std::wstring> classes;  // class names registered so far
  std::unordered_map<HWND, std::unique_ptr<win32::WindowData>> windows;
  std::map<Color, HBRUSH> brushes;  // solid brushes of plain colours (system ones are shared)
  std::map<std::tuple<std::wstring, int, int>, HFONT> fonts;
  UINT nextControlId = 1;

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State();

  win32::WindowData* Find(HWND h) const;
  const wchar_t* EnsureClass(const std::string& nameUtf8);
  HBRUSH BrushFor(Color c);
};

namespace plat::win32 {
// Registers the fallback class and the shell's broadcast message; finds the program's icon.
void InitState(Win32Platform::State& state);
}  // namespace plat::win32
