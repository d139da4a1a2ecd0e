#include "Unit1.h"

#include <exception>

#include "Unit2.h"
#include "platform/platform.h"
#include "vcl/Clipbrd.h"

TForm1* Form1 = nullptr;
int SwitchCooldown = 0;

TForm1::TForm1(vcl::TComponent* owner) : vcl::TForm(owner) {
  Field("Memo2", Memo2);
  Field("Timer1", Timer1);
  Field("Memo1", Memo1);
  Field("Edit1", Edit1);
  Field("TaskTray1", TaskTray1);
  Field("TaskTray2", TaskTray2);
  Field("Button1", Button1);
  InitFromLayout("Unit1.dfm");
}

std::any TForm1::MethodAddress(const std::string& name) {
  using Handler = void (TForm1::*)(vcl::TComponent*);
  static const std::pair<const char*, Handler> kMethods[] = {
      {"Timer1Timer", &TForm1::Timer1Timer}, {"FormCreate", &TForm1::FormCreate},
      {"Button1Click", &TForm1::Button1Click}, {"Memo1Click", &TForm1::Memo1Click},
      {"Memo2Click", &TForm1::Memo2Click}};
  for (const auto& [n, m] : kMethods)
    if (name == n) return vcl::TNotifyEvent([this, m](vcl::TComponent* s) { (this->*m)(s); });
  using DblClick = void (TForm1::*)(vcl::TComponent*, TMouseButton);
  static const std::pair<const char*, DblClick> kDblClicks[] = {
      {"TaskTray1DblClick", &TForm1::TaskTray1DblClick},
      {"TaskTray2DblClick", &TForm1::TaskTray2DblClick}};
  for (const auto& [n, m] : kDblClicks)
    if (name == n)
      return TButtonDblClick([this, m](vcl::TComponent* s, TMouseButton b) { (this->*m)(s, b); });
  using MouseDown = void (TForm1::*)(vcl::TComponent*, TMouseButton, TShiftState, int, int);
  static const std::pair<const char*, MouseDown> kMouseDowns[] = {
      {"TaskTray1MouseDown", &TForm1::TaskTray1MouseDown},
      {"TaskTray2MouseDown", &TForm1::TaskTray2MouseDown}};
  for (const auto& [n, m] : kMouseDowns)
    if (name == n)
      return TMouseEvent([this, m](vcl::TComponent* s, TMouseButton b, TShiftState sh, int x,
                                   int y) { (this->*m)(s, b, sh, x, y); });
  return {};
}

std::intptr_t TForm1::WndProc(const plat::Event& e) {
  // The shell's notification area was made anew and has forgotten our icon: without it the
  // user could not reach the program at all.
  if (e.kind == plat::EventKind::TaskbarCreated) {
    TTaskTray::AddAllAgain();
    return 0;
  }
  return vcl::TForm::WndProc(e);
}

void TForm1::TaskTray1DblClick(vcl::TComponent*, TMouseButton) { Form2->Show(); }

void TForm1::TaskTray2DblClick(vcl::TComponent*, TMouseButton) { Form2->Show(); }

void TForm1::TaskTray1MouseDown(vcl::TComponent*, TMouseButton Button, TShiftState, int, int) {
  if (Button == mbRight) Form1->Show();
}

void TForm1::TaskTray2MouseDown(vcl::TComponent*, TMouseButton Button, TShiftState, int, int) {
  if (Button == mbRight) Form1->Show();
}

void TForm1::FormCreate(vcl::TComponent*) {
  // Start with nothing visible: no main window at the start of the run, no taskbar button.
  vcl::Application->ShowMainForm = false;
  plat::Current().SetVisible(vcl::Application->Handle(), false);
}

void TForm1::Button1Click(vcl::TComponent*) { Hide(); }

void TForm1::Timer1Timer(vcl::TComponent*) {
  // An error box of a failed tick runs its own loop; more ticks would only stack more boxes.
  if (vcl::Application->ShowingError()) return;
  PollTick();
}

void TForm1::Memo1Click(vcl::TComponent*) {
  if (Edit1->Text() != "A") SwitchSlot();
}

void TForm1::Memo2Click(vcl::TComponent*) {
  if (Edit1->Text() != "B") SwitchSlot();
}

bool TForm1::SwitchSlot() {
  const bool toB = Edit1->Text() == "A";
  const std::string& text = (toB ? Memo2 : Memo1)->Text();
  vcl::TClipboard& clipboard = vcl::Clipboard();
  std::uint32_t written = 0;
  switch (clipboard.SetText(text, written)) {
    case plat::ClipWrite::Ok:
      failedWrite_ = false;
      break;
    case plat::ClipWrite::CannotOpen:
      return false;
    case plat::ClipWrite::NoMemory:
      throw vcl::EOutOfMemory();
    case plat::ClipWrite::Failed:
      // The clipboard was emptied but not filled. Keep the poll from taking that emptiness for
      // a copy and wiping the active slot.
      failedWrite_ = true;
      failedWriteSeq_ = clipboard.Sequence();
      throw vcl::Exception("クリップボードに書き込めません");
  }
  // A refused tray add must not leave the switch half done: the marker, the colours and the
  // clipboard still move to the new slot, and the error is shown after.
  std::exception_ptr trayError;
  try {
    MoveTrayIndication(toB);
  } catch (const vcl::EInvalidOperation&) {
    trayError = std::current_exception();
  }
  if (toB) {
    Memo1->SetColor(vcl::clSilver);
    Memo1->SetFontColor(vcl::clWhite);
    Memo2->SetColor(vcl::clWindow);
    Memo2->SetFontColor(vcl::clBlack);
  } else {
    Memo1->SetColor(vcl::clWindow);
    Memo1->SetFontColor(vcl::clBlack);
    Memo2->SetColor(vcl::clSilver);
    Memo2->SetFontColor(vcl::clWhite);
  }
  Edit1->SetText(toB ? "B" : "A");  // last: until now every reading names the old slot
  // Our own write: the next tick need not read it back to know it equals the new slot.
  if (written) Remember(written, toB ? Memo2 : Memo1);
  if (trayError) std::rethrow_exception(trayError);
  return true;
}

void TForm1::MoveTrayIndication(bool toB) {
  std::exception_ptr first;
  auto write = [&first](TTaskTray* tray, bool on) {
    try {
      tray->SetRegistered(on);
    } catch (const vcl::EInvalidOperation&) {
      if (!first) first = std::current_exception();
    }
  };
  write(TaskTray1, !toB);
  write(TaskTray2, toB);
  if (first) std::rethrow_exception(first);
}

void TForm1::CaptureClipboard() {
  std::string text;
  // A clipboard held by another application is no answer: never take it for an empty one.
  if (vcl::Clipboard().GetText(text) != plat::ClipRead::Ok) return;
  ActiveView()->SetText(std::move(text));
}

vcl::TMemo* TForm1::ActiveView() { return Edit1->Text() == "A" ? Memo1 : Memo2; }

void TForm1::Remember(std::uint32_t seq, const vcl::TMemo* view) {
  syncValid_ = true;
  syncSeq_ = seq;
  syncView_ = view;
  syncGen_ = view->Generation();
}

void TForm1::PollTick() {
  plat::Platform& p = plat::Current();
  vcl::TClipboard& clipboard = vcl::Clipboard();

  // 1-2: the start marker and the start text.
  const std::string startMarker = Edit1->Text();
  const vcl::TMemo* startView = startMarker == "A" ? Memo1 : Memo2;
  // Read before the clipboard is opened: a change after this point shows at the next tick.
  const std::uint32_t seq = clipboard.Sequence();
  const bool known = syncValid_ && seq == syncSeq_ && startView == syncView_ &&
                     startView->Generation() == syncGen_;
  std::string startText;
  const bool haveText = !known && clipboard.GetText(startText) == plat::ClipRead::Ok;

  // 3-6: the switch chord, at most once in ten ticks.
  if (SwitchCooldown == 10) SwitchCooldown = 0;
  if (SwitchCooldown != 0) ++SwitchCooldown;
  bool switched = false;
  if (SwitchCooldown == 0 && p.GetAsyncKeyState(plat::kVkControl) != 0 &&
      p.GetAsyncKeyState(plat::kVkShift) != 0) {
    try {
      switched = SwitchSlot();
      if (switched) SwitchCooldown = 1;
    } catch (const vcl::EInvalidOperation&) {
      SwitchCooldown = 1;  // the switch was made; only its tray icon was refused
      throw;
    }
  }
  p.GetAsyncKeyState(plat::kVkControl);
  p.GetAsyncKeyState(plat::kVkShift);

  // 7: capture when the start text differs from the start marker's view.
  if (!haveText) return;
  if (failedWrite_ && seq == failedWriteSeq_) return;
  if (startText == startView->Text()) {
    if (!switched) Remember(seq, startView);  // a switch has remembered its own write
    return;
  }
  if (switched || clipboard.Sequence() != seq) {
    CaptureClipboard();
    return;
  }
  // Nothing changed the clipboard since the read above, so the capture's own read would bring
  // the same bytes: take them instead of copying a large text out of the clipboard twice.
  vcl::TMemo* view = ActiveView();
  view->SetText(std::move(startText));
  Remember(seq, view);
}
