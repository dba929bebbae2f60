#include "hosts/desktop/meter_assistant.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "hosts/station/references.h"

namespace vx {

namespace {

constexpr int kPollMs = 50;
constexpr double kSilentLimitMs = 5000;

}  // namespace

MeterAssistant::MeterAssistant(std::unique_ptr<instruments::Meter> meter, FormModel& page,
                               std::vector<std::string> keys, QWidget* parent)
    : QDialog(parent), meter_(std::move(meter)), page_(page), keys_(std::move(keys)) {
  const auto& id = meter_->identity();
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
  take_ = new QPushButton("Take reading");
  connect(take_, &QPushButton::clicked, this, [this] { Take(); });
  layout->addWidget(take_);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
  timer_->start(kPollMs);
  resize(460, 180);
  ShowPosition();
}

MeterAssistant::~MeterAssistant() = default;

void MeterAssistant::ShowPosition() {
  settler_.reset();
  if (at_ >= keys_.size()) {
    position_->setText("Every reference is on the page. Press the page's button to calibrate.");
    take_->setText("Close");
    disconnect(take_, nullptr, nullptr, nullptr);
    connect(take_, &QPushButton::clicked, this, &QDialog::accept);
    return;
  }
  position_->setText(QString::fromStdString(std::string(records::RowOfBox(keys_[at_])->probe) +
                                            ", then take the reading."));
  take_->setEnabled(true);
}

void MeterAssistant::Take() {
  meter_->Discard();
  settler_ =
      std::make_unique<instruments::Settler>(*MeterExpectation(*records::RowOfBox(keys_[at_])));
  take_->setEnabled(false);
}

void MeterAssistant::Tick() {
  try {
    auto r = meter_->Poll();
    if (!r) {
      if ((silent_ms_ += kPollMs) > kSilentLimitMs) {
        throw instruments::MeterError("the meter gave no reading for 5 s");
      }
      return;
    }
    silent_ms_ = 0;
    live_->setText(QString::number(r->value, 'g', 6) + " " + QString::fromStdString(r->unit) +
                   "  (" + QString::fromStdString(r->Words()) + ")");
    if (!settler_) return;
    auto got = settler_->Add(*r);
    if (!got) {
      live_->setText(
          live_->text() +
          QString("  settling, %1 readings").arg(static_cast<int>(settler_->readings().size())));
      return;
    }
    const std::string key = keys_[at_];
    const PageRow& box = *records::RowOfBox(key);
    const std::string label(box.label);
    if (!page_.Type(key, got->text)) {
      throw instruments::MeterError(label + " cannot be typed into now");
    }
    if (on_taken) {
      on_taken(label, got->text,
               {{"meter", meter_->identity().ToJson()},
                {"readings", got->readings},
                {"median", got->value},
                {"spread", got->spread},
                {"unit", PageUnit(box)}});
    }
    ++at_;
    ShowPosition();
  } catch (const instruments::MeterError& e) {
    // The step stops; nothing goes to the device until the user presses the page's button.
    settler_.reset();
    live_->setText(QString::fromStdString(std::string(e.what()) +
                                          ". Nothing was written to the "
                                          "device; take the reading again."));
    take_->setEnabled(at_ < keys_.size());
  }
}

}  // namespace vx
