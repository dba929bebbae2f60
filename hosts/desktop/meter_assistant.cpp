#include "hosts/desktop/meter_assistant.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vx {

MeterAssistant::MeterAssistant(std::unique_ptr<MeterSteps> steps, QWidget* parent)
    : QDialog(parent), steps_(std::move(steps)) {
  const auto& id = steps_->identity();
  setWindowTitle("References from the meter");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromStdString("Meter: " + id.vendor + " " + id.model +
                                                      " (serial " + id.serial + ")")));
  position_ = new QLabel;
  position_->setWordWrap(true);
  QFont bold = position_->font();
  bold.setBold(true);
  position_->setFont(bold);
  layout->addWidget(position_);
  live_ = new QLabel;
  layout->addWidget(live_);
  failure_ = new QLabel;
  failure_->setWordWrap(true);
  failure_->setStyleSheet("color: #d62728");
  layout->addWidget(failure_);
  auto* buttons = new QHBoxLayout;
  take_ = new QPushButton("Take reading");
  skip_ = new QPushButton("Skip: I type it");
  buttons->addWidget(take_);
  buttons->addWidget(skip_);
  layout->addLayout(buttons);
  connect(take_, &QPushButton::clicked, this, [this] {
    if (steps_->finished()) return accept();
    try {
      steps_->Place();  // a fixture moves the probes (the window goes on meanwhile)
      steps_->Take();
    } catch (const instruments::MeterError&) {
    }
    ShowStep();
  });
  connect(skip_, &QPushButton::clicked, this, [this] {
    steps_->Skip();
    ShowStep();
  });
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
  timer_->start(50);
  resize(460, 200);
  ShowStep();
}

MeterAssistant::~MeterAssistant() = default;

void MeterAssistant::ShowStep() {
  failure_->setText(QString::fromStdString(steps_->failure()));
  if (steps_->finished()) {
    position_->setText("Every reference is on the page. Press the page's button to calibrate.");
    take_->setText("Close");
    take_->setEnabled(true);
    skip_->hide();
    return;
  }
  position_->setText(QString::fromStdString(steps_->Position() + ", then take the reading."));
  take_->setEnabled(!steps_->taking());
}

void MeterAssistant::Tick() {
  try {
    const MeterSteps::Heard h = steps_->Listen(std::chrono::milliseconds(0));
    if (h.reading) {
      QString live = QString::fromStdString(h.reading->Text());
      if (steps_->taking()) live += QString("  settling, %1 readings").arg(h.settling);
      live_->setText(live);
    }
    if (h.taken) ShowStep();
  } catch (const instruments::MeterError&) {
    ShowStep();  // nothing goes to the device until the user presses the page's button
  }
}

}  // namespace vx
