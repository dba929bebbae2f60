// The meter assistant of the desktop host: a window over the station's meter steps. It names
// where the probes go for each reference the page's ticked calibrations need, shows the meter's
// live reading while it settles, and the station types each settled value into the page's box.
// Why a step failed stays until the user takes the reading again or skips it to type the value
// himself. The user then presses the page's own button.
#pragma once

#include <QDialog>
#include <memory>

#include "hosts/station/meter_steps.h"

class QLabel;
class QPushButton;
class QTimer;

namespace vx {

class MeterAssistant : public QDialog {
  Q_OBJECT
 public:
  MeterAssistant(std::unique_ptr<MeterSteps> steps, QWidget* parent = nullptr);
  ~MeterAssistant() override;

  QPushButton* take_button() const { return take_; }
  QPushButton* skip_button() const { return skip_; }
  QLabel* position_label() const { return position_; }
  QLabel* live_label() const { return live_; }
  QLabel* failure_label() const { return failure_; }

 private:
  void ShowStep();
  void Tick();

  std::unique_ptr<MeterSteps> steps_;
  QLabel* position_ = nullptr;
  QLabel* live_ = nullptr;
  QLabel* failure_ = nullptr;
  QPushButton* take_ = nullptr;
  QPushButton* skip_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace vx
