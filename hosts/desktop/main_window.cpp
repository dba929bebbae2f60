#include "hosts/desktop/main_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include "config/plugin_folder.h"
#include "device/numeric.h"
#include "hosts/desktop/meter_assistant.h"
#include "hosts/desktop/records_window.h"
#include "hosts/station/page_state.h"
#include "hosts/station/references.h"
#include "hosts/station/restore.h"
#include "platform/outside_wait.h"
#include "records/store.h"
#include "sim/sim_device.h"
#include "version.h"

namespace vx {

namespace {

// Platforms without windows of their own (offscreen, for screenshots and tests) report every
// change of the window's size limits as unsupported; nothing needs to act on it.
QtMessageHandler g_next_handler = nullptr;
void QuietSizeHints(QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
  if (msg.contains("does not support propagateSizeHints")) return;
  if (g_next_handler) {
    g_next_handler(type, ctx, msg);
  } else {
    qt_message_output(type, ctx, msg);
  }
}

}  // namespace

MainWindow::MainWindow(DesktopOptions options, QWidget* parent)
    : QMainWindow(parent),
      o_(std::move(options)),
      platform_(o_.virtual_time),
      station_(platform_, platform_.interrupt),
      station_device_(&station_.device()) {
  static const bool quiet = [] {
    g_next_handler = qInstallMessageHandler(QuietSizeHints);
    return true;
  }();
  (void)quiet;
  setWindowTitle("vx58420 evaluation host");
  tabs_ = new QTabWidget(this);
  setCentralWidget(tabs_);
  statusBar();  // there from the start, so that the window's size counts it
  bar_ = new DeviceBar(*this, {o_.device, o_.device.address7 << 1, o_.dvmac, o_.target_info,
                               o_.station.unit, o_.station.operator_name, o_.meter});
  bar_->on_connect = [this] {
    std::string error;
    if (!ConnectAndShow(error)) Status(error);
  };
  station_.info = o_.station;
  station_.info.program = std::string("vx58420-host ") + VX_VERSION;
  station_.limits = o_.limits;
  platform_.on_message = [this](const std::string& text) { station_.NoteMessage(text); };
  // A wait on a meter or a database keeps the window's events going and ends when the window
  // closes meanwhile.
  Outside().stops = [this] { return platform_.interrupt.requests(); };
  Outside().pause = [this](Duration d) { platform_.Pause(d); };
  BuildMenu();
}

MainWindow::~MainWindow() {
  Outside() = OutsideWait{};  // the waits no longer reach this window
  delete renderer_;           // stops observing the control's page before the control goes
  renderer_ = nullptr;
}

void MainWindow::BuildMenu() {
  auto* file = menuBar()->addMenu("&File");
  file->addAction("&Quit", this, &QWidget::close);
  auto* control = menuBar()->addMenu("&Control");
  control->addAction("Read number of configured &capacitors", this, [this] {
    if (!cal()) return;
    std::int32_t r = cal()->ReadNumberofConfiguredCapacitors();
    Status("ReadNumberofConfiguredCapacitors returned " + std::to_string(r));
  });
  control->addAction("Calibrate &system voltage", this, [this] {
    if (cal()) AroundPageAction("CalSystemVoltage", nullptr);
  });
  control->addAction("&Print properties", this, [this] {
    if (cal()) cal()->PrintProperties();
  });
  control->addSeparator();
  control->addAction("&Show the page again", this, [this] {
    std::string error;
    if (cal()) {
      station_.Show();
    } else if (!ConnectAndShow(error)) {
      Status(error);
    }
  });
  auto* meter = menuBar()->addMenu("&Meter");
  meter->addAction("&Read references from the meter…", this, [this] { OpenMeterAssistant(); });
  auto* records = menuBar()->addMenu("&Records");
  records->addAction("&Recent records…", this, [this] { OpenRecords(); });
  records->addAction("&Statistics…", this, [this] { OpenStatistics(); });
}

void MainWindow::Status(const std::string& text) {
  statusBar()->showMessage(QString::fromStdString(text));
}

QString MainWindow::StatusText() const {
  return statusBar()->currentMessage();
}

bool MainWindow::LoadPlugin(std::string& error) {
  if (!station_.control().Load(o_.plugin, error)) return false;
  auto* scroll = new QScrollArea;
  page_ = new QWidget;
  renderer_ = new FormRenderer(station_.control().form(), page_, page_->logicalDpiX());
  renderer_->around = [this](const std::string& key, const std::function<void()>& act) {
    AroundPageAction(key, act);
  };
  renderer_->on_typed = [this](const std::string& key, const std::string& text) {
    station_.NoteGiven(key, text);
  };
  scroll->setWidget(page_);
  scroll->setWidgetResizable(false);
  tabs_->addTab(scroll, QString::fromStdString(station_.control().cal().Caption()));
  scroll_ = scroll;
  if (isVisible()) FitPage();
  return true;
}

std::string MainWindow::ConfigFolder() const {
  return vx::ConfigFolder(o_.config_dir, station_.control().library());
}

bool MainWindow::ConnectAndShow(std::string& error) {
  if (!cal() && !LoadPlugin(error)) return false;
  Connection& device = station_.device();
  const DeviceChoice chosen = bar_->Chosen();
  if (!device.Open(chosen, error)) {
    if (device.is_open()) {
      error += "; still connected to " + device.Name();
      bar_->Show(device.choice());
    }
    return false;
  }
  if (device.simulator()) device.simulator()->SetDelayProcessesEvents(true);  // a live window
  station_.properties = bar_->Properties(o_.config_dir);
  station_.guard = ReadGuardSettings(ConfigPathIn(ConfigFolder()));
  station_.Show();
  std::string said = device.Name();
  if (device.simulator()) {
    said = device.choice().sim_state.empty()
               ? "Simulated device (built in; its state is not saved)"
               : "Simulated device " + device.choice().sim_state + " (saved after each run)";
  }
  const auto warnings = ConfigWarnings(ConfigFolder(), station_.properties.target_info);
  if (!warnings.empty()) {
    said = "Config.ini: ";
    for (std::size_t i = 0; i < warnings.size(); ++i)
      said += (i ? "; " : "") + warnings[i];
  }
  Status(said);
  return true;
}

void MainWindow::AroundPageAction(const std::string& key, const std::function<void()>& act) {
  const RunKind* run = RunStartedBy(key);
  Connection& device = station_.device();
  if (!device.is_open() || (!run && key != "tmrScan")) {
    if (act) act();
    return;
  }
  std::string error;
  auto wait = std::chrono::milliseconds(static_cast<std::int64_t>(run ? o_.bus_wait_s * 1000 : 0));
  auto hold = device.Lock(wait, error);
  if (!hold) {
    Status((run ? "The run did not start: " : "Scan paused: ") + error);
    scan_paused_ = !run;
    return;
  }
  if (scan_paused_) {
    scan_paused_ = false;
    Status("Scan resumed: " + device.Name() + " is free again");
  }
  if (!run) {
    act();
    return;
  }
  // What speaks against the run is put to the user, Cancel the default answer; the answer goes
  // into the record.
  const auto objections = station_.Objections(*run);
  if (!objections.empty()) {
    std::string question = "Before the run starts:";
    for (const std::string& o : objections)
      question += "\n- " + records::Printable(o);
    question += "\n\nStart the run all the same?";
    if (QMessageBox::question(this, "Supercapacitor Calibration", QString::fromStdString(question),
                              QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Cancel) != QMessageBox::Ok) {
      Status("The run did not start: " + records::Printable(objections.front()));
      return;
    }
  }
  RecordedRun(*run, act, objections);
}

void MainWindow::RecordedRun(const RunKind& kind, const std::function<void()>& act,
                             const std::vector<std::string>& confirmed) {
  station_.info.unit = bar_->unit();
  station_.info.operator_name = bar_->operator_name();
  std::string why = records::CleanLabel(station_.info.unit);
  if (why.empty()) why = records::CleanLabel(station_.info.operator_name);
  if (!why.empty()) {
    Status("The run did not start: the unit or operator label " + why +
           " (at most 64 characters, no control characters)");
    return;
  }
  RunResult r = station_.Run(kind, act, nullptr, [&] {
    return confirmed.empty() ? records::Json() : records::Json{{"confirmed", confirmed}};
  });
  std::string said;
  if (!r.store_warning.empty()) said = "Warning: " + r.store_warning;
  if (Connection& device = station_.device();
      device.simulator() && !device.choice().sim_state.empty()) {
    try {
      device.SaveState(device.choice().sim_state);
    } catch (const std::exception& e) {
      said += (said.empty() ? "" : "; ") + std::string(e.what());
    }
  }
  if (said.empty() && !close_pending_ && r.record.id > 0) {
    said = "Record " + std::to_string(r.record.id) + ": " + r.record.run + ", " + r.outcome;
    const records::Json checks =
        r.record.limits.is_object() ? r.record.limits["checks"] : records::Json::array();
    for (const auto& c : checks) {
      if (!c["passed"].get<bool>()) {
        said += "; " + c["reading"].get<std::string>() + " " + c["residual"].dump() + " (at most " +
                FormatDouble(c["limit"].get<double>()) + ")";
      }
    }
  }
  if (kind.method && !r.done && !r.interrupted) {
    said += (said.empty() ? "" : "; ") + std::string("CalSystemVoltage returned ") +
            std::to_string(r.returned);
  }
  if (!said.empty()) Status(said);
}

std::string MainWindow::RestoreRecord(std::int64_t id, bool confirmed) {
  if (!cal()) return "No device is connected.";
  std::optional<records::RunRecord> r;
  try {
    r = records::OpenStore(station_.info.records == "none" ? "" : station_.info.records)->Get(id);
  } catch (const std::exception& e) {
    return e.what();
  }
  if (!r) return "There is no record " + std::to_string(id) + ".";
  RestorePlan plan = PlanRestore(*r);
  if (!plan.refused.empty()) return "Not restored: " + plan.refused + ".";
  if (!confirmed &&
      QMessageBox::question(this, "Restore", QString::fromStdString(RestoreQuestion(*r)),
                            QMessageBox::Ok | QMessageBox::Cancel,
                            QMessageBox::Cancel) != QMessageBox::Ok) {
    return "Not restored.";
  }
  std::string error;
  auto hold = station_.device().Lock(
      std::chrono::milliseconds(static_cast<std::int64_t>(o_.bus_wait_s * 1000)), error);
  if (!hold) return "Not restored: " + error;
  station_.info.unit = r->unit;
  RestoreResult result = Restore(station_, plan);
  if (Connection& device = station_.device();
      device.simulator() && !device.choice().sim_state.empty()) {
    device.SaveState(device.choice().sim_state);
  }
  std::string said = result.verified ? "Restored and verified: the data flash reads back as "
                                       "before record " +
                                           std::to_string(id) + "."
                                     : "Restore not verified: the data flash does not read back "
                                       "as before record " +
                                           std::to_string(id) + ".";
  Status(said);
  return said;
}

std::string MainWindow::OpenStatistics() {
  const std::string said = OpenLineStatistics(
      station_.info.records == "none" ? "" : station_.info.records,
      station_.limits.value_or(Limits{}),
      open_url ? open_url : [](const QUrl& url) { return QDesktopServices::openUrl(url); });
  Status(said);
  return said;
}

RecordsWindow* MainWindow::OpenRecords() {
  auto* w = new RecordsWindow(station_.info.records == "none" ? "" : station_.info.records, this);
  w->setAttribute(Qt::WA_DeleteOnClose);
  w->restore = [this](std::int64_t id) { return RestoreRecord(id, false); };
  w->Reload();
  w->show();
  return w;
}

void MainWindow::FitPage() {
  // The whole page on view where the screen allows it, without scroll bars: the window grows
  // by what the scroll area lacks, once the window's layout has its real sizes.
  const int frame = 2 * scroll_->frameWidth();
  QSize lack = (page_->size() + QSize(frame, frame) - scroll_->size()).expandedTo(QSize(0, 0));
  QSize wanted = size() + lack;
  if (QScreen* s = screen()) wanted = wanted.boundedTo(s->availableGeometry().size());
  resize(wanted);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!fitted_ && scroll_) {
    fitted_ = true;
    QTimer::singleShot(0, this, [this] { FitPage(); });
  }
}

MeterAssistant* MainWindow::OpenMeterAssistant() {
  if (!cal()) return nullptr;
  std::vector<std::string> keys =
      ReferenceKeysFor(station_.control().form(), *RunNamed("calibrate"));
  if (keys.empty()) {
    Status("Tick the calibrations first: the meter gives the references they need.");
    return nullptr;
  }
  std::unique_ptr<instruments::Meter> meter;
  try {
    meter = instruments::Meter::Open(bar_->meter());
  } catch (const instruments::MeterError& e) {
    Status(std::string("Meter: ") + e.what());
    return nullptr;
  }
  auto* assistant = new MeterAssistant(std::move(meter), station_.control().form(), keys, this);
  assistant->setAttribute(Qt::WA_DeleteOnClose);
  assistant->on_taken = [this](const std::string& label, const std::string& text,
                               const records::Json& source) {
    station_.SetReferenceSource(label, text, source);
    station_.NoteGiven(std::string(records::RowLabelled(label)->box), text);
  };
  assistant->show();
  return assistant;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!platform_.InControlCode()) {
    event->accept();
    return;
  }
  // A run is in progress: it stops at its next safe point (the wait in progress completes, the
  // device leaves calibration mode, FETs off after a current calibration), then the window goes.
  event->ignore();
  if (close_pending_) return;
  close_pending_ = true;
  platform_.interrupt.Request();
  Status(
      "Closing: the run stops safely at the end of the device's current wait, then the window "
      "closes.");
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, [this] {
    if (!platform_.InControlCode()) close();
  });
  poll->start(50);
}

}  // namespace vx
