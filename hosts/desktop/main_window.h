// The desktop host: a window over a station (device connection, the hosted control, recorded
// runs). The device bar chooses the device and the control's properties; the page is drawn by
// the form renderer under a tab titled with the control's Caption. Around the page's runs the
// station holds the device's lock and records them; a window closed during a run ends the run
// at its next safe point first.
#pragma once

#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>

#include "hosts/desktop/device_bar.h"
#include "hosts/desktop/form_renderer.h"
#include "hosts/desktop/qt_platform.h"
#include "hosts/station/station.h"

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
  StationInfo station;        // where the runs' records go; the device bar names unit and operator
  std::optional<Limits> limits;
  std::string meter;  // a bench meter through libsigrok, DRIVER:KEY=VALUE...
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(DesktopOptions options, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Loads the plug-in and creates the control; false with the reason in error.
  bool LoadPlugin(std::string& error);
  // Opens the device chosen in the device bar, writes the properties and shows the page
  // (again). A device that cannot be opened leaves the one before connected, and the bar shows
  // it again.
  bool ConnectAndShow(std::string& error);

  ICal* cal() { return station_.control().loaded() ? &station_.control().cal() : nullptr; }
  FormRenderer* renderer() const { return renderer_; }
  QWidget* page() const { return page_; }
  QtPlatform& platform() { return platform_; }
  Station& station() { return station_; }
  sim::SimDevice* simulator() const { return station_device_->simulator(); }
  QString StatusText() const;
  // Opens the meter named in the device bar and the assistant that takes the references the
  // ticked calibrations need from it; nullptr (the reason in the status bar) when it cannot.
  class MeterAssistant* OpenMeterAssistant();
  // The records window of the station's store, with restore and export.
  class RecordsWindow* OpenRecords();
  // The line's statistics of the station's store as a report, written to the cache folder and
  // opened in the default browser; what happened, in a sentence (also in the status bar).
  std::string OpenStatistics();
  // How a report is opened: the desktop's default browser (a test looks instead).
  std::function<bool(const QUrl&)> open_url;
  // Restores a record's data flash to the connected device as a recorded run (after the
  // question, unless `confirmed`); what happened, in a sentence.
  std::string RestoreRecord(std::int64_t id, bool confirmed);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenu();
  void Status(const std::string& text);
  // A page action that may touch the device: a run holds the device's lock for its duration
  // and is recorded; a scan tick skips while another program holds it.
  void AroundPageAction(const std::string& key, const std::function<void()>& act);
  void RecordedRun(const RunKind& kind, const std::function<void()>& act,
                   const std::vector<std::string>& confirmed);
  std::string ConfigFolder() const;
  void FitPage();

  DesktopOptions o_;
  QtPlatform platform_;
  Station station_;
  Connection* station_device_ = nullptr;
  DeviceBar* bar_ = nullptr;
  bool scan_paused_ = false;
  bool close_pending_ = false;
  bool fitted_ = false;
  QScrollArea* scroll_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QWidget* page_ = nullptr;
  FormRenderer* renderer_ = nullptr;
};

}  // namespace vx
