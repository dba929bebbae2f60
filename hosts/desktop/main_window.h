// The desktop host: a device bar, the plug-in loaded through its exports, and its control
// shown as a page titled with the control's Caption. Around the page's runs it holds the
// device's lock, and a window closed during a run ends the run at its next safe point first.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <string>

#include "control/cal_api.h"
#include "hosts/common/device.h"
#include "hosts/common/plugin_loader.h"
#include "hosts/common/recording_adapter.h"
#include "hosts/common/run_recorder.h"
#include "hosts/desktop/form_renderer.h"
#include "hosts/desktop/qt_platform.h"

class QComboBox;
class QLineEdit;
class QSpinBox;
class QTabWidget;
class QScrollArea;

namespace vx {

namespace sim {
class SimDevice;
}

struct DesktopOptions {
  std::string plugin;  // empty: next to the program, else the registered one
  DeviceChoice device;
  std::string config_dir;
  std::string target_info = "800.1.02";
  int dvmac = 0;
  bool virtual_time = false;  // tests
  double bus_wait_s = 1;      // how long a run waits for another program that holds the device
  Station station;            // where the runs' records go; the device bar names unit and operator
  std::string meter;          // a bench meter through libsigrok, DRIVER:KEY=VALUE...
};

class MainWindow : public QMainWindow, public IContainer {
  Q_OBJECT
 public:
  explicit MainWindow(DesktopOptions options, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Loads the plug-in and creates the control; false with the reason in error.
  bool LoadPlugin(std::string& error);
  // Opens the chosen device, writes the properties and shows the page (again).
  bool ConnectAndShow(std::string& error);

  Platform& AmbientPlatform() override { return platform_; }
  std::shared_ptr<SMBusAdapter> GetObjectProperty(const std::string& name) override;

  ICal* cal() const { return cal_; }
  FormRenderer* renderer() const { return renderer_; }
  QWidget* page() const { return page_; }
  QtPlatform& platform() { return platform_; }
  sim::SimDevice* simulator() const { return device_.sim.get(); }
  // The status bar's text.
  QString StatusText() const;
  // Opens the meter named in the device bar and the assistant that takes the references the
  // ticked calibrations need from it; nullptr (the reason in the status bar) when it cannot.
  class MeterAssistant* OpenMeterAssistant();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildDeviceBar();
  // A run of the page with its record around it.
  void RecordedRun(const std::string& key, const std::function<void()>& act);
  void BuildMenu();
  void Status(const QString& text);
  // A page action that may touch the device: a run holds the device's lock for its duration,
  // a scan tick skips while another program holds it.
  void AroundPageAction(const std::string& key, const std::function<void()>& act);
  void WarnAboutConfig();
  void FitPage();
  DeviceChoice ChosenDevice() const;

  DesktopOptions o_;
  QtPlatform platform_;
  std::unique_ptr<Plugin> plugin_;
  ICal* cal_ = nullptr;
  DeviceChoice connected_;
  OpenedDevice device_;
  std::shared_ptr<RecordingAdapter> bus_;
  DeviceAccount account_;
  std::vector<std::string> messages_;
  std::map<std::string, records::Json> sources_;  // references taken from the meter
  bool close_pending_ = false;
  bool fitted_ = false;
  QScrollArea* scroll_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QWidget* page_ = nullptr;
  FormRenderer* renderer_ = nullptr;
  QComboBox* device_kind_ = nullptr;
  QLineEdit* device_text_ = nullptr;
  QSpinBox* bus_address_ = nullptr;
  QSpinBox* target_address_ = nullptr;
  QSpinBox* dvmac_ = nullptr;
  QLineEdit* target_info_ = nullptr;
  QLineEdit* unit_ = nullptr;
  QLineEdit* operator_ = nullptr;
  QLineEdit* meter_ = nullptr;
};

}  // namespace vx
