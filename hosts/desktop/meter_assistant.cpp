#include "hosts/desktop/meter_assistant.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "hosts/common/page_state.h"

namespace vx {

namespace {

constexpr int kPollMs = 50;
constexpr double kSilentLimitMs = 5000;

}  // namespace

std::vector<std::string> MeteredReferences(FormModel& page) {
  std::vector<std::string> keys;
  auto ticked = [&](const char* box) { return page.At(box).value() == 1; };
  if (ticked("chkVoltageCal")) {
    int n = ConfiguredCount(page).value_or(0);
    for (int k = 0; k < n; ++k)
      keys.push_back("txtVoltage(" + std::to_string(k) + ")");
  }
  if (ticked("chkSystemVoltage")) keys.push_back("txtActualSystemVoltage");
  if (ticked("chkTempCal")) keys.push_back("txtTemperature");
  if (ticked("chkCurrentCal")) keys.push_back("txtCurrent");
  return keys;
}

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
  const std::string label = LabelOf(keys_[at_]);
  position_->setText(QString::fromStdString(ProbePosition(label) + ", then take the reading."));
  take_->setEnabled(true);
}

void MeterAssistant::Take() {
  meter_->Discard();
  settler_ = std::make_unique<instruments::Settler>(*instruments::ExpectFor(LabelOf(keys_[at_])));
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
    const std::string label = LabelOf(key);
    if (!page_.Type(key, got->text)) {
      throw instruments::MeterError(label + " cannot be typed into now");
    }
    auto expect = instruments::ExpectFor(label);
    if (on_taken) {
      on_taken(label, {{"meter", meter_->identity().ToJson()},
                       {"readings", got->readings},
                       {"median", got->value},
                       {"spread", got->spread},
                       {"unit", expect->unit == "°C" ? "°C" : "m" + expect->unit},
                       {"text", got->text}});
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
