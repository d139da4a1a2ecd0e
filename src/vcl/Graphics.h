// TIcon: an icon image held as .ico bytes, with the native icon made from it when first needed.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"
#include "vcl/Classes.h"

namespace vcl {

class TIcon {
 public:
  TIcon() = default;
  ~TIcon() { DestroyHandle(); }
  TIcon(const TIcon&) = delete;
  TIcon& operator=(const TIcon&) = delete;

  // The native icon, made from the image when first asked for; 0 when there is no image.
  plat::Handle Handle();
  bool Empty() const { return image_.empty() && !handle_; }
  const std::string& Image() const { return image_; }

  // Each of these changes the icon and raises OnChange.
  void LoadFromBytes(std::string ico);
  void Assign(const TIcon& other);
  // Gives up the native icon; the image stays, so a later Handle() makes it again.
  void ReleaseHandle();
  // Handle 0: no image at all.
  void Clear();

  std::function<void()> OnChange;

 private:
  void DestroyHandle();
  void Changed() {
    if (OnChange) OnChange();
  }

  std::string image_;
  plat::Handle handle_ = 0;
};

}  // namespace vcl
