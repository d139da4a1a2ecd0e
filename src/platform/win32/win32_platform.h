// The real platform: Win32 windows, messages, clipboard, shell tray.
//
// Only the entry includes this header. It pulls in no system header, so the entry may include
// it before or after <windows.h>: the names below that <windows.h> turns into macros
// (CreateWindow, MessageBox, PeekMessage, DispatchMessage) are shielded while it is read.
#pragma once

#pragma push_macro("CreateWindow")
#pragma push_macro("MessageBox")
#pragma push_macro("PeekMessage")
#pragma push_macro("DispatchMessage")
#undef CreateWindow
#undef MessageBox
#undef PeekMessage
#undef DispatchMessage

#include <memory>

#include "platform/platform.h"

namespace plat {

class Win32Platform final : public Platform {
 public:
  // `instance` is the module's HINSTANCE as WinMain receives it.
  explicit Win32Platform(void* instance);
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

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

  // Window classes, per-window data, cached brushes and fonts (win32_internal.h).
  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace plat

#pragma pop_macro("DispatchMessage")
#pragma pop_macro("PeekMessage")
#pragma pop_macro("MessageBox")
#pragma pop_macro("CreateWindow")
