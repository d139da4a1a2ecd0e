#include "vcl/Clipbrd.h"

#include "vcl/Forms.h"

namespace vcl {

namespace {
plat::Handle Owner() { return Application ? Application->Handle() : 0; }
}  // namespace

plat::ClipRead TClipboard::GetText(std::string& text) {
  return plat::Current().ReadClipboardText(Owner(), text);
}

plat::ClipWrite TClipboard::SetText(const std::string& text, std::uint32_t& sequence) {
  return plat::Current().WriteClipboardText(Owner(), text, sequence);
}

std::uint32_t TClipboard::Sequence() { return plat::Current().ClipboardSequence(); }

TClipboard& Clipboard() {
  static TClipboard instance;
  return instance;
}

}  // namespace vcl
