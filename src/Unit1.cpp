#include "Unit1.h"

#include "platform/platform.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(vcl::TComponent* owner) : vcl::TForm(owner) {
  Field("Memo2", Memo2);
  Field("Timer1", Timer1);
  Field("Memo1", Memo1);
  Field("Edit1", Edit1);
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
  return {};
}

void TForm1::FormCreate(vcl::TComponent*) {
  // Start with nothing visible: no main window at the start of the run, no taskbar button.
  vcl::Application->ShowMainForm = false;
  plat::Current().SetVisible(vcl::Application->Handle(), false);
}

void TForm1::Button1Click(vcl::TComponent*) { Hide(); }

void TForm1::Timer1Timer(vcl::TComponent*) {}

void TForm1::Memo1Click(vcl::TComponent*) {}

void TForm1::Memo2Click(vcl::TComponent*) {}
