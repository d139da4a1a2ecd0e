// qdriver: a small Win32 console program that the end-to-end tests run under Wine beside the
// program under test. It does what only a process inside Wine can do: read exit codes through
// GetExitCodeProcess, find and read windows, send them messages, press keys system-wide and
// use the clipboard byte for byte. Results are printed as key=value lines (UTF-8); exit status
// 0 on success, 1 on failure, 2 on bad usage.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kFail = 1;
constexpr int kUsage = 2;

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

// Texts may hold line breaks; keep every record on one line.
std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);  // a caller may be waiting for this line while we keep running
}

std::string Hex32(unsigned long v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lX", v);
  return buf;
}

std::string HexPtr(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return buf;
}

bool ParseU64(const wchar_t* s, unsigned long long& v) {
  wchar_t* end = nullptr;
  v = std::wcstoull(s, &end, 0);
  return end != s && *end == L'\0';
}

bool ParseI64(const wchar_t* s, long long& v) {
  wchar_t* end = nullptr;
  v = std::wcstoll(s, &end, 0);
  return end != s && *end == L'\0';
}

bool ParseHwnd(const wchar_t* s, HWND& h) {
  unsigned long long v = 0;
  if (!ParseU64(s, v)) return false;
  h = reinterpret_cast<HWND>(static_cast<uintptr_t>(v));
  return true;
}

std::wstring ClassOf(HWND h) {
  wchar_t buf[256];
  int n = GetClassNameW(h, buf, 256);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// Class names compare as Windows compares them: without regard to case ("Edit" is "EDIT").
bool SameClass(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// A top-level window's caption is read without sending it anything, so a hung program cannot
// stall a search. A control's text lives in the control itself (GetWindowText of another
// process's control returns nothing), so it is asked with WM_GETTEXT, within a bound.
std::wstring TextOf(HWND h, bool child) {
  if (!child) {
    int len = GetWindowTextLengthW(h);
    std::wstring s(static_cast<size_t>(len) + 1, L'\0');
    int n = GetWindowTextW(h, s.data(), len + 1);
    s.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return s;
  }
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return {};
  std::wstring s(len + 1, L'\0');
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(s.data()),
                           SMTO_ABORTIFHUNG, 2000, &n))
    return {};
  s.resize(n <= len ? n : len);
  return s;
}

// The fields every window line shares. Top-level windows report screen coordinates; children
// report their position in the parent's client area, as a layout gives it.
std::string WindowFields(HWND h, bool child) {
  RECT wr{}, cr{};
  GetWindowRect(h, &wr);
  GetClientRect(h, &cr);
  POINT pos{wr.left, wr.top};
  if (child) {
    HWND parent = GetParent(h);
    if (parent) ScreenToClient(parent, &pos);
  }
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "hwnd=%s visible=%d x=%ld y=%ld w=%ld h=%ld cx=%ld cy=%ld style=%s exstyle=%s "
                "owner=%s",
                HexPtr(h).c_str(), IsWindowVisible(h) ? 1 : 0, pos.x, pos.y, wr.right - wr.left,
                wr.bottom - wr.top, cr.right - cr.left, cr.bottom - cr.top,
                Hex32(static_cast<unsigned long>(GetWindowLongW(h, GWL_STYLE))).c_str(),
                Hex32(static_cast<unsigned long>(GetWindowLongW(h, GWL_EXSTYLE))).c_str(),
                HexPtr(GetWindow(h, GW_OWNER)).c_str());
  return buf;
}

// Unix paths are mapped through drive Z:, which every Wine prefix has.
std::wstring WindowsPath(const std::wstring& p) {
  if (p.empty() || p[0] != L'/') return p;
  std::wstring w = L"Z:" + p;
  for (auto& c : w)
    if (c == L'/') c = L'\\';
  return w;
}

// ---------------------------------------------------------------------------------------------

int CmdRun(int argc, wchar_t** argv) {
  if (argc < 1 || argc > 2) return kUsage;
  unsigned long long timeout = 30000;
  if (argc == 2 && !ParseU64(argv[1], timeout)) return kUsage;

  std::wstring exe = WindowsPath(argv[0]);
  std::wstring cmdline = L"\"" + exe + L"\"";
  // A job that dies with us: when the test kills this driver, the program it started goes too.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
    info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info);
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmdline.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                      nullptr, nullptr, &si, &pi)) {
    Print("error=CreateProcess " + std::to_string(GetLastError()));
    return kFail;
  }
  if (job) AssignProcessToJobObject(job, pi.hProcess);
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  Print("pid=" + std::to_string(pi.dwProcessId));

  if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeout)) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
    Print("timeout=1");
    return kFail;
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  Print("exit=" + Hex32(code));
  CloseHandle(pi.hProcess);
  return kOk;
}

struct FindQuery {
  std::wstring cls;
  std::wstring title;
  bool anyTitle = true;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND h, LPARAM lp) {
  auto* q = reinterpret_cast<FindQuery*>(lp);
  if (!SameClass(ClassOf(h), q->cls)) return TRUE;
  if (!q->anyTitle && TextOf(h, false) != q->title) return TRUE;
  q->found.push_back(h);
  return TRUE;
}

std::vector<HWND> FindTopLevel(const std::wstring& cls, const wchar_t* title) {
  FindQuery q;
  q.cls = cls;
  if (title) {
    q.title = title;
    q.anyTitle = false;
  }
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

int CmdFind(int argc, wchar_t** argv) {
  if (argc < 1 || argc > 2) return kUsage;
  auto found = FindTopLevel(argv[0], argc == 2 ? argv[1] : nullptr);
  for (HWND h : found) Print(WindowFields(h, false) + " title=" + Escape(Utf8(TextOf(h, false))));
  return found.empty() ? kFail : kOk;
}

BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

int CmdChildren(int argc, wchar_t** argv) {
  HWND parent;
  if (argc != 1 || !ParseHwnd(argv[0], parent)) return kUsage;
  if (!IsWindow(parent)) {
    Print("error=no such window");
    return kFail;
  }
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
  for (HWND h : children) {
    // sx, sy: the control's place on the screen, where a real click must land.
    RECT sr{};
    GetWindowRect(h, &sr);
    Print(WindowFields(h, true) + " sx=" + std::to_string(sr.left) +
          " sy=" + std::to_string(sr.top) + " id=" + std::to_string(GetDlgCtrlID(h)) +
          " parent=" + HexPtr(GetParent(h)) + " class=" + Utf8(ClassOf(h)) +
          " text=" + Escape(Utf8(TextOf(h, true))));
  }
  return kOk;
}

int CmdWait(int argc, wchar_t** argv) {
  unsigned long long timeout = 0;
  if (argc != 3 || !ParseU64(argv[2], timeout)) return kUsage;
  std::wstring state = argv[1];
  if (state != L"visible" && state != L"hidden" && state != L"exists" && state != L"gone")
    return kUsage;
  // "hidden": windows of the class exist and none of them is visible.
  auto holds = [&](HWND& which) {
    auto found = FindTopLevel(argv[0], nullptr);
    which = found.empty() ? nullptr : found.front();
    if (state == L"gone") return found.empty();
    if (state == L"exists") return !found.empty();
    bool anyVisible = false;
    for (HWND h : found)
      if (IsWindowVisible(h)) {
        anyVisible = true;
        which = h;
      }
    return state == L"visible" ? anyVisible : !found.empty() && !anyVisible;
  };
  DWORD start = GetTickCount();
  for (;;) {
    HWND which = nullptr;
    if (holds(which)) {
      if (which) Print("hwnd=" + HexPtr(which));
      Print("ok=1");
      return kOk;
    }
    if (GetTickCount() - start >= timeout) {
      Print("timeout=1");
      return kFail;
    }
    Sleep(20);
  }
}

int CmdMessage(int argc, wchar_t** argv, bool send) {
  HWND h;
  unsigned long long msg = 0, wp = 0;
  long long lp = 0;
  if (argc != 4 || !ParseHwnd(argv[0], h) || !ParseU64(argv[1], msg) ||
      !ParseU64(argv[2], wp) || !ParseI64(argv[3], lp))
    return kUsage;
  if (!send) {
    if (!PostMessageW(h, static_cast<UINT>(msg), static_cast<WPARAM>(wp),
                      static_cast<LPARAM>(lp))) {
      Print("error=PostMessage " + std::to_string(GetLastError()));
      return kFail;
    }
    return kOk;
  }
  // Bounded, so that a hung program fails the test instead of hanging it.
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, static_cast<UINT>(msg), static_cast<WPARAM>(wp),
                           static_cast<LPARAM>(lp), SMTO_NORMAL, 10000, &result)) {
    Print("error=SendMessage " + std::to_string(GetLastError()));
    return kFail;
  }
  Print("result=" + std::to_string(static_cast<long long>(static_cast<LRESULT>(result))));
  return kOk;
}

int CmdClose(int argc, wchar_t** argv) {
  HWND h;
  if (argc != 1 || !ParseHwnd(argv[0], h)) return kUsage;
  if (!PostMessageW(h, WM_CLOSE, 0, 0)) {
    Print("error=PostMessage " + std::to_string(GetLastError()));
    return kFail;
  }
  return kOk;
}

int CmdShow(int argc, wchar_t** argv) {
  HWND h;
  if (argc != 1 || !ParseHwnd(argv[0], h)) return kUsage;
  if (!IsWindow(h)) {
    Print("error=no such window");
    return kFail;
  }
  ShowWindow(h, SW_SHOWNA);
  return kOk;
}

// The window that has the keyboard input now; "none" when no window has.
int CmdForeground(int argc, wchar_t**) {
  if (argc != 0) return kUsage;
  HWND h = GetForegroundWindow();
  if (!h) {
    Print("none");
    return kOk;
  }
  Print(WindowFields(h, false) + " class=" + Utf8(ClassOf(h)) +
        " title=" + Escape(Utf8(TextOf(h, false))));
  return kOk;
}

// UTF-8 given as hex on the command line, so that line breaks and spaces pass unharmed.
bool ParseUtf8Hex(const wchar_t* s, std::wstring& text);

// Waits until a control's text is the given one. The first line comes at once, so that a
// caller can start this before it changes anything and time the change; `at` values are
// GetTickCount, the same clock in every process.
int CmdWaitText(int argc, wchar_t** argv) {
  HWND h;
  std::wstring want;
  unsigned long long timeout = 0;
  if (argc != 3 || !ParseHwnd(argv[0], h) || !ParseUtf8Hex(argv[1], want) ||
      !ParseU64(argv[2], timeout))
    return kUsage;
  DWORD start = GetTickCount();
  Print("watching=1 at=" + std::to_string(start));
  for (;;) {
    std::wstring now = TextOf(h, true);
    DWORD tick = GetTickCount();
    if (now == want) {
      Print("ok=1 at=" + std::to_string(tick) + " ms=" + std::to_string(tick - start));
      return kOk;
    }
    if (tick - start >= timeout) {
      Print("timeout=1 text=" + Escape(Utf8(now)));
      return kFail;
    }
    Sleep(5);
  }
}

// Whether a named mutex exists (another program holds it); with a state and a timeout, waits
// until it does or does not.
int CmdMutex(int argc, wchar_t** argv) {
  unsigned long long timeout = 0;
  std::wstring state = argc >= 2 ? argv[1] : L"";
  if (!(argc == 1 || (argc == 3 && (state == L"exists" || state == L"gone") &&
                      ParseU64(argv[2], timeout))))
    return kUsage;
  auto exists = [&] {
    HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, argv[0]);
    if (h) {
      CloseHandle(h);
      return true;
    }
    // Another kind of object under that name still takes the name.
    return GetLastError() != ERROR_FILE_NOT_FOUND;
  };
  DWORD start = GetTickCount();
  for (;;) {
    bool now = exists();
    if (argc == 1 || now == (state == L"exists")) {
      Print(std::string("exists=") + (now ? "1" : "0"));
      return kOk;
    }
    if (GetTickCount() - start >= timeout) {
      Print("timeout=1");
      return kFail;
    }
    Sleep(20);
  }
}

// ---------------------------------------------------------------------------------------------

struct KeyName {
  const wchar_t* name;
  WORD vk;
};
constexpr KeyName kKeys[] = {
    {L"ctrl", VK_CONTROL}, {L"shift", VK_SHIFT},   {L"alt", VK_MENU},   {L"return", VK_RETURN},
    {L"tab", VK_TAB},      {L"escape", VK_ESCAPE}, {L"left", VK_LEFT},  {L"right", VK_RIGHT},
    {L"up", VK_UP},        {L"down", VK_DOWN},     {L"v", 'V'},
};

bool KeyFromName(const wchar_t* name, WORD& vk) {
  for (const auto& k : kKeys)
    if (std::wcscmp(k.name, name) == 0) {
      vk = k.vk;
      return true;
    }
  unsigned long long v = 0;
  if (std::wcsncmp(name, L"0x", 2) == 0 && ParseU64(name, v) && v > 0 && v < 256) {
    vk = static_cast<WORD>(v);
    return true;
  }
  return false;
}

INPUT KeyInput(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  if (vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN)
    in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  return in;
}

// tap: every key down in the order given, then up in reverse order, so "tap ctrl v" is a chord.
int CmdKeys(int argc, wchar_t** argv) {
  if (argc < 2) return kUsage;
  std::wstring how = argv[0];
  if (how != L"down" && how != L"up" && how != L"tap") return kUsage;
  std::vector<WORD> vks;
  for (int i = 1; i < argc; ++i) {
    WORD vk;
    if (!KeyFromName(argv[i], vk)) return kUsage;
    vks.push_back(vk);
  }
  std::vector<INPUT> inputs;
  if (how != L"up")
    for (WORD vk : vks) inputs.push_back(KeyInput(vk, false));
  if (how != L"down")
    for (auto it = vks.rbegin(); it != vks.rend(); ++it) inputs.push_back(KeyInput(*it, true));
  UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) {
    Print("error=SendInput " + std::to_string(GetLastError()));
    return kFail;
  }
  Print("sent=" + std::to_string(sent));
  return kOk;
}

// Holds keys down until a control's text becomes the given one, then lets them go at once:
// the program under test acts again on keys held too long, so the release must not wait for a
// round trip through the test. The keys are let go on a timeout too.
int CmdHoldKeys(int argc, wchar_t** argv) {
  HWND h;
  std::wstring want;
  unsigned long long timeout = 0;
  if (argc < 4 || !ParseHwnd(argv[0], h) || !ParseUtf8Hex(argv[1], want) ||
      !ParseU64(argv[2], timeout))
    return kUsage;
  std::vector<WORD> vks;
  for (int i = 3; i < argc; ++i) {
    WORD vk;
    if (!KeyFromName(argv[i], vk)) return kUsage;
    vks.push_back(vk);
  }
  std::vector<INPUT> down, up;
  for (WORD vk : vks) down.push_back(KeyInput(vk, false));
  for (auto it = vks.rbegin(); it != vks.rend(); ++it) up.push_back(KeyInput(*it, true));
  if (SendInput(static_cast<UINT>(down.size()), down.data(), sizeof(INPUT)) != down.size()) {
    Print("error=SendInput " + std::to_string(GetLastError()));
    SendInput(static_cast<UINT>(up.size()), up.data(), sizeof(INPUT));
    return kFail;
  }
  DWORD start = GetTickCount();
  std::wstring now;
  bool seen = false;
  for (;;) {
    now = TextOf(h, true);
    if (now == want) {
      seen = true;
      break;
    }
    if (GetTickCount() - start >= timeout) break;
    Sleep(5);
  }
  DWORD end = GetTickCount();
  SendInput(static_cast<UINT>(up.size()), up.data(), sizeof(INPUT));
  if (!seen) {
    Print("timeout=1 text=" + Escape(Utf8(now)));
    return kFail;
  }
  Print("ok=1 pressed_at=" + std::to_string(start) + " seen_at=" + std::to_string(end) +
        " ms=" + std::to_string(end - start));
  return kOk;
}

// ---------------------------------------------------------------------------------------------

// A hidden top-level window to own the clipboard: under Wine OpenClipboard(NULL) does not keep
// other programs out, a real window does.
HWND ClipboardWindow() {
  return CreateWindowExW(0, L"STATIC", L"qdriver", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// Others (Wine's own clipboard manager among them) hold the clipboard for short moments.
bool OpenClipboardRetrying(HWND owner) {
  DWORD start = GetTickCount();
  while (!OpenClipboard(owner)) {
    if (GetTickCount() - start > 5000) {
      Print("error=OpenClipboard " + std::to_string(GetLastError()));
      return false;
    }
    Sleep(10);
  }
  return true;
}

bool ParseHex(const wchar_t* s, std::string& bytes) {
  auto nibble = [](wchar_t c) -> int {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
  };
  size_t n = std::wcslen(s);
  if (n % 2) return false;
  bytes.clear();
  for (size_t i = 0; i < n; i += 2) {
    int hi = nibble(s[i]), lo = nibble(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes.push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

bool ParseUtf8Hex(const wchar_t* s, std::wstring& text) {
  std::string bytes;
  if (!ParseHex(s, bytes)) return false;
  text.clear();
  if (bytes.empty()) return true;
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                              static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return false;
  text.resize(static_cast<size_t>(n));
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  return true;
}

// Puts bytes on the clipboard, which this process has open, as its only CF_TEXT.
bool PutText(const std::string& bytes, bool terminate) {
  size_t size = bytes.size() + (terminate ? 1 : 0);
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size);
  char* p = mem ? static_cast<char*>(GlobalLock(mem)) : nullptr;
  if (!p) {
    if (mem) GlobalFree(mem);
    Print("error=GlobalAlloc");
    return false;
  }
  std::memcpy(p, bytes.data(), bytes.size());
  if (terminate) p[bytes.size()] = '\0';
  GlobalUnlock(mem);
  EmptyClipboard();
  if (!SetClipboardData(CF_TEXT, mem)) {
    GlobalFree(mem);
    Print("error=SetClipboardData");
    return false;
  }
  return true;
}

int CmdClipSet(int argc, wchar_t** argv, bool terminate) {
  std::string bytes;
  if (argc > 1) return kUsage;
  if (argc == 1 && !ParseHex(argv[0], bytes)) return kUsage;
  if (!terminate && bytes.empty()) return kUsage;  // a block of zero bytes cannot be locked
  size_t size = bytes.size() + (terminate ? 1 : 0);

  HWND owner = ClipboardWindow();
  if (!OpenClipboardRetrying(owner)) return kFail;
  bool ok = PutText(bytes, terminate);
  CloseClipboard();
  DestroyWindow(owner);
  if (!ok) return kFail;
  Print("size=" + std::to_string(size) + " at=" + std::to_string(GetTickCount()));
  return kOk;
}

int CmdClipGet(int argc, wchar_t**) {
  if (argc != 0) return kUsage;
  HWND owner = ClipboardWindow();
  if (!OpenClipboardRetrying(owner)) return kFail;
  std::string hex;
  bool have = false;
  SIZE_T size = 0;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const auto* p = static_cast<const unsigned char*>(GlobalLock(data))) {
      // GlobalSize may be larger than the text; it bounds the search for the zero byte.
      size = GlobalSize(data);
      static const char digits[] = "0123456789abcdef";
      for (SIZE_T i = 0; i < size && p[i]; ++i) {
        hex += digits[p[i] >> 4];
        hex += digits[p[i] & 15];
      }
      have = true;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  DestroyWindow(owner);
  // size: of the block as the system hands it over (it may hold more than the text)
  Print(have ? "hex=" + hex + " size=" + std::to_string(size) : "none");
  return kOk;
}

// Keeps the clipboard open for a while. With text (hex), that is copied first and the
// clipboard taken again at once: others see that something new was copied (Wine counts the
// change when the clipboard is closed) but cannot read it until the hold ends.
int CmdClipHold(int argc, wchar_t** argv) {
  unsigned long long ms = 0;
  std::string bytes;
  if (argc < 1 || argc > 2 || !ParseU64(argv[0], ms)) return kUsage;
  if (argc == 2 && !ParseHex(argv[1], bytes)) return kUsage;
  HWND owner = ClipboardWindow();
  if (!OpenClipboardRetrying(owner)) return kFail;
  if (argc == 2) {
    bool ok = PutText(bytes, true);
    CloseClipboard();
    if (!ok || !OpenClipboardRetrying(owner)) {
      DestroyWindow(owner);
      return kFail;
    }
  }
  Print("held=1 at=" + std::to_string(GetTickCount()));
  Sleep(static_cast<DWORD>(ms));
  DWORD released = GetTickCount();
  CloseClipboard();
  DestroyWindow(owner);
  Print("released=1 at=" + std::to_string(released));
  return kOk;
}

void Usage() {
  std::fputs(
      "usage: qdriver <command> ...\n"
      "  run <exe-path> [timeout-ms]\n"
      "  find <class> [title]\n"
      "  children <hwnd>\n"
      "  wait <class> <visible|hidden|exists|gone> <timeout-ms>\n"
      "  close <hwnd>\n"
      "  send|post <hwnd> <msg> <wparam> <lparam>\n"
      "  show <hwnd>\n"
      "  mutex <name> [exists|gone <timeout-ms>]\n"
      "  keys <down|up|tap> <name>...   (ctrl shift alt return tab escape left right up down v 0xNN)\n"
      "  hold-keys <hwnd> <utf8-hex> <timeout-ms> <name>...   (down until the text is that, then up)\n"
      "  wait-text <hwnd> <utf8-hex> <timeout-ms>\n"
      "  foreground\n"
      "  clip-set-hex <hex> | clip-set-raw-hex <hex> | clip-get-hex | clip-hold <ms> [hex]\n",
      stderr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Binary mode: the host reads our lines, and the text mode would add CR before each LF.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) {
    Usage();
    return kUsage;
  }
  std::wstring cmd = argv[1];
  int n = argc - 2;
  wchar_t** args = argv + 2;
  int rc = kUsage;
  if (cmd == L"run") rc = CmdRun(n, args);
  else if (cmd == L"find") rc = CmdFind(n, args);
  else if (cmd == L"children") rc = CmdChildren(n, args);
  else if (cmd == L"wait") rc = CmdWait(n, args);
  else if (cmd == L"mutex") rc = CmdMutex(n, args);
  else if (cmd == L"close") rc = CmdClose(n, args);
  else if (cmd == L"send") rc = CmdMessage(n, args, true);
  else if (cmd == L"post") rc = CmdMessage(n, args, false);
  else if (cmd == L"show") rc = CmdShow(n, args);
  else if (cmd == L"keys") rc = CmdKeys(n, args);
  else if (cmd == L"hold-keys") rc = CmdHoldKeys(n, args);
  else if (cmd == L"wait-text") rc = CmdWaitText(n, args);
  else if (cmd == L"foreground") rc = CmdForeground(n, args);
  else if (cmd == L"clip-set-hex") rc = CmdClipSet(n, args, true);
  else if (cmd == L"clip-set-raw-hex") rc = CmdClipSet(n, args, false);
  else if (cmd == L"clip-get-hex") rc = CmdClipGet(n, args);
  else if (cmd == L"clip-hold") rc = CmdClipHold(n, args);
  if (rc == kUsage) Usage();
  return rc;
}
