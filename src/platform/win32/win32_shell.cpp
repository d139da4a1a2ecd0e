// The shell's notification area and icons.
#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/win32/win32_internal.h"

namespace plat {
namespace {

// The 88-byte block is the first, 32-bit form of NOTIFYICONDATAA.
constexpr std::size_t kOffHwnd = 4;
constexpr std::size_t kOffId = 8;
constexpr std::size_t kOffFlags = 12;
constexpr std::size_t kOffCallback = 16;
constexpr std::size_t kOffIcon = 20;
constexpr std::size_t kOffTip = 24;
constexpr std::size_t kTipSize = 64;
static_assert(kOffTip + kTipSize == kNotifyDataSize);

std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t ReadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

#ifndef _WIN64
static_assert(offsetof(NOTIFYICONDATAA, cbSize) == 0);
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == kOffHwnd);
static_assert(offsetof(NOTIFYICONDATAA, uID) == kOffId);
static_assert(offsetof(NOTIFYICONDATAA, uFlags) == kOffFlags);
static_assert(offsetof(NOTIFYICONDATAA, uCallbackMessage) == kOffCallback);
static_assert(offsetof(NOTIFYICONDATAA, hIcon) == kOffIcon);
static_assert(offsetof(NOTIFYICONDATAA, szTip) == kOffTip);
// The full record's tip is 128 bytes; the short form ends after the first 64 of them.
static_assert(sizeof(NOTIFYICONDATAA::szTip) >= kTipSize);
static_assert(NOTIFYICONDATAA_V1_SIZE == kNotifyDataSize);
static_assert(sizeof(NOTIFYICONDATAA) >= kNotifyDataSize);
#else
// Handles of windows and icons carry 32 significant bits; widening sign-extends them.
template <typename H>
H WidenHandle(std::uint32_t v) {
  return reinterpret_cast<H>(static_cast<std::intptr_t>(static_cast<std::int32_t>(v)));
}
#endif

}  // namespace

bool Win32Platform::ShellNotifyIcon(std::uint32_t op,
                                    const std::array<std::uint8_t, kNotifyDataSize>& block) {
  NOTIFYICONDATAA data{};
#ifndef _WIN64
  // Same layout: hand the block over as it is, cbSize included.
  std::memcpy(&data, block.data(), kNotifyDataSize);
#else
  const std::uint8_t* b = block.data();
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = WidenHandle<HWND>(ReadU32(b + kOffHwnd));
  data.uID = ReadU32(b + kOffId);
  data.uFlags = ReadU32(b + kOffFlags);
  data.uCallbackMessage = ReadU32(b + kOffCallback);
  data.hIcon = WidenHandle<HICON>(ReadU32(b + kOffIcon));
  std::memcpy(data.szTip, b + kOffTip, kTipSize);
#endif
  return Shell_NotifyIconA(static_cast<DWORD>(op), &data) != FALSE;
}

Handle Win32Platform::CreateIconFromImage(const std::string& icoBytes) {
  // An .ico file: a 6-byte header (reserved 0, type 1, count), then 16-byte entries:
  // width, height, colours, reserved, planes, bits per pixel, size of image, offset of image.
  constexpr std::size_t kHeader = 6;
  constexpr std::size_t kEntry = 16;
  const auto* ico = reinterpret_cast<const std::uint8_t*>(icoBytes.data());
  const std::size_t total = icoBytes.size();
  if (total < kHeader + kEntry) return 0;
  if (ReadU16(ico) != 0 || ReadU16(ico + 2) != 1 || ReadU16(ico + 4) == 0) return 0;

  const std::uint8_t* entry = ico + kHeader;
  const int width = entry[0] ? entry[0] : 256;
  const int height = entry[1] ? entry[1] : 256;
  const std::uint32_t size = ReadU32(entry + 8);
  const std::uint32_t offset = ReadU32(entry + 12);
  if (size == 0 || offset > total || size > total - offset) return 0;

  // The call wants a writable buffer.
  std::vector<BYTE> image(ico + offset, ico + offset + size);
  HICON icon = CreateIconFromResourceEx(image.data(), size, TRUE, 0x00030000, width, height,
                                        LR_DEFAULTCOLOR);
  return win32::ToHandle(icon);
}

void Win32Platform::DestroyIcon(Handle icon) { ::DestroyIcon(reinterpret_cast<HICON>(icon)); }

}  // namespace plat
