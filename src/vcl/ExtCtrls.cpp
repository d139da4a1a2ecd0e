#include "vcl/ExtCtrls.h"

#include "vcl/Controls.h"

namespace vcl {

namespace {
constexpr std::uintptr_t kTimerId = 1;
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  plat::WindowSpec s;
  s.kind = plat::WindowKind::Utility;
  s.className = "TPUtilWindow";
  window_ = plat::Current().CreateWindow(s, this);
}

TTimer::~TTimer() {
  enabled_ = false;
  plat::Current().KillTimer(window_, kTimerId);
  plat::Current().DestroyWindow(window_);
}

void TTimer::UpdateTimer() {
  plat::Platform& p = plat::Current();
  p.KillTimer(window_, kTimerId);
  if (interval_ != 0 && enabled_ && onTimer_ && !p.SetTimer(window_, kTimerId, interval_))
    throw EOutOfResources("ﾀｲﾏｰを取得できません");
}

void TTimer::SetInterval(std::uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  UpdateTimer();
}

void TTimer::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  UpdateTimer();
}

void TTimer::SetProperty(const std::string& name, const layout::Value& v, TComponent* root) {
  if (name == "Interval") {
    if (v.kind != layout::Value::Kind::Integer || v.integer < 0) throw EReadError("Interval が不正です");
    SetInterval(static_cast<std::uint32_t>(v.integer));
  } else if (name == "Enabled") {
    SetEnabled(v.AsBool());
  } else if (name == "OnTimer") {
    SetOnTimer(BindMethod<TNotifyEvent>(root, v));
  } else {
    TComponent::SetProperty(name, v, root);
  }
}

std::intptr_t TTimer::HandleEvent(const plat::Event& e) {
  // Its hidden window is a top-level window too: it must not hold up a log-off.
  if (e.kind == plat::EventKind::QueryEndSession) return 1;
  if (e.kind != plat::EventKind::Timer) return 0;
  try {
    if (onTimer_) onTimer_(this);
  } catch (const std::exception& ex) {
    HandleEventException(ex);
  }
  return 0;
}

}  // namespace vcl
