// The main window: the two slot views, the slot marker, the poll timer and the tray icons.
#pragma once

#include <any>
#include <string>

#include "TaskTray.h"
#include "vcl/ExtCtrls.h"
#include "vcl/Forms.h"

class TForm1 : public vcl::TForm {
 public:
  explicit TForm1(vcl::TComponent* owner);

  // Controls from the stored layout, in declaration order.
  vcl::TMemo* Memo2 = nullptr;
  vcl::TTimer* Timer1 = nullptr;
  vcl::TMemo* Memo1 = nullptr;
  vcl::TEdit* Edit1 = nullptr;
  TTaskTray* TaskTray1 = nullptr;
  TTaskTray* TaskTray2 = nullptr;
  vcl::TButton* Button1 = nullptr;

  // Makes the other slot active: its text goes to the clipboard, the tray and the colours follow,
  // the marker flips last. Returns false, changing nothing, when the clipboard could not be
  // opened (another application holds it); the caller may try again later.
  bool SwitchSlot();
  // Copies the clipboard's text into the active slot; leaves it for later if the clipboard
  // cannot be opened.
  void CaptureClipboard();
  // One poll: the switch chord, then the clipboard against the active slot.
  void PollTick();

  void Timer1Timer(vcl::TComponent* sender);
  void FormCreate(vcl::TComponent* sender);
  void TaskTray1DblClick(vcl::TComponent* Seft, TMouseButton Button);
  void TaskTray2DblClick(vcl::TComponent* Seft, TMouseButton Button);
  void TaskTray1MouseDown(vcl::TComponent* Sender, TMouseButton Button, TShiftState Shift, int X,
                          int Y);
  void Button1Click(vcl::TComponent* sender);
  void Memo1Click(vcl::TComponent* sender);
  void Memo2Click(vcl::TComponent* sender);
  void TaskTray2MouseDown(vcl::TComponent* Sender, TMouseButton Button, TShiftState Shift, int X,
                          int Y);

  std::any MethodAddress(const std::string& name) override;

 protected:
  std::intptr_t WndProc(const plat::Event& e) override;

 private:
  // The tray step of a switch: the new slot's icon in, the old one out, TaskTray1 written first.
  // Both writes are made even if the first is refused; the first refusal is raised after.
  void MoveTrayIndication(bool toB);
  vcl::TMemo* ActiveView();
  void Remember(std::uint32_t seq, const vcl::TMemo* view);

  // What the last tick found: the clipboard at sequence number syncSeq_ held exactly the text
  // of syncView_ at its generation syncGen_. While all three still hold, a tick knows without
  // opening the clipboard that there is nothing to capture, so an idle tick costs the same
  // whatever the clipboard holds.
  bool syncValid_ = false;
  std::uint32_t syncSeq_ = 0;
  const vcl::TMemo* syncView_ = nullptr;
  std::uint64_t syncGen_ = 0;
  // A switch whose write emptied the clipboard but could not fill it: until somebody changes
  // the clipboard again, its emptiness is ours and must not be captured over the slot.
  bool failedWrite_ = false;
  std::uint32_t failedWriteSeq_ = 0;
};

extern TForm1* Form1;
// Ticks since the last hot-key switch (0: the chord may switch now). Only the poll touches it.
extern int SwitchCooldown;
