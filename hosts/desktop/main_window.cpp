#include "hosts/desktop/main_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "config/plugin_folder.h"
#include "device/numeric.h"
#include "hosts/desktop/meter_assistant.h"
#include "hosts/desktop/records_window.h"
#include "hosts/station/meter_steps.h"
#include "hosts/station/page_state.h"
#include "hosts/station/references.h"
#include "platform/outside_wait.h"
#include "records/store.h"
#include "sim/sim_device.h"
#include "version.h"

namespace vx {

MainWindow::MainWindow(DesktopOptions options, QWidget* parent)
    : QMainWindow(parent),
      o_(std::move(options)),
      platform_(o_.virtual_time),
      station_(platform_, platform_.interrupt, this),
      station_device_(&station_.device()) {
  QtPlatform::QuietenSizeHints();
  setWindowTitle("vx58420 evaluation host");
  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  tabs_ = new QTabWidget;
  row->addWidget(tabs_, 1);
  // Beside the page: the verdict on the last run, and what the station said, kept readable.
  auto* side = new QVBoxLayout;
  verdict_ = new QLabel("No run yet.");
  verdict_->setObjectName("verdict");
  verdict_->setWordWrap(true);
  verdict_->setMargin(8);
  verdict_->setMinimumHeight(90);
  verdict_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QFont big = verdict_->font();
  big.setPointSizeF(big.pointSizeF() * 1.3);
  big.setBold(true);
  verdict_->setFont(big);
  side->addWidget(verdict_);
  messages_ = new QListWidget;
  messages_->setObjectName("messages");
  messages_->setWordWrap(true);
  side->addWidget(messages_, 1);
  auto* panel = new QWidget;
  panel->setLayout(side);
  panel->setFixedWidth(300);
  row->addWidget(panel);
  setCentralWidget(central);
  statusBar();  // there from the start, so that the window's size counts it
  bar_ = new DeviceBar(*this, {o_.device, o_.device.address7 << 1, o_.dvmac, o_.target_info,
                               o_.station.unit, o_.station.operator_name, o_.meter.address});
  bar_->on_connect = [this] {
    std::string error;
    if (!ConnectAndShow(error)) Say(error);
  };
  Configure(station_, o_, std::string("vx58420-host ") + VX_VERSION);
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
      Say(error);
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

void MainWindow::Say(const std::string& text) {
  constexpr int kKept = 50;
  messages_->addItem(QString::fromStdString(records::Printable(text)));
  while (messages_->count() > kKept)
    delete messages_->takeItem(0);
  messages_->scrollToBottom();
}

QString MainWindow::Said() const {
  return messages_->count() ? messages_->item(messages_->count() - 1)->text() : QString();
}

bool MainWindow::Ask(Question, const std::string& question,
                     const std::vector<std::string>& points) {
  std::string text = records::Printable(question);
  for (const std::string& p : points)
    text += "\n- " + records::Printable(p);
  text += "\n\nGo on all the same?";
  return QMessageBox::question(this, "Supercapacitor Calibration", QString::fromStdString(text),
                               QMessageBox::Ok | QMessageBox::Cancel,
                               QMessageBox::Cancel) == QMessageBox::Ok;
}

void MainWindow::Warn(const std::string& text) {
  Say("Warning: " + text);
}

void MainWindow::RunStarts(const RunKind& kind) {
  verdict_->setText(QString::fromStdString(std::string(kind.title) + ": running…"));
  verdict_->setStyleSheet("background: #eeeeee; color: #222222");
}

void MainWindow::Show(const Outcome& o) {
  if (!o.started) {
    std::string why;
    for (const std::string& r : o.reasons)
      why += (why.empty() ? "" : "; ") + r;
    Say((o.run == "Restore" ? "Not restored: " : "The run did not start: ") + why);
    return;
  }
  if (close_pending_) return;
  const bool good = o.verdict == "done";
  std::string verdict = o.verdict == "done"            ? "Done within limits"
                        : o.verdict == "out of limits" ? "Out of limits"
                        : o.verdict == "interrupted"   ? "Interrupted"
                        : o.verdict == "refused"       ? "Refused by the page"
                                                       : "Failed";
  if (!o.limits.is_object() && good) verdict = "Done";
  for (const std::string& b : o.beyond_limits)
    verdict += "\n" + b;
  verdict_->setText(QString::fromStdString(o.run + ": " + verdict));
  verdict_->setStyleSheet(good ? "background: #2ca02c; color: white"
                               : "background: #d62728; color: white");
  const std::string said = o.Said(
      "Records > Recent records, Restore record {} brings back the data flash from before it.");
  Say(said);
  if (o.verdict == "out of limits") {
    auto* box = new QMessageBox(QMessageBox::Warning, "Supercapacitor Calibration",
                                QString::fromStdString(said), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();  // the window goes on; the box stays until it is read
  }
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
  ReadGuard(station_, o_, station_.control().library());
  station_.state_file = device.simulator() ? device.choice().sim_state : "";
  silent_said_ = false;
  station_.Show();
  std::string said = device.Name();
  if (device.simulator()) {
    said = device.choice().sim_state.empty()
               ? "Simulated device (built in; its state is not saved)"
               : "Simulated device " + device.choice().sim_state + " (saved after each run)";
  }
  Status(said);
  for (const std::string& w :
       ConfigWarnings(vx::ConfigFolder(o_.config_dir, station_.control().library()),
                      station_.properties.target_info))
    Say("Config.ini: " + w);
  return true;
}

void MainWindow::AroundPageAction(const std::string& key, const std::function<void()>& act) {
  const RunKind* run = RunStartedBy(key);
  Connection& device = station_.device();
  if (!device.is_open() || (!run && key != "tmrScan")) {
    if (act) act();
    return;
  }
  if (run) {
    station_.info.unit = bar_->unit();
    station_.info.operator_name = bar_->operator_name();
    station_.PageRun(*run);
    return;
  }
  std::string error;
  auto hold = device.Lock(std::chrono::milliseconds(0), error);
  if (!hold) {
    Status("Scan paused: " + error);
    scan_paused_ = true;
    return;
  }
  if (scan_paused_) {
    scan_paused_ = false;
    Status("Scan resumed: " + device.Name() + " is free again");
  }
  act();
  // A device that answers nothing at all is most often one at the wrong address.
  const bool silent = NothingAnswers(station_.control().form());
  if (silent && !silent_said_) Say(NoAnswerAt(device.choice().address7) + ".");
  silent_said_ = silent;
}

std::string MainWindow::RestoreRecord(std::int64_t id) {
  if (!cal()) return "No device is connected.";
  station_.info.unit = bar_->unit();
  station_.info.operator_name = bar_->operator_name();
  try {
    const RunResult r = station_.RestoreRecord(std::to_string(id));
    return Said().toStdString();
  } catch (const std::exception& e) {
    Say(std::string("Not restored: ") + e.what());
    return e.what();
  }
}

std::string MainWindow::OpenStatistics() {
  const std::string said = OpenLineStatistics(
      station_.info.store(), station_.limits.value_or(Limits{}),
      open_url ? open_url : [](const QUrl& url) { return QDesktopServices::openUrl(url); });
  Say(said);
  return said;
}

RecordsWindow* MainWindow::OpenRecords() {
  auto* w = new RecordsWindow(station_.info.store(), this);
  w->setAttribute(Qt::WA_DeleteOnClose);
  w->restore = [this](std::int64_t id) { return RestoreRecord(id); };
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
    Say("Tick the calibrations first: the meter gives the references they need.");
    return nullptr;
  }
  std::unique_ptr<MeterSteps> steps;
  try {
    MeterSettings m = o_.meter;
    m.address = bar_->meter();
    steps = std::make_unique<MeterSteps>(station_, m, keys);
  } catch (const instruments::MeterError& e) {
    Say(std::string("Meter: ") + e.what());
    return nullptr;
  }
  auto* assistant = new MeterAssistant(std::move(steps), this);
  assistant->setAttribute(Qt::WA_DeleteOnClose);
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
