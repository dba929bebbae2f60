// The meter assistant of the desktop host: it walks through the probe positions of the
// references the page's ticked calibrations need, shows the meter's live reading while it
// settles, and types each settled value into the page's box. The user then presses the page's
// own button.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "form/form_model.h"
#include "instruments/meter.h"
#include "records/record.h"

class QLabel;
class QPushButton;
class QTimer;

namespace vx {

class MeterAssistant : public QDialog {
  Q_OBJECT
 public:
  // keys: the page's boxes to fill, in the order the probes move.
  MeterAssistant(std::unique_ptr<instruments::Meter> meter, FormModel& page,
                 std::vector<std::string> keys, QWidget* parent = nullptr);
  ~MeterAssistant() override;

  // Called with each reference taken: its label, the text typed, and how (the meter, its
  // readings).
  std::function<void(const std::string& label, const std::string& text,
                     const records::Json& source)>
      on_taken;
  QPushButton* take_button() const { return take_; }
  QLabel* position_label() const { return position_; }
  QLabel* live_label() const { return live_; }

 private:
  void ShowPosition();
  void Take();
  void Tick();

  std::unique_ptr<instruments::Meter> meter_;
  FormModel& page_;
  std::vector<std::string> keys_;
  std::size_t at_ = 0;
  std::unique_ptr<instruments::Settler> settler_;
  double silent_ms_ = 0;
  QLabel* position_ = nullptr;
  QLabel* live_ = nullptr;
  QPushButton* take_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace vx
