#include "vcl/Forms.h"

#include <algorithm>

#include "resources/Resources.h"

namespace vcl {

TApplication* Application = nullptr;

namespace {

plat::Platform& P() { return plat::Current(); }

int IntValue(const layout::Value& v) {
  if (v.kind != layout::Value::Kind::Integer) throw EReadError("整数ではありません");
  return static_cast<int>(v.integer);
}

plat::Border ToPlatform(TFormBorderStyle b) {
  switch (b) {
    case TFormBorderStyle::None: return plat::Border::None;
    case TFormBorderStyle::Single: return plat::Border::Single;
    case TFormBorderStyle::Sizeable: return plat::Border::Sizeable;
    case TFormBorderStyle::Dialog: return plat::Border::Dialog;
    case TFormBorderStyle::ToolWindow: return plat::Border::ToolWindow;
  }
  return plat::Border::None;
}

}  // namespace

void HandleEventException(const std::exception& e) {
  if (Application) Application->HandleException(e);
}

// ---------------------------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  visible_ = false;
  font_.Color = clWindowText;
  parentFont_ = false;
}

void TForm::InitFromLayout(const char* resourceName) {
  layout::Node root = layout::Parse(res::Find(resourceName));
  className_ = root.className;
  SetName(root.name);
  BeginLoading();
  std::vector<TComponent*> loaded{this};
  for (const layout::Property& p : root.properties) SetProperty(p.name, p.value, this);
  // Children are read depth first, in stored order.
  std::vector<std::pair<const layout::Node*, TWinControl*>> stack;
  for (auto it = root.children.rbegin(); it != root.children.rend(); ++it) stack.push_back({&*it, this});
  while (!stack.empty()) {
    auto [node, parent] = stack.back();
    stack.pop_back();
    TComponent* c = CreateComponent(node->className, this);
    c->SetName(node->name);
    if (auto f = fields_.find(node->name); f != fields_.end()) f->second(c);
    c->BeginLoading();
    loaded.push_back(c);
    auto* control = dynamic_cast<TWinControl*>(c);
    if (control) control->SetParent(parent);
    for (const layout::Property& p : node->properties) c->SetProperty(p.name, p.value, this);
    TWinControl* childParent = control ? control : parent;
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
      stack.push_back({&*it, childParent});
  }
  for (TComponent* c : loaded) c->EndLoading();
  if (OnCreate) {
    // The create handler's own errors are shown; the form is built all the same.
    try {
      OnCreate(this);
    } catch (const std::exception& e) {
      HandleEventException(e);
    }
  }
}

void TForm::SetProperty(const std::string& name, const layout::Value& v, TComponent* root) {
  if (name == "ClientWidth") {
    clientWidth_ = IntValue(v);
    UpdateFrameSize();
  } else if (name == "ClientHeight") {
    clientHeight_ = IntValue(v);
    UpdateFrameSize();
  } else if (name == "BorderStyle") {
    static const std::pair<const char*, TFormBorderStyle> kStyles[] = {
        {"bsNone", TFormBorderStyle::None},         {"bsSingle", TFormBorderStyle::Single},
        {"bsSizeable", TFormBorderStyle::Sizeable}, {"bsDialog", TFormBorderStyle::Dialog},
        {"bsToolWindow", TFormBorderStyle::ToolWindow}};
    auto it = std::find_if(std::begin(kStyles), std::end(kStyles),
                           [&](const auto& s) { return v.text == s.first; });
    if (it == std::end(kStyles)) UnknownProperty(name + " = " + v.text);
    borderStyle_ = it->second;
    UpdateFrameSize();
  } else if (name == "BorderIcons") {
    // Without biSystemMenu there is no window menu and so no caption button at all.
    systemMenu_ = std::find(v.items.begin(), v.items.end(), "biSystemMenu") != v.items.end();
    UpdateFrameSize();
  } else if (name == "FormStyle") {
    stayOnTop_ = v.text == "fsStayOnTop";
  } else if (name == "Position") {
    position_ = v.text == "poScreenCenter" ? TPosition::ScreenCenter : TPosition::Designed;
  } else if (name == "Icon.Data") {
    iconData_ = v.text;
  } else if (name == "Icon.Resource") {
    iconData_ = std::string(res::Find(v.text));
  } else if (name == "PixelsPerInch" || name == "TextHeight") {
    // Designed at 96 dpi, which is what the program runs at.
  } else if (name == "OnCreate") {
    OnCreate = BindMethod<TNotifyEvent>(root, v);
  } else {
    TWinControl::SetProperty(name, v, root);
  }
}

void TForm::UpdateFrameSize() {
  std::uint32_t style = systemMenu_ ? std::uint32_t{plat::kSysMenu} : 0u;
  plat::Size outer = P().FrameSizeFor(ToPlatform(borderStyle_), style, clientWidth_, clientHeight_);
  SetBounds(left_, top_, outer.width, outer.height);
}

void TForm::Realign() {
  int y = 0;
  for (TWinControl* c : controls_) {
    if (c->Align() != TAlign::Top) continue;
    c->SetBounds(0, y, clientWidth_, c->Height());
    y += c->Height();
  }
}

plat::WindowSpec TForm::CreateParams() {
  plat::WindowSpec s = TWinControl::CreateParams();
  s.kind = plat::WindowKind::Form;
  s.className = className_;
  s.border = ToPlatform(borderStyle_);
  s.parent = Application ? Application->Handle() : 0;
  s.style &= ~plat::kTabStop;
  if (systemMenu_) s.style |= plat::kSysMenu;
  if (stayOnTop_) s.style |= plat::kTopmost;
  return s;
}

void TForm::Show() {
  if (position_ == TPosition::ScreenCenter) {
    // Centred once, on the first showing; afterwards it stays where it was left.
    plat::Size screen = P().ScreenSize();
    int left = std::max(0, (screen.width - width_) / 2);
    int top = std::max(0, (screen.height - height_) / 2);
    SetBounds(left, top, width_, height_);
    position_ = TPosition::Designed;
  }
  visible_ = true;
  HandleNeeded();
  P().BringToFront(handle_);
}

void TForm::Close() {
  // No close-query or close handler: the action is to hide, and for the main form to end the run.
  if (Application && Application->MainForm() == this)
    Application->Terminate();
  else
    Hide();
}

std::vector<TWinControl*> TForm::TabList() {
  std::vector<TWinControl*> list;
  for (TWinControl* c : controls_)
    if (c->TabStop() && c->Visible() && c->HandleAllocated()) list.push_back(c);
  std::stable_sort(list.begin(), list.end(),
                   [](TWinControl* a, TWinControl* b) { return a->TabOrder() < b->TabOrder(); });
  return list;
}

bool TForm::DialogKey(int key) {
  std::vector<TWinControl*> list = TabList();
  auto focused = std::find_if(list.begin(), list.end(), [](TWinControl* c) { return c->Focused(); });
  TWinControl* current = focused != list.end() ? *focused : nullptr;
  // Text views keep their arrows and Enter for the caret.
  bool onButton = dynamic_cast<TButton*>(current) != nullptr;
  auto move = [&](int step) {
    if (list.empty()) return;
    std::ptrdiff_t n = static_cast<std::ptrdiff_t>(list.size());
    std::ptrdiff_t i = focused != list.end() ? focused - list.begin() : (step > 0 ? -1 : 0);
    list[static_cast<std::size_t>(((i + step) % n + n) % n)]->SetFocus();
  };
  switch (key) {
    case plat::kVkTab:
      move(P().IsKeyDown(plat::kVkShift) ? -1 : 1);
      return true;
    case plat::kVkLeft:
    case plat::kVkUp:
    case plat::kVkRight:
    case plat::kVkDown:
      if (!onButton) return false;
      move(key == plat::kVkRight || key == plat::kVkDown ? 1 : -1);
      return true;
    case plat::kVkReturn:
      if (!onButton) return false;
      if (!P().IsKeyDown(plat::kVkShift) && !P().IsKeyDown(plat::kVkControl) &&
          !P().IsKeyDown(plat::kVkMenu))
        current->Click();
      return true;
    case plat::kVkEscape:
      return true;  // no cancel button: Escape does nothing
    default:
      return false;
  }
}

void TForm::FocusChanged(TWinControl* control) { activeControl_ = control; }

void TForm::Notification(TComponent* component, TOperation op) {
  TWinControl::Notification(component, op);
  if (op == TOperation::Remove && component == activeControl_) activeControl_ = nullptr;
}

std::intptr_t TForm::WndProc(const plat::Event& e) {
  switch (e.kind) {
    case plat::EventKind::Close:
      Close();
      return 0;
    case plat::EventKind::Activate: {
      // The focus comes back to the control that last had it, else the first in tab order.
      TWinControl* target = activeControl_;
      if (!target) {
        std::vector<TWinControl*> list = TabList();
        if (!list.empty()) target = list.front();
      }
      if (target && target->HandleAllocated()) target->SetFocus();
      return 0;
    }
    case plat::EventKind::QueryEndSession:
      return 1;
    default:
      return TWinControl::WndProc(e);
  }
}

// ---------------------------------------------------------------------------------------------
// TApplication

TApplication::TApplication() : TComponent(nullptr) {
  plat::WindowSpec s;
  s.kind = plat::WindowKind::Application;
  s.className = "TApplication";
  s.caption = TitleFromExeName(P().ExecutablePath());
  plat::Size screen = P().ScreenSize();
  s.left = screen.width / 2;
  s.top = screen.height / 2;
  handle_ = P().CreateWindow(s, this);
}

TApplication::~TApplication() {
  DestroyComponents();
  if (handle_) P().DestroyWindow(handle_);
}

std::string TApplication::Title() const { return P().GetTextUtf8(handle_); }

namespace {

// Lower case of one code point, for the letters an executable name is likely to hold.
char32_t LowerLetter(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;                  // Latin-1
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;                 // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 32;                               // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 80;                               // Cyrillic Ѐ-Џ
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;                             // full-width
  return c;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string TApplication::TitleFromExeName(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  // Every letter after the first character in lower case; the first keeps its case.
  std::string out;
  std::size_t i = 0;
  bool first = true;
  while (i < name.size()) {
    unsigned char b = static_cast<unsigned char>(name[i]);
    int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (i + len > name.size() || (b >= 0x80 && b < 0xC0)) len = 1;  // not UTF-8: keep the byte
    char32_t c = len == 1 ? b : b & (0x7F >> len);
    for (int k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
    if (len == 1 && b >= 0x80)
      out += name[i];
    else
      AppendUtf8(out, first ? c : LowerLetter(c));
    first = false;
    i += len;
  }
  return out;
}

void TApplication::FormCreated(TForm* f) {
  f->HandleNeeded();
  if (!mainForm_) mainForm_ = f;
}

void TApplication::Run() {
  exitProcRegistered_ = true;
  if (!mainForm_) return;
  if (ShowMainForm) mainForm_->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::HandleMessage() {
  if (!ProcessMessage() && !terminated_) P().WaitMessage();
}

bool TApplication::ProcessMessage() {
  plat::Message m;
  if (!P().PeekMessage(m)) return false;
  if (m.kind == plat::Message::Kind::Quit) {
    terminated_ = true;
    return true;
  }
  if (m.kind == plat::Message::Kind::KeyDown) {
    if (TWinControl* c = FindControl(m.window)) {
      TForm* f = c->ParentForm();
      try {
        if (f && f->DialogKey(m.key)) return true;
      } catch (const std::exception& e) {
        HandleException(e);
        return true;
      }
    }
  }
  P().DispatchMessage(m);
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::Terminate() { P().PostQuit(0); }

void TApplication::HandleException(const std::exception& e) {
  if (dynamic_cast<const EAbort*>(&e)) return;
  ShowException(e);
}

void TApplication::ShowException(const std::exception& e) {
  std::string message;
  if (auto* ex = dynamic_cast<const Exception*>(&e))
    message = ex->Message();
  else if (dynamic_cast<const std::bad_alloc*>(&e))
    message = EOutOfMemory().Message();
  else
    message = e.what();
  // The full stop is appended always.
  ++errorBoxes_;
  try {
    P().MessageBox(handle_, message + ".", Title(), plat::BoxIcon::Stop);
  } catch (...) {
    --errorBoxes_;
    throw;
  }
  --errorBoxes_;
}

void TApplication::RunExitProcedures() {
  if (!exitProcRegistered_) return;
  exitProcRegistered_ = false;
  for (TComponent* c : Components())
    if (auto* f = dynamic_cast<TForm*>(c)) f->Hide();
  mainForm_ = nullptr;
  DestroyComponents();
}

std::intptr_t TApplication::HandleEvent(const plat::Event& e) {
  try {
    switch (e.kind) {
      case plat::EventKind::Close:
        // A close request to the application window closes the main form.
        if (mainForm_) mainForm_->Close();
        return 0;
      case plat::EventKind::QueryEndSession:
        return 1;
      case plat::EventKind::EndSession:
        if (e.wParam) {
          RunExitProcedures();
          P().ExitProcess(0);
        }
        return 0;
      default:
        return 0;
    }
  } catch (const std::exception& ex) {
    HandleException(ex);
    return 0;
  }
}

void InitApplication() { Application = new TApplication(); }

void DoneApplication() {
  if (!Application) return;
  Application->RunExitProcedures();
  delete Application;
  Application = nullptr;
}

}  // namespace vcl
