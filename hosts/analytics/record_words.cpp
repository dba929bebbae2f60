#include "hosts/analytics/record_words.h"

#include <iomanip>
#include <sstream>

#include "device/numeric.h"

namespace vx {

namespace {

using records::Printable;

// The values per reading a summary holds, by the readings' names; those it lacks left out.
Json ByName(const records::PerReading& values) {
  Json out = Json::object();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i]) out[std::string(records::kReadings[i].name)] = *values[i];
  }
  return out;
}

std::string Field(const std::string& name, const std::string& value) {
  std::ostringstream line;
  line << "  " << std::left << std::setw(22) << name << Printable(value);
  return line.str();
}

Json GainChanges(const records::RunRecord& r) {
  auto before = records::Gains(r.before), after = records::Gains(r.after);
  Json gains = Json::array();
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
    gains.push_back(
        {{"gain", before[i].first}, {"old", before[i].second}, {"new", after[i].second}});
  }
  return gains;
}

// How a metered reference was taken, in brief: "the meter Keysight 34405A, 5 readings, spread
// 0.02 mV".
std::string Source(const Json& source) {
  if (!source.is_object()) return "";
  std::string said = "from the meter";
  if (const auto meter = records::MeterOf({{"", "", source}}); !meter.empty()) {
    said += " " + meter;
  }
  auto readings = source.find("readings");
  if (readings != source.end() && readings->is_array()) {
    said += ", " + std::to_string(readings->size()) + " readings";
  }
  auto spread = source.find("spread");
  auto unit = source.find("unit");
  if (spread != source.end() && spread->is_number()) {
    said += ", spread " + FormatDouble(RoundHalfEven(spread->get<double>() * 100) / 100) +
            (unit != source.end() && unit->is_string() ? " " + unit->get<std::string>() : "");
  }
  return said;
}

}  // namespace

std::string DamagedSentence(std::int64_t id, const std::string& why) {
  return "record " + std::to_string(id) + " is damaged (" + Printable(why) + "); left out";
}

std::string SummaryLine(const records::Summary& r) {
  std::ostringstream line;
  line << std::setw(5) << r.id << "  " << r.time_utc << "  " << std::left << std::setw(12)
       << r.station << " " << std::setw(14) << (r.unit.empty() ? "-" : r.unit) << " "
       << std::setw(22) << r.run << " " << r.outcome;
  return Printable(line.str());
}

Json SummaryJson(const records::Summary& r) {
  return Json{{"id", r.id},
              {"time_utc", r.time_utc},
              {"station", r.station},
              {"operator", r.operator_name},
              {"unit", r.unit},
              {"run", r.run},
              {"outcome", r.outcome},
              {"meter", r.meter},
              {"residuals", ByName(r.residuals)},
              {"corrections", ByName(r.corrections)}};
}

Json RecordJson(const records::RunRecord& r) {
  Json j = records::ToJson(r);
  j["gains"] = GainChanges(r);
  return j;
}

std::vector<std::string> RecordLines(const records::RunRecord& r) {
  std::vector<std::string> out;
  out.push_back(Printable("Record " + std::to_string(r.id) + ": " + r.run + ", " + r.outcome));
  out.push_back(Field("time (UTC)", r.time_utc));
  out.push_back(Field("station", r.station));
  out.push_back(Field("operator", r.operator_name));
  out.push_back(Field("unit", r.unit.empty() ? "-" : r.unit));
  out.push_back(Field("device", r.device + ", address " + std::to_string(r.address) +
                                    ", target info " + r.target_info));
  out.push_back(Field("program", r.program));
  for (const auto& t : r.ticked)
    out.push_back(Field("ticked", t));
  for (const auto& ref : r.references) {
    const std::string source = Source(ref.source);
    out.push_back(Field(
        "reference", ref.label + " = " + ref.value + (source.empty() ? "" : " (" + source + ")")));
  }
  Json extra = r.extra;
  if (extra.is_object() && extra.contains("references trusted")) {
    for (const Json& o : extra["references trusted"])
      out.push_back(Field("references trusted", o.is_string() ? o.get<std::string>() : o.dump()));
    extra.erase("references trusted");
  }
  out.push_back(Field("readings before", DumpJson(r.readings_before)));
  out.push_back(Field("readings after", DumpJson(r.readings_after)));
  if (r.residuals.is_object()) {
    for (auto& [name, v] : r.residuals.items())
      out.push_back(Field("residual", name + " " + DumpJson(v)));
  }
  for (const Json& g : GainChanges(r)) {
    std::string change = g["old"] == g["new"] ? "unchanged " + g["old"].dump()
                                              : g["old"].dump() + " -> " + g["new"].dump();
    out.push_back(Field(g["gain"].get<std::string>(), change));
  }
  for (const auto& m : r.messages)
    out.push_back(Field("message", m));
  if (!r.limits.is_null()) out.push_back(Field("limits", DumpJson(r.limits)));
  if (!extra.is_null() && !extra.empty()) out.push_back(Field("also", DumpJson(extra)));
  return out;
}

}  // namespace vx
