#include "hosts/desktop/device_bar.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QToolBar>

namespace vx {

namespace {

QToolBar* Bar(QMainWindow& w, const char* name, bool first) {
  if (!first) w.addToolBarBreak();
  QToolBar* bar = w.addToolBar(name);
  bar->setMovable(false);
  return bar;
}

QSpinBox* HexBox(int lo, int hi, int value) {
  auto* box = new QSpinBox;
  box->setRange(lo, hi);
  box->setDisplayIntegerBase(16);
  box->setPrefix("0x");
  box->setValue(value);
  return box;
}

QLineEdit* Field(QToolBar* bar, const char* label, const std::string& text, const char* name,
                 const char* placeholder, int width) {
  bar->addWidget(new QLabel(label));
  auto* edit = new QLineEdit(QString::fromStdString(text));
  edit->setObjectName(name);
  edit->setPlaceholderText(placeholder);
  edit->setMinimumWidth(width);
  bar->addWidget(edit);
  return edit;
}

}  // namespace

DeviceBar::DeviceBar(QMainWindow& window, const DeviceBarValues& v)
    : QObject(&window), base_(v.device) {
  QToolBar* bar = Bar(window, "Device", true);
  bar->addWidget(new QLabel(" Device: "));
  kind_ = new QComboBox;
  kind_->setObjectName("kind");
  kind_->addItems({"Simulator", "Linux SMBus"});
  bar->addWidget(kind_);
  path_ = new QLineEdit;
  path_->setObjectName("device");
  path_->setMinimumWidth(260);
  bar->addWidget(path_);
  auto* browse = new QPushButton("…");
  browse->setMaximumWidth(32);
  connect(browse, &QPushButton::clicked, this, [this, &window] {
    QString f = QFileDialog::getOpenFileName(&window, "Simulator state", {}, "JSON (*.json)");
    if (!f.isEmpty()) path_->setText(f);
  });
  bar->addWidget(browse);
  bar->addWidget(new QLabel(" 7-bit address: "));
  address7_ = HexBox(0x03, 0x77, v.device.address7);
  bar->addWidget(address7_);

  // The properties the host writes into the control get a row of their own.
  bar = Bar(window, "Properties", false);
  bar->addWidget(new QLabel(" TargetAddress: "));
  target_address_ = HexBox(0, 255, v.target_address);
  bar->addWidget(target_address_);
  bar->addWidget(new QLabel(" DVMAC: "));
  dvmac_ = new QSpinBox;
  dvmac_->setRange(0, 255);
  dvmac_->setValue(v.dvmac);
  bar->addWidget(dvmac_);
  bar->addWidget(new QLabel(" TargetInfo: "));
  target_info_ = new QLineEdit(QString::fromStdString(v.target_info));
  target_info_->setMaximumWidth(90);
  bar->addWidget(target_info_);
  auto* show = new QPushButton("Connect and show");
  show->setObjectName("connect");
  bar->addWidget(show);
  connect(show, &QPushButton::clicked, this, [this] {
    if (on_connect) on_connect();
  });

  // The station's row: what the records name, and the meter the references may come from.
  bar = Bar(window, "Station", false);
  unit_ = Field(bar, " Unit: ", v.unit, "unit", "serial or label", 120);
  operator_ = Field(bar, " Operator: ", v.operator_name, "operator", "login name", 100);
  meter_ = Field(bar, " Meter: ", v.meter, "meter", "scpi-dmm:conn=tcp-raw/HOST/5025", 260);

  auto placeholder = [this](int i) {
    path_->setPlaceholderText(i == 0 ? "simulator state file (empty: built-in)"
                                     : "/dev/i2c-N or N");
  };
  connect(kind_, &QComboBox::currentIndexChanged, this, placeholder);
  Show(v.device);
}

DeviceChoice DeviceBar::Chosen() const {
  DeviceChoice c = base_;
  c.use_sim = kind_->currentIndex() == 0;
  (c.use_sim ? c.sim_state : c.bus) = path_->text().toStdString();
  c.address7 = address7_->value();
  return c;
}

void DeviceBar::Show(const DeviceChoice& c) {
  kind_->setCurrentIndex(c.use_sim ? 0 : 1);
  path_->setText(QString::fromStdString(c.use_sim ? c.sim_state : c.bus));
  path_->setPlaceholderText(c.use_sim ? "simulator state file (empty: built-in)"
                                      : "/dev/i2c-N or N");
  address7_->setValue(c.address7);
}

HostProperties DeviceBar::Properties(const std::string& config_folder) const {
  return {static_cast<std::int16_t>(target_address_->value()), target_info_->text().toStdString(),
          config_folder, static_cast<std::int16_t>(dvmac_->value())};
}

std::string DeviceBar::unit() const {
  return unit_->text().toStdString();
}
std::string DeviceBar::operator_name() const {
  return operator_->text().toStdString();
}
std::string DeviceBar::meter() const {
  return meter_->text().toStdString();
}

}  // namespace vx
