#include "Unit2.h"

#include "Unit1.h"

TForm2* Form2 = nullptr;

TForm2::TForm2(vcl::TComponent* owner) : vcl::TForm(owner) {
  Field("BitBtn1", BitBtn1);
  Field("Label1", Label1);
  Field("BitBtn2", BitBtn2);
  InitFromLayout("Unit2.dfm");
}

std::any TForm2::MethodAddress(const std::string& name) {
  if (name == "BitBtn1Click") return vcl::TNotifyEvent([this](vcl::TComponent* s) { BitBtn1Click(s); });
  if (name == "BitBtn2Click") return vcl::TNotifyEvent([this](vcl::TComponent* s) { BitBtn2Click(s); });
  return {};
}

// OK: hide, then close the main window, which ends the run.
void TForm2::BitBtn1Click(vcl::TComponent*) {
  Close();
  Form1->Close();
}

void TForm2::BitBtn2Click(vcl::TComponent*) { Hide(); }
