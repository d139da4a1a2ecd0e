// The clipboard, CF_TEXT only.
#include <cstring>

#include "platform/win32/win32_internal.h"

namespace plat {
namespace {

// Another program, or Wine's own clipboard manager, may hold the clipboard for a moment:
// try at 0, 5, 10, 15 and 20 ms before giving up.
constexpr int kOpenTries = 5;
constexpr DWORD kOpenRetryMs = 5;

// Keeps the clipboard open for its lifetime; closes it on every path, exceptions included.
class OpenClipboardScope {
 public:
  explicit OpenClipboardScope(HWND owner) {
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
      if (attempt > 0) Sleep(kOpenRetryMs);
      if (::OpenClipboard(owner)) {
        open_ = true;
        return;
      }
    }
  }
  ~OpenClipboardScope() {
    if (open_) ::CloseClipboard();
  }
  OpenClipboardScope(const OpenClipboardScope&) = delete;
  OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
  bool IsOpen() const { return open_; }

 private:
  bool open_ = false;
};

class GlobalLockScope {
 public:
  explicit GlobalLockScope(HGLOBAL block) : block_(block), data_(GlobalLock(block)) {}
  ~GlobalLockScope() {
    if (data_) GlobalUnlock(block_);
  }
  GlobalLockScope(const GlobalLockScope&) = delete;
  GlobalLockScope& operator=(const GlobalLockScope&) = delete;
  void* Data() const { return data_; }

 private:
  HGLOBAL block_;
  void* data_;
};

}  // namespace

ClipRead Win32Platform::ReadClipboardText(Handle owner, std::string& text) {
  OpenClipboardScope clip(win32::ToHwnd(owner));
  if (!clip.IsOpen()) return ClipRead::CannotOpen;

  HANDLE block = GetClipboardData(CF_TEXT);
  if (!block) {
    text.clear();
    return ClipRead::Ok;
  }
  GlobalLockScope lock(block);
  // There is text, but it cannot be read now: that is not an empty clipboard.
  if (!lock.Data()) return ClipRead::CannotOpen;

  // The writer need not have put a zero at the end, and GlobalSize() may be larger than what
  // it asked for: stop at the first zero, never past the block.
  const auto* bytes = static_cast<const char*>(lock.Data());
  const SIZE_T size = GlobalSize(block);
  const void* zero = std::memchr(bytes, 0, size);
  const std::size_t length =
      zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes) : size;
  std::string copy(bytes, length);  // may throw; the scopes still unlock and close
  text.swap(copy);
  return ClipRead::Ok;
}

namespace {

ClipWrite WriteText(HWND owner, const std::string& text) {
  OpenClipboardScope clip(owner);
  if (!clip.IsOpen()) return ClipWrite::CannotOpen;

  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (!block) return ClipWrite::NoMemory;
  {
    GlobalLockScope lock(block);
    if (!lock.Data()) {
      GlobalFree(block);
      return ClipWrite::NoMemory;
    }
    auto* bytes = static_cast<char*>(lock.Data());
    std::memcpy(bytes, text.data(), text.size());
    bytes[text.size()] = '\0';
  }
  EmptyClipboard();
  if (!SetClipboardData(CF_TEXT, block)) {
    GlobalFree(block);  // still ours: the system took nothing
    return ClipWrite::Failed;
  }
  return ClipWrite::Ok;  // the block belongs to the system now
}

}  // namespace

ClipWrite Win32Platform::WriteClipboardText(Handle owner, const std::string& text,
                                            std::uint32_t& sequence) {
  sequence = 0;
  HWND ownerWnd = win32::ToHwnd(owner);
  const ClipWrite result = WriteText(ownerWnd, text);
  if (result != ClipWrite::Ok || !ownerWnd) return result;
  // The number is final only once the clipboard is closed (Wine counts the close as a change
  // too), and by then another program may have written. The emptying made our window the
  // owner; if it still is, with the number unchanged around that look, the number is ours.
  const DWORD seq = GetClipboardSequenceNumber();
  if (GetClipboardOwner() == ownerWnd && GetClipboardSequenceNumber() == seq) sequence = seq;
  return result;
}

std::uint32_t Win32Platform::ClipboardSequence() { return GetClipboardSequenceNumber(); }

}  // namespace plat
