// Component base: ownership, names, stored-layout properties, notifications.
#pragma once

#include <any>
#include <functional>
#include <string>
#include <vector>

#include "vcl/Layout.h"
#include "vcl/SysUtils.h"

namespace vcl {

class TComponent;

using TNotifyEvent = std::function<void(TComponent* sender)>;

enum class TOperation { Insert, Remove };

class TComponent {
 public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  const std::vector<TComponent*>& Components() const { return components_; }

  // Destroys every component this one owns, the most recently created first.
  void DestroyComponents();

  // Design state: the component is hosted by a designer, not running.
  bool Designing() const { return designing_; }
  void SetDesigning(bool on) { designing_ = on; }
  bool Loading() const { return loading_; }
  bool Destroying() const { return destroying_; }

  // Ask to be told (Notification with Remove) when `c` is destroyed.
  void FreeNotification(TComponent* c);

  // Stored layouts: a property read from the layout. `root` is the form whose methods handle
  // events. Unknown properties raise EReadError.
  virtual void SetProperty(const std::string& name, const layout::Value& v, TComponent* root);
  // The root's published methods by name, as a typed event handler in std::any (empty if none).
  virtual std::any MethodAddress(const std::string& name);

  // Marks the start and end of reading from a stored layout; EndLoading calls Loaded().
  void BeginLoading() { loading_ = true; }
  void EndLoading();

 protected:
  virtual void Loaded() {}
  virtual void Notification(TComponent* component, TOperation op);

  // For SetProperty overrides: an event handler bound by method name.
  template <class Event>
  static Event BindMethod(TComponent* root, const layout::Value& v) {
    if (v.kind != layout::Value::Kind::Ident || !root) throw EReadError("イベントの値が不正です");
    std::any m = root->MethodAddress(v.text);
    if (const Event* e = std::any_cast<Event>(&m)) return *e;
    throw EReadError("メソッド " + v.text + " がありません");
  }
  [[noreturn]] static void UnknownProperty(const std::string& name);

 private:
  void Insert(TComponent* c) { components_.push_back(c); }
  void Remove(TComponent* c);

  TComponent* owner_;
  std::string name_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  bool designing_ = false;
  bool loading_ = false;
  bool destroying_ = false;
};

// Class registry for stored layouts: makes a component of a named class with an owner.
using ComponentFactory = std::function<TComponent*(TComponent* owner)>;
void RegisterClass(const std::string& className, ComponentFactory factory);
TComponent* CreateComponent(const std::string& className, TComponent* owner);

}  // namespace vcl
