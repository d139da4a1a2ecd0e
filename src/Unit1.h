// The main window: the two slot views, the slot marker, the poll timer and the tray icons.
#pragma once

#include <any>
#include <string>

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
  vcl::TButton* Button1 = nullptr;

  void Timer1Timer(vcl::TComponent* sender);
  void FormCreate(vcl::TComponent* sender);
  void Button1Click(vcl::TComponent* sender);
  void Memo1Click(vcl::TComponent* sender);
  void Memo2Click(vcl::TComponent* sender);

  std::any MethodAddress(const std::string& name) override;
};

extern TForm1* Form1;
