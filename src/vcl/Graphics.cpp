#include "vcl/Graphics.h"

namespace vcl {

plat::Handle TIcon::Handle() {
  if (!handle_ && !image_.empty()) handle_ = plat::Current().CreateIconFromImage(image_);
  return handle_;
}

void TIcon::DestroyHandle() {
  if (!handle_) return;
  plat::Current().DestroyIcon(handle_);
  handle_ = 0;
}

void TIcon::LoadFromBytes(std::string ico) {
  DestroyHandle();
  image_ = std::move(ico);
  Changed();
}

void TIcon::Assign(const TIcon& other) {
  DestroyHandle();
  image_ = other.image_;
  Changed();
}

void TIcon::ReleaseHandle() {
  DestroyHandle();
  Changed();
}

void TIcon::Clear() {
  DestroyHandle();
  image_.clear();
  Changed();
}

}  // namespace vcl
