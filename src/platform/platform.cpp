#include "platform/platform.h"

#include <stdexcept>

namespace plat {

namespace {
Platform* g_current = nullptr;
}

Platform& Current() {
  if (!g_current) throw std::logic_error("no platform chosen");
  return *g_current;
}

void SetCurrent(Platform* p) { g_current = p; }

}  // namespace plat
