#include "records/record.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "device/commands.h"
#include "device/dataflash.h"

namespace vx::records {

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string s;
  for (std::uint8_t b : bytes) {
    s += kDigits[b >> 4];
    s += kDigits[b & 0xF];
  }
  return s;
}

std::vector<std::uint8_t> Bytes(const std::string& hex) {
  if (hex.size() % 2 != 0) throw std::runtime_error("an image's bytes are not hex pairs");
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

Json Images(const std::vector<Image>& images) {
  Json a = Json::array();
  for (const Image& i : images)
    a.push_back(Json{{"subclass", i.subclass}, {"status", i.status}, {"bytes", Hex(i.bytes)}});
  return a;
}

std::vector<Image> ImagesFrom(const Json& a) {
  std::vector<Image> out;
  for (const Json& i : a)
    out.push_back({i.at("subclass").get<int>(), Bytes(i.at("bytes").get<std::string>()),
                   i.at("status").get<std::int32_t>()});
  return out;
}

}  // namespace

Json ToJson(const RunRecord& r) {
  Json refs = Json::array();
  for (const Reference& ref : r.references)
    refs.push_back(Json{{"label", ref.label}, {"value", ref.value}, {"source", ref.source}});
  return Json{{"id", r.id},
              {"time_utc", r.time_utc},
              {"station", r.station},
              {"operator", r.operator_name},
              {"unit", r.unit},
              {"device", r.device},
              {"address", r.address},
              {"target_info", r.target_info},
              {"run", r.run},
              {"ticked", r.ticked},
              {"references", refs},
              {"readings_before", r.readings_before},
              {"readings_after", r.readings_after},
              {"residuals", r.residuals},
              {"outcome", r.outcome},
              {"messages", r.messages},
              {"program", r.program},
              {"before", Images(r.before)},
              {"after", Images(r.after)},
              {"limits", r.limits},
              {"extra", r.extra}};
}

RunRecord FromJson(const Json& j) {
  try {
    RunRecord r;
    r.id = j.at("id").get<std::int64_t>();
    r.time_utc = j.at("time_utc").get<std::string>();
    r.station = j.at("station").get<std::string>();
    r.operator_name = j.at("operator").get<std::string>();
    r.unit = j.at("unit").get<std::string>();
    r.device = j.at("device").get<std::string>();
    r.address = j.at("address").get<int>();
    r.target_info = j.at("target_info").get<std::string>();
    r.run = j.at("run").get<std::string>();
    r.ticked = j.at("ticked").get<std::vector<std::string>>();
    for (const Json& ref : j.at("references"))
      r.references.push_back({ref.at("label"), ref.at("value"), ref.value("source", Json())});
    r.readings_before = j.at("readings_before");
    r.readings_after = j.at("readings_after");
    r.residuals = j.at("residuals");
    r.outcome = j.at("outcome").get<std::string>();
    r.messages = j.at("messages").get<std::vector<std::string>>();
    r.program = j.at("program").get<std::string>();
    r.before = ImagesFrom(j.at("before"));
    r.after = ImagesFrom(j.at("after"));
    r.limits = j.at("limits");
    r.extra = j.at("extra");
    return r;
  } catch (const nlohmann::json::exception& e) {
    throw std::runtime_error(std::string("not a run record: ") + e.what());
  }
}

std::string NowUtc() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[96];
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return buf;
}

std::vector<std::pair<std::string, int>> Gains(const std::vector<Image>& images) {
  std::vector<std::pair<std::string, int>> out;
  for (const Image& i : images) {
    if (i.subclass != cmd::kSubclassCalibrationData || i.status != 0 || i.bytes.size() < 24) {
      continue;
    }
    auto word = [&](int offset) { return static_cast<int>(BlockWord(i.bytes, offset)); };
    for (int k = 0; k < 5; ++k)
      out.emplace_back("Capacitor " + std::to_string(k + 1) + " gain",
                       word(cmd::kCellGainOffset[k]));
    out.emplace_back("System voltage gain", word(cmd::kSystemGainOffset));
    out.emplace_back("Stack voltage gain", word(cmd::kStackGainOffset));
  }
  return out;
}

}  // namespace vx::records
