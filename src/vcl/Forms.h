// Forms and the application object: the main-window rule, the run loop, the default exception
// display, the dialog keyboard.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <new>
#include <string>

#include "vcl/Controls.h"

namespace vcl {

enum class TFormBorderStyle : std::uint8_t { None, Single, Sizeable, Dialog, ToolWindow };
enum class TPosition : std::uint8_t { Designed, ScreenCenter };

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);

  // Made visible and brought to the front; a visible form is only brought to the front.
  void Show();
  void Hide() { SetVisible(false); }
  // Closing hides the form; closing the main form ends the run.
  void Close();

  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  bool StayOnTop() const { return stayOnTop_; }
  bool HasSystemMenu() const { return systemMenu_; }

  TWinControl* ActiveControl() const { return activeControl_; }
  // Tab, Shift+Tab, arrows, Enter, Escape as a dialog takes them; true when the key was used.
  bool DialogKey(int key);

  TNotifyEvent OnCreate;

  void SetProperty(const std::string& name, const layout::Value& v, TComponent* root) override;
  void FocusChanged(TWinControl* control);

 protected:
  // A form class names its control members so that reading the layout fills them in.
  template <class T>
  void Field(const std::string& name, T*& member) {
    fields_[name] = [&member](TComponent* c) {
      member = dynamic_cast<T*>(c);
      if (!member) throw EReadError("フィールドの型が違います");
    };
  }
  void Notification(TComponent* component, TOperation op) override;

  // Reads the named stored layout into this form, runs after-load for everything read, then the
  // create event. Called at the end of a form class's constructor.
  void InitFromLayout(const char* resourceName);

  plat::WindowSpec CreateParams() override;
  std::intptr_t WndProc(const plat::Event& e) override;
  void Realign() override;

 private:
  void ReadNode(const layout::Node& node, TComponent* self, TWinControl* parent);
  void UpdateFrameSize();
  std::vector<TWinControl*> TabList();

  int clientWidth_ = 0, clientHeight_ = 0;
  TFormBorderStyle borderStyle_ = TFormBorderStyle::Sizeable;
  bool systemMenu_ = true;
  bool stayOnTop_ = false;
  TPosition position_ = TPosition::Designed;
  TWinControl* activeControl_ = nullptr;
  std::string iconData_;
  std::string className_ = "TForm";
  std::map<std::string, std::function<void(TComponent*)>> fields_;
};

class TApplication : public TComponent, public plat::WindowSink {
 public:
  TApplication();
  ~TApplication() override;

  plat::Handle Handle() const { return handle_; }
  // Formed once from the executable's name; read back from the application window.
  std::string Title() const;
  static std::string TitleFromExeName(const std::string& path);

  TForm* MainForm() const { return mainForm_; }
  bool ShowMainForm = true;
  bool Terminated() const { return terminated_; }

  void Initialize() {}
  // Allocates the form, sets `ref`, constructs it; on failure `ref` is null again and the
  // exception goes on. The first form created becomes the main form.
  template <class T>
  void CreateForm(T*& ref) {
    void* mem = ::operator new(sizeof(T));
    ref = static_cast<T*>(mem);
    try {
      new (mem) T(this);
    } catch (...) {
      ref = nullptr;
      ::operator delete(mem);
      throw;
    }
    FormCreated(ref);
  }

  void Run();
  void Terminate();
  void ProcessMessages();
  void HandleMessage();

  void HandleException(const std::exception& e);
  void ShowException(const std::exception& e);
  // True while an error box is open (its own message loop runs then).
  bool ShowingError() const { return errorBoxes_ > 0; }

  // Process end: hides the application's windows and destroys its forms, the newest first.
  // Runs once, and only if Run registered it.
  void RunExitProcedures();

  std::intptr_t HandleEvent(const plat::Event& e) override;

 private:
  bool ProcessMessage();
  void FormCreated(TForm* f);

  plat::Handle handle_ = 0;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  bool exitProcRegistered_ = false;
  int errorBoxes_ = 0;
};

// The application object, created by InitApplication at process start.
extern TApplication* Application;
void InitApplication();
// Runs the exit procedures and frees the application object.
void DoneApplication();

}  // namespace vcl
