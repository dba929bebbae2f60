#include "hosts/station/page_state.h"

#include <cstdio>

#include "hosts/station/references.h"

namespace vx {

using records::Json;
using records::Number;

namespace {

// The calibrations of the calibrate-device run in the page's order, with the options that
// belong to each.
struct Calibration {
  const char* box;
  std::vector<const char*> options;
};
const Calibration kCalibrations[] = {{"chkVoltageCal", {}},
                                     {"chkSystemVoltage", {}},
                                     {"chkTempCal", {"chkIntTS", "chkExtTS1", "chkExtTS2"}},
                                     {"chkCurrentCal", {"OptionUse", "OptionByPass"}},
                                     {"chkCCOffset", {}}};

bool On(FormModel& f, std::string_view key) {
  return f.At(std::string(key)).value() == 1;
}

// The boxes a ticked calibration takes its references from: of the capacitor rows, those of
// the configured capacitors.
void BoxesOf(FormModel& f, std::string_view calibration, std::vector<std::string>& keys) {
  const int rows = ConfiguredCount(f).value_or(0);
  for (const PageRow* r : records::ReferenceRows()) {
    if (r->calibration != calibration) continue;
    const int i = records::IndexOf(*r);
    if (i >= rows && i < kStackReading) continue;
    keys.emplace_back(r->box);
  }
}

// How many of the boxes the scan reads on its own show "Err_Rd", of how many.
std::pair<int, int> ErrRd(FormModel& f) {
  int failed = 0, read = 0;
  for (const PageRow& r : records::kReadings) {
    const int at = records::IndexOf(r);
    if (at != 0 && at <= kStackReading) continue;  // derived from the first capacitor's read
    ++read;
    failed += f.At(std::string(r.measured)).text() == "Err_Rd";
  }
  return {failed, read};
}

}  // namespace

bool NothingAnswers(FormModel& f) {
  auto [failed, read] = ErrRd(f);
  return failed == read;
}

bool SomethingFailed(FormModel& f) {
  return ErrRd(f).first > 0;
}

std::string NoAnswerAt(int address7) {
  char text[200];
  std::snprintf(text, sizeof text,
                "the device does not answer at 7-bit address 0x%02X (the page's 8-bit address "
                "0x%02X); the 7-bit address is the 8-bit one shifted right by one (0x16 is 0x0B)",
                address7, address7 << 1);
  return text;
}

std::optional<int> ConfiguredCount(FormModel& f) {
  // The set-up leaves the rows of the configured capacitors as they were and disables every row
  // above them: 2 to 5 usable rows with the stack row disabled is a count the page supports.
  int n = 0;
  while (n < 6 && f.At("txtVoltage", n).enabled())
    ++n;
  if (n < 2 || n > 5) return std::nullopt;
  return n;
}

Json ReadingsJson(FormModel& f) {
  auto reading = [&](std::size_t i) {
    return Number(f.At(std::string(records::kReadings[i].measured)).text());
  };
  Json caps = Json::array();
  for (std::size_t i = 0; i <= kStackReading; ++i)
    caps.push_back(reading(i));
  return Json{{"capacitors_mV", caps},
              {"system_mV", reading(kStackReading + 1)},
              {"temperature_C", reading(kStackReading + 2)},
              {"current_mA", reading(kStackReading + 3)}};
}

std::vector<std::string> ReferenceKeysFor(FormModel& f, const RunKind& run) {
  std::vector<std::string> keys;
  if (run.from_ticked) {
    for (const Calibration& c : kCalibrations) {
      if (On(f, c.box)) BoxesOf(f, c.box, keys);
    }
  } else if (!run.box.empty()) {
    keys.emplace_back(run.box);
  }
  return keys;
}

std::vector<std::string> ReadingsCalibratedBy(FormModel& f, const RunKind& run) {
  std::vector<std::string> names;
  bool rows = false;
  for (const std::string& key : ReferenceKeysFor(f, run)) {
    const PageRow& r = *records::RowOfBox(key);
    const int i = records::IndexOf(r);
    if (i < 0) continue;
    names.emplace_back(r.name);
    rows = rows || i < kStackReading;
  }
  if (rows) names.emplace_back(records::kReadings[kStackReading].name);
  return names;
}

RunInputs InputsFor(FormModel& f, const RunKind& run) {
  RunInputs in;
  if (run.from_ticked) {
    for (const Calibration& c : kCalibrations) {
      if (!On(f, c.box)) continue;
      in.ticked.push_back(f.At(c.box).text());
      for (const char* o : c.options) {
        if (On(f, o)) in.ticked.push_back(f.At(o).text());
      }
    }
  } else if (run.method) {
    in.ticked.push_back(f.At(std::string(records::RowOfBox(run.box)->calibration)).text());
  } else if (!run.trigger.empty()) {
    in.ticked.push_back(f.At(std::string(run.trigger)).text());
  }
  for (const std::string& key : ReferenceKeysFor(f, run))
    in.references.push_back({LabelOf(key), f.At(key).text(), Json()});
  return in;
}

}  // namespace vx
