#include "app/QuintorbMain.h"

#include <new>

#include "Unit1.h"
#include "Unit2.h"
#include "platform/platform.h"
#include "vcl/ExtCtrls.h"
#include "vcl/Forms.h"

namespace {

constexpr std::uint32_t kErrorAlreadyExists = 183;

void RegisterComponentClasses() {
  using vcl::TComponent;
  vcl::RegisterClass("TMemo", [](TComponent* o) { return new vcl::TMemo(o); });
  vcl::RegisterClass("TEdit", [](TComponent* o) { return new vcl::TEdit(o); });
  vcl::RegisterClass("TButton", [](TComponent* o) { return new vcl::TButton(o); });
  vcl::RegisterClass("TBitBtn", [](TComponent* o) { return new vcl::TBitBtn(o); });
  vcl::RegisterClass("TLabel", [](TComponent* o) { return new vcl::TLabel(o); });
  vcl::RegisterClass("TTimer", [](TComponent* o) { return new vcl::TTimer(o); });
  vcl::RegisterClass("TTaskTray", [](TComponent* o) { return new TTaskTray(o); });
}

}  // namespace

int QuintorbMain() {
  plat::Platform& p = plat::Current();
  // The guard works by the name alone: the mutex is never owned or waited on.
  plat::MutexResult guard = p.CreateNamedMutex("Quintorb");
  std::uint32_t lastError = guard.lastError;
  if (!guard.handle) return -1;
  if (lastError == kErrorAlreadyExists) return -1;
  try {
    vcl::Application->Initialize();
    vcl::Application->CreateForm(Form1);
    vcl::Application->CreateForm(Form2);
    vcl::Application->Run();
    // Never owned, so the release is refused and the name stays claimed until the process ends.
    p.ReleaseNamedMutex(guard.handle);
  } catch (const vcl::Exception& e) {
    vcl::Application->ShowException(e);
  } catch (const std::bad_alloc& e) {
    vcl::Application->ShowException(e);
  }
  return 0;
}

int RunProcess() {
  RegisterComponentClasses();
  vcl::InitApplication();
  int status = QuintorbMain();
  vcl::DoneApplication();
  return status;
}

void ResetProcessState() {
  vcl::DoneApplication();
  Form1 = nullptr;
  Form2 = nullptr;
  SwitchCooldown = 0;
  ResetTrayState();
}
