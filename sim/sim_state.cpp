#include "sim/sim_state.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "device/commands.h"

namespace vx::sim {

namespace {

using nlohmann::json;

void PutWord(DataFlashBlock& b, int offset, std::int32_t w) {
  auto u = static_cast<std::uint16_t>(w);
  b[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(u >> 8);
  b[static_cast<std::size_t>(offset) + 1] = static_cast<std::uint8_t>(u & 0xFF);
}

template <typename T>
void Read(const json& j, const char* key, T& out) {
  if (j.contains(key)) out = j.at(key).get<T>();
}

}  // namespace

SimState DefaultState(int capacitors) {
  if (capacitors < 1) capacitors = 1;
  if (capacitors > 8) capacitors = 8;
  SimState s;
  const double cells[5] = {2050, 2110, 2080, 2120, 2095};
  double stack = 0;
  for (std::size_t i = 0; i < 5; ++i) {
    s.truth.cell_mV[i] = static_cast<int>(i) < capacitors ? cells[i] : 0.0;
    stack += s.truth.cell_mV[i];
  }
  s.truth.system_mV = stack + 1800;
  DataFlashBlock cfg{};
  cfg[0] = static_cast<std::uint8_t>(capacitors - 1);
  cfg[1] = 0x20;
  s.dataflash[cmd::kSubclassOperationCfg] = cfg;
  DataFlashBlock cal{};
  for (std::size_t i = 0; i < 8; ++i)
    cal[i] = static_cast<std::uint8_t>(0x11 * (i + 1));
  for (int k = 0; k < 5; ++k)
    PutWord(cal, cmd::kCellGainOffset[k], s.nominal.cell);
  PutWord(cal, cmd::kGainMarkerOffset, cmd::kGainMarker);
  PutWord(cal, cmd::kSystemGainOffset, s.nominal.system);
  PutWord(cal, cmd::kStackGainOffset, s.nominal.stack);
  for (std::size_t i = 24; i < 32; ++i)
    cal[i] = static_cast<std::uint8_t>(0xA0 + i);
  s.dataflash[cmd::kSubclassCalibrationData] = cal;
  return s;
}

SimState MiscalibratedState(int capacitors) {
  SimState s = DefaultState(capacitors);
  DataFlashBlock& cal = s.dataflash[cmd::kSubclassCalibrationData];
  const std::int32_t gains[5] = {10300, 9800, 10150, 9900, 10200};
  for (int k = 0; k < 5; ++k)
    PutWord(cal, cmd::kCellGainOffset[k], gains[k]);
  PutWord(cal, cmd::kGainMarkerOffset, 0);
  PutWord(cal, cmd::kSystemGainOffset, 20500);
  PutWord(cal, cmd::kStackGainOffset, 9700);
  s.cal.temp_error_dK = {15, -23, 8};
  s.cal.current_sense_error = 1.04;
  s.cal.cc_offset_raw_mA = 3;
  s.cal.board_offset_raw_mA = -2;
  s.cal.pack_sense_error = 1.02;
  s.cal.sample_idle = 100;
  s.cal.sample_active = 40;
  return s;
}

// Field names in JSON are the members' own; a missing field keeps its built-in value.
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Truth, cell_mV, system_mV, temperature_C,
                                                current_mA)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(DeviceCalibration, temp_error_dK, temp_offset_dK,
                                                temperature_sensor, current_sense_error, cc_gain,
                                                cc_offset_raw_mA, cc_offset_cal_mA,
                                                board_offset_raw_mA, board_offset_cal_mA,
                                                pack_sense_error, pack_gain, sample_idle,
                                                sample_active, word71)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(BusyTimes, cc_offset, board_offset, temperature,
                                                current, pack_voltage)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(NominalGains, cell, stack, system)

std::string ToJson(const SimState& s) {
  json j;
  j["address"] = s.address;
  j["mac_command"] = s.mac_command;
  j["fets_on"] = s.fets_on;
  j["truth"] = s.truth;
  j["calibration"] = s.cal;
  j["busy_ms"] = s.busy_ms;
  j["nominal_gain"] = s.nominal;
  json df = json::object();
  for (const auto& [sub, block] : s.dataflash)
    df[std::to_string(sub)] = block;
  j["dataflash"] = df;
  return j.dump(2) + "\n";
}

SimState FromJson(const std::string& text) {
  SimState s;
  try {
    json j = json::parse(text);
    if (!j.is_object()) throw std::runtime_error("the state is not a JSON object");
    Read(j, "address", s.address);
    Read(j, "mac_command", s.mac_command);
    Read(j, "fets_on", s.fets_on);
    Read(j, "truth", s.truth);
    Read(j, "calibration", s.cal);
    Read(j, "busy_ms", s.busy_ms);
    Read(j, "nominal_gain", s.nominal);
    if (s.cal.temperature_sensor < 0 || s.cal.temperature_sensor > 2) {
      throw std::runtime_error("calibration.temperature_sensor must be 0, 1 or 2");
    }
    if (s.nominal.cell == 0 || s.nominal.stack == 0 || s.nominal.system == 0) {
      throw std::runtime_error("nominal gains must not be 0");
    }
    if (j.contains("dataflash")) {
      for (const auto& [key, value] : j.at("dataflash").items()) {
        std::size_t used = 0;
        int sub = std::stoi(key, &used);
        if (used != key.size() || sub < 0 || sub > 255) {
          throw std::runtime_error("dataflash subclass \"" + key + "\" is not 0..255");
        }
        auto bytes = value.get<std::vector<int>>();
        if (bytes.size() > 32) throw std::runtime_error("dataflash block longer than 32 bytes");
        DataFlashBlock block{};
        for (std::size_t i = 0; i < bytes.size(); ++i) {
          if (bytes[i] < 0 || bytes[i] > 255) throw std::runtime_error("dataflash byte not 0..255");
          block[i] = static_cast<std::uint8_t>(bytes[i]);
        }
        s.dataflash[sub] = block;
      }
    }
  } catch (const nlohmann::json::exception& e) {
    throw std::runtime_error(std::string("simulator state: ") + e.what());
  } catch (const std::invalid_argument&) {
    throw std::runtime_error("simulator state: a dataflash subclass is not a number");
  } catch (const std::out_of_range&) {
    throw std::runtime_error("simulator state: a number is out of range");
  }
  return s;
}

SimState LoadStateFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open simulator state file " + path);
  std::stringstream ss;
  ss << in.rdbuf();
  return FromJson(ss.str());
}

void SaveStateFile(const SimState& s, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write simulator state file " + path);
  out << ToJson(s);
  if (!out) throw std::runtime_error("writing " + path + " failed");
}

}  // namespace vx::sim
