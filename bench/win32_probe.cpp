// A Win32 helper for the benchmarks of the real program (run under Wine, beside it):
//   fill <bytes>         put one line of that many 'x' bytes (and a trailing 'y') on the clipboard
//   probe <ms>           for that long, send the program's main window a no-op message again and
//                        again and print the longest time it took to be served (milliseconds)
//   chord <ms>           hold Ctrl+Shift for that long (SendInput), then release
//   read                 time one read of the clipboard's text, as the program reads it
// Output: key=value lines.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double Now() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

int Fill(size_t n) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, n + 2);
  if (!block) return 1;
  char* p = static_cast<char*>(GlobalLock(block));
  std::memset(p, 'x', n);
  p[n] = 'y';
  p[n + 1] = 0;
  GlobalUnlock(block);
  for (int i = 0; i < 200 && !OpenClipboard(owner); ++i) Sleep(10);
  EmptyClipboard();
  bool ok = SetClipboardData(CF_TEXT, block) != nullptr;
  CloseClipboard();
  std::printf("filled=%u\n", static_cast<unsigned>(n + 1));
  return ok ? 0 : 1;
}

int Read() {
  HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  DWORD seqBefore = GetClipboardSequenceNumber();
  double t0 = Now();
  if (!OpenClipboard(owner)) return 1;
  double t1 = Now();
  HANDLE h = GetClipboardData(CF_TEXT);
  double t2 = Now();
  size_t n = 0;
  if (h) {
    const char* p = static_cast<const char*>(GlobalLock(h));
    size_t size = GlobalSize(h);
    const void* zero = std::memchr(p, 0, size);
    n = zero ? static_cast<const char*>(zero) - p : size;
    std::string copy(p, n);
    GlobalUnlock(h);
  }
  double t3 = Now();
  CloseClipboard();
  std::printf("bytes=%u\nopen_ms=%.1f\nget_ms=%.1f\ncopy_ms=%.1f\nseq_before=%lu\nseq_after=%lu\n",
              static_cast<unsigned>(n), t1 - t0, t2 - t1, t3 - t2, seqBefore,
              GetClipboardSequenceNumber());
  return 0;
}

int Probe(DWORD ms) {
  HWND target = FindWindowW(L"TForm1", nullptr);
  if (!target) {
    std::printf("error=no TForm1 window\n");
    return 1;
  }
  double end = Now() + ms, worst = 0;
  long rounds = 0;
  while (Now() < end) {
    double start = Now();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    worst = std::max(worst, Now() - start);
    ++rounds;
    Sleep(1);
  }
  std::printf("rounds=%ld\nmax_ms=%.1f\n", rounds, worst);
  return 0;
}

void Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &in, sizeof in);
}

int Chord(DWORD ms) {
  Key(VK_CONTROL, false);
  Key(VK_SHIFT, false);
  Sleep(ms);
  Key(VK_SHIFT, true);
  Key(VK_CONTROL, true);
  std::printf("chord=done\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && !std::strcmp(argv[1], "fill")) return Fill(std::strtoul(argv[2], nullptr, 10));
  if (argc == 3 && !std::strcmp(argv[1], "probe")) return Probe(std::strtoul(argv[2], nullptr, 10));
  if (argc == 2 && !std::strcmp(argv[1], "read")) return Read();
  if (argc == 3 && !std::strcmp(argv[1], "chord")) return Chord(std::strtoul(argv[2], nullptr, 10));
  std::fprintf(stderr, "usage: win32_probe fill <bytes> | probe <ms> | chord <ms> | read\n");
  return 2;
}
