// The desktop host: a device bar, the plug-in loaded through its exports, and its control
// shown as a page titled with the control's Caption.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

#include "control/cal_api.h"
#include "hosts/common/plugin_loader.h"
#include "hosts/desktop/form_renderer.h"
#include "hosts/desktop/qt_platform.h"

class QComboBox;
class QLineEdit;
class QSpinBox;
class QTabWidget;
class QLabel;

namespace vx {

struct DesktopOptions {
  std::string plugin;  // empty: next to the program, else the registered one
  bool use_bus = false;
  std::string sim_state;  // simulator state file, empty for the built-in device
  std::string bus = "/dev/i2c-1";
  int address7 = 0x0B;
  bool pec = false;
  std::string config_dir;
  std::string target_info = "800.1.02";
  int dvmac = 0;
  bool virtual_time = false;  // tests
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

 private:
  void BuildDeviceBar();
  void BuildMenu();
  void Status(const QString& text);

  DesktopOptions o_;
  QtPlatform platform_;
  std::unique_ptr<Plugin> plugin_;
  ICal* cal_ = nullptr;
  std::shared_ptr<SMBusAdapter> adapter_;
  QTabWidget* tabs_ = nullptr;
  QWidget* page_ = nullptr;
  FormRenderer* renderer_ = nullptr;
  QComboBox* device_ = nullptr;
  QLineEdit* device_text_ = nullptr;
  QSpinBox* bus_address_ = nullptr;
  QSpinBox* target_address_ = nullptr;
  QSpinBox* dvmac_ = nullptr;
  QLineEdit* target_info_ = nullptr;
};

}  // namespace vx
