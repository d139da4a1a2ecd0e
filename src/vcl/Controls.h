// Windowed controls: the native window behind each one, its stored state, and the events it
// turns into handler calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vcl/Classes.h"

namespace vcl {

using TColor = std::uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clWindow = 0x80000005;
constexpr TColor clWindowText = 0x80000008;

// Colour names a stored layout may use.
TColor ColorFromIdent(const std::string& ident);

constexpr int SHIFTJIS_CHARSET = 128;

struct TFont {
  std::string Name = "ＭＳ Ｐゴシック";
  int Height = -12;  // negative: character height in pixels
  int Charset = SHIFTJIS_CHARSET;
  TColor Color = clWindowText;

  bool SameFace(const TFont& o) const {
    return Name == o.Name && Height == o.Height && Charset == o.Charset;
  }
  // Reads Font.Name, Font.Height, Font.Charset, Font.Color, Font.Style; false if not a font field.
  bool SetField(const std::string& field, const layout::Value& v);
};

enum class TAlign : std::uint8_t { None, Top };

class TForm;

class TWinControl : public TComponent, public plat::WindowSink {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  TWinControl* Parent() const { return parent_; }
  void SetParent(TWinControl* parent);
  const std::vector<TWinControl*>& Controls() const { return controls_; }
  // The form this control is on (itself for a form), or null.
  TForm* ParentForm();

  bool HandleAllocated() const { return handle_ != 0; }
  void HandleNeeded();
  plat::Handle Handle() {
    HandleNeeded();
    return handle_;
  }

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  virtual void SetBounds(int left, int top, int width, int height);

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);

  TColor Color() const { return color_; }
  void SetColor(TColor c);
  const TFont& Font() const { return font_; }
  void SetFontColor(TColor c);
  bool ParentFont() const { return parentFont_; }

  // Caption of forms, buttons and labels (UTF-8).
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& utf8);

  int TabOrder() const { return tabOrder_; }
  bool TabStop() const { return tabStop_; }
  TAlign Align() const { return align_; }

  TNotifyEvent OnClick;
  virtual void Click();

  void SetFocus();
  bool Focused();

  std::intptr_t HandleEvent(const plat::Event& e) final;
  void SetProperty(const std::string& name, const layout::Value& v, TComponent* root) override;

 protected:
  virtual plat::WindowSpec CreateParams();
  // After the native window exists: hand it the stored state.
  virtual void InitWindow();
  virtual std::intptr_t WndProc(const plat::Event& e);
  void DestroyHandle();
  // The colours the native window shows: own colour and the font colour.
  void ApplyColors();
  void ApplyFont();
  const TFont& EffectiveFont() const;
  virtual void Realign() {}

  plat::Handle handle_ = 0;
  TWinControl* parent_ = nullptr;
  std::vector<TWinControl*> controls_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  TColor color_ = clBtnFace;
  bool colorSet_ = false;  // only controls with their own colours ask the native window for them
  TFont font_;
  bool parentFont_ = true;
  std::string caption_;
  int tabOrder_ = -1;
  bool tabStop_ = false;
  TAlign align_ = TAlign::None;
};

// Multi-line text view. Keeps its text byte for byte itself, whatever the native control makes
// of it: the native control is given only a bounded beginning for display, so no native limit or
// slowness with huge texts reaches the text.
class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* owner);

  const std::string& Text() const { return text_; }
  // Setting the text it already holds does nothing.
  void SetText(std::string text);
  // Counts the changes of the text, so a caller can tell cheaply that it is unchanged.
  std::uint64_t Generation() const { return generation_; }

  bool ReadOnly() const { return readOnly_; }
  bool WordWrap() const { return wordWrap_; }

  void SetProperty(const std::string& name, const layout::Value& v, TComponent* root) override;

  // Bytes of the text handed to the native control.
  static constexpr std::size_t kDisplayLimit = 4096;

 protected:
  plat::WindowSpec CreateParams() override;
  void InitWindow() override;
  std::string DisplayText() const;

  std::string text_;
  std::uint64_t generation_ = 0;
  bool readOnly_ = false;
  bool wordWrap_ = true;
  bool scrollBars_ = false;
};

// Single-line edit; same text rules as the memo.
class TEdit : public TMemo {
 public:
  explicit TEdit(TComponent* owner);

 protected:
  plat::WindowSpec CreateParams() override;
};

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);

 protected:
  plat::WindowSpec CreateParams() override;
};

class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* owner);
  int NumGlyphs() const { return numGlyphs_; }
  void SetProperty(const std::string& name, const layout::Value& v, TComponent* root) override;

 private:
  int numGlyphs_ = 1;
};

class TLabel : public TWinControl {
 public:
  explicit TLabel(TComponent* owner);
  void SetProperty(const std::string& name, const layout::Value& v, TComponent* root) override;

 protected:
  plat::WindowSpec CreateParams() override;
};

// The control that owns a native window, or null.
TWinControl* FindControl(plat::Handle h);

// The application's handling of an exception that reached a message handler.
void HandleEventException(const std::exception& e);

}  // namespace vcl
