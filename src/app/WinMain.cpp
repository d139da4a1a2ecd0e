// Windows entry: the real platform, then the same process as everywhere.
#include <windows.h>

#include "app/QuintorbMain.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  static plat::Win32Platform platform(instance);
  plat::SetCurrent(&platform);
  return RunProcess();  // -1 becomes the exit code 0xFFFFFFFF
}
