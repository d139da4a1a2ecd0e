#include "vcl/Controls.h"

#include <algorithm>
#include <map>

#include "vcl/Forms.h"

namespace vcl {

namespace {

plat::Platform& P() { return plat::Current(); }

std::map<plat::Handle, TWinControl*>& HandleMap() {
  static std::map<plat::Handle, TWinControl*> m;
  return m;
}

int IntValue(const layout::Value& v) {
  if (v.kind != layout::Value::Kind::Integer) throw EReadError("整数ではありません");
  return static_cast<int>(v.integer);
}

const std::string& StringValue(const layout::Value& v) {
  if (v.kind != layout::Value::Kind::String) throw EReadError("文字列ではありません");
  return v.text;
}

}  // namespace

TColor ColorFromIdent(const std::string& ident) {
  static const struct {
    const char* name;
    TColor color;
  } kColors[] = {{"clBlack", clBlack},   {"clWhite", clWhite},   {"clSilver", clSilver},
                 {"clBtnFace", clBtnFace}, {"clWindow", clWindow}, {"clWindowText", clWindowText}};
  for (const auto& c : kColors)
    if (ident == c.name) return c.color;
  throw EReadError("色 " + ident + " がありません");
}

bool TFont::SetField(const std::string& field, const layout::Value& v) {
  if (field == "Font.Name") {
    Name = StringValue(v);
  } else if (field == "Font.Height") {
    Height = IntValue(v);
  } else if (field == "Font.Charset") {
    if (v.kind == layout::Value::Kind::Ident && v.text == "SHIFTJIS_CHARSET")
      Charset = SHIFTJIS_CHARSET;
    else if (v.kind == layout::Value::Kind::Ident && v.text == "DEFAULT_CHARSET")
      Charset = 1;
    else
      Charset = IntValue(v);
  } else if (field == "Font.Color") {
    Color = v.kind == layout::Value::Kind::Ident ? ColorFromIdent(v.text)
                                                 : static_cast<TColor>(IntValue(v));
  } else if (field == "Font.Style") {
    if (v.kind != layout::Value::Kind::Set || !v.items.empty())
      throw EReadError("文字スタイルは使えません");
  } else {
    return false;
  }
  return true;
}

TWinControl* FindControl(plat::Handle h) {
  auto it = HandleMap().find(h);
  return it == HandleMap().end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* owner) : TComponent(owner) {}

TWinControl::~TWinControl() {
  DestroyComponents();
  for (TWinControl* c : controls_) c->parent_ = nullptr;
  controls_.clear();
  if (parent_) {
    auto& siblings = parent_->controls_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  DestroyHandle();
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  plat::Handle h = handle_;
  handle_ = 0;
  HandleMap().erase(h);
  P().DestroyWindow(h);
}

void TWinControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_) {
    auto& siblings = parent_->controls_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  parent_ = parent;
  if (!parent_) return;
  parent_->controls_.push_back(this);
  parent_->Realign();
  if (parent_->HandleAllocated()) HandleNeeded();
}

TForm* TWinControl::ParentForm() {
  TWinControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TForm*>(c);
}

void TWinControl::HandleNeeded() {
  if (handle_) return;
  if (parent_) {
    parent_->HandleNeeded();  // creates this one among its children
    if (handle_) return;
  }
  handle_ = P().CreateWindow(CreateParams(), this);
  HandleMap()[handle_] = this;
  InitWindow();
  for (TWinControl* c : controls_) c->HandleNeeded();
}

plat::WindowSpec TWinControl::CreateParams() {
  plat::WindowSpec s;
  s.kind = plat::WindowKind::Child;
  s.parent = parent_ ? parent_->handle_ : 0;
  s.left = left_;
  s.top = top_;
  s.width = width_;
  s.height = height_;
  s.caption = caption_;
  if (visible_) s.style |= plat::kVisible;
  if (tabStop_) s.style |= plat::kTabStop;
  return s;
}

void TWinControl::InitWindow() {
  ApplyFont();
  ApplyColors();
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (handle_) P().SetBounds(handle_, {left_, top_, width_, height_});
  Realign();
  if (parent_ && align_ != TAlign::None) parent_->Realign();
}

void TWinControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (handle_) P().SetVisible(handle_, visible_);
}

void TWinControl::SetColor(TColor c) {
  if (colorSet_ && c == color_) return;
  color_ = c;
  colorSet_ = true;
  ApplyColors();
}

const TFont& TWinControl::EffectiveFont() const {
  return parentFont_ && parent_ ? parent_->EffectiveFont() : font_;
}

void TWinControl::SetFontColor(TColor c) {
  if (parentFont_) {
    // The control takes its own copy of the font it showed until now.
    font_ = EffectiveFont();
    parentFont_ = false;
  }
  if (font_.Color == c) return;
  font_.Color = c;
  ApplyColors();
}

void TWinControl::ApplyColors() {
  if (handle_ && colorSet_) P().SetColors(handle_, color_, EffectiveFont().Color);
}

void TWinControl::ApplyFont() {
  if (!handle_) return;
  const TFont& f = EffectiveFont();
  P().SetFont(handle_, f.Name, f.Height < 0 ? -f.Height : f.Height, f.Charset);
}

void TWinControl::SetCaption(const std::string& utf8) {
  if (utf8 == caption_) return;
  caption_ = utf8;
  if (handle_) P().SetTextUtf8(handle_, caption_);
}

void TWinControl::Click() {
  if (OnClick) OnClick(this);
}

void TWinControl::SetFocus() { P().SetFocus(Handle()); }

bool TWinControl::Focused() { return handle_ && P().GetFocus() == handle_; }

std::intptr_t TWinControl::HandleEvent(const plat::Event& e) {
  // Exceptions stop here, where the message was dispatched, and go to the application's
  // default handler; the message loop goes on.
  try {
    return WndProc(e);
  } catch (const std::exception& ex) {
    HandleEventException(ex);
    return 0;
  }
}

std::intptr_t TWinControl::WndProc(const plat::Event& e) {
  switch (e.kind) {
    case plat::EventKind::Click:
      Click();
      break;
    case plat::EventKind::FocusGained:
      if (TForm* f = ParentForm(); f && f != this) f->FocusChanged(this);
      break;
    default:
      break;
  }
  return 0;
}

void TWinControl::SetProperty(const std::string& name, const layout::Value& v, TComponent* root) {
  if (name == "Left") {
    SetBounds(IntValue(v), top_, width_, height_);
  } else if (name == "Top") {
    SetBounds(left_, IntValue(v), width_, height_);
  } else if (name == "Width") {
    SetBounds(left_, top_, IntValue(v), height_);
  } else if (name == "Height") {
    SetBounds(left_, top_, width_, IntValue(v));
  } else if (name == "Visible") {
    SetVisible(v.AsBool());
  } else if (name == "Color") {
    SetColor(ColorFromIdent(v.text));
  } else if (name == "ParentFont") {
    parentFont_ = v.AsBool();
  } else if (name.rfind("Font.", 0) == 0) {
    if (!font_.SetField(name, v)) UnknownProperty(name);
    parentFont_ = false;
  } else if (name == "Caption") {
    SetCaption(StringValue(v));
  } else if (name == "TabOrder") {
    tabOrder_ = IntValue(v);
  } else if (name == "TabStop") {
    tabStop_ = v.AsBool();
  } else if (name == "Align") {
    if (v.text == "alTop")
      align_ = TAlign::Top;
    else if (v.text == "alNone")
      align_ = TAlign::None;
    else
      UnknownProperty(name + " = " + v.text);
    if (parent_) parent_->Realign();
  } else if (name == "OnClick") {
    OnClick = BindMethod<TNotifyEvent>(root, v);
  } else {
    TComponent::SetProperty(name, v, root);
  }
}

// ---------------------------------------------------------------------------------------------
// TMemo, TEdit

TMemo::TMemo(TComponent* owner) : TWinControl(owner) {
  color_ = clWindow;  // class default, and the memo always paints its own colours
  colorSet_ = true;
  tabStop_ = true;
}

void TMemo::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  ++generation_;
  if (handle_) P().SetTextAnsi(handle_, DisplayText());
}

std::string TMemo::DisplayText() const {
  if (text_.size() <= kDisplayLimit) return text_;
  // Cut at a character boundary so the view never ends in half a double-byte character.
  plat::Platform& p = P();
  std::size_t end = 0;
  for (;;) {
    std::size_t next = end + (p.IsLeadByte(static_cast<std::uint8_t>(text_[end])) ? 2 : 1);
    if (next > kDisplayLimit) break;
    end = next;
  }
  return text_.substr(0, end);
}

plat::WindowSpec TMemo::CreateParams() {
  plat::WindowSpec s = TWinControl::CreateParams();
  s.kind = plat::WindowKind::Memo;
  s.style |= plat::kBorder;
  if (readOnly_) s.style |= plat::kReadOnly;
  if (wordWrap_) s.style |= plat::kWordWrap;
  if (scrollBars_) s.style |= plat::kScrollBars;
  s.caption.clear();
  return s;
}

void TMemo::InitWindow() {
  TWinControl::InitWindow();
  if (!text_.empty()) P().SetTextAnsi(handle_, DisplayText());
}

void TMemo::SetProperty(const std::string& name, const layout::Value& v, TComponent* root) {
  if (name == "ReadOnly") {
    readOnly_ = v.AsBool();
  } else if (name == "WordWrap") {
    wordWrap_ = v.AsBool();
  } else if (name == "ScrollBars") {
    if (v.text != "ssNone") UnknownProperty(name + " = " + v.text);
    scrollBars_ = false;
  } else if (name == "Lines.Strings") {
    std::string joined;
    for (std::size_t i = 0; i < v.items.size(); ++i) joined += (i ? "\r\n" : "") + v.items[i];
    SetText(joined);
  } else if (name == "Text") {
    SetText(StringValue(v));
  } else {
    TWinControl::SetProperty(name, v, root);
  }
}

TEdit::TEdit(TComponent* owner) : TMemo(owner) { wordWrap_ = false; }

plat::WindowSpec TEdit::CreateParams() {
  plat::WindowSpec s = TMemo::CreateParams();
  s.kind = plat::WindowKind::Edit;
  s.style &= ~plat::kWordWrap;
  return s;
}

// ---------------------------------------------------------------------------------------------
// TButton, TBitBtn, TLabel

TButton::TButton(TComponent* owner) : TWinControl(owner) { tabStop_ = true; }

plat::WindowSpec TButton::CreateParams() {
  plat::WindowSpec s = TWinControl::CreateParams();
  s.kind = plat::WindowKind::Button;
  return s;
}

TBitBtn::TBitBtn(TComponent* owner) : TButton(owner) {}

void TBitBtn::SetProperty(const std::string& name, const layout::Value& v, TComponent* root) {
  if (name == "NumGlyphs") {
    numGlyphs_ = IntValue(v);
  } else if (name == "Kind") {
    // Only the custom kind: no default or cancel role, no modal result.
    if (v.text != "bkCustom") UnknownProperty(name + " = " + v.text);
  } else {
    TButton::SetProperty(name, v, root);
  }
}

TLabel::TLabel(TComponent* owner) : TWinControl(owner) {}

plat::WindowSpec TLabel::CreateParams() {
  plat::WindowSpec s = TWinControl::CreateParams();
  s.kind = plat::WindowKind::Label;
  s.style &= ~plat::kTabStop;
  return s;
}

void TLabel::SetProperty(const std::string& name, const layout::Value& v, TComponent* root) {
  if (name == "AutoSize") return;  // the laid-out size already fits the caption
  TWinControl::SetProperty(name, v, root);
}

}  // namespace vcl
