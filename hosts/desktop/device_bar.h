// The desktop's device bar: which device (simulator state or bus node, the 7-bit address), the
// properties the host writes into the control (TargetAddress, DVMAC, TargetInfo) with "Connect
// and show", and the station's row (unit, operator, meter). Three tool bars of the main window.
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "hosts/station/connection.h"
#include "hosts/station/simple_container.h"

class QComboBox;
class QLineEdit;
class QMainWindow;
class QSpinBox;

namespace vx {

struct DeviceBarValues {
  DeviceChoice device;
  int target_address = 0x16;
  int dvmac = 0;
  std::string target_info = "800.1.02";
  std::string unit, operator_name, meter;
};

class DeviceBar : public QObject {
  Q_OBJECT
 public:
  // Adds the bars to the window, filled with `start`.
  DeviceBar(QMainWindow& window, const DeviceBarValues& start);

  // The device the user chose, as the bar shows it now.
  DeviceChoice Chosen() const;
  // Back to the device that is connected (after a choice that could not be opened).
  void Show(const DeviceChoice& connected);
  HostProperties Properties(const std::string& config_folder) const;
  std::string unit() const;
  std::string operator_name() const;
  std::string meter() const;

  // The user pressed "Connect and show".
  std::function<void()> on_connect;

 private:
  QComboBox* kind_ = nullptr;
  QLineEdit* path_ = nullptr;
  QSpinBox* address7_ = nullptr;
  QSpinBox* target_address_ = nullptr;
  QSpinBox* dvmac_ = nullptr;
  QLineEdit* target_info_ = nullptr;
  QLineEdit* unit_ = nullptr;
  QLineEdit* operator_ = nullptr;
  QLineEdit* meter_ = nullptr;
  DeviceChoice base_;  // what the bar does not show (PEC)
};

}  // namespace vx
