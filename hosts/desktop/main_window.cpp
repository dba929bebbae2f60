#include "hosts/desktop/main_window.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>

#include "adapters/linux_i2c_adapter.h"
#include "sim/sim_device.h"
#include "sim/sim_state.h"

namespace vx {

MainWindow::MainWindow(DesktopOptions options, QWidget* parent)
    : QMainWindow(parent), o_(std::move(options)), platform_(o_.virtual_time) {
  setWindowTitle("vx58420 evaluation host");
  tabs_ = new QTabWidget(this);
  setCentralWidget(tabs_);
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
  device_ = new QComboBox;
  device_->addItems({"Simulator", "Linux SMBus"});
  device_->setCurrentIndex(o_.use_bus ? 1 : 0);
  bar->addWidget(device_);
  device_text_ = new QLineEdit(QString::fromStdString(o_.use_bus ? o_.bus : o_.sim_state));
  device_text_->setPlaceholderText("simulator state file (empty: built-in)");
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
  bus_address_->setValue(o_.address7);
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
  target_address_->setValue(o_.address7 << 1);
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
  connect(show, &QPushButton::clicked, this, [this] {
    std::string error;
    if (!ConnectAndShow(error)) Status(QString::fromStdString(error));
  });
  bar->addWidget(show);
  connect(device_, &QComboBox::currentIndexChanged, this, [this](int i) {
    device_text_->setPlaceholderText(i == 0 ? "simulator state file (empty: built-in)"
                                            : "/dev/i2c-N or N");
  });
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
    std::int32_t r = cal_->CalSystemVoltage();
    Status(QString("CalSystemVoltage returned %1").arg(r));
  });
  control->addAction("&Print properties", this, [this] {
    if (cal_) cal_->PrintProperties();
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

std::shared_ptr<SMBusAdapter> MainWindow::GetObjectProperty(const std::string& name) {
  return name == "Parent" ? adapter_ : nullptr;
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
  scroll->setWidget(page_);
  scroll->setWidgetResizable(false);
  tabs_->addTab(scroll, QString::fromStdString(cal_->Caption()));
  resize(page_->width() + 40, page_->height() + 120);
  return true;
}

bool MainWindow::ConnectAndShow(std::string& error) {
  if (!cal_ && !LoadPlugin(error)) return false;
  std::string text = device_text_->text().toStdString();
  if (device_->currentIndex() == 0) {
    sim::SimState state = sim::DefaultState(5);
    if (!text.empty()) {
      try {
        state = sim::LoadStateFile(text);
      } catch (const std::exception& e) {
        error = e.what();
        return false;
      }
    }
    auto sim = std::make_shared<sim::SimDevice>(platform_, std::move(state));
    sim->SetDelayProcessesEvents(true);  // the window stays live while the device waits
    adapter_ = sim;
  } else {
    auto bus = LinuxI2cAdapter::Open(text, bus_address_->value(), o_.pec, platform_, error);
    if (!bus) return false;
    adapter_ = std::move(bus);
  }
  auto addr = static_cast<std::int16_t>(target_address_->value());
  auto mac = static_cast<std::int16_t>(dvmac_->value());
  std::string info = target_info_->text().toStdString();
  cal_->TargetAddress(addr);
  cal_->DVMAC(mac);
  cal_->TargetInfo(info);
  cal_->OnShow();
  Status(device_->currentIndex() == 0 ? "Simulated device" : QString::fromStdString(text));
  return true;
}

}  // namespace vx
