// TTimer: a periodic tick on the GUI thread, delivered to a hidden window the timer owns.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "vcl/Classes.h"

namespace vcl {

class TTimer : public TComponent, public plat::WindowSink {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  const TNotifyEvent& OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);

  void SetProperty(const std::string& name, const layout::Value& v, TComponent* root) override;
  std::intptr_t HandleEvent(const plat::Event& e) override;

 private:
  // Kills the system timer, then sets it again if allowed; raises EOutOfResources if refused.
  void UpdateTimer();

  plat::Handle window_ = 0;
  std::uint32_t interval_ = 1000;
  bool enabled_ = true;
  TNotifyEvent onTimer_;
};

}  // namespace vcl
