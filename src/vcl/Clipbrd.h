// The clipboard object: plain text (CF_TEXT) in and out, with the application window as owner.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vcl {

class TClipboard {
 public:
  // The clipboard's text up to its first zero byte, or "" when it holds no text. CannotOpen
  // while another application holds it: that is no answer, never an empty clipboard.
  plat::ClipRead GetText(std::string& text);
  // Empties the clipboard and leaves the text alone on it. On success `sequence` is the
  // clipboard's sequence number right after this write, or 0 if that cannot be known.
  plat::ClipWrite SetText(const std::string& text, std::uint32_t& sequence);
  // Changes whenever anybody changes the clipboard.
  std::uint32_t Sequence();
};

// The one shared instance, created at first use.
TClipboard& Clipboard();

}  // namespace vcl
