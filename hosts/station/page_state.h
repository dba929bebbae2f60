// The page as the hosts read it around a run, in the page's own words: the count of capacitors
// it works with, its measured values, and what a user ticked and typed for a run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "form/form_model.h"
#include "hosts/station/run_kinds.h"
#include "records/readings.h"

namespace vx {

// The series capacitor count the page works with after its set-up: 2 to 5, or nullopt when the
// device's Operation Cfg holds a count the page does not support (it has said so).
std::optional<int> ConfiguredCount(FormModel& f);

using records::Number;
using records::ReadingIn;
using records::Residuals;

// The measured boxes as JSON: {"capacitors_mV": [6], "system_mV", "temperature_C",
// "current_mA"}: numbers, or null for "Err_Rd" and empty boxes.
records::Json ReadingsJson(FormModel& f);

// What a user chose for a run (by the controls' captions) and the references typed for it.
struct RunInputs {
  std::vector<std::string> ticked;
  std::vector<records::Reference> references;
};
RunInputs InputsFor(FormModel& f, const RunKind& run);
// The reference boxes a run of the page will use as it stands: for a calibrate-device run the
// boxes of the ticked calibrations (capacitor rows up to the configured count), in probe order.
std::vector<std::string> ReferenceKeysFor(FormModel& f, const RunKind& run);

// Whether every box the scan reads on its own shows "Err_Rd" (the first capacitor and each
// reading below the stack's): the device does not answer at all.
bool NothingAnswers(FormModel& f);
// Whether any of them does: a read failed.
bool SomethingFailed(FormModel& f);
// What a user should know when nothing answers at the 7-bit address: the page's 8-bit address
// is it shifted left by one, and which one a host's address means.
std::string NoAnswerAt(int address7);

// The readings a run of the page will calibrate as it stands, by their names (records::kReadings):
// what its residuals and a limits file can speak of.
std::vector<std::string> ReadingsCalibratedBy(FormModel& f, const RunKind& run);

}  // namespace vx
