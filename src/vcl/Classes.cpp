#include "vcl/Classes.h"

#include <algorithm>
#include <map>

namespace vcl {

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->Insert(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  // Tell those who asked, then forget them; they may be gone before us.
  std::vector<TComponent*> notify;
  notify.swap(freeNotifies_);
  for (TComponent* c : notify) {
    c->Notification(this, TOperation::Remove);
    auto& back = c->freeNotifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
  }
  DestroyComponents();
  if (owner_) owner_->Remove(this);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* c = components_.back();
    delete c;  // its destructor removes it from components_
  }
}

void TComponent::Remove(TComponent* c) {
  components_.erase(std::remove(components_.begin(), components_.end(), c), components_.end());
  if (!destroying_) Notification(c, TOperation::Remove);
}

void TComponent::FreeNotification(TComponent* c) {
  if (!c || c == this) return;
  if (std::find(c->freeNotifies_.begin(), c->freeNotifies_.end(), this) == c->freeNotifies_.end()) {
    c->freeNotifies_.push_back(this);
    freeNotifies_.push_back(c);
  }
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::EndLoading() {
  loading_ = false;
  Loaded();
}

void TComponent::SetProperty(const std::string& name, const layout::Value& v, TComponent*) {
  if (name == "Name" && v.kind == layout::Value::Kind::String) {
    name_ = v.text;
    return;
  }
  UnknownProperty(name);
}

std::any TComponent::MethodAddress(const std::string&) { return {}; }

void TComponent::UnknownProperty(const std::string& name) {
  throw EReadError("プロパティ " + name + " がありません");
}

namespace {
std::map<std::string, ComponentFactory>& Registry() {
  static std::map<std::string, ComponentFactory> r;
  return r;
}
}  // namespace

void RegisterClass(const std::string& className, ComponentFactory factory) {
  Registry()[className] = std::move(factory);
}

TComponent* CreateComponent(const std::string& className, TComponent* owner) {
  auto it = Registry().find(className);
  if (it == Registry().end()) throw EReadError("クラス " + className + " が見つかりません");
  return it->second(owner);
}

}  // namespace vcl
