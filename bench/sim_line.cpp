#include "bench/sim_line.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "device/commands.h"
#include "device/dataflash.h"
#include "records/readings.h"
#include "sim/random.h"
#include "sim/random_unit.h"

namespace vx::sim {

namespace {

std::string TimeOf(const std::string& first_day, std::int64_t seconds) {
  std::tm tm{};
  if (std::sscanf(first_day.c_str(), "%d-%d-%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday) != 3) {
    tm = {0, 0, 0, 1, 1, 2026, 0, 0, 0, 0, nullptr};
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  const std::time_t t = timegm(&tm) + static_cast<std::time_t>(seconds);
  gmtime_r(&t, &tm);
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S.000Z", &tm);
  return buf;
}

std::string Whole(double v) {
  return std::to_string(std::llround(v));
}

std::string Tenth(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", std::round(v * 10) / 10);
  std::string s = buf;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
  return s;
}

records::Image Block(const double gains[7]) {
  records::Image img{cmd::kSubclassCalibrationData, std::vector<std::uint8_t>(32), 0};
  for (int k = 0; k < 8; ++k)
    img.bytes[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(0x11 * (k + 1));
  auto put = [&](int offset, double g) {
    PutBlockWord(img.bytes, offset, static_cast<std::int16_t>(std::lround(g)));
  };
  for (int k = 0; k < 5; ++k)
    put(cmd::kCellGainOffset[k], gains[k]);
  put(cmd::kSystemGainOffset, gains[5]);
  put(cmd::kStackGainOffset, gains[6]);
  return img;
}

}  // namespace

records::RunRecord LineRecord(const LineSpec& plan, std::int64_t i) {
  Random rnd(plan.seed, static_cast<std::uint64_t>(i));
  records::RunRecord r;
  const int station = static_cast<int>(i % plan.stations) + 1;
  const std::int64_t day = i / plan.units_per_day, slot = i % plan.units_per_day;
  r.time_utc = TimeOf(plan.first_day, day * 86400 + slot * 86400 / plan.units_per_day);
  r.station = "st" + std::to_string(station);
  r.operator_name = "op" + std::to_string((station - 1) * 3 +
                                          static_cast<int>(slot * 3 / plan.units_per_day) + 1);
  char unit[24];
  std::snprintf(unit, sizeof unit, "U-%08lld", static_cast<long long>(i + 1));
  r.unit = unit;
  char uid[33];
  std::snprintf(uid, sizeof uid, "%016llx%016llx", static_cast<unsigned long long>(rnd.Next()),
                static_cast<unsigned long long>(rnd.Next()));
  r.uid = uid;
  r.device = "/dev/i2c-1";
  r.address = 22;
  r.target_info = "800.1.02";
  r.run = "calibrate";
  r.program = "vx58420cal 0.0.2";
  r.ticked = {"Capacitor Stack Voltage Calibration", "System Voltage Calibration",
              "Temperature Calibration", "Current Calibration"};

  // The unit: its capacitors' true voltages and its sense errors (about 1 %).
  const double meter =
      1 + (station == plan.biased_station && i >= plan.biased_from ? plan.bias : 0);
  double top = 0, before[9], truth[9];
  for (int k = 0; k < 5; ++k) {
    top += 2050 + rnd.Normal(15);
    truth[k] = top;
  }
  truth[5] = top;
  truth[6] = top + 1800 + rnd.Normal(20);
  truth[7] = 25 + rnd.Normal(2);
  truth[8] = -500 + rnd.Normal(10);
  for (int k = 0; k < 9; ++k) {
    before[k] = k == 7 ? truth[k] + rnd.Normal(1.5) : truth[k] * (1 + rnd.Normal(0.01));
  }
  // What the station's meter gave as references: the truth, off by its error.
  const std::string refs[8] = {Whole(truth[0] * meter), Whole(truth[1] * meter),
                               Whole(truth[2] * meter), Whole(truth[3] * meter),
                               Whole(truth[4] * meter), Whole(truth[6] * meter),
                               Tenth(truth[7]),         Whole(truth[8] * meter)};
  const int reading_of_ref[8] = {0, 1, 2, 3, 4, 6, 7, 8};
  const records::Json source = {
      {"meter", {{"vendor", "Sim"}, {"model", "DMM"}, {"serial", "M" + std::to_string(station)}}}};
  for (int k = 0; k < 8; ++k) {
    r.references.push_back(
        {std::string(records::kReadings[static_cast<std::size_t>(reading_of_ref[k])].label),
         refs[k], source});
  }
  auto readings = [&](auto value) {
    records::Json caps = records::Json::array();
    for (int k = 0; k < 6; ++k)
      caps.push_back(records::Number(Whole(value(k))));
    return records::Json{{"capacitors_mV", caps},
                         {"system_mV", records::Number(Whole(value(6)))},
                         {"temperature_C", records::Number(Tenth(value(7)))},
                         {"current_mA", records::Number(Whole(value(8)))}};
  };
  r.readings_before = readings([&](int k) { return before[k]; });
  // After the run each reading follows its reference, within the device's resolution.
  r.readings_after = readings([&](int k) {
    const double ref = k == 7 ? truth[7] : truth[k] * meter;
    return ref + (k == 7 ? rnd.Normal(0.1) : rnd.Normal(0.8));
  });
  r.residuals = records::Residuals(r.references, r.readings_after);

  const double u = rnd.Uniform();
  r.outcome = u < 0.955   ? "done"
              : u < 0.97  ? "refused"
              : u < 0.985 ? "failed"
              : u < 0.995 ? "out of limits"
                          : "interrupted";
  if (r.outcome == "refused") {
    r.messages = {
        "Actual system voltage entered appears low. Please check this value and retry "
        "calibration."};
  }
  double gains_before[7], gains_after[7];
  for (int k = 0; k < 7; ++k) {
    const int reading = k < 5 ? k : k == 5 ? 6 : 5;
    gains_before[k] = 10000 + rnd.Normal(40);
    gains_after[k] = gains_before[k] * truth[reading] * meter / before[reading];
  }
  r.before = {Block(gains_before),
              {cmd::kSubclassOperationCfg, std::vector<std::uint8_t>(32, 0), 0}};
  r.before[1].bytes[0] = 0x04;
  r.before[1].bytes[1] = 0x20;
  r.after = {r.outcome == "done" ? Block(gains_after) : r.before[0], r.before[1]};
  return r;
}

}  // namespace vx::sim
