#include "TaskTray.h"

#include <algorithm>
#include <exception>

#include "resources/Resources.h"
#include "vcl/Forms.h"

std::vector<TrayIdEntry> TrayIdList;
TNotifyWindow* SharedNotifyWindow = nullptr;
bool DispatchBusy = false;

void ResetTrayState() {
  TrayIdList.clear();
  SharedNotifyWindow = nullptr;
  DispatchBusy = false;
}

namespace {

constexpr std::size_t kCbSize = 0, kHWnd = 4, kUID = 8, kUFlags = 12, kCallback = 16, kHIcon = 20,
                      kSzTip = 24, kTipBytes = 64;
constexpr std::uint32_t kNifMessage = 1, kNifIcon = 2, kNifTip = 4;

std::vector<TrayIdEntry>::iterator FindEntry(const std::string& text) {
  return std::find_if(TrayIdList.begin(), TrayIdList.end(),
                      [&](const TrayIdEntry& e) { return e.first == text; });
}

bool IdInUse(int id) { return FindEntry(std::to_string(id)) != TrayIdList.end(); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTaskTray

TTaskTray::TTaskTray(vcl::TComponent* owner) : vcl::TComponent(owner) {
  // The last entry's number plus 1; ids still in use are skipped, so two live icons never
  // share one (an id change can leave a higher id in front of the last entry).
  id_ = TrayIdList.empty() ? 1 : std::stoi(TrayIdList.back().first) + 1;
  while (IdInUse(id_)) ++id_;
  TrayIdList.emplace_back(std::to_string(id_), this);
  icon_.OnChange = [this] { IconChanged(); };
}

TTaskTray::~TTaskTray() {
  RemoveTrayIcon();
  if (auto it = FindEntry(std::to_string(id_)); it != TrayIdList.end()) TrayIdList.erase(it);
  icon_.OnChange = nullptr;
}

void TTaskTray::Put32(std::size_t offset, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) notifyData_[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void TTaskTray::SetPopupMenuL(vcl::TPopupMenu* menu) {
  if (menu != popupL_) popupL_ = menu;
  if (popupL_) popupL_->FreeNotification(this);
}

void TTaskTray::SetPopupMenuR(vcl::TPopupMenu* menu) {
  if (menu != popupR_) popupR_ = menu;
  if (popupR_) popupR_->FreeNotification(this);
}

void TTaskTray::Notification(vcl::TComponent* component, vcl::TOperation op) {
  vcl::TComponent::Notification(component, op);
  // Only popup menus are ever stored here, so a match by identity is a menu being destroyed
  // (its dynamic type is already gone at this point of its destruction).
  if (op != vcl::TOperation::Remove) return;
  if (component == popupL_) popupL_ = nullptr;
  if (component == popupR_) popupR_ = nullptr;
}

void TTaskTray::SetTipString(const std::string& tip) {
  if (tip == tip_) return;
  tip_ = tip;
  UpdateTrayIcon();
}

void TTaskTray::SetIcon(vcl::TIcon* icon) {
  if (icon == &icon_) return;
  if (icon) {
    icon_.Assign(*icon);  // raises the change, which updates once
    UpdateTrayIcon();
    return;
  }
  icon_.ReleaseHandle();
  icon_.Clear();
  RemoveTrayIcon();
}

void TTaskTray::SetIconID(int id) {
  if (id <= 0) throw vcl::EInvalidOperation("0以下は指定できません");
  if (id == id_) return;
  auto entry = FindEntry(std::to_string(id_));
  if (IdInUse(id)) throw vcl::EInvalidOperation("同じアイコン識別子が有ります");
  if (registered_) {
    RemoveTrayIcon();  // deletes the icon under its old id
    registered_ = true;
  }
  id_ = id;
  if (entry != TrayIdList.end()) entry->first = std::to_string(id_);
  UpdateTrayIcon();
}

void TTaskTray::SetRegistered(bool on) {
  if (on == registered_) return;
  if (on) {
    if (icon_.Handle() == 0) throw vcl::EInvalidOperation("アイコンが指定されていません");
    registered_ = true;
    UpdateTrayIcon();
  } else {
    RemoveTrayIcon();
  }
}

void TTaskTray::UpdateTrayIcon() {
  if (Designing() || !registered_) return;
  if (!SharedNotifyWindow) {
    SharedNotifyWindow = new TNotifyWindow(Owner());
    SharedNotifyWindow->SetParent(dynamic_cast<vcl::TWinControl*>(Owner()));
  }
  if (!inTray_) {
    Put32(kCbSize, 88);
    Put32(kHWnd, static_cast<std::uint32_t>(SharedNotifyWindow->Handle()));
    Put32(kCallback, TrayCallbackMessage);
  }
  Put32(kUID, static_cast<std::uint32_t>(id_));
  Put32(kUFlags, tip_.empty() ? kNifMessage | kNifIcon : kNifMessage | kNifIcon | kNifTip);
  Put32(kHIcon, static_cast<std::uint32_t>(icon_.Handle()));
  // At most 63 bytes of tip and the zero; a longer tip is cut before a double-byte character
  // that would not fit whole.
  plat::Platform& p = plat::Current();
  std::size_t n = 0;
  while (n < tip_.size()) {
    std::size_t step = p.IsLeadByte(static_cast<std::uint8_t>(tip_[n])) ? 2 : 1;
    if (n + step > kTipBytes - 1 || n + step > tip_.size()) break;
    n += step;
  }
  std::fill(notifyData_.begin() + kSzTip, notifyData_.end(), 0);
  std::copy_n(tip_.begin(), n, notifyData_.begin() + kSzTip);
  if (!p.ShellNotifyIcon(inTray_ ? plat::kNimModify : plat::kNimAdd, notifyData_))
    throw vcl::EInvalidOperation("タスクトレイに登録できません");
  inTray_ = true;
}

void TTaskTray::RemoveTrayIcon() {
  if (inTray_) plat::Current().ShellNotifyIcon(plat::kNimDelete, notifyData_);
  inTray_ = false;
  registered_ = false;
}

void TTaskTray::Loaded() {
  if (!Designing()) UpdateTrayIcon();
  vcl::TComponent::Loaded();
}

void TTaskTray::AddAllAgain() {
  std::exception_ptr first;
  std::vector<TTaskTray*> icons;
  for (const TrayIdEntry& e : TrayIdList) icons.push_back(e.second);
  for (TTaskTray* t : icons) {
    if (!t->registered_) continue;
    t->inTray_ = false;  // the shell forgot it: the next update is a whole add
    try {
      t->UpdateTrayIcon();
    } catch (const vcl::Exception&) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void TTaskTray::FireDblClick(TMouseButton button) {
  if (OnDblClick) OnDblClick(this, button);
}

void TTaskTray::FireMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (auto* form = dynamic_cast<vcl::TForm*>(Owner())) {
    plat::Current().SetForegroundWindow(form->Handle());
    vcl::Application->ProcessMessages();
  }
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
  if (button == mbLeft && popupL_) popupL_->Popup(x, y);
  if (button == mbRight && popupR_) popupR_->Popup(x, y);
}

void TTaskTray::FireMouseMove(int x, int y) {
  if (OnMouseMove) OnMouseMove(this, 0, x, y);
}

void TTaskTray::FireMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TTaskTray::SetProperty(const std::string& name, const vcl::layout::Value& v,
                            vcl::TComponent* root) {
  using Kind = vcl::layout::Value::Kind;
  if (name == "TipString" && v.kind == Kind::String) {
    SetTipString(v.text);
  } else if (name == "Icon.Data" && v.kind == Kind::Binary) {
    icon_.LoadFromBytes(v.text);
  } else if (name == "Icon.Resource" && v.kind == Kind::String) {
    icon_.LoadFromBytes(std::string(res::Find(v.text)));
  } else if (name == "IconID" && v.kind == Kind::Integer) {
    SetIconID(static_cast<int>(v.integer));
  } else if (name == "Registered") {
    SetRegistered(v.AsBool());
  } else if (name == "OnDblClick") {
    OnDblClick = BindMethod<TButtonDblClick>(root, v);
  } else if (name == "OnMouseMove") {
    OnMouseMove = BindMethod<TMouseMoveEvent>(root, v);
  } else if (name == "OnMouseDown") {
    OnMouseDown = BindMethod<TMouseEvent>(root, v);
  } else if (name == "OnMouseUp") {
    OnMouseUp = BindMethod<TMouseEvent>(root, v);
  } else {
    vcl::TComponent::SetProperty(name, v, root);
  }
}

// ---------------------------------------------------------------------------------------------
// TNotifyWindow

TNotifyWindow::TNotifyWindow(vcl::TComponent* owner) : vcl::TWinControl(owner) {}

plat::WindowSpec TNotifyWindow::CreateParams() {
  plat::WindowSpec s = vcl::TWinControl::CreateParams();
  s.className = "TNotifyWindow";
  return s;
}

std::intptr_t TNotifyWindow::WndProc(const plat::Event& e) {
  if (e.kind == plat::EventKind::User && e.message == TrayCallbackMessage) {
    HandleTrayCallback(e.wParam, e.lParam);
    return 0;
  }
  return vcl::TWinControl::WndProc(e);
}

void TNotifyWindow::HandleTrayCallback(std::uintptr_t wParam, std::intptr_t lParam) {
  const plat::Point pos = plat::Current().CursorPos();
  auto entry = FindEntry(std::to_string(static_cast<std::int32_t>(wParam)));
  if (entry == TrayIdList.end()) return;
  // Callbacks that come while one is dispatched (a nested message loop) are dropped.
  if (DispatchBusy) return;
  DispatchBusy = true;
  struct Clear {
    ~Clear() { DispatchBusy = false; }
  } clearEvenOnError;
  TTaskTray* t = entry->second;
  switch (lParam) {
    case 512: t->FireMouseMove(pos.x, pos.y); break;
    case 513: t->FireMouseDown(mbLeft, ssLeft, pos.x, pos.y); break;
    case 514: t->FireMouseUp(mbLeft, ssLeft, pos.x, pos.y); break;
    case 515: t->FireDblClick(mbLeft); break;
    case 516: t->FireMouseDown(mbRight, ssRight, pos.x, pos.y); break;
    case 517: t->FireMouseUp(mbRight, ssRight, pos.x, pos.y); break;
    case 518: t->FireDblClick(mbRight); break;
    case 519: t->FireMouseDown(mbMiddle, ssMiddle, pos.x, pos.y); break;
    case 520: t->FireMouseUp(mbMiddle, ssMiddle, pos.x, pos.y); break;
    default: break;  // 521 (middle double-click) and everything else: nothing
  }
}
