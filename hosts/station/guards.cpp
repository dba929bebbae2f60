#include "hosts/station/guards.h"

#include <cmath>

#include "config/ini_reader.h"
#include "device/numeric.h"
#include "hosts/station/page_state.h"
#include "hosts/station/references.h"

namespace vx {

namespace {

std::optional<double> Value(const std::string& text) {
  try {
    return TextToDouble(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

GuardSettings ReadGuardSettings(const std::string& config_path) {
  GuardSettings g;
  const std::int32_t pct = ReadProfileInt("Host", "MaxCorrectionPct", -1, config_path);
  if (pct >= 1 && pct <= 100) g.max_correction_pct = pct;
  return g;
}

std::vector<std::string> Implausible(FormModel& f, const RunKind& run, const GuardSettings& g) {
  std::vector<std::string> out;
  for (const std::string& key : ReferenceKeysFor(f, run)) {
    const PageRow& row = *records::RowOfBox(key);
    if (row.measured.empty()) continue;  // a setting of the run, not a reference
    const std::string label(row.label), unit(row.unit());
    const std::string given = f.At(key).text();
    const std::string shown = f.At(std::string(row.measured)).text();
    const auto ref = Value(given);
    const auto measured = Value(shown);
    const std::string said = label + " " + given + " " + unit;
    if (!ref) continue;  // not a number: the page says so itself
    if (!measured) {
      out.push_back(said + ": the page shows no reading for it (" +
                    (shown.empty() ? "nothing" : shown) +
                    "), so it cannot be checked; take a scan when the device answers");
      continue;
    }
    const std::string against = " against the reading " + shown + " " + unit;
    if (row.quantity == Quantity::kTemperature) {
      if (*ref <= 0) {
        out.push_back(said + " is not above 0 degrees C, which the device needs");
      } else if (std::fabs(*ref - *measured) > g.max_temperature_correction) {
        out.push_back(said + against + " is a correction of more than " +
                      FormatDouble(g.max_temperature_correction) + " degrees C; " +
                      FormatDouble(*measured - g.max_temperature_correction) + " to " +
                      FormatDouble(*measured + g.max_temperature_correction) + " " + unit + " fit");
      }
      continue;
    }
    const double share = g.max_correction_pct / 100;
    const double lo = std::fabs(*measured) * (1 - share), hi = std::fabs(*measured) * (1 + share);
    // What fits carries the reading's sign: a discharge current fits from -hi to -lo.
    const bool negative = *measured < 0;
    const std::string fits = "; " + FormatDouble(std::round(negative ? -hi : lo)) + " to " +
                             FormatDouble(std::round(negative ? -lo : hi)) + " " + unit + " fit (" +
                             FormatDouble(g.max_correction_pct) + " %)";
    if (row.quantity == Quantity::kCurrent) {
      if (*ref == 0 || *measured == 0 || (*ref < 0) != (*measured < 0)) {
        out.push_back(said + against + " is of the other sign (discharge is negative), or 0" +
                      (*measured == 0 ? std::string() : fits));
      } else if (std::fabs(*ref) < lo || std::fabs(*ref) > hi) {
        out.push_back(said + against + " is a correction of more than " +
                      FormatDouble(g.max_correction_pct) + " %" + fits);
      }
      continue;
    }
    if (*ref <= 0) {
      out.push_back(said + " is not above 0, which a voltage must be");
    } else if (*measured <= 0 || *ref < lo || *ref > hi) {
      out.push_back(said + against + " is a correction of more than " +
                    FormatDouble(g.max_correction_pct) + " %" + fits);
    }
  }
  return out;
}

std::vector<std::string> Untyped(FormModel& f, const RunKind& run,
                                 const std::map<std::string, std::string>& given) {
  std::vector<std::string> out;
  for (const std::string& key : ReferenceKeysFor(f, run)) {
    if (records::RowOfBox(key)->measured.empty()) continue;  // a setting, not a reference
    auto it = given.find(key);
    const std::string& text = f.At(key).text();
    if (it == given.end() || it->second != text) {
      out.push_back(LabelOf(key) + " holds " + (text.empty() ? "nothing" : text) +
                    ", which nobody gave for this unit");
    }
  }
  return out;
}

}  // namespace vx
