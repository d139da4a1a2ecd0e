// A notification-area icon as a component: its process-wide id registry, the 88-byte block it
// hands to the shell, and the hidden window that turns the shell's callbacks into events.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "vcl/Controls.h"
#include "vcl/Graphics.h"
#include "vcl/Menus.h"

enum TMouseButton : std::uint8_t { mbLeft = 0, mbRight = 1, mbMiddle = 2 };
// Shift state: only the button bits are used here.
using TShiftState = std::uint8_t;
constexpr TShiftState ssLeft = 8, ssRight = 16, ssMiddle = 32;

class TTaskTray;
using TButtonDblClick = std::function<void(vcl::TComponent* Seft, TMouseButton Button)>;
using TMouseMoveEvent = std::function<void(vcl::TComponent* Sender, TShiftState Shift, int X, int Y)>;
using TMouseEvent =
    std::function<void(vcl::TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;

// The shell's callback message for every tray icon of the process (WM_USER + 102).
constexpr std::uint32_t TrayCallbackMessage = 1126;

// One entry per live tray icon: the decimal text of its id, and the icon.
using TrayIdEntry = std::pair<std::string, TTaskTray*>;
extern std::vector<TrayIdEntry> TrayIdList;

class TNotifyWindow;
extern TNotifyWindow* SharedNotifyWindow;
extern bool DispatchBusy;

// Forgets the registry, the notification window and the dispatch flag (a new process).
void ResetTrayState();

class TTaskTray : public vcl::TComponent {
 public:
  explicit TTaskTray(vcl::TComponent* owner);
  ~TTaskTray() override;

  vcl::TPopupMenu* PopupMenuL() const { return popupL_; }
  void SetPopupMenuL(vcl::TPopupMenu* menu);
  vcl::TPopupMenu* PopupMenuR() const { return popupR_; }
  void SetPopupMenuR(vcl::TPopupMenu* menu);
  const std::string& TipString() const { return tip_; }
  void SetTipString(const std::string& tip);
  vcl::TIcon* Icon() { return &icon_; }
  void SetIcon(vcl::TIcon* icon);
  int IconID() const { return id_; }
  void SetIconID(int id);
  bool Registered() const { return registered_; }
  void SetRegistered(bool on);
  bool InTray() const { return inTray_; }

  TButtonDblClick OnDblClick;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;

  virtual void RemoveTrayIcon();
  virtual void UpdateTrayIcon();
  virtual void FireDblClick(TMouseButton button);
  virtual void FireMouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void FireMouseMove(int x, int y);
  virtual void FireMouseUp(TMouseButton button, TShiftState shift, int x, int y);

  const std::array<std::uint8_t, 88>& NotifyData() const { return notifyData_; }

  // The notification area was made anew (the shell restarted): add every registered icon again.
  static void AddAllAgain();

  void SetProperty(const std::string& name, const vcl::layout::Value& v,
                   vcl::TComponent* root) override;

 protected:
  void Loaded() override;
  void Notification(vcl::TComponent* component, vcl::TOperation op) override;

 private:
  void IconChanged() { UpdateTrayIcon(); }
  void Put32(std::size_t offset, std::uint32_t v);

  std::string tip_;
  vcl::TIcon icon_;
  int id_ = 0;
  vcl::TPopupMenu* popupL_ = nullptr;
  vcl::TPopupMenu* popupR_ = nullptr;
  std::array<std::uint8_t, 88> notifyData_{};
  bool registered_ = false;
  bool inTray_ = false;
};

class TNotifyWindow : public vcl::TWinControl {
 public:
  explicit TNotifyWindow(vcl::TComponent* owner);
  void HandleTrayCallback(std::uintptr_t wParam, std::intptr_t lParam);

 protected:
  plat::WindowSpec CreateParams() override;
  std::intptr_t WndProc(const plat::Event& e) override;
};
