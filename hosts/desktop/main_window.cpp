#include "hosts/desktop/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <filesystem>
#include <map>

#include "config/mod_delays.h"
#include "config/plugin_folder.h"
#include "hosts/common/bus_lock.h"
#include "hosts/desktop/meter_assistant.h"
#include "hosts/desktop/records_window.h"
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

bool IsRunButton(const std::string& key) {
  return key == "btnCalibrate" || key == "btnCalPackVolt" || key == "btnBoardOffsett" ||
         key == "cmdSWBrdOffsetCal";
}

}  // namespace

MainWindow::MainWindow(DesktopOptions options, QWidget* parent)
    : QMainWindow(parent), o_(std::move(options)), platform_(o_.virtual_time) {
  static const bool quiet = [] {
    g_next_handler = qInstallMessageHandler(QuietSizeHints);
    return true;
  }();
  (void)quiet;
  setWindowTitle("vx58420 evaluation host");
  tabs_ = new QTabWidget(this);
  setCentralWidget(tabs_);
  statusBar();  // there from the start, so that the window's size counts it
  BuildDeviceBar();
  BuildMenu();
}

MainWindow::~MainWindow() {
  delete renderer_;  // stops observing the control's page before the control goes
  renderer_ = nullptr;
  if (cal_) cal_->Release();
}

void MainWindow::BuildDeviceBar() {
  auto* bar = addToolBar("Device");
  bar->setMovable(false);
  bar->addWidget(new QLabel(" Device: "));
  device_kind_ = new QComboBox;
  device_kind_->addItems({"Simulator", "Linux SMBus"});
  device_kind_->setCurrentIndex(o_.device.use_sim ? 0 : 1);
  bar->addWidget(device_kind_);
  device_text_ = new QLineEdit(
      QString::fromStdString(o_.device.use_sim ? o_.device.sim_state : o_.device.bus));
  device_text_->setMinimumWidth(260);
  bar->addWidget(device_text_);
  auto* browse = new QPushButton("…");
  browse->setMaximumWidth(32);
  connect(browse, &QPushButton::clicked, this, [this] {
    QString f = QFileDialog::getOpenFileName(this, "Simulator state", {}, "JSON (*.json)");
    if (!f.isEmpty()) device_text_->setText(f);
  });
  bar->addWidget(browse);
  bar->addWidget(new QLabel(" 7-bit address: "));
  bus_address_ = new QSpinBox;
  bus_address_->setRange(0x03, 0x77);
  bus_address_->setDisplayIntegerBase(16);
  bus_address_->setPrefix("0x");
  bus_address_->setValue(o_.device.address7);
  bar->addWidget(bus_address_);
  // The properties the host writes into the control get a row of their own.
  addToolBarBreak();
  bar = addToolBar("Properties");
  bar->setMovable(false);
  bar->addWidget(new QLabel(" TargetAddress: "));
  target_address_ = new QSpinBox;
  target_address_->setRange(0, 255);
  target_address_->setDisplayIntegerBase(16);
  target_address_->setPrefix("0x");
  target_address_->setValue(o_.device.address7 << 1);
  bar->addWidget(target_address_);
  bar->addWidget(new QLabel(" DVMAC: "));
  dvmac_ = new QSpinBox;
  dvmac_->setRange(0, 255);
  dvmac_->setValue(o_.dvmac);
  bar->addWidget(dvmac_);
  bar->addWidget(new QLabel(" TargetInfo: "));
  target_info_ = new QLineEdit(QString::fromStdString(o_.target_info));
  target_info_->setMaximumWidth(90);
  bar->addWidget(target_info_);
  auto* show = new QPushButton("Connect and show");
  bar->addWidget(show);
  // The station's row: what the records name, and the meter the references may come from.
  addToolBarBreak();
  bar = addToolBar("Station");
  bar->setMovable(false);
  bar->addWidget(new QLabel(" Unit: "));
  unit_ = new QLineEdit(QString::fromStdString(o_.station.unit));
  unit_->setPlaceholderText("serial or label");
  unit_->setObjectName("unit");
  unit_->setMinimumWidth(120);
  bar->addWidget(unit_);
  bar->addWidget(new QLabel(" Operator: "));
  operator_ = new QLineEdit(QString::fromStdString(o_.station.operator_name));
  operator_->setPlaceholderText("login name");
  operator_->setMinimumWidth(100);
  bar->addWidget(operator_);
  bar->addWidget(new QLabel(" Meter: "));
  meter_ = new QLineEdit(QString::fromStdString(o_.meter));
  meter_->setObjectName("meter");
  meter_->setPlaceholderText("scpi-dmm:conn=tcp-raw/HOST/5025");
  meter_->setMinimumWidth(260);
  bar->addWidget(meter_);
  connect(show, &QPushButton::clicked, this, [this] {
    std::string error;
    if (!ConnectAndShow(error)) Status(QString::fromStdString(error));
  });
  auto placeholder = [this](int i) {
    device_text_->setPlaceholderText(i == 0 ? "simulator state file (empty: built-in)"
                                            : "/dev/i2c-N or N");
  };
  placeholder(device_kind_->currentIndex());
  connect(device_kind_, &QComboBox::currentIndexChanged, this, placeholder);
}

void MainWindow::BuildMenu() {
  auto* file = menuBar()->addMenu("&File");
  file->addAction("&Quit", this, &QWidget::close);
  auto* control = menuBar()->addMenu("&Control");
  control->addAction("Read number of configured &capacitors", this, [this] {
    if (!cal_) return;
    std::int32_t r = cal_->ReadNumberofConfiguredCapacitors();
    Status(QString("ReadNumberofConfiguredCapacitors returned %1").arg(r));
  });
  control->addAction("Calibrate &system voltage", this, [this] {
    if (!cal_) return;
    AroundPageAction("CalSystemVoltage", [this] {
      std::int32_t r = cal_->CalSystemVoltage();
      Status(QString("CalSystemVoltage returned %1").arg(r));
    });
  });
  control->addAction("&Print properties", this, [this] {
    if (cal_) cal_->PrintProperties();
  });
  auto* meter = menuBar()->addMenu("&Meter");
  meter->addAction("&Read references from the meter…", this, [this] { OpenMeterAssistant(); });
  auto* records = menuBar()->addMenu("&Records");
  records->addAction("&Recent records…", this, [this] {
    auto* w = new RecordsWindow(o_.station.records, this);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->Reload();
    w->show();
  });
  control->addSeparator();
  control->addAction("&Show the page again", this, [this] {
    std::string error;
    if (cal_) {
      cal_->OnShow();
    } else if (!ConnectAndShow(error)) {
      Status(QString::fromStdString(error));
    }
  });
}

void MainWindow::Status(const QString& text) {
  statusBar()->showMessage(text);
}

QString MainWindow::StatusText() const {
  return statusBar()->currentMessage();
}

std::shared_ptr<SMBusAdapter> MainWindow::GetObjectProperty(const std::string& name) {
  return name == "Parent" ? std::static_pointer_cast<SMBusAdapter>(bus_) : nullptr;
}

bool MainWindow::LoadPlugin(std::string& error) {
  plugin_ = Plugin::Open(o_.plugin.empty() ? DefaultPluginPath() : o_.plugin, error);
  if (!plugin_ && o_.plugin.empty()) plugin_ = Plugin::Open("", error);
  if (!plugin_) return false;
  cal_ = plugin_->CreateCal(error);
  if (!cal_) return false;
  cal_->SetClientSite(this);
  if (!o_.config_dir.empty()) cal_->SetConfigFolder(o_.config_dir);

  auto* scroll = new QScrollArea;
  page_ = new QWidget;
  renderer_ = new FormRenderer(cal_->Form(), page_, page_->logicalDpiX());
  renderer_->around = [this](const std::string& key, const std::function<void()>& act) {
    AroundPageAction(key, act);
  };
  scroll->setWidget(page_);
  scroll->setWidgetResizable(false);
  tabs_->addTab(scroll, QString::fromStdString(cal_->Caption()));
  scroll_ = scroll;
  if (isVisible()) FitPage();
  return true;
}

DeviceChoice MainWindow::ChosenDevice() const {
  DeviceChoice c = o_.device;
  c.use_sim = device_kind_->currentIndex() == 0;
  const std::string text = device_text_->text().toStdString();
  (c.use_sim ? c.sim_state : c.bus) = text;
  c.address7 = bus_address_->value();
  return c;
}

bool MainWindow::ConnectAndShow(std::string& error) {
  if (!cal_ && !LoadPlugin(error)) return false;
  DeviceChoice choice = ChosenDevice();
  OpenedDevice d = OpenDevice(choice, platform_, error);
  if (!d.adapter) return false;
  if (d.sim) d.sim->SetDelayProcessesEvents(true);  // the window stays live while it waits
  device_ = d;
  connected_ = choice;
  bus_ = std::make_shared<RecordingAdapter>(d.adapter, platform_);
  bus_->Listen([this](const BusEvent& e) { account_.Note(e); });
  auto addr = static_cast<std::int16_t>(target_address_->value());
  auto mac = static_cast<std::int16_t>(dvmac_->value());
  std::string info = target_info_->text().toStdString();
  cal_->TargetAddress(addr);
  cal_->DVMAC(mac);
  cal_->TargetInfo(info);
  cal_->OnShow();
  Status(choice.use_sim ? "Simulated device" : QString::fromStdString(choice.bus));
  WarnAboutConfig();
  return true;
}

void MainWindow::WarnAboutConfig() {
  std::string folder = o_.config_dir.empty()
                           ? std::filesystem::path(plugin_->path()).parent_path().string()
                           : o_.config_dir;
  Settings s;
  ReadConfigIni(s, target_info_->text().toStdString(), ConfigPathIn(folder));
  QStringList refused;
  for (const auto& r : s.out_of_range) {
    refused << QString("%1 = %2 does not fit 16 bits, its default %3 is used")
                   .arg(QString::fromStdString(r.key))
                   .arg(r.value)
                   .arg(r.fallback);
  }
  if (!refused.isEmpty()) Status("Config.ini: " + refused.join("; "));
}

void MainWindow::AroundPageAction(const std::string& key, const std::function<void()>& act) {
  const std::string path = LockPath(connected_);
  const bool run = IsRunButton(key) || key == "CalSystemVoltage";
  if (path.empty() || !bus_ || (!run && key != "tmrScan")) {
    act();
    return;
  }
  std::string error;
  auto ms = std::chrono::milliseconds(static_cast<std::int64_t>(run ? o_.bus_wait_s * 1000 : 0));
  auto lock = BusLock::Acquire(path, ms, error);
  if (!lock) {
    Status(QString::fromStdString((run ? "The run did not start: " : "Scan paused: ") + error));
    return;
  }
  if (run) {
    RecordedRun(key, act);
  } else {
    act();
  }
}

void MainWindow::RecordedRun(const std::string& key, const std::function<void()>& act) {
  static const std::map<std::string, std::pair<const char*, const char*>> kRuns = {
      {"btnCalibrate", {"calibrate", "imgCalDoneBox"}},
      {"btnCalPackVolt", {"pack-voltage", "imgPackDoneBox"}},
      {"btnBoardOffsett", {"board-offset-hardware", "imgBoardOffDone"}},
      {"cmdSWBrdOffsetCal", {"board-offset-software", "imgBoardOffDone"}},
      {"CalSystemVoltage", {"system-voltage", "imgCalDoneBox"}}};
  const auto& [run, done_image] = kRuns.at(key);
  FormModel& f = cal_->Form();
  Station st = o_.station;
  st.unit = unit_->text().toStdString();
  st.operator_name = operator_->text().toStdString();
  st.program = std::string("vx58420-host ") + VX_VERSION;
  RunRecorder recorder(st, bus_->inner(), static_cast<std::int16_t>(target_address_->value()), &f);
  std::string device = connected_.use_sim ? "simulator" : LockPath(connected_);
  if (connected_.use_sim && !connected_.sim_state.empty()) device += " " + connected_.sim_state;
  recorder.Begin(run, device, target_info_->text().toStdString());
  for (auto& ref : recorder.record().references) {  // what came from the meter, unchanged
    auto it = sources_.find(ref.label);
    if (it != sources_.end() && it->second["text"] == ref.value) ref.source = it->second;
  }
  if (key == "CalSystemVoltage") f.At(done_image).SetVisible(false);
  messages_.clear();
  platform_.on_message = [this](const std::string& text) { messages_.push_back(text); };
  account_.Restart();
  act();
  platform_.on_message = nullptr;
  const bool interrupted = platform_.interrupt.raised();
  const bool done = !interrupted && f.At(done_image).visible();
  recorder.Observe();
  std::string warning = recorder.Store(OutcomeOf(done, interrupted, account_), messages_);
  if (!warning.empty()) {
    Status(QString::fromStdString("Warning: " + warning));
  } else if (!close_pending_ && recorder.record().id > 0) {
    Status(
        QString("Record %1: %2, %3")
            .arg(recorder.record().id)
            .arg(QString::fromStdString(run), QString::fromStdString(recorder.record().outcome)));
  }
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
  if (!cal_) return nullptr;
  std::vector<std::string> keys = MeteredReferences(cal_->Form());
  if (keys.empty()) {
    Status("Tick the calibrations first: the meter gives the references they need.");
    return nullptr;
  }
  std::unique_ptr<instruments::Meter> meter;
  try {
    meter = instruments::Meter::Open(meter_->text().toStdString());
  } catch (const instruments::MeterError& e) {
    Status(QString("Meter: ") + e.what());
    return nullptr;
  }
  auto* assistant = new MeterAssistant(std::move(meter), cal_->Form(), keys, this);
  assistant->setAttribute(Qt::WA_DeleteOnClose);
  assistant->on_taken = [this](const std::string& label, const records::Json& source) {
    sources_[label] = source;
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
