#include "form/form_model.h"

#include <algorithm>

#include <stdexcept>

namespace vx {

std::string Control::Key() const {
  return index < 0 ? name : name + "(" + std::to_string(index) + ")";
}

void Control::Changed() {
  if (owner_) owner_->Notify(*this);
}

void Control::SetText(std::string t) {
  if (t == text_) return;
  text_ = std::move(t);
  Changed();
}

void Control::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed();
}

void Control::SetEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  Changed();
}

void Control::SetValue(int v) {
  if (v == value_) return;
  value_ = v;
  Changed();
}

Control& FormModel::Add(const ControlInit& init) {
  auto c = std::make_unique<Control>();
  c->name = init.name;
  c->index = init.index;
  c->kind = init.kind;
  c->rect = init.rect;
  c->parent = init.parent;
  c->text_ = init.text;
  c->visible_ = init.visible;
  c->enabled_ = init.enabled;
  c->value_ = init.value;
  c->owner_ = this;
  std::string key = c->Key();
  if (by_key_.count(key)) throw std::logic_error("duplicate control " + key);
  if (!c->parent.empty() && !by_key_.count(c->parent)) {
    throw std::logic_error("parent of " + key + " not defined before it: " + c->parent);
  }
  Control& ref = *c;
  by_key_.emplace(key, c.get());
  controls_.push_back(std::move(c));
  return ref;
}

Control* FormModel::Find(std::string_view key) {
  auto it = by_key_.find(key);
  return it == by_key_.end() ? nullptr : it->second;
}

Control& FormModel::At(std::string_view name, int index) {
  std::string key(name);
  if (index >= 0) key += "(" + std::to_string(index) + ")";
  Control* c = Find(key);
  if (!c) throw std::out_of_range("no control " + key);
  return *c;
}

const Control& FormModel::At(std::string_view name, int index) const {
  return const_cast<FormModel*>(this)->At(name, index);
}

Control* FormModel::Parent(const Control& c) {
  return c.parent.empty() ? nullptr : Find(c.parent);
}

bool FormModel::EffectiveEnabled(const Control& c) const {
  for (const Control* p = &c; p; p = const_cast<FormModel*>(this)->Parent(*p)) {
    if (!p->enabled()) return false;
  }
  return true;
}

bool FormModel::EffectiveVisible(const Control& c) const {
  for (const Control* p = &c; p; p = const_cast<FormModel*>(this)->Parent(*p)) {
    if (!p->visible()) return false;
  }
  return true;
}

std::string FormModel::WhyNot(std::string_view key, std::initializer_list<Kind> kinds) {
  Control* c = Find(key);
  if (!c) return "unknown control";
  if (std::find(kinds.begin(), kinds.end(), c->kind) == kinds.end()) {
    return "not a control this action works on";
  }
  if (!EffectiveVisible(*c)) return "hidden";
  if (!EffectiveEnabled(*c)) return "disabled";
  return "";
}

void FormModel::SetHandler(std::string_view key, std::function<void()> handler) {
  handlers_[std::string(key)] = std::move(handler);
}

void FormModel::Fire(const std::string& key) {
  auto it = handlers_.find(key);
  if (it == handlers_.end() || !it->second) return;
  auto handler = it->second;  // a handler may replace handlers while it runs
  handler();
}

bool FormModel::Click(std::string_view key) {
  Control* c = Find(key);
  if (!c || !EffectiveVisible(*c) || !EffectiveEnabled(*c)) return false;
  switch (c->kind) {
    case Kind::kCommandButton:
      break;
    case Kind::kCheckBox:
      c->SetValue(c->value() == 1 ? 0 : 1);
      break;
    case Kind::kOptionButton:
      // Selecting one option clears the others of its group (same container).
      for (auto& other : controls_) {
        if (other.get() != c && other->kind == Kind::kOptionButton && other->parent == c->parent) {
          other->SetValue(0);
        }
      }
      c->SetValue(1);
      break;
    default:
      return false;
  }
  Fire(c->Key());
  return true;
}

bool FormModel::Type(std::string_view key, std::string text) {
  Control* c = Find(key);
  if (!c || c->kind != Kind::kTextBox || c->locked || !EffectiveVisible(*c) ||
      !EffectiveEnabled(*c)) {
    return false;
  }
  if (c->max_length > 0 && text.size() > static_cast<std::size_t>(c->max_length)) {
    text.resize(static_cast<std::size_t>(c->max_length));
  }
  c->SetText(std::move(text));
  return true;
}

bool FormModel::Tick(std::string_view key) {
  Control* c = Find(key);
  if (!c || c->kind != Kind::kTimer || !c->enabled()) return false;
  Fire(c->Key());
  return true;
}

int FormModel::AddObserver(Observer o) {
  int id = next_observer_++;
  observers_.emplace(id, std::move(o));
  return id;
}

void FormModel::RemoveObserver(int id) {
  observers_.erase(id);
}

void FormModel::Notify(const Control& c) {
  auto observers = observers_;  // an observer may remove itself
  for (auto& [id, o] : observers)
    o(c);
}

}  // namespace vx
