#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace e2e {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

Ms Scaled(Ms base) {
  double scale = std::atof(EnvOr("E2E_TIME_SCALE", "1").c_str());
  if (scale < 1) scale = 1;
  return Ms(static_cast<long long>(static_cast<double>(base.count()) * scale));
}

// --- Process ---------------------------------------------------------------------------------

Process Process::Start(const std::vector<std::string>& argv, bool capture,
                       const std::optional<std::string>& input) {
  Process p;
  int out[2] = {-1, -1}, err[2] = {-1, -1}, in[2] = {-1, -1};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (capture) {
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
  } else {
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  }
  if (input) {
    if (pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int rc = posix_spawnp(&p.pid_, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  for (int fd : {out[1], err[1], in[0]})
    if (fd >= 0) close(fd);
  if (rc != 0) {
    for (int fd : {out[0], err[0], in[1]})
      if (fd >= 0) close(fd);
    p.pid_ = -1;
    p.exited_ = true;
    p.result_.exitCode = 127;
    p.result_.err = "cannot start " + argv[0] + ": " + std::strerror(rc);
    return p;
  }
  p.outFd_ = out[0];
  p.errFd_ = err[0];
  if (input) {
    // Inputs are small (clipboard texts); a child that does not read them gets EPIPE, not us
    // blocked forever, because SIGPIPE is ignored below and the write end is closed at once.
    signal(SIGPIPE, SIG_IGN);
    const char* data = input->data();
    size_t left = input->size();
    while (left > 0) {
      ssize_t n = write(in[1], data, left);
      if (n <= 0) break;
      data += n;
      left -= static_cast<size_t>(n);
    }
    close(in[1]);
  }
  return p;
}

Process::Process(Process&& o) noexcept { *this = std::move(o); }

Process& Process::operator=(Process&& o) noexcept {
  if (this != &o) {
    if (pid_ > 0 && !exited_) Kill();
    CloseFds();
    pid_ = o.pid_;
    outFd_ = o.outFd_;
    errFd_ = o.errFd_;
    exited_ = o.exited_;
    result_ = std::move(o.result_);
    o.pid_ = -1;
    o.outFd_ = o.errFd_ = -1;
    o.exited_ = true;
  }
  return *this;
}

Process::~Process() {
  if (pid_ > 0 && !exited_) Kill();
  CloseFds();
}

void Process::CloseFds() {
  for (int* fd : {&outFd_, &errFd_})
    if (*fd >= 0) {
      close(*fd);
      *fd = -1;
    }
}

// Reads what the pipes hold, waiting at most timeoutMs for something to arrive.
void Process::Drain(int timeoutMs) {
  pollfd fds[2];
  int n = 0;
  if (outFd_ >= 0) fds[n++] = {outFd_, POLLIN, 0};
  if (errFd_ >= 0) fds[n++] = {errFd_, POLLIN, 0};
  if (n == 0) return;
  if (poll(fds, static_cast<nfds_t>(n), timeoutMs) <= 0) return;
  for (int i = 0; i < n; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buf[4096];
    ssize_t got = read(fds[i].fd, buf, sizeof buf);
    std::string& dst = fds[i].fd == outFd_ ? result_.out : result_.err;
    if (got > 0) {
      dst.append(buf, static_cast<size_t>(got));
    } else if (got == 0) {
      close(fds[i].fd);
      (fds[i].fd == outFd_ ? outFd_ : errFd_) = -1;
    }
  }
}

void Process::Reap(int status) {
  exited_ = true;
  if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  // What the child wrote before it ended is in the pipes now. Do not wait for end of file:
  // processes it started (a wineserver, say) may hold the write ends open for long.
  for (;;) {
    std::string before = result_.out + result_.err;
    Drain(0);
    if (result_.out.size() + result_.err.size() == before.size()) break;
  }
  CloseFds();
}

bool Process::Running() {
  if (exited_ || pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) Reap(status);
  return !exited_;
}

const std::string& Process::Output() {
  if (!exited_) Drain(0);
  return result_.out;
}

CommandResult Process::Finish(Ms timeout) {
  auto deadline = Clock::now() + timeout;
  while (Running()) {
    if (MsLeft(deadline) == 0) {
      Kill();
      result_.timedOut = true;
      break;
    }
    if (outFd_ >= 0 || errFd_ >= 0)
      Drain(std::min(20, MsLeft(deadline)));
    else
      std::this_thread::sleep_for(5ms);
  }
  return result_;
}

void Process::Kill() {
  if (pid_ <= 0 || exited_) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  Reap(status);
}

CommandResult RunCommand(const std::vector<std::string>& argv, Ms timeout,
                  const std::optional<std::string>& input) {
  return Process::Start(argv, true, input).Finish(timeout);
}

bool WaitFor(const std::function<bool()>& pred, Ms deadline, Ms interval) {
  auto end = Clock::now() + deadline;
  for (;;) {
    if (pred()) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(interval);
  }
}

// --- the driver ------------------------------------------------------------------------------

namespace {

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char c = s[++i];
      out += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::vector<Record> ParseRecords(const std::string& out) {
  std::vector<Record> records;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    Record r;
    size_t pos = 0;
    while (pos < line.size()) {
      size_t space = line.find(' ', pos);
      size_t eq = line.find('=', pos);
      if (eq == std::string::npos || (space != std::string::npos && space < eq)) {
        size_t end = space == std::string::npos ? line.size() : space;
        r[line.substr(pos, end - pos)] = "";
        pos = end + 1;
        continue;
      }
      std::string key = line.substr(pos, eq - pos);
      if (key == "title" || key == "text") {
        r[key] = Unescape(line.substr(eq + 1));
        break;
      }
      size_t end = line.find(' ', eq);
      if (end == std::string::npos) end = line.size();
      r[key] = line.substr(eq + 1, end - eq - 1);
      pos = end + 1;
    }
    records.push_back(std::move(r));
  }
  return records;
}

std::string DriverResult::Get(const std::string& key) const {
  for (const auto& r : records)
    if (auto it = r.find(key); it != r.end()) return it->second;
  return "";
}

std::string DriverResult::Describe() const {
  std::ostringstream s;
  s << "driver exit " << exitCode << (timedOut ? " (timed out)" : "") << "\nstdout:\n"
    << out << "stderr:\n"
    << err;
  return s.str();
}

namespace {

std::vector<std::string> DriverArgv(const std::vector<std::string>& args) {
  std::vector<std::string> argv{EnvOr("WINE", "wine"), QdriverExe()};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace

DriverResult Driver(const std::vector<std::string>& args, Ms timeout) {
  CommandResult c = RunCommand(DriverArgv(args), timeout);
  DriverResult d;
  d.exitCode = c.exitCode;
  d.timedOut = c.timedOut;
  d.out = c.out;
  d.err = c.err;
  d.records = ParseRecords(c.out);
  return d;
}

Process StartDriver(const std::vector<std::string>& args) {
  return Process::Start(DriverArgv(args), true);
}

bool SameClass(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

long long Number(const std::string& s) { return std::strtoll(s.c_str(), nullptr, 0); }

// --- the X side ------------------------------------------------------------------------------

namespace {
std::vector<Process>& Xclips() {
  static std::vector<Process> xclips;
  return xclips;
}
}  // namespace

bool XclipSet(const std::string& text) {
  // -quiet keeps xclip in the foreground (it would fork otherwise), so we know its PID; it
  // serves the selection until another client takes the clipboard or we kill it.
  Xclips().push_back(
      Process::Start({"xclip", "-quiet", "-selection", "clipboard", "-i"}, false, text));
  return WaitFor([&] { return XclipGet() == text; }, Scaled(5s), 20ms);
}

std::optional<std::string> XclipGet() {
  CommandResult r = RunCommand({"xclip", "-o", "-selection", "clipboard"}, 5s);
  if (r.exitCode != 0) return std::nullopt;
  return r.out;
}

void KillXclips() { Xclips().clear(); }

std::vector<XWindow> TrayIcons() {
  // xwininfo -tree prints one window a line, indented by depth:
  //   0x200003 "panel": ("panel" "trayer")  22x30+1002+738  +1002+738
  //         0x600008 (has no name): ("explorer.exe" "explorer.exe")  20x28+0+0  +1003+739
  CommandResult r = RunCommand({"xwininfo", "-root", "-tree"}, 10s);
  std::vector<XWindow> icons;
  std::istringstream lines(r.out);
  std::string line;
  size_t panelIndent = std::string::npos;
  while (std::getline(lines, line)) {
    size_t indent = line.find_first_not_of(' ');
    if (indent == std::string::npos) continue;
    if (line.find("(\"panel\" \"trayer\")") != std::string::npos) {
      panelIndent = indent;
      continue;
    }
    if (panelIndent == std::string::npos) continue;
    if (indent <= panelIndent) {
      panelIndent = std::string::npos;
      continue;
    }
    if (line.find("(\"explorer.exe\"") == std::string::npos) continue;
    XWindow w;
    w.id = line.substr(indent, line.find(' ', indent) - indent);
    int rx, ry;
    size_t geometry = line.rfind(")  ");
    if (geometry == std::string::npos ||
        std::sscanf(line.c_str() + geometry + 3, "%dx%d%d%d %d%d", &w.width, &w.height, &rx, &ry,
                    &w.x, &w.y) != 6)
      continue;
    icons.push_back(w);
  }
  std::sort(icons.begin(), icons.end(),
            [](const XWindow& a, const XWindow& b) { return a.x < b.x; });
  return icons;
}

bool ClickAt(int x, int y, int button, int count) {
  // The pointer comes in from elsewhere: Wine may not take a click in a window that appeared
  // under a pointer that never moved (seen with a new tray icon where the last test clicked).
  // `mousemove --sync` waits for the pointer to move, so forever when it is there already.
  const int awayX = x >= 100 ? x - 100 : x + 100, awayY = y >= 100 ? y - 100 : y + 100;
  CommandResult where = RunCommand({"xdotool", "getmouselocation", "--shell"}, 10s);
  auto at = [&](int px, int py) {
    return where.out.find("X=" + std::to_string(px) + "\n") != std::string::npos &&
           where.out.find("Y=" + std::to_string(py) + "\n") != std::string::npos;
  };
  std::vector<std::string> argv{"xdotool"};
  if (!at(awayX, awayY))
    argv.insert(argv.end(), {"mousemove", "--sync", std::to_string(awayX), std::to_string(awayY)});
  argv.insert(argv.end(), {"mousemove", "--sync", std::to_string(x), std::to_string(y)});
  // 80 ms between the clicks of a double click: well inside the system's double-click time.
  argv.insert(argv.end(), {"click", "--repeat", std::to_string(count), "--delay", "80",
                           std::to_string(button)});
  return RunCommand(argv, 10s).exitCode == 0;
}

std::string Screenshot(const std::string& name) {
  std::filesystem::create_directories(ArtifactDir());
  std::string path = ArtifactDir() + "/" + name + ".png";
  CommandResult r = RunCommand({"import", "-window", "root", path}, 20s);
  return r.exitCode == 0 ? path : "";
}

std::vector<Rgb> ReadPixels(const std::string& png, const XWindow& area,
                            const std::string& cropTo) {
  std::string geometry = std::to_string(area.width) + "x" + std::to_string(area.height) + "+" +
                         std::to_string(area.x) + "+" + std::to_string(area.y);
  std::vector<std::string> argv{"convert", png, "-crop", geometry, "+repage"};
  if (!cropTo.empty()) argv.insert(argv.end(), {"-write", cropTo});
  argv.insert(argv.end(), {"-depth", "8", "rgb:-"});
  CommandResult r = RunCommand(argv, 20s);
  const size_t n = static_cast<size_t>(area.width) * static_cast<size_t>(area.height);
  if (r.exitCode != 0 || r.out.size() != 3 * n) return {};
  std::vector<Rgb> pixels(n);
  for (size_t i = 0; i < n; ++i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(r.out[3 * i + k]); };
    pixels[i] = {byte(0), byte(1), byte(2)};
  }
  return pixels;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

// --- the program's main window ---------------------------------------------------------------

MainWindow ReadMainWindow() {
  MainWindow m;
  DriverResult form = Driver({"find", "TForm1"});
  if (form.records.size() != 1) {
    m.error = "expected one TForm1\n" + form.Describe();
    return m;
  }
  m.form = form.records.front();
  DriverResult children = Driver({"children", m.form["hwnd"]});
  for (const Record& r : children.records) {
    auto field = [&](const char* key) { return r.count(key) ? r.at(key) : std::string(); };
    const std::string cls = field("class");
    Record* slot = nullptr;
    if (SameClass(cls, "Edit")) {
      // The marker is the EDIT that is never shown (no WS_VISIBLE even while the form is).
      const bool shown = Number(field("style")) & 0x10000000;
      slot = !shown                ? &m.marker
             : field("y") == "0"  ? &m.memo1
             : field("y") == "25" ? &m.memo2
                                  : nullptr;
    } else if (SameClass(cls, "Button"))
      slot = &m.button;
    else if (SameClass(cls, "TNotifyWindow"))
      slot = &m.notify;
    if (slot) *slot = r;
  }
  const std::pair<const char*, const Record*> parts[] = {{"Memo1", &m.memo1},
                                                         {"Memo2", &m.memo2},
                                                         {"the marker", &m.marker},
                                                         {"Button1", &m.button},
                                                         {"the notification window", &m.notify}};
  for (auto [name, rec] : parts)
    if (rec->empty()) m.error += std::string("no ") + name + " among TForm1's children\n";
  if (!m.error.empty()) m.error += children.Describe();
  return m;
}

// --- where things are ------------------------------------------------------------------------

std::string QuintorbExe() { return EnvOr("QUINTORB_EXE", QUINTORB_EXE_DEFAULT); }
std::string QdriverExe() { return EnvOr("QDRIVER_EXE", QDRIVER_EXE_DEFAULT); }
std::string ArtifactDir() { return EnvOr("E2E_ARTIFACTS", E2E_ARTIFACT_DIR_DEFAULT); }

std::optional<std::string> MissingEnvironment() {
  for (const char* name : {"DISPLAY", "WINEPREFIX"})
    if (EnvOr(name, "").empty())
      return std::string(name) +
             " is not set: the end-to-end tests run inside the environment of scripts/test.sh";
  return std::nullopt;
}

// --- the fixture -----------------------------------------------------------------------------

void QuintorbTest::SetUp() {
  if (auto why = MissingEnvironment()) GTEST_SKIP() << *why;
  for (const auto& exe : {QuintorbExe(), QdriverExe()})
    ASSERT_TRUE(std::filesystem::exists(exe)) << exe << " is missing: build the mingw preset";
}

void QuintorbTest::TearDown() {
  KillXclips();
  if (MissingEnvironment()) return;
  for (auto& p : started_) p.Kill();
  started_.clear();
  // Other processes of the prefix (wineserver, explorer) are shared; only our own were killed.
  // The next test may start once the old copy's windows are gone and its single-instance
  // mutex is free, that is, once a new copy would start rather than end at once.
  for (const char* cls : {"TForm1", "TApplication"}) {
    DriverResult gone = Driver({"wait", cls, "gone", std::to_string(Scaled(20s).count())});
    EXPECT_TRUE(gone.ok()) << "a " << cls << " window outlived the test\n" << gone.Describe();
  }
  DriverResult free = Driver({"mutex", kMutexName, "gone", std::to_string(Scaled(20s).count())});
  EXPECT_TRUE(free.ok()) << "the mutex " << kMutexName << " outlived the test\n"
                         << free.Describe();
  // A killed copy's tray icon leaves about a second after it, but stays docked for as long as
  // a new copy runs if one starts before that (Wine's explorer): the next test would find two.
  std::vector<XWindow> icons;
  EXPECT_TRUE(WaitFor([&] { return (icons = TrayIcons()).empty(); }, Scaled(20s)))
      << icons.size() << " tray icon(s) outlived the test";
}

Process& QuintorbTest::StartQuintorb() {
  started_.push_back(Process::Start({EnvOr("WINE", "wine"), QuintorbExe()}, false));
  return started_.back();
}

Process& QuintorbTest::StartQuintorbThroughDriver(Ms timeout) {
  started_.push_back(StartDriver({"run", QuintorbExe(), std::to_string(timeout.count())}));
  return started_.back();
}

void QuintorbTest::WaitForStarted() {
  for (const char* cls : {"TForm1", "TForm2"}) {
    DriverResult r = Driver({"wait", cls, "exists", std::to_string(Scaled(30s).count())});
    ASSERT_TRUE(r.ok()) << "no " << cls << " window appeared\n" << r.Describe();
  }
}

bool QuintorbTest::SwitchWithChord(const std::string& slot) {
  MainWindow m = ReadMainWindow();
  if (!m.error.empty()) {
    ADD_FAILURE() << m.error;
    return false;
  }
  if (m.marker["text"] == slot) {
    ADD_FAILURE() << slot << " is the active slot already: a chord would show nothing";
    return false;
  }
  DriverResult r = HoldChordUntil(m.marker["hwnd"], slot);
  if (!r.ok()) ADD_FAILURE() << "Ctrl+Shift did not make " << slot << " the active slot\n"
                             << r.Describe();
  return r.ok();
}

DriverResult QuintorbTest::HoldChordUntil(const std::string& markerHwnd, const std::string& slot) {
  // Keys up at least 250 ms before they go down again (WINE.md: "key timing in tests").
  WaitFor([&] { return std::chrono::steady_clock::now() - keysUp_ >= 250ms; }, 1s, 10ms);
  DriverResult r = Driver({"hold-keys", markerHwnd, Hex(slot),
                           std::to_string(Scaled(10s).count()), "ctrl", "shift"});
  keysUp_ = std::chrono::steady_clock::now();
  return r;
}

std::vector<XWindow> QuintorbTest::WaitTrayIcons(size_t count, Ms timeout) {
  std::vector<XWindow> icons;
  if (!WaitFor([&] { return (icons = TrayIcons()).size() == count; }, timeout))
    ADD_FAILURE() << "expected " << count << " icon(s) docked in trayer, found "
                  << icons.size();
  return icons;
}

Record QuintorbTest::FindOne(const std::string& cls, const std::string& title) {
  std::vector<std::string> args{"find", cls};
  if (!title.empty()) args.push_back(title);
  DriverResult r = Driver(args);
  EXPECT_EQ(r.records.size(), 1u) << "expected one " << cls << " window\n" << r.Describe();
  return r.records.empty() ? Record{} : r.records.front();
}

bool QuintorbTest::RightClickIconUntilMainWindowShows(const std::vector<XWindow>& icons) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    for (const XWindow& icon : icons) {
      if (!ClickAt(icon.x + icon.width / 2, icon.y + icon.height / 2, 3)) return false;
      if (Driver({"wait", "TForm1", "visible", std::to_string(Scaled(3s).count())}).ok())
        return true;
    }
  }
  ADD_FAILURE() << "TForm1 did not show after three right clicks on each of " << icons.size()
                << " docked icons";
  return false;
}

bool QuintorbTest::WaitWindow(const std::string& cls, const std::string& state, Ms timeout) {
  DriverResult r = Driver({"wait", cls, state, std::to_string(timeout.count())});
  if (!r.ok()) ADD_FAILURE() << cls << " did not become " << state << "\n" << r.Describe();
  return r.ok();
}

}  // namespace e2e
