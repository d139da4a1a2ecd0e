// The two windows: their stored layouts, the slot views' byte-exact text, and the exit dialog.
#include <gtest/gtest.h>

#include "program_fixture.h"

namespace {

using plat::EventKind;

struct ControlCase {
  const char* name;
  plat::WindowKind kind;
  plat::Rect bounds;
  bool visible;
  const char* text;  // UTF-8 caption, or ANSI text for edits
};

void ExpectControls(const plat::HeadlessPlatform& hl, vcl::TForm* form,
                    std::initializer_list<ControlCase> cases) {
  ASSERT_EQ(form->Controls().size(), cases.size());
  auto it = form->Controls().begin();
  for (const ControlCase& c : cases) {
    vcl::TWinControl* control = *it++;
    SCOPED_TRACE(c.name);
    EXPECT_EQ(control->Name(), c.name);  // creation order
    const plat::WindowState& w = hl.Window(control->Handle());
    EXPECT_EQ(w.spec.kind, c.kind);
    EXPECT_EQ(w.spec.parent, form->Handle());
    EXPECT_EQ(w.bounds.left, c.bounds.left);
    EXPECT_EQ(w.bounds.top, c.bounds.top);
    EXPECT_EQ(w.bounds.width, c.bounds.width);
    EXPECT_EQ(w.bounds.height, c.bounds.height);
    EXPECT_EQ(w.visible, c.visible);
    EXPECT_EQ(c.kind == plat::WindowKind::Edit ? w.textAnsi : w.textUtf8, c.text);
  }
}

TEST_F(ProgramTest, MainWindowLayout) {
  Run({[&] {
    const plat::WindowState& f = hl.Window(Form1->Handle());
    EXPECT_EQ(f.textUtf8, "ミルテナ");
    EXPECT_EQ(f.spec.border, plat::Border::ToolWindow);
    EXPECT_FALSE(f.spec.style & plat::kSysMenu);  // no caption buttons at all
    EXPECT_TRUE(f.spec.style & plat::kTopmost);
    EXPECT_EQ(f.spec.parent, vcl::Application->Handle());  // owned: no taskbar button
    plat::Size outer = hl.FrameSizeFor(plat::Border::ToolWindow, 0, 240, 75);
    EXPECT_EQ(f.bounds.left, 552);
    EXPECT_EQ(f.bounds.top, 433);
    EXPECT_EQ(f.bounds.width, outer.width);
    EXPECT_EQ(f.bounds.height, outer.height);
    EXPECT_EQ(f.fontFace, "ＭＳ Ｐゴシック");
    EXPECT_EQ(f.fontHeight, 12);
    EXPECT_EQ(f.fontCharset, 128);
    EXPECT_FALSE(f.visible);

    ExpectControls(hl, Form1,
                   {{"Memo1", plat::WindowKind::Memo, {0, 0, 240, 25}, true, ""},
                    {"Memo2", plat::WindowKind::Memo, {0, 25, 240, 27}, true, ""},
                    {"Edit1", plat::WindowKind::Edit, {216, 16, 17, 20}, false, "A"},
                    {"Button1", plat::WindowKind::Button, {0, 56, 240, 17}, true,
                     "クリップボードビューア非表示"},
                    // The tray's notification window: a zero-size child, made by the first add.
                    {"", plat::WindowKind::Child, {0, 0, 0, 0}, true, ""}});
    const plat::WindowState& m1 = hl.Window(Form1->Memo1->Handle());
    const plat::WindowState& m2 = hl.Window(Form1->Memo2->Handle());
    EXPECT_EQ(m1.background, 0x80000005u);
    EXPECT_EQ(m1.textColor, 0x80000008u);  // from the window's font
    EXPECT_EQ(m2.background, 0xC0C0C0u);
    EXPECT_EQ(m2.textColor, 0u);
    for (const plat::WindowState* m : {&m1, &m2}) {
      EXPECT_TRUE(m->spec.style & plat::kReadOnly);
      EXPECT_FALSE(m->spec.style & plat::kWordWrap);
      EXPECT_FALSE(m->spec.style & plat::kScrollBars);
      EXPECT_EQ(m->fontFace, "ＭＳ Ｐゴシック");
      EXPECT_EQ(m->fontHeight, 12);
    }
    EXPECT_EQ(Form1->Memo1->TabOrder(), 0);
    EXPECT_EQ(Form1->Memo2->TabOrder(), 1);
    EXPECT_EQ(Form1->Edit1->TabOrder(), 2);
    EXPECT_EQ(Form1->Button1->TabOrder(), 3);
  }});
}

TEST_F(ProgramTest, ExitDialogLayout) {
  Run({[&] {
    const plat::WindowState& f = hl.Window(Form2->Handle());
    EXPECT_EQ(f.textUtf8, "ミルテナ");
    EXPECT_EQ(f.spec.border, plat::Border::Dialog);
    EXPECT_FALSE(f.spec.style & plat::kSysMenu);
    EXPECT_FALSE(f.spec.style & plat::kTopmost);
    plat::Size outer = hl.FrameSizeFor(plat::Border::Dialog, 0, 203, 70);
    EXPECT_EQ(f.bounds.width, outer.width);
    EXPECT_EQ(f.bounds.height, outer.height);
    EXPECT_FALSE(f.visible);
    ExpectControls(hl, Form2,
                   {{"Label1", plat::WindowKind::Label, {16, 16, 164, 12}, true,
                     "ミルテナを終了します。"},
                    {"BitBtn1", plat::WindowKind::Button, {16, 40, 81, 25}, true, "OK"},
                    {"BitBtn2", plat::WindowKind::Button, {112, 40, 75, 25}, true, "キャンセル"}});
    EXPECT_EQ(Form2->BitBtn1->NumGlyphs(), 2);
    EXPECT_FALSE(Form2->Label1->TabStop());
  }});
}

// Slot texts are any bytes 1-255, any length, any line breaks: they read back exactly.
std::string AllBytes() {
  std::string s;
  for (int b = 1; b < 256; ++b) s += static_cast<char>(b);
  return s;
}

TEST_F(ProgramTest, SlotViewsKeepEveryByte) {
  const std::string cases[] = {
      "",
      "x",
      AllBytes(),
      "line1\r\nline2\r\n",
      "lone\nlf\rcr\r\n\n",
      "\x83\x7e\x83\x8b\x83\x65\x83\x69",  // ミルテナ in Shift-JIS
      std::string(1 << 20, 'q'),
      std::string(3 << 20, '\x82') + "end",
  };
  Run({[&] {
    for (vcl::TMemo* memo : {Form1->Memo1, Form1->Memo2, static_cast<vcl::TMemo*>(Form1->Edit1)}) {
      for (const std::string& text : cases) {
        memo->SetText(text);
        EXPECT_EQ(memo->Text(), text) << memo->Name() << " size " << text.size();
      }
    }
  }});
}

TEST_F(ProgramTest, HugeTextReachesTheNativeViewOnlyAsABoundedBeginning) {
  Run({[&] {
    // A double-byte character straddles the limit: the view stops before it.
    std::string text(vcl::TMemo::kDisplayLimit - 1, 'a');
    text += "\x83\x7e";
    text += std::string(1 << 20, 'b');
    Form1->Memo1->SetText(text);
    const std::string& shown = hl.Window(Form1->Memo1->Handle()).textAnsi;
    EXPECT_EQ(shown, std::string(vcl::TMemo::kDisplayLimit - 1, 'a'));
    EXPECT_EQ(Form1->Memo1->Text(), text);

    std::string small = "short\r\ntext";
    Form1->Memo1->SetText(small);
    EXPECT_EQ(hl.Window(Form1->Memo1->Handle()).textAnsi, small);
  }});
}

TEST_F(ProgramTest, SettingAnEqualTextOrColourDoesNothing) {
  Run({[&] {
    vcl::TMemo* m = Form1->Memo1;
    const plat::WindowState& w = hl.Window(m->Handle());
    m->SetText("abc");
    int sets = w.textSets;
    m->SetText("abc");
    EXPECT_EQ(w.textSets, sets);
    m->SetText("ABC");  // differs only in case: replaced
    EXPECT_EQ(w.textSets, sets + 1);
    EXPECT_EQ(m->Text(), "ABC");

    int colours = w.colorSets;
    m->SetColor(vcl::clWindow);
    m->SetFontColor(vcl::clWindowText);
    EXPECT_EQ(w.colorSets, colours);
    m->SetColor(vcl::clSilver);
    EXPECT_EQ(w.colorSets, colours + 1);
    EXPECT_EQ(w.background, vcl::clSilver);
  }});
}

TEST_F(ProgramTest, HideButtonHidesTheMainWindowOnly) {
  Run({[&] {
    Form1->Show();
    EXPECT_TRUE(hl.IsVisible(Form1->Handle()));
    EXPECT_EQ(hl.TopWindow(), Form1->Handle());
    hl.Send(Form1->Button1->Handle(), {EventKind::Click});
    EXPECT_FALSE(hl.IsVisible(Form1->Handle()));
    EXPECT_EQ(Form1->Edit1->Text(), "A");
    EXPECT_FALSE(vcl::Application->Terminated());
  }});
}

TEST_F(ProgramTest, DialogIsCentredOnItsFirstShowingOnly) {
  hl.SetScreenSize({1025, 769});
  Run({[&] {
    plat::Rect b = hl.GetBounds(Form2->Handle());
    Form2->Show();
    plat::Rect c = hl.GetBounds(Form2->Handle());
    EXPECT_EQ(c.left, (1025 - b.width) / 2);
    EXPECT_EQ(c.top, (769 - b.height) / 2);
    EXPECT_TRUE(hl.IsVisible(Form2->Handle()));
    EXPECT_EQ(hl.ActiveWindow(), Form2->Handle());
    // The user drags it away and cancels; it comes back where it was left.
    Form2->SetBounds(10, 20, b.width, b.height);
    hl.Send(Form2->BitBtn2->Handle(), {EventKind::Click});
    EXPECT_FALSE(hl.IsVisible(Form2->Handle()));
    Form2->Show();
    c = hl.GetBounds(Form2->Handle());
    EXPECT_EQ(c.left, 10);
    EXPECT_EQ(c.top, 20);
  }});
}

TEST_F(ProgramTest, DialogOnATinyScreenIsPlacedAtZero) {
  hl.SetScreenSize({100, 50});
  Run({[&] {
    Form2->Show();
    EXPECT_EQ(hl.GetBounds(Form2->Handle()).left, 0);
    EXPECT_EQ(hl.GetBounds(Form2->Handle()).top, 0);
  }});
}

// The dialog's keyboard: Enter presses the focused button, Escape does nothing, Tab and the
// arrows cycle, and the focus comes back to the button that had it.
class DialogKeysTest : public ProgramTest {
 protected:
  void Key(int vk, std::initializer_list<int> held = {}) {
    for (int k : held) hl.SetKeyDown(k, true);
    hl.PostKeyDown(vk);
    vcl::Application->ProcessMessages();
    for (int k : held) hl.SetKeyDown(k, false);
  }
  plat::Handle Focus() { return hl.GetFocus(); }
};

TEST_F(DialogKeysTest, FirstActivationFocusesOkAndEnterEndsTheProgram) {
  int status = Run({[&] {
    Form2->Show();
    EXPECT_EQ(Focus(), Form2->BitBtn1->Handle());
    Key(plat::kVkReturn);
    EXPECT_FALSE(hl.IsVisible(Form2->Handle()));  // hidden first
    closing = true;
  }});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(waits, 1);
}

TEST_F(DialogKeysTest, NavigationKeysCycleAndEscapeDoesNothing) {
  Run({[&] {
    Form2->Show();
    plat::Handle ok = Form2->BitBtn1->Handle(), cancel = Form2->BitBtn2->Handle();
    struct Step {
      int key;
      std::initializer_list<int> held;
      plat::Handle focus;
    } steps[] = {
        {plat::kVkTab, {}, cancel},
        {plat::kVkTab, {}, ok},  // wraps
        {plat::kVkTab, {plat::kVkShift}, cancel},
        {plat::kVkRight, {}, ok},
        {plat::kVkDown, {}, cancel},
        {plat::kVkLeft, {}, ok},
        {plat::kVkUp, {}, cancel},
        {plat::kVkEscape, {}, cancel},
        {plat::kVkReturn, {plat::kVkShift}, cancel},
        {plat::kVkReturn, {plat::kVkControl}, cancel},
        {plat::kVkReturn, {plat::kVkMenu}, cancel},
    };
    for (const Step& s : steps) {
      Key(s.key, s.held);
      EXPECT_EQ(Focus(), s.focus) << "key " << s.key;
      EXPECT_TRUE(hl.IsVisible(Form2->Handle())) << "key " << s.key;
    }
    EXPECT_FALSE(vcl::Application->Terminated());
  }});
}

TEST_F(DialogKeysTest, FocusComesBackToCancelSoEnterHidesAgain) {
  bool secondStepRan = false;
  int status = Run({[&] {
                      Form2->Show();
                      Key(plat::kVkTab);
                      Key(plat::kVkReturn);  // Cancel
                      EXPECT_FALSE(hl.IsVisible(Form2->Handle()));
                      // Something else is active meanwhile.
                      Form1->Show();
                      Form2->Show();
                      EXPECT_EQ(Focus(), Form2->BitBtn2->Handle());
                      Key(plat::kVkReturn);
                      EXPECT_FALSE(hl.IsVisible(Form2->Handle()));
                      EXPECT_FALSE(vcl::Application->Terminated());
                    },
                    [&] {
                      EXPECT_TRUE(hl.Window(Form1->Handle()).alive);
                      secondStepRan = true;
                    }});
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(secondStepRan);
}

TEST_F(ProgramTest, CloseRequestToTheDialogHidesItAndTheRunGoesOn) {
  bool secondStepRan = false;
  Run({[&] {
         Form2->Show();
         hl.Post(Form2->Handle(), {EventKind::Close});
       },
       [&] {
         EXPECT_FALSE(hl.IsVisible(Form2->Handle()));
         EXPECT_FALSE(vcl::Application->Terminated());
         EXPECT_TRUE(hl.Window(Form1->Handle()).alive);
         secondStepRan = true;
       }});
  EXPECT_TRUE(secondStepRan);
}

TEST_F(ProgramTest, OkLeavesAVisibleMainWindowVisibleUntilTheEnd) {
  int status = Run({[&] {
    Form1->Show();
    Form2->Show();
    hl.Send(Form2->BitBtn1->Handle(), {EventKind::Click});
    closing = true;
    EXPECT_FALSE(hl.IsVisible(Form2->Handle()));
    EXPECT_TRUE(hl.IsVisible(Form1->Handle()));
  }});
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(hl.Window(WindowOfClass("TForm1")).alive);
}

}  // namespace
