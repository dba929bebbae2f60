// Draws any form model as Qt widgets and binds their state both ways: a user's typing and
// clicking go to the model, every change of the model goes to the widgets.
#pragma once

#include <QObject>
#include <QPixmap>
#include <functional>
#include <map>
#include <string>

#include "form/form_model.h"

class QWidget;
class QTimer;
class QStyle;

namespace vx {

class FormRenderer : public QObject {
  Q_OBJECT
 public:
  // Builds the widgets inside surface. dpi: the screen's logical dots per inch (96: 15 twips
  // make a pixel).
  FormRenderer(FormModel& form, QWidget* surface, double dpi);
  ~FormRenderer() override;

  int Pixels(int twips) const;
  QWidget* WidgetFor(const std::string& key) const;
  QTimer* TimerFor(const std::string& key) const;
  // The done mark: a white square with a red tick.
  static QPixmap DoneMark(QSize size);

  // What the host does around a button's click and a timer's tick (a run holds the bus, a
  // tick skips while another program has it): it calls act, or not.
  std::function<void(const std::string& key, const std::function<void()>& act)> around;
  // A user typed into a text box (not the page's own writes): the key and the text now.
  std::function<void(const std::string& key, const std::string& text)> on_typed;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Build(const Control& c);
  void HidePartlyCoveredIndicators();
  void Act(const std::string& key, const std::function<void()>& act);
  void Update(const Control& c);

  FormModel& form_;
  QWidget* surface_;
  double dpi_;
  std::map<std::string, QWidget*> widgets_;
  std::map<std::string, QTimer*> timers_;
  int observer_ = 0;
  bool updating_ = false;  // a model change being pushed into the widgets
  QStyle* frame_style_ = nullptr;
};

}  // namespace vx
