// TPopupMenu: a menu shown at a screen point. The program's own menus have no items, so showing
// one only raises OnPopup.
#pragma once

#include <functional>

#include "vcl/Classes.h"

namespace vcl {

class TPopupMenu : public TComponent {
 public:
  using TComponent::TComponent;
  virtual void Popup(int x, int y) {
    if (OnPopup) OnPopup(x, y);
  }
  std::function<void(int x, int y)> OnPopup;
};

}  // namespace vcl
