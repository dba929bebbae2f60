// A page as data: every control with its kind, text, rectangle (twips), parent, flags, value
// and look, plus the handlers its events run. Toolkit-free: a renderer draws it, a headless
// host drives it, and the page's code reads and writes it the same way in both cases.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

enum class Kind {
  kPictureBox,
  kFrame,
  kCheckBox,
  kTextBox,
  kLabel,
  kCommandButton,
  kOptionButton,
  kProgressBar,
  kImage,
  kTimer
};
enum class Align { kLeft, kRight, kCenter };

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;  // twips, relative to the parent
};

// Colours as 0xRRGGBB.
inline constexpr std::uint32_t kLightGrey = 0xE0E0E0;
inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kBlack = 0x000000;

class FormModel;

class Control {
 public:
  // Design-time description; the page's set-up fills these once.
  std::string name;
  int index = -1;  // element of a control array, -1 for a plain control
  Kind kind = Kind::kLabel;
  Rect rect;
  std::string parent;   // key of the containing control, empty for the control's surface
  int max_length = 0;   // text boxes: 0 = unlimited
  bool locked = false;  // text boxes the user cannot type into
  double font_size = 8.25;
  bool bold = false;
  std::uint32_t back_color = kLightGrey;
  std::uint32_t fore_color = kBlack;
  std::string tooltip;
  Align alignment = Align::kLeft;
  bool border = true;   // frames: a frame without caption or border is a plain box
  int interval_ms = 0;  // timers

  std::string Key() const;

  // Run-time state. Setters notify the model's observers when something changes.
  const std::string& text() const { return text_; }  // caption or text
  bool visible() const { return visible_; }          // own flag
  bool enabled() const { return enabled_; }          // own flag
  int value() const { return value_; }               // check box 0/1/2, option 0/1, progress 0..100
  void SetText(std::string t);
  void SetVisible(bool v);
  void SetEnabled(bool e);
  void SetValue(int v);

 private:
  friend class FormModel;
  void Changed();
  FormModel* owner_ = nullptr;
  std::string text_;
  bool visible_ = true;
  bool enabled_ = true;
  int value_ = 0;
};

struct ControlInit {
  std::string name;
  int index = -1;
  Kind kind = Kind::kLabel;
  std::string text;
  Rect rect;
  std::string parent;
  bool visible = true;
  bool enabled = true;
  int value = 0;
};

class FormModel {
 public:
  FormModel() = default;
  FormModel(const FormModel&) = delete;
  FormModel& operator=(const FormModel&) = delete;

  Control& Add(const ControlInit& init);

  // Throws std::out_of_range for an unknown control: the page's own code never asks for one.
  Control& At(std::string_view name, int index = -1);
  const Control& At(std::string_view name, int index = -1) const;
  Control* Find(std::string_view key);
  // Controls in creation order, which is also the stacking order (later ones on top).
  const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
  Control* Parent(const Control& c);

  // Usable and on view: the control's own flag and that of every container above it.
  bool EffectiveEnabled(const Control& c) const;
  bool EffectiveVisible(const Control& c) const;

  // Design size of the surface, in twips.
  int width = 0;
  int height = 0;

  // Why a user could not act on the control now, in a word ("unknown control", "not a control
  // this action works on", "hidden", "disabled"), or "" when he could.
  std::string WhyNot(std::string_view key, std::initializer_list<Kind> kinds);

  // What a user does. Each returns false and does nothing when the control is not on view and
  // usable (or is of the wrong kind), as a real page would.
  bool Click(std::string_view key);                   // buttons; check boxes toggle; options select
  bool Type(std::string_view key, std::string text);  // text boxes, cut to max_length
  // What the host's timer does when its interval has passed; false if the timer is off.
  bool Tick(std::string_view key);

  // Handlers of the page's events: click of a button, check box or option, tick of a timer.
  void SetHandler(std::string_view key, std::function<void()> handler);

  // Observers see every change of text, visibility, enabled flag or value.
  using Observer = std::function<void(const Control&)>;
  int AddObserver(Observer o);
  void RemoveObserver(int id);

 private:
  friend class Control;
  void Notify(const Control& c);
  void Fire(const std::string& key);

  std::vector<std::unique_ptr<Control>> controls_;
  std::map<std::string, Control*, std::less<>> by_key_;
  std::map<std::string, std::function<void()>, std::less<>> handlers_;
  std::map<int, Observer> observers_;
  int next_observer_ = 1;
};

}  // namespace vx
