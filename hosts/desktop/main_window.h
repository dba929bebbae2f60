// The desktop host: a window over a station (device connection, the hosted control, recorded
// runs). The device bar chooses the device and the control's properties; the page is drawn by
// the form renderer under a tab titled with the control's Caption. Beside the page the
// station's verdict on the last run and the last things it said stay until the next run. A
// window closed during a run ends the run at its next safe point first.
#pragma once

#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>

#include "hosts/desktop/device_bar.h"
#include "hosts/qt/form_renderer.h"
#include "hosts/qt/qt_platform.h"
#include "hosts/station/station.h"
#include "hosts/station/station_options.h"

class QLabel;
class QListWidget;
class QTabWidget;
class QScrollArea;

namespace vx {

namespace sim {
class SimDevice;
}

// The station's settings (the meter's address fills the device bar's field), and what the
// window adds.
struct DesktopOptions : StationSettings {
  DesktopOptions() { bus_wait_s = 1; }  // a run waits for another program a moment, no more
  int dvmac = 0;
  bool virtual_time = false;  // tests
};

class MainWindow : public QMainWindow, private StationUi {
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
  // The verdict beside the page, and the last thing said in the messages below it.
  QLabel* verdict() const { return verdict_; }
  QString Said() const;
  // Opens the meter named in the device bar and the assistant that takes the references the
  // ticked calibrations need from it; nullptr (the reason said) when it cannot.
  class MeterAssistant* OpenMeterAssistant();
  // The records window of the station's store, with restore and export.
  class RecordsWindow* OpenRecords();
  // The line's statistics of the station's store as a report, written to the cache folder and
  // opened in the default browser; what happened, in a sentence (also said).
  std::string OpenStatistics();
  // How a report is opened: the desktop's default browser (a test looks instead).
  std::function<bool(const QUrl&)> open_url;
  // Restores a record's data flash to the connected device as the station's operation; what
  // happened, in a sentence.
  std::string RestoreRecord(std::int64_t id);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // What the station asks and shows, in the window.
  bool Ask(Question kind, const std::string& question,
           const std::vector<std::string>& points) override;
  void Warn(const std::string& text) override;
  void RunStarts(const RunKind& kind) override;
  void RunEnds() override {}
  void Show(const Outcome& o) override;

  void BuildMenu();
  void Status(const std::string& text);
  // Into the messages beside the page, where it stays readable.
  void Say(const std::string& text);
  // A page action that may touch the device: a run is the station's operation; a scan tick
  // skips while another program holds the device.
  void AroundPageAction(const std::string& key, const std::function<void()>& act);
  void FitPage();

  DesktopOptions o_;
  QtPlatform platform_;
  Station station_;
  Connection* station_device_ = nullptr;
  DeviceBar* bar_ = nullptr;
  bool scan_paused_ = false;
  bool silent_said_ = false;  // the hint for a device that does not answer was given
  bool close_pending_ = false;
  bool fitted_ = false;
  QScrollArea* scroll_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QWidget* page_ = nullptr;
  FormRenderer* renderer_ = nullptr;
  QLabel* verdict_ = nullptr;
  QListWidget* messages_ = nullptr;
};

}  // namespace vx
