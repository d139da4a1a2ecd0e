// The exit confirmation dialog.
#pragma once

#include <any>
#include <string>

#include "vcl/Forms.h"

class TForm2 : public vcl::TForm {
 public:
  explicit TForm2(vcl::TComponent* owner);

  vcl::TBitBtn* BitBtn1 = nullptr;
  vcl::TLabel* Label1 = nullptr;
  vcl::TBitBtn* BitBtn2 = nullptr;

  void BitBtn1Click(vcl::TComponent* sender);
  void BitBtn2Click(vcl::TComponent* sender);

  std::any MethodAddress(const std::string& name) override;
};

extern TForm2* Form2;
