// Cost of the 100 ms poll on the headless platform: an idle tick, a capture and a switch, for
// clipboard texts of 10 B, 1 MB and 64 MB. "idle, clipboard re-read" forces the tick to open and
// read the clipboard as if it had changed to the same text, which is what every idle tick cost
// before the tick learned to trust the clipboard's sequence number.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "Unit1.h"
#include "app/QuintorbMain.h"
#include "platform/headless/headless.h"

namespace {

using Clock = std::chrono::steady_clock;

double MicrosPer(int n, const std::function<void()>& f) {
  auto start = Clock::now();
  for (int i = 0; i < n; ++i) f();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / n;
}

}  // namespace

int main() {
  const std::pair<const char*, std::size_t> sizes[] = {
      {"10 B", 10}, {"1 MB", 1u << 20}, {"64 MB", 64u << 20}};
  std::printf("%-8s %14s %14s %14s %14s\n", "text", "idle tick us", "idle re-read", "capture us",
              "switch us");
  for (const auto& [label, size] : sizes) {
    plat::HeadlessPlatform hl;
    plat::SetCurrent(&hl);
    ResetProcessState();
    const std::string text(size, 'x');
    const std::string other = std::string(size - 1, 'x') + "y";  // differs only at the end
    double idle = 0, reread = 0, capture = 0, sw = 0;
    int rounds = size > (1u << 20) ? 5 : 200;
    hl.onWait = [&] {
      auto tick = [&] {
        hl.Advance(100);
        vcl::Application->ProcessMessages();
      };
      hl.SetClipboardText(text);
      tick();
      tick();
      idle = MicrosPer(1000, tick);
      reread = MicrosPer(rounds, [&] {
        hl.SetClipboardText(text);
        tick();
      });
      bool flip = false;
      capture = MicrosPer(rounds, [&] {
        hl.SetClipboardText((flip = !flip) ? other : text);
        tick();
      });
      sw = MicrosPer(rounds, [&] { Form1->SwitchSlot(); });
      hl.Post(Form1->Handle(), {plat::EventKind::Close});
    };
    RunProcess();
    std::printf("%-8s %14.2f %14.1f %14.1f %14.1f\n", label, idle, reread, capture, sw);
  }
  return 0;
}
