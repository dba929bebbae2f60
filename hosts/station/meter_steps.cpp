#include "hosts/station/meter_steps.h"

#include "hosts/station/fixture.h"
#include "hosts/station/references.h"

namespace vx {

using instruments::MeterError;

MeterSteps::MeterSteps(Station& station, const MeterSettings& m, std::vector<std::string> keys)
    : station_(station),
      m_(m),
      meter_(instruments::Meter::Open(m.address, m.timeout)),
      keys_(std::move(keys)),
      heard_at_(std::chrono::steady_clock::now()) {}

const PageRow& MeterSteps::row() const {
  return *records::RowOfBox(keys_.at(at_));
}

void MeterSteps::Place() {
  if (m_.fixture.empty()) return;
  const std::string label(row().label);
  const std::string why = RunFixture(m_.fixture, label, m_.fixture_timeout);
  if (why.empty()) return;
  failure_ = label + ": the fixture " + m_.fixture + " " + why + " (it was to put the probes at " +
             label + ")";
  throw MeterError(failure_);
}

void MeterSteps::Take() {
  failure_.clear();
  auto expect = MeterExpectation(row());
  if (!expect) {
    failure_ = std::string(row().label) + " is not a reference a meter gives";
    throw MeterError(failure_);
  }
  if (m_.tolerance > 0) expect->abs_tol = m_.tolerance;
  meter_->Discard();
  settler_ = std::make_unique<instruments::Settler>(*expect, m_.window);
  heard_at_ = std::chrono::steady_clock::now();
}

void MeterSteps::Skip() {
  failure_.clear();
  settler_.reset();
  if (!finished()) ++at_;
}

MeterSteps::Heard MeterSteps::Listen(std::chrono::milliseconds wait) {
  Heard h;
  try {
    const auto now = std::chrono::steady_clock::now();
    if (wait.count() > 0) {
      h.reading = meter_->Next(wait);
    } else {
      h.reading = meter_->Poll();
      if (!h.reading && now - heard_at_ > m_.timeout) {
        throw MeterError("the meter gave no reading for " +
                         std::to_string(m_.timeout.count() / 1000) + " s");
      }
    }
    if (!h.reading) return h;
    heard_at_ = now;
    if (!settler_) return h;
    auto got = settler_->Add(*h.reading);
    h.settling = settler_->readings().size();
    if (!got) return h;
    const auto settled_at = std::chrono::steady_clock::now();
    const PageRow& r = row();
    const std::string key(r.box);
    FormModel& f = station_.control().form();
    Control* box = f.Find(key);
    if (static_cast<int>(got->text.size()) > box->max_length || !f.Type(key, got->text)) {
      throw MeterError("the reading " + got->text + " does not fit the page's box");
    }
    station_.NoteGiven(key, got->text);
    station_.SetReferenceSource(std::string(r.label), got->text,
                                {{"meter", meter_->identity().ToJson()},
                                 {"readings", got->readings},
                                 {"median", got->value},
                                 {"spread", got->spread},
                                 {"unit", PageUnit(r)}});
    h.to_page_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - settled_at)
            .count();
    h.taken = std::move(got);
    settler_.reset();
    ++at_;
    return h;
  } catch (const MeterError& e) {
    settler_.reset();
    failure_ = finished() ? e.what() : std::string(row().label) + ": " + e.what();
    throw MeterError(failure_);
  }
}

}  // namespace vx
