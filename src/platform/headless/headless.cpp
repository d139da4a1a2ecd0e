#include "platform/headless/headless.h"

#include <algorithm>
#include <tuple>

namespace plat {

namespace {

bool IsChildKind(WindowKind k) {
  switch (k) {
    case WindowKind::Memo:
    case WindowKind::Edit:
    case WindowKind::Button:
    case WindowKind::Label:
    case WindowKind::Child:
      return true;
    default:
      return false;
  }
}

std::uint32_t ReadU32(const std::array<std::uint8_t, kNotifyDataSize>& b, std::size_t at) {
  return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
         std::uint32_t{b[at + 3]} << 24;
}

std::uint32_t ReadU32(const std::string& s, std::size_t at) {
  auto byte = [&](std::size_t i) { return std::uint32_t{static_cast<std::uint8_t>(s[at + i])}; };
  return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

std::uint32_t ReadU16(const std::string& s, std::size_t at) {
  return std::uint32_t{static_cast<std::uint8_t>(s[at])} |
         std::uint32_t{static_cast<std::uint8_t>(s[at + 1])} << 8;
}

// Offsets and flags of the 88-byte NOTIFYICONDATAA that the tray looks at.
constexpr std::size_t kNidWindow = 4, kNidId = 8, kNidFlags = 12, kNidMessage = 16, kNidIcon = 20,
                      kNidTip = 24;
constexpr std::uint32_t kNifMessage = 1, kNifIcon = 2, kNifTip = 4;

// A modify changes only the fields its flags name, as the shell does.
void ApplyNotify(TrayIcon& icon, const std::array<std::uint8_t, kNotifyDataSize>& b) {
  const std::uint32_t flags = ReadU32(b, kNidFlags);
  if (flags & kNifMessage) icon.callbackMessage = ReadU32(b, kNidMessage);
  if (flags & kNifIcon) icon.icon = ReadU32(b, kNidIcon);
  if (flags & kNifTip) {
    auto first = b.begin() + kNidTip;
    icon.tip.assign(first, std::find(first, b.end(), std::uint8_t{0}));
  }
}

// Windows error codes CreateMutexA leaves behind.
constexpr std::uint32_t kErrorInvalidHandle = 6;   // the name belongs to another kind of object
constexpr std::uint32_t kErrorAlreadyExists = 183;

}  // namespace

HeadlessStall::HeadlessStall()
    : std::logic_error(
          "headless: the program waited for a message with nothing to come "
          "(the queue is empty and onWait brought none)") {}

// ----- process ---------------------------------------------------------------------------------

std::string HeadlessPlatform::ExecutablePath() { return exePath_; }

MutexResult HeadlessPlatform::CreateNamedMutex(const std::string& name) {
  if (name.empty()) return {NewHandle(), 0};
  auto it = names_.find(name);
  if (it == names_.end()) {
    names_[name] = Named{NamedKind::Mutex, false, true};
    return {NewHandle(), 0};
  }
  if (it->second.kind != NamedKind::Mutex) return {0, kErrorInvalidHandle};
  it->second.heldByUs = true;  // we opened the existing one
  return {NewHandle(), kErrorAlreadyExists};
}

bool HeadlessPlatform::ReleaseNamedMutex(Handle) {
  ++mutexReleases;
  return false;  // the program never waits on its mutex, so it never owns it
}

void HeadlessPlatform::ExitProcess(int status) {
  EndProcess();
  throw ProcessExit{status};
}

void HeadlessPlatform::ClaimName(const std::string& name, NamedKind kind) {
  // One name has one kind: an object that exists already keeps its own.
  names_.try_emplace(name, Named{kind, true, false}).first->second.heldByOther = true;
}

void HeadlessPlatform::UnclaimName(const std::string& name) {
  auto it = names_.find(name);
  if (it == names_.end()) return;
  it->second.heldByOther = false;
  if (!it->second.heldByUs) names_.erase(it);
}

bool HeadlessPlatform::NameExists(const std::string& name) const { return names_.count(name) != 0; }

void HeadlessPlatform::EndProcess() {
  for (auto it = names_.begin(); it != names_.end();) {
    it->second.heldByUs = false;
    it = it->second.heldByOther ? std::next(it) : names_.erase(it);
  }
}

// ----- windows ---------------------------------------------------------------------------------

WindowState* HeadlessPlatform::Alive(Handle w) {
  auto it = windows_.find(w);
  return it != windows_.end() && it->second.alive ? &it->second : nullptr;
}

const WindowState* HeadlessPlatform::Alive(Handle w) const {
  auto it = windows_.find(w);
  return it != windows_.end() && it->second.alive ? &it->second : nullptr;
}

Handle HeadlessPlatform::CreateWindow(const WindowSpec& spec, WindowSink* sink) {
  // Windows refuses a parent or owner that is gone.
  if (spec.parent != 0 && !Alive(spec.parent)) return 0;
  const Handle h = NewHandle();
  WindowState& s = windows_[h];
  s.handle = h;
  s.spec = spec;
  s.bounds = {spec.left, spec.top, spec.width, spec.height};
  s.visible = (spec.style & kVisible) != 0;
  s.textUtf8 = spec.caption;
  s.zOrder = ++zCounter_;
  s.sink = sink;
  return h;
}

void HeadlessPlatform::DestroyWindow(Handle w) {
  WindowState* s = Alive(w);
  if (!s) return;
  // Children and owned windows go first, as on Windows.
  for (Handle child : Windows()) {
    const WindowState* c = Alive(child);
    if (c && c->spec.parent == w) DestroyWindow(child);
  }
  s->alive = false;
  s->visible = false;
  for (auto it = timers_.begin(); it != timers_.end();) {
    it = it->first.first == w ? timers_.erase(it) : std::next(it);
  }
  // Messages still queued for it are thrown away.
  std::erase_if(queue_, [w](const Queued& q) { return q.window == w; });
  if (focus_ == w) focus_ = 0;
  if (active_ == w) active_ = 0;
}

void HeadlessPlatform::SetVisible(Handle w, bool visible) {
  if (WindowState* s = Alive(w)) s->visible = visible;
}

bool HeadlessPlatform::IsVisible(Handle w) {
  // As IsWindowVisible: a control shows only if its parents do. A form's owner does not count.
  for (const WindowState* s = Alive(w); s; s = Alive(s->spec.parent)) {
    if (!s->visible) return false;
    if (!IsChildKind(s->spec.kind)) return true;
  }
  return false;
}

void HeadlessPlatform::BringToFront(Handle w) {
  WindowState* s = Alive(w);
  if (!s) return;
  s->visible = true;
  s->zOrder = ++zCounter_;
  Activate(w);
}

void HeadlessPlatform::Activate(Handle w) {
  // Activation belongs to the top-level window a control sits in.
  const WindowState* s = Alive(w);
  while (s && IsChildKind(s->spec.kind)) s = Alive(s->spec.parent);
  if (!s || (s->spec.kind != WindowKind::Form && s->spec.kind != WindowKind::Application)) return;
  const Handle target = s->handle;
  if (target == active_) return;
  const Handle old = active_;
  active_ = target;
  if (Alive(old)) Send(old, Event{EventKind::Deactivate});
  Send(target, Event{EventKind::Activate});
}

void HeadlessPlatform::SetBounds(Handle w, const Rect& outer) {
  if (WindowState* s = Alive(w)) s->bounds = outer;
}

Rect HeadlessPlatform::GetBounds(Handle w) {
  const WindowState* s = Alive(w);
  return s ? s->bounds : Rect{};
}

Size HeadlessPlatform::FrameSizeFor(Border border, std::uint32_t, int clientWidth,
                                    int clientHeight) {
  switch (border) {
    case Border::None:
      return {clientWidth, clientHeight};
    case Border::ToolWindow:
      return {clientWidth + 2 * kFrameBorder, clientHeight + 2 * kFrameBorder + kToolCaptionHeight};
    default:
      return {clientWidth + 2 * kFrameBorder, clientHeight + 2 * kFrameBorder + kCaptionHeight};
  }
}

void HeadlessPlatform::SetTextUtf8(Handle w, const std::string& utf8) {
  if (WindowState* s = Alive(w)) {
    s->textUtf8 = utf8;
    ++s->textSets;
  }
}

std::string HeadlessPlatform::GetTextUtf8(Handle w) {
  const WindowState* s = Alive(w);
  return s ? s->textUtf8 : std::string();
}

void HeadlessPlatform::SetTextAnsi(Handle w, const std::string& ansi) {
  if (WindowState* s = Alive(w)) {
    s->textAnsi = ansi;
    ++s->textSets;
  }
}

void HeadlessPlatform::SetColors(Handle w, Color background, Color text) {
  if (WindowState* s = Alive(w)) {
    s->background = background;
    s->textColor = text;
    ++s->colorSets;
  }
}

void HeadlessPlatform::SetFont(Handle w, const std::string& faceUtf8, int heightPx, int charset) {
  if (WindowState* s = Alive(w)) {
    s->fontFace = faceUtf8;
    s->fontHeight = heightPx;
    s->fontCharset = charset;
  }
}

void HeadlessPlatform::SetFocus(Handle w) {
  if (w == 0) {
    focus_ = 0;
    return;
  }
  // Windows sends nothing when the focus does not move.
  if (!Alive(w) || w == focus_) return;
  focus_ = w;
  Send(w, Event{EventKind::FocusGained});
}

Handle HeadlessPlatform::GetFocus() { return focus_; }

bool HeadlessPlatform::SetForegroundWindow(Handle w) {
  foregroundLog.push_back(w);
  WindowState* s = Alive(w);
  if (!s) return false;
  s->zOrder = ++zCounter_;
  Activate(w);
  return true;
}

Size HeadlessPlatform::ScreenSize() { return screen_; }
Point HeadlessPlatform::CursorPos() { return cursor_; }

bool HeadlessPlatform::IsLeadByte(std::uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);  // code page 932
}

void HeadlessPlatform::MessageBox(Handle owner, const std::string& textUtf8,
                                  const std::string& captionUtf8, BoxIcon icon) {
  boxes.push_back(BoxRecord{owner, textUtf8, captionUtf8, icon});
  if (!onMessageBox) return;
  const BoxRecord box = boxes.back();  // a nested box may grow the vector
  struct Open {
    int& n;
    explicit Open(int& count) : n(count) { ++n; }
    ~Open() { --n; }
  } open(boxesOpen);
  onMessageBox(box);
}

const WindowState& HeadlessPlatform::Window(Handle w) const { return windows_.at(w); }

std::vector<Handle> HeadlessPlatform::Windows() const {
  std::vector<Handle> out;
  for (const auto& [h, s] : windows_) out.push_back(h);
  return out;
}

Handle HeadlessPlatform::ActiveWindow() const { return active_; }

Handle HeadlessPlatform::TopWindow() const {
  const WindowState* top = nullptr;
  auto rank = [](const WindowState* s) {
    return std::make_tuple((s->spec.style & kTopmost) != 0, s->zOrder);
  };
  for (const auto& [h, s] : windows_) {
    if (!s.alive || !s.visible || IsChildKind(s.spec.kind)) continue;
    if (!top || rank(&s) > rank(top)) top = &s;
  }
  return top ? top->handle : 0;
}

Handle HeadlessPlatform::FindWindowByText(const std::string& utf8) const {
  for (const auto& [h, s] : windows_) {
    if (s.alive && s.textUtf8 == utf8) return h;
  }
  return 0;
}

// ----- message queue ---------------------------------------------------------------------------

std::intptr_t HeadlessPlatform::Send(Handle w, const Event& e) {
  const WindowState* s = Alive(w);
  if (!s || !s->sink) return 0;
  return s->sink->HandleEvent(e);
}

bool HeadlessPlatform::Post(Handle w, const Event& e) {
  if (!Alive(w)) return false;
  queue_.push_back(Queued{Message::Kind::Other, w, e});
  return true;
}

void HeadlessPlatform::PostKeyDown(int vk) {
  Queued q;
  q.kind = Message::Kind::KeyDown;
  q.window = focus_ != 0 ? focus_ : active_;
  q.key = vk;
  queue_.push_back(q);
}

bool HeadlessPlatform::PeekMessage(Message& m) {
  if (queue_.empty()) return false;
  const Queued q = queue_.front();
  queue_.pop_front();
  if (q.tick) {
    auto it = timers_.find({q.window, q.event.wParam});
    if (it != timers_.end()) it->second.pending = false;
  }
  m = Message{};
  m.kind = q.kind;
  m.window = q.window;
  m.key = q.key;
  m.quitCode = q.quitCode;
  // The event travels inside the message itself, so nothing needs to be kept until dispatch.
  m.native = {static_cast<std::uintptr_t>(q.event.kind), q.event.message, q.event.wParam,
              static_cast<std::uintptr_t>(q.event.lParam)};
  return true;
}

void HeadlessPlatform::WaitMessage() {
  if (!queue_.empty()) return;
  if (onWait) onWait();
  if (queue_.empty()) throw HeadlessStall();
}

void HeadlessPlatform::DispatchMessage(const Message& m) {
  switch (m.kind) {
    case Message::Kind::Quit:
      return;
    case Message::Kind::KeyDown:
      if (Alive(m.window)) dispatchedKeys.push_back({m.window, m.key});
      return;
    case Message::Kind::Other:
      Send(m.window, Event{static_cast<EventKind>(m.native[0]),
                           static_cast<std::uint32_t>(m.native[1]), m.native[2],
                           static_cast<std::intptr_t>(m.native[3])});
      return;
  }
}

void HeadlessPlatform::PostQuit(int code) {
  Queued q;
  q.kind = Message::Kind::Quit;
  q.quitCode = code;
  queue_.push_back(q);
}

void HeadlessPlatform::PostUserMessage(Handle w, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
  const Event e{EventKind::User, message, wParam, lParam};
  if (w == 0) {
    queue_.push_back(Queued{Message::Kind::Other, 0, e});  // a thread message: dispatched nowhere
  } else {
    Post(w, e);
  }
}

// ----- timers ----------------------------------------------------------------------------------

bool HeadlessPlatform::SetTimer(Handle w, std::uintptr_t id, std::uint32_t ms) {
  if (refuseTimers_ || !Alive(w)) return false;
  const std::uint32_t period = std::max(ms, kMinTimerPeriod);
  // Setting an armed timer again replaces it: a fresh timer has no tick pending.
  DropTick(w, id);
  timers_[{w, id}] = Timer{period, now_ + period, ++armCounter_, false};
  return true;
}

void HeadlessPlatform::KillTimer(Handle w, std::uintptr_t id) {
  DropTick(w, id);
  timers_.erase({w, id});
}

void HeadlessPlatform::DropTick(Handle w, std::uintptr_t id) {
  std::erase_if(queue_, [&](const Queued& q) {
    return q.tick && q.window == w && q.event.wParam == id;
  });
  auto it = timers_.find({w, id});
  if (it != timers_.end()) it->second.pending = false;
}

void HeadlessPlatform::Advance(std::uint64_t ms) {
  const std::uint64_t target = now_ + ms;
  for (;;) {
    auto next = std::min_element(timers_.begin(), timers_.end(), [](auto& a, auto& b) {
      return a.second.due < b.second.due;
    });
    if (next == timers_.end() || next->second.due > target) break;
    now_ = next->second.due;
    // Everything due now ticks, in the order the timers were armed.
    std::vector<std::pair<std::uint64_t, std::pair<Handle, std::uintptr_t>>> due;
    for (auto& [key, t] : timers_) {
      if (t.due <= now_) due.push_back({t.armed, key});
    }
    std::sort(due.begin(), due.end());
    for (auto& [armed, key] : due) {
      Timer& t = timers_[key];
      if (!t.pending) {
        Queued q{Message::Kind::Other, key.first, Event{EventKind::Timer, 0, key.second, 0}};
        q.tick = true;
        queue_.push_back(q);
        t.pending = true;
      }
      t.due = now_ + t.period;
    }
  }
  now_ = target;
}

bool HeadlessPlatform::AdvanceToNextTimer() {
  if (timers_.empty()) return false;
  std::uint64_t due = UINT64_MAX;
  for (auto& [key, t] : timers_) due = std::min(due, t.due);
  Advance(due - now_);
  return true;
}

bool HeadlessPlatform::TimerArmed(Handle w, std::uintptr_t id) const {
  return timers_.count({w, id}) != 0;
}

std::uint32_t HeadlessPlatform::TimerPeriod(Handle w, std::uintptr_t id) const {
  auto it = timers_.find({w, id});
  return it == timers_.end() ? 0 : it->second.period;
}

// ----- keyboard --------------------------------------------------------------------------------

void HeadlessPlatform::SetKeyDown(int vk, bool down) {
  if (vk < 0 || vk >= static_cast<int>(keys_.size())) return;
  Key& k = keys_[vk];
  if (down && !k.down) k.pressedBit = true;
  k.down = down;
}

void HeadlessPlatform::TapKey(int vk) {
  if (vk >= 0 && vk < static_cast<int>(keys_.size())) keys_[vk].pressedBit = true;
}

std::int16_t HeadlessPlatform::GetAsyncKeyState(int vk) {
  keyQueries.push_back(vk);
  if (vk < 0 || vk >= static_cast<int>(keys_.size())) return 0;
  Key& k = keys_[vk];
  const std::uint16_t state = (k.down ? 0x8000 : 0) | (k.pressedBit ? 1 : 0);
  k.pressedBit = false;
  return static_cast<std::int16_t>(state);
}

bool HeadlessPlatform::IsKeyDown(int vk) {
  return vk >= 0 && vk < static_cast<int>(keys_.size()) && keys_[vk].down;
}

// ----- clipboard -------------------------------------------------------------------------------

void HeadlessPlatform::ChangeClipboard(Clip state, const std::string& bytes) {
  clip_ = state;
  clipBytes_ = bytes;
  ++clipSeq_;
}

void HeadlessPlatform::SetClipboardText(const std::string& bytes) {
  ChangeClipboard(Clip::Text, bytes);
}
void HeadlessPlatform::SetClipboardNonText() { ChangeClipboard(Clip::NonText, {}); }
void HeadlessPlatform::ClearClipboard() { ChangeClipboard(Clip::Empty, {}); }

void HeadlessPlatform::FailWrites(ClipWrite how, int count) {
  failHow_ = how;
  failCount_ = how == ClipWrite::Ok ? 0 : count;
}

ClipRead HeadlessPlatform::ReadClipboardText(Handle, std::string& text) {
  ++clipOpens;
  if (clipHeld_) return ClipRead::CannotOpen;
  ++clipReads;
  // CF_TEXT ends at its first zero byte, whatever the block holds after it.
  text = clip_ == Clip::Text ? clipBytes_.substr(0, clipBytes_.find('\0')) : std::string();
  return ClipRead::Ok;
}

ClipWrite HeadlessPlatform::WriteClipboardText(Handle owner, const std::string& text,
                                               std::uint32_t& sequence) {
  sequence = 0;
  ++clipOpens;
  if (clipHeld_) return ClipWrite::CannotOpen;
  ClipWrite how = ClipWrite::Ok;
  if (failCount_ != 0) {
    how = failHow_;
    if (failCount_ > 0) --failCount_;
  }
  if (how == ClipWrite::CannotOpen) return how;
  ++clipWrites;
  clipOwner = owner;
  switch (how) {
    case ClipWrite::NoMemory:
      break;  // failed before the clipboard was emptied
    case ClipWrite::Failed:
      ChangeClipboard(Clip::Empty, {});
      break;
    default:
      ChangeClipboard(Clip::Text, text);
      sequence = clipSeq_;
      break;
  }
  return how;
}

std::uint32_t HeadlessPlatform::ClipboardSequence() { return clipSeq_; }

// ----- shell tray and icons --------------------------------------------------------------------

bool HeadlessPlatform::ShellNotifyIcon(std::uint32_t op,
                                       const std::array<std::uint8_t, kNotifyDataSize>& block) {
  bool ok = !shellFilter || shellFilter(op, block);
  if (ok) {
    const std::uint32_t window = ReadU32(block, kNidWindow), id = ReadU32(block, kNidId);
    auto it = std::find_if(tray_.begin(), tray_.end(),
                           [&](const TrayIcon& t) { return t.window == window && t.id == id; });
    const bool present = it != tray_.end();
    switch (op) {
      case kNimAdd:
        ok = !present;
        if (ok) {
          TrayIcon icon;
          icon.window = window;
          icon.id = id;
          ApplyNotify(icon, block);
          tray_.push_back(icon);
        }
        break;
      case kNimModify:
        ok = present;
        if (ok) ApplyNotify(*it, block);
        break;
      case kNimDelete:
        ok = present;
        if (ok) tray_.erase(it);
        break;
      default:
        ok = false;
        break;
    }
  }
  shellCalls.push_back(ShellCall{op, block, ok});
  return ok;
}

Handle HeadlessPlatform::CreateIconFromImage(const std::string& ico) {
  // A plausible .ico: header (reserved 0, type 1, count >= 1), its directory, and the first
  // image lying inside the data.
  if (ico.size() < 22 || ReadU16(ico, 0) != 0 || ReadU16(ico, 2) != 1) return 0;
  const std::uint64_t count = ReadU16(ico, 4);
  const std::uint64_t size = ReadU32(ico, 6 + 8), offset = ReadU32(ico, 6 + 12);
  if (count == 0 || 6 + 16 * count > ico.size() || size == 0 || offset < 6 + 16 * count ||
      offset + size > ico.size())
    return 0;
  const Handle h = NewHandle();
  icons_[h] = ico;
  return h;
}

void HeadlessPlatform::DestroyIcon(Handle icon) { icons_.erase(icon); }

const std::string& HeadlessPlatform::IconImage(Handle icon) const { return icons_.at(icon); }

}  // namespace plat
