// Checks the Win32 backend against the real system (run under Wine by run_smoke.sh).
//
// It drives Win32Platform through the Platform interface the way the component layer does and
// looks at the result with plain Win32 calls. Every check prints one line; the last line
// counts them. With `--hold FILE` it writes FILE once its windows and tray icon are up and
// waits (pumping messages) until FILE is removed, so that a screenshot and the X clipboard can
// be taken from outside.
#include "platform/win32/win32_internal.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace plat;
using plat::win32::ToHandle;
using plat::win32::ToHwnd;

namespace {

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  (ok ? g_passed : g_failed)++;
}

struct Recorder final : WindowSink {
  std::vector<Event> events;
  std::intptr_t result = 0;
  std::intptr_t HandleEvent(const Event& e) override {
    events.push_back(e);
    return result;
  }
  int Count(EventKind k) const {
    int n = 0;
    for (const Event& e : events) n += e.kind == k;
    return n;
  }
  const Event* Last(EventKind k) const {
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
      if (it->kind == k) return &*it;
    }
    return nullptr;
  }
};

void Pump(Platform& p) {
  Message m;
  while (p.PeekMessage(m)) p.DispatchMessage(m);
}

// Pumps messages until `done` holds or the deadline passes; waits for input, not fixed times.
template <typename F>
bool PumpUntil(Platform& p, DWORD deadlineMs, F done) {
  const DWORD start = GetTickCount();
  for (;;) {
    Pump(p);
    if (done()) return true;
    const DWORD spent = GetTickCount() - start;
    if (spent >= deadlineMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, deadlineMs - spent, QS_ALLINPUT);
  }
}

std::string Ansi(const wchar_t* w) {
  char buf[512];
  const int n = WideCharToMultiByte(CP_ACP, 0, w, -1, buf, sizeof buf, nullptr, nullptr);
  return std::string(buf, n > 0 ? n - 1 : 0);
}

std::wstring WindowTextW(HWND h) {
  wchar_t buf[512];
  const int n = GetWindowTextW(h, buf, 512);
  return std::wstring(buf, n > 0 ? n : 0);
}

// A 16x16, 16-colour .ico file of 318 bytes: a coloured square with a border.
std::string MakeIco() {
  std::string ico;
  auto u8 = [&](unsigned v) { ico.push_back(static_cast<char>(v & 0xFF)); };
  auto u16 = [&](unsigned v) { u8(v); u8(v >> 8); };
  auto u32 = [&](unsigned v) { u16(v & 0xFFFF); u16(v >> 16); };
  const unsigned imageSize = 40 + 16 * 4 + 16 * 8 + 16 * 4;
  u16(0); u16(1); u16(1);                             // header: one icon
  u8(16); u8(16); u8(16); u8(0); u16(1); u16(4);      // entry
  u32(imageSize); u32(6 + 16);
  u32(40); u32(16); u32(32); u16(1); u16(4); u32(0);  // BITMAPINFOHEADER (height doubled)
  u32(0); u32(0); u32(0); u32(16); u32(0);
  for (unsigned i = 0; i < 16; ++i) {                 // palette: 0 black, 1 red, 2 white
    u32(i == 1 ? 0x00FF0000 : i == 2 ? 0x00FFFFFF : 0);
  }
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; x += 2) {
      auto px = [&](int xx) { return (xx == 0 || xx == 15 || y == 0 || y == 15) ? 2 : 1; };
      u8(static_cast<unsigned>(px(x) << 4 | px(x + 1)));
    }
  }
  for (int i = 0; i < 16 * 4; ++i) u8(0);  // AND mask: all opaque
  return ico;
}

// --- another thread that holds the clipboard open ------------------------------------------

struct Holder {
  HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD releaseDelayMs = 0;  // after `release` is set
};

DWORD WINAPI HoldClipboard(void* param) {
  auto* h = static_cast<Holder*>(param);
  HWND w = CreateWindowExW(0, L"STATIC", L"holder", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           nullptr, nullptr);
  OpenClipboard(w);
  SetEvent(h->opened);
  WaitForSingleObject(h->release, 10000);
  if (h->releaseDelayMs) Sleep(h->releaseDelayMs);
  CloseClipboard();
  DestroyWindow(w);
  return 0;
}

// --- the error box, seen from another thread -------------------------------------------------

struct BoxWatch {
  DWORD uiThread = 0;
  HWND others[2] = {};  // visible windows that must be disabled while the box is up
  HWND box = nullptr;
  std::wstring caption;
  bool textFound = false;
  bool othersDisabled = false;
};

BOOL CALLBACK FindBox(HWND h, LPARAM param) {
  auto* w = reinterpret_cast<BoxWatch*>(param);
  wchar_t cls[64];
  GetClassNameW(h, cls, 64);
  if (GetWindowThreadProcessId(h, nullptr) == w->uiThread && std::wcscmp(cls, L"#32770") == 0) {
    w->box = h;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindBoxText(HWND h, LPARAM param) {
  auto* w = reinterpret_cast<BoxWatch*>(param);
  if (WindowTextW(h) == L"テキストを読めません。") w->textFound = true;
  return TRUE;
}

DWORD WINAPI WatchBox(void* param) {
  auto* w = static_cast<BoxWatch*>(param);
  const DWORD start = GetTickCount();
  while (!w->box && GetTickCount() - start < 5000) {
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(w));
    if (!w->box) Sleep(10);
  }
  if (!w->box) return 0;
  // Give the box time to finish appearing before reading it.
  while (!IsWindowVisible(w->box) && GetTickCount() - start < 5000) Sleep(10);
  w->caption = WindowTextW(w->box);
  EnumChildWindows(w->box, FindBoxText, reinterpret_cast<LPARAM>(w));
  w->othersDisabled = !IsWindowEnabled(w->others[0]) && !IsWindowEnabled(w->others[1]);
  PostMessageW(w->box, WM_COMMAND, IDOK, 0);
  return 0;
}

WindowSpec Spec(WindowKind kind, Handle parent, std::uint32_t style, Rect r, std::string caption,
                std::string cls = {}, Border border = Border::None) {
  WindowSpec s;
  s.kind = kind;
  s.parent = parent;
  s.style = style;
  s.left = r.left;
  s.top = r.top;
  s.width = r.width;
  s.height = r.height;
  s.caption = std::move(caption);
  s.className = std::move(cls);
  s.border = border;
  return s;
}

LONG StyleOf(Handle w) { return GetWindowLongW(ToHwnd(w), GWL_STYLE); }
LONG ExStyleOf(Handle w) { return GetWindowLongW(ToHwnd(w), GWL_EXSTYLE); }

}  // namespace

int main(int argc, char** argv) {
  const char* holdFile = (argc == 3 && std::strcmp(argv[1], "--hold") == 0) ? argv[2] : nullptr;
  Win32Platform p(GetModuleHandleW(nullptr));
  const std::string title = "ミルテナ";
  const std::string titleSjis = Ansi(L"ミルテナ");
  std::printf("ANSI code page %u\n", GetACP());

  // --- process -----------------------------------------------------------------------------
  {
    const std::string path = p.ExecutablePath();
    Check(path.size() > 15 && _stricmp(path.c_str() + path.size() - 15, "win32_smoke.exe") == 0,
          "ExecutablePath names this program: " + path);
    const MutexResult first = p.CreateNamedMutex("QuintorbSmoke.Mutex");
    const MutexResult second = p.CreateNamedMutex("QuintorbSmoke.Mutex");
    Check(first.handle != 0 && first.lastError == 0, "first CreateNamedMutex: new");
    Check(second.handle != 0 && second.lastError == ERROR_ALREADY_EXISTS,
          "second CreateNamedMutex: error 183");
    Check(!p.ReleaseNamedMutex(first.handle), "ReleaseNamedMutex of a mutex not owned fails");
    struct { std::uint8_t b; bool lead; } leads[] = {{0x82, true}, {0x83, true}, {0xE0, true},
                                                     {0x41, false}, {0xA0, false}, {0x7F, false}};
    if (GetACP() == 932) {
      for (auto& c : leads) {
        Check(p.IsLeadByte(c.b) == c.lead, "IsLeadByte(" + std::to_string(c.b) + ")");
      }
    }
    const Size screen = p.ScreenSize();
    Check(screen.width == GetSystemMetrics(SM_CXSCREEN) && screen.width > 0 &&
              screen.height > 0,
          "ScreenSize " + std::to_string(screen.width) + "x" + std::to_string(screen.height));
  }

  // --- windows -------------------------------------------------------------------------------
  Recorder appSink, form1Sink, form2Sink, memoSink, wrapSink, editSink, buttonSink, labelSink,
      notifySink, utilSink;
  const Handle app = p.CreateWindow(
      Spec(WindowKind::Application, 0, 0, {0, 0, 0, 0}, title, "TApplication"), &appSink);
  Check(app != 0 && FindWindowW(L"TApplication", L"ミルテナ") == ToHwnd(app),
        "application window found by class and Japanese caption");
  Check((StyleOf(app) & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)) ==
                (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX) &&
            !p.IsVisible(app),
        "application window: popup with caption, hidden");

  const std::uint32_t f1Style = kVisible | kTopmost;
  const Size f1Outer = p.FrameSizeFor(Border::ToolWindow, f1Style, 300, 200);
  const Handle form1 = p.CreateWindow(
      Spec(WindowKind::Form, app, f1Style, {100, 100, f1Outer.width, f1Outer.height},
           title + " A/B", "TForm1", Border::ToolWindow),
      &form1Sink);
  {
    RECT rc;
    GetClientRect(ToHwnd(form1), &rc);
    Check(rc.right == 300 && rc.bottom == 200, "tool window client area is the size asked for");
    Check((ExStyleOf(form1) & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST)) ==
                  (WS_EX_TOOLWINDOW | WS_EX_TOPMOST) &&
              !(StyleOf(form1) & WS_SYSMENU) && (StyleOf(form1) & WS_CLIPCHILDREN),
          "form 1: topmost tool window, no system menu");
    Check(GetWindow(ToHwnd(form1), GW_OWNER) == ToHwnd(app), "form 1 is owned by the application");
    Check(WindowTextW(ToHwnd(form1)) == L"ミルテナ A/B" && p.GetTextUtf8(form1) == title + " A/B",
          "form caption in Japanese, read back as UTF-8");
    const Rect b = p.GetBounds(form1);
    Check(b.left == 100 && b.top == 100 && b.width == f1Outer.width &&
              b.height == f1Outer.height,
          "GetBounds of a form: screen position and outer size");
  }

  // Every border, with and without system menu: FrameSizeFor matches what CreateWindow makes.
  {
    const struct { Border border; const char* name; } borders[] = {
        {Border::None, "none"},       {Border::Single, "single"},
        {Border::Sizeable, "sizeable"}, {Border::Dialog, "dialog"},
        {Border::ToolWindow, "tool window"}};
    for (const auto& b : borders) {
      for (std::uint32_t extra : {0u, static_cast<std::uint32_t>(kSysMenu)}) {
        Recorder sink;
        const Size outer = p.FrameSizeFor(b.border, extra, 160, 90);
        const Handle f = p.CreateWindow(
            Spec(WindowKind::Form, app, extra, {50, 50, outer.width, outer.height}, "frame",
                 "TFrameCheck", b.border),
            &sink);
        RECT rc;
        GetClientRect(ToHwnd(f), &rc);
        // A window without a caption has no system menu to show.
        const bool wantSys = extra != 0 && b.border != Border::None;
        const bool hasSys = (StyleOf(f) & WS_SYSMENU) != 0;
        Check(f != 0 && rc.right == 160 && rc.bottom == 90 && hasSys == wantSys,
              std::string("frame size for border ") + b.name + (extra ? " + system menu" : ""));
        p.DestroyWindow(f);
      }
    }
  }

  const Handle memo = p.CreateWindow(
      Spec(WindowKind::Memo, form1, kVisible | kReadOnly | kBorder | kScrollBars | kTabStop,
           {10, 10, 200, 100}, ""),
      &memoSink);
  const Handle wrap = p.CreateWindow(
      Spec(WindowKind::Memo, form1, kWordWrap, {10, 120, 50, 20}, ""), &wrapSink);
  const Handle edit = p.CreateWindow(
      Spec(WindowKind::Edit, form1, kVisible | kBorder | kTabStop, {220, 10, 70, 22}, "edit"),
      &editSink);
  const Handle button = p.CreateWindow(
      Spec(WindowKind::Button, form1, kVisible | kTabStop, {220, 40, 70, 24}, "閉じる"),
      &buttonSink);
  const Handle label = p.CreateWindow(
      Spec(WindowKind::Label, form1, kVisible, {220, 70, 70, 20}, "スロット&A"), &labelSink);
  {
    const LONG ms = StyleOf(memo);
    Check((ms & (ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL |
                 WS_TABSTOP | WS_VISIBLE | WS_CHILD)) ==
                  (ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL |
                   WS_TABSTOP | WS_VISIBLE | WS_CHILD) &&
              (ExStyleOf(memo) & WS_EX_CLIENTEDGE),
          "memo styles: multi-line, read-only, scroll bars, border, tab stop");
    const LONG ws = StyleOf(wrap);
    Check((ws & ES_MULTILINE) && !(ws & (ES_AUTOHSCROLL | ES_READONLY | WS_VSCROLL | WS_HSCROLL |
                                          WS_TABSTOP | WS_VISIBLE)) &&
              !(ExStyleOf(wrap) & WS_EX_CLIENTEDGE),
          "word-wrapping memo without the optional styles");
    Check(SendMessageW(ToHwnd(memo), EM_GETLIMITTEXT, 0, 0) >= 0x7FFFFFFE,
          "memo text limit raised");
    const LONG es = StyleOf(edit);
    Check(!(es & ES_MULTILINE) && (es & ES_AUTOHSCROLL) && !(es & ES_READONLY),
          "edit: single line");
    const LONG bs = StyleOf(button);
    Check((bs & 0x0F) == BS_PUSHBUTTON && (bs & WS_TABSTOP), "button: push button, tab stop");
    Check(WindowTextW(ToHwnd(label)) == L"スロット&A" && (StyleOf(label) & SS_NOPREFIX),
          "label: Japanese text, no prefix");
    Check(p.GetTextUtf8(button) == "閉じる", "GetTextUtf8 of a control");
  }

  // Text in the ANSI code page, colours and font of the memo.
  p.SetFont(memo, "ＭＳ Ｐゴシック", 12, 128);
  p.SetFont(edit, "ＭＳ Ｐゴシック", 12, 128);
  {
    HFONT f1 = reinterpret_cast<HFONT>(SendMessageW(ToHwnd(memo), WM_GETFONT, 0, 0));
    HFONT f2 = reinterpret_cast<HFONT>(SendMessageW(ToHwnd(edit), WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    GetObjectW(f1, sizeof lf, &lf);
    Check(f1 && f1 == f2 && lf.lfHeight == -12 && lf.lfCharSet == 128 &&
              std::wstring(lf.lfFaceName) == L"ＭＳ Ｐゴシック",
          "SetFont: one cached font, height -12, Shift-JIS charset");
  }
  const std::string memoSjis = Ansi(L"スロットA\r\nABC 表示");
  p.SetTextAnsi(memo, memoSjis);
  Check(WindowTextW(ToHwnd(memo)) == L"スロットA\r\nABC 表示",
        "SetTextAnsi: Shift-JIS bytes shown as Japanese");
  Check(p.GetTextUtf8(memo) == "スロットA\r\nABC 表示", "GetTextUtf8 of the memo");
  p.SetColors(memo, 0x00000000, 0x0000FF00);         // black, lime text
  p.SetColors(label, 0x80000000u + COLOR_WINDOW, 0x000000FF);  // system colour, red text
  {
    HDC dc = GetDC(ToHwnd(form1));
    const LRESULT memoBrush = SendMessageW(ToHwnd(form1), WM_CTLCOLORSTATIC,
                                           reinterpret_cast<WPARAM>(dc),
                                           static_cast<LPARAM>(memo));
    Check(memoBrush != 0 && GetBkColor(dc) == RGB(0, 0, 0) && GetTextColor(dc) == RGB(0, 255, 0),
          "read-only memo colours: black background, lime text");
    const LRESULT labelBrush = SendMessageW(ToHwnd(form1), WM_CTLCOLORSTATIC,
                                            reinterpret_cast<WPARAM>(dc), static_cast<LPARAM>(label));
    Check(labelBrush == reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)) &&
              GetBkColor(dc) == GetSysColor(COLOR_WINDOW) && GetTextColor(dc) == RGB(255, 0, 0),
          "label colours: system colour brush, red text");
    const LRESULT again = SendMessageW(ToHwnd(form1), WM_CTLCOLORSTATIC,
                                       reinterpret_cast<WPARAM>(dc), static_cast<LPARAM>(memo));
    Check(again == memoBrush, "background brush is cached");
    const LRESULT plain = SendMessageW(ToHwnd(form1), WM_CTLCOLOREDIT,
                                       reinterpret_cast<WPARAM>(dc), static_cast<LPARAM>(edit));
    Check(plain != memoBrush, "a control without colours gets the default");
    ReleaseDC(ToHwnd(form1), dc);
  }
  UpdateWindow(ToHwnd(form1));
  Pump(p);
  {
    RECT rc;
    GetClientRect(ToHwnd(memo), &rc);
    HDC dc = GetDC(ToHwnd(memo));
    const COLORREF px = GetPixel(dc, rc.right - 3, rc.bottom - 3);
    ReleaseDC(ToHwnd(memo), dc);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%06lX", static_cast<unsigned long>(px));
    Check(px == RGB(0, 0, 0), std::string("memo painted black (pixel ") + hex + ")");
  }

  // Geometry of controls.
  p.SetBounds(memo, {12, 14, 190, 96});
  {
    const Rect b = p.GetBounds(memo);
    Check(b.left == 12 && b.top == 14 && b.width == 190 && b.height == 96,
          "SetBounds/GetBounds of a control, in the parent's client area");
  }

  // Clicks: a table of mouse sequences sent to the memo, and the clicks they must give.
  {
    const LPARAM in = MAKELPARAM(5, 5), out = MAKELPARAM(500, 5);
    const struct {
      const char* name;
      std::vector<std::pair<UINT, LPARAM>> msgs;
      int clicks;
    } cases[] = {
        {"press and release inside", {{WM_LBUTTONDOWN, in}, {WM_LBUTTONUP, in}}, 1},
        {"release outside", {{WM_LBUTTONDOWN, in}, {WM_LBUTTONUP, out}}, 0},
        {"double click",
         {{WM_LBUTTONDOWN, in}, {WM_LBUTTONUP, in}, {WM_LBUTTONDBLCLK, in}, {WM_LBUTTONUP, in}},
         2},
        {"release without press", {{WM_LBUTTONUP, in}}, 0},
        {"middle button", {{WM_MBUTTONDOWN, in}, {WM_MBUTTONUP, in}}, 0},
    };
    for (const auto& c : cases) {
      const int before = memoSink.Count(EventKind::Click);
      for (const auto& [msg, lp] : c.msgs) {
        SendMessageW(ToHwnd(memo), msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, lp);
      }
      Pump(p);
      Check(memoSink.Count(EventKind::Click) - before == c.clicks,
            std::string("memo click: ") + c.name);
    }
    SendMessageW(ToHwnd(button), BM_CLICK, 0, 0);
    Pump(p);
    Check(buttonSink.Count(EventKind::Click) == 1 && form1Sink.Count(EventKind::Click) == 0,
          "button click reaches the button's sink once");
  }

  // Focus.
  p.BringToFront(form1);
  Pump(p);
  p.SetFocus(edit);
  Pump(p);
  Check(p.GetFocus() == edit && editSink.Count(EventKind::FocusGained) >= 1,
        "SetFocus: focus gained by the edit");

  // Messages of our own classes.
  const Handle util = p.CreateWindow(
      Spec(WindowKind::Utility, 0, kVisible, {0, 0, 0, 0}, "", "TPUtilWindow"), &utilSink);
  const Handle notify = p.CreateWindow(
      Spec(WindowKind::Child, app, 0, {0, 0, 0, 0}, "", "TNotifyWindow"), &notifySink);
  Check(util && !p.IsVisible(util) && !(StyleOf(util) & WS_CHILD) &&
            GetAncestor(ToHwnd(util), GA_PARENT) == GetDesktopWindow(),
        "utility window: hidden top-level window");
  Check(notify && FindWindowExW(ToHwnd(app), nullptr, L"TNotifyWindow", nullptr) == ToHwnd(notify),
        "notification window found by class under its parent");
  {
    SendMessageW(ToHwnd(form1), WM_CLOSE, 0, 0);
    Check(form1Sink.Count(EventKind::Close) == 1 && IsWindow(ToHwnd(form1)),
          "WM_CLOSE: Close event, window kept");

    Check(p.SetTimer(util, 7, 30), "SetTimer");
    const bool fired = PumpUntil(p, 2000, [&] { return utilSink.Count(EventKind::Timer) >= 2; });
    p.KillTimer(util, 7);
    const Event* t = utilSink.Last(EventKind::Timer);
    Check(fired && t && t->wParam == 7, "timer fires repeatedly with its id");

    p.PostUserMessage(form1, WM_USER + 77, 5, -6);
    Pump(p);
    const Event* u = form1Sink.Last(EventKind::User);
    Check(u && u->message == WM_USER + 77 && u->wParam == 5 && u->lParam == -6,
          "posted user message arrives with its parameters");
    form1Sink.result = 42;
    Check(SendMessageW(ToHwnd(form1), WM_USER + 1, 0, 0) == 42, "user message returns the sink's result");
    form1Sink.result = 0;
    const UINT other = RegisterWindowMessageW(L"QuintorbSmokeOther");
    const int users = form1Sink.Count(EventKind::User);
    SendMessageW(ToHwnd(form1), other, 0, 0);
    Check(form1Sink.Count(EventKind::User) == users, "registered messages are not user messages");

    SendMessageW(ToHwnd(notify), WM_USER + 102, 1, WM_LBUTTONDOWN);
    const Event* n = notifySink.Last(EventKind::User);
    Check(n && n->message == 1126 && n->wParam == 1 && n->lParam == WM_LBUTTONDOWN,
          "notification window receives message 1126");

    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    Check(PumpUntil(p, 2000, [&] { return utilSink.Count(EventKind::TaskbarCreated) == 1; }),
          "TaskbarCreated broadcast reaches the utility window");

    for (std::intptr_t answer : {1, 0}) {
      appSink.result = answer;
      Check(SendMessageW(ToHwnd(app), WM_QUERYENDSESSION, 0, 0) == answer,
            "WM_QUERYENDSESSION answers " + std::to_string(answer));
    }
    appSink.result = 0;
    SendMessageW(ToHwnd(app), WM_ENDSESSION, TRUE, 0);
    const Event* es = appSink.Last(EventKind::EndSession);
    Check(es && es->wParam == 1, "WM_ENDSESSION: EndSession with wParam");
  }

  // A second form: activation, visibility, the error box.
  const Handle form2 = p.CreateWindow(
      Spec(WindowKind::Form, app, 0, {450, 120, 260, 140}, "設定", "TForm2", Border::Dialog),
      &form2Sink);
  const Handle form2Edit = p.CreateWindow(
      Spec(WindowKind::Edit, form2, kVisible | kTabStop, {10, 10, 100, 22}, "x"), &editSink);
  Check((ExStyleOf(form2) & WS_EX_DLGMODALFRAME) && !p.IsVisible(form2),
        "form 2: dialog frame, hidden until shown");
  p.SetVisible(form2, true);
  Check(p.IsVisible(form2) && GetActiveWindow() == ToHwnd(form1),
        "SetVisible shows without activating");
  p.SetBounds(form2, {440, 130, 270, 150});
  {
    const Rect b = p.GetBounds(form2);
    Check(b.left == 440 && b.top == 130 && b.width == 270 && b.height == 150,
          "SetBounds/GetBounds of a form");
  }
  {
    const int f1Deact = form1Sink.Count(EventKind::Deactivate);
    p.BringToFront(form2);
    Pump(p);
    Check(GetActiveWindow() == ToHwnd(form2) && form2Sink.Count(EventKind::Activate) >= 1 &&
              form1Sink.Count(EventKind::Deactivate) > f1Deact,
          "BringToFront activates: Activate / Deactivate events");
  }
  {
    BoxWatch watch;
    watch.uiThread = GetCurrentThreadId();
    watch.others[0] = ToHwnd(form1);
    watch.others[1] = ToHwnd(form2);
    HANDLE th = CreateThread(nullptr, 0, WatchBox, &watch, 0, nullptr);
    p.MessageBox(form2, "テキストを読めません。", title, BoxIcon::Stop);
    WaitForSingleObject(th, 5000);
    CloseHandle(th);
    Check(watch.box != nullptr, "message box appeared");
    Check(watch.caption == L"ミルテナ" && watch.textFound, "message box: Japanese caption and text");
    Check(watch.othersDisabled, "message box: the program's other windows disabled while it is up");
    Check(IsWindowEnabled(ToHwnd(form1)) && IsWindowEnabled(ToHwnd(form2)) &&
              IsWindowEnabled(ToHwnd(app)),
          "message box: windows enabled again afterwards");
    Check(GetActiveWindow() == ToHwnd(form2), "message box: the active window is active again");
  }

  // The queue.
  {
    PostMessageW(ToHwnd(form2Edit), WM_KEYDOWN, VK_TAB, 0);
    Message m;
    bool seen = false;
    while (p.PeekMessage(m)) {
      if (m.kind == Message::Kind::KeyDown && m.window == form2Edit && m.key == kVkTab) seen = true;
      p.DispatchMessage(m);
    }
    Check(seen, "PeekMessage: KeyDown with window and key");
    p.PostQuit(3);
    bool quit = false;
    while (p.PeekMessage(m)) {
      if (m.kind == Message::Kind::Quit) quit = m.quitCode == 3;
    }
    Check(quit, "PeekMessage: Quit with its code");
    Check(!p.IsKeyDown(kVkShift), "IsKeyDown(Shift) is up");
    (void)p.GetAsyncKeyState(kVkControl);
  }

  // --- clipboard -----------------------------------------------------------------------------
  {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    all += "\r\n\n\x82\xA0\x81";
    const struct { const char* name; std::string bytes; } texts[] = {
        {"every non-zero byte", all},
        {"Shift-JIS text", Ansi(L"クリップボード A")},
        {"empty text", ""},
        {"long text", std::string(300000, 'x') + "end"},
    };
    for (const auto& t : texts) {
      const std::uint32_t seq = p.ClipboardSequence();
      std::uint32_t written = 0;
      const ClipWrite w = p.WriteClipboardText(form1, t.bytes, written);
      std::string back = "junk";
      const ClipRead r = p.ReadClipboardText(form1, back);
      Check(w == ClipWrite::Ok && r == ClipRead::Ok && back == t.bytes &&
                p.ClipboardSequence() != seq,
            std::string("clipboard round trip, exact bytes: ") + t.name);
      Check(written != 0 && written == p.ClipboardSequence(),
            std::string("the write reports the sequence number it produced: ") + t.name);
    }

    OpenClipboard(ToHwnd(form1));
    EmptyClipboard();
    CloseClipboard();
    std::string text = "junk";
    Check(p.ReadClipboardText(form1, text) == ClipRead::Ok && text.empty(),
          "empty clipboard reads as Ok with no text");

    OpenClipboard(ToHwnd(form1));
    EmptyClipboard();
    SetClipboardData(RegisterClipboardFormatW(L"QuintorbSmokeFormat"),
                     GlobalAlloc(GMEM_MOVEABLE, 4));
    CloseClipboard();
    text = "junk";
    Check(p.ReadClipboardText(form1, text) == ClipRead::Ok && text.empty(),
          "clipboard without text reads as Ok with no text");

    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 8);
    std::memcpy(GlobalLock(block), "ABCDEFGH", 8);
    GlobalUnlock(block);
    OpenClipboard(ToHwnd(form1));
    EmptyClipboard();
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
    text.clear();
    // Wine itself puts a zero into the last byte of a CF_TEXT block; Windows does not.
    Check(p.ReadClipboardText(form1, text) == ClipRead::Ok && text.rfind("ABCDEFG", 0) == 0 &&
              text.find('\0') == std::string::npos && text.size() < 64,
          "text block without a zero is read no further than its size (" +
              std::to_string(text.size()) + " bytes)");

    // Held by another window (of another thread) for longer than the retries last.
    Holder held;
    HANDLE th = CreateThread(nullptr, 0, HoldClipboard, &held, 0, nullptr);
    WaitForSingleObject(held.opened, 5000);
    text = "keep";
    DWORD start = GetTickCount();
    const ClipRead r = p.ReadClipboardText(form1, text);
    std::uint32_t written = 1;
    const ClipWrite w = p.WriteClipboardText(form1, "new", written);
    const DWORD spent = GetTickCount() - start;
    Check(r == ClipRead::CannotOpen && text == "keep", "held clipboard: read reports CannotOpen");
    Check(w == ClipWrite::CannotOpen && written == 0,
          "held clipboard: write reports CannotOpen and no sequence number");
    Check(spent >= 30 && spent < 1000,
          "held clipboard: both calls retried for a short while (" + std::to_string(spent) + " ms)");
    SetEvent(held.release);
    WaitForSingleObject(th, 5000);
    CloseHandle(th);

    // Held for a moment only: a retry gets it.
    Holder brief;
    brief.releaseDelayMs = 6;
    th = CreateThread(nullptr, 0, HoldClipboard, &brief, 0, nullptr);
    WaitForSingleObject(brief.opened, 5000);
    SetEvent(brief.release);
    Check(p.WriteClipboardText(form1, titleSjis, written) == ClipWrite::Ok,
          "clipboard held for a moment: a retry opens it");
    WaitForSingleObject(th, 5000);
    CloseHandle(th);
    text.clear();
    Check(p.ReadClipboardText(form1, text) == ClipRead::Ok && text == titleSjis,
          "Shift-JIS title on the clipboard");
  }

  // --- icons and the tray --------------------------------------------------------------------
  const std::string ico = MakeIco();
  Check(ico.size() == 318, "test icon image is 318 bytes");
  const Handle icon = p.CreateIconFromImage(ico);
  {
    ICONINFO info{};
    BITMAP bm{};
    const bool got = icon && GetIconInfo(reinterpret_cast<HICON>(icon), &info);
    if (got) GetObjectW(info.hbmColor, sizeof bm, &bm);
    Check(got && info.fIcon && bm.bmWidth == 16 && bm.bmHeight == 16,
          "CreateIconFromImage: a 16x16 icon");
    if (got) {
      DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
    }
    std::string badType = ico;
    badType[2] = 2;  // a cursor file
    std::string badOffset = ico;
    badOffset[18] = static_cast<char>(0xF0);
    const struct { const char* name; std::string bytes; } bad[] = {
        {"empty", ""}, {"header only", ico.substr(0, 6)}, {"cursor type", badType},
        {"image past the end", badOffset}, {"cut short", ico.substr(0, 200)}};
    for (const auto& b : bad) {
      Check(p.CreateIconFromImage(b.bytes) == 0, std::string("bad icon image refused: ") + b.name);
    }
  }
  std::array<std::uint8_t, kNotifyDataSize> block{};
  auto put32 = [&](std::size_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) block[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put32(0, kNotifyDataSize);
  put32(4, static_cast<std::uint32_t>(notify));
  put32(8, 1);
  put32(12, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  put32(16, WM_USER + 102);
  put32(20, static_cast<std::uint32_t>(icon));
  std::memcpy(block.data() + 24, titleSjis.c_str(), titleSjis.size() + 1);
  Check(p.ShellNotifyIcon(kNimAdd, block), "Shell_NotifyIcon add");
  Check(p.ShellNotifyIcon(kNimModify, block), "Shell_NotifyIcon modify");

  if (holdFile) {
    p.BringToFront(form1);
    if (FILE* f = std::fopen(holdFile, "w")) std::fclose(f);
    std::printf("holding until %s is removed\n", holdFile);
    std::fflush(stdout);
    PumpUntil(p, 60000, [&] { return GetFileAttributesA(holdFile) == INVALID_FILE_ATTRIBUTES; });
  }

  Check(p.ShellNotifyIcon(kNimDelete, block), "Shell_NotifyIcon delete");
  Check(!p.ShellNotifyIcon(kNimDelete, block), "Shell_NotifyIcon delete of a removed icon fails");
  p.DestroyIcon(icon);

  // --- destruction ---------------------------------------------------------------------------
  {
    p.BringToFront(form2);
    p.SetFocus(form2Edit);
    Pump(p);
    const std::size_t f2Events = form2Sink.events.size();
    const std::size_t editEvents = editSink.events.size();
    p.DestroyWindow(form2);
    Pump(p);
    Check(!IsWindow(ToHwnd(form2)) && !IsWindow(ToHwnd(form2Edit)),
          "DestroyWindow takes the form's controls with it");
    Check(form2Sink.events.size() == f2Events && editSink.events.size() == editEvents,
          "no events reach the sinks of a window being destroyed");
    p.DestroyWindow(form2Edit);  // already gone with its parent: harmless
    p.DestroyWindow(form1);
    p.DestroyWindow(util);
    p.DestroyWindow(app);
    Check(!IsWindow(ToHwnd(app)) && !IsWindow(ToHwnd(notify)) && !IsWindow(ToHwnd(memo)),
          "destroying the application window leaves none behind");
  }

  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
