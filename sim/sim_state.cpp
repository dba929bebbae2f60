#include "sim/sim_state.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>

#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"
#include "json/json.h"
#include "platform/output_file.h"

namespace vx::sim {

namespace {

using nlohmann::json;

void PutWord(DataFlashBlock& b, int offset, std::int32_t w) {
  PutBlockWord(b, offset, Wrap16(w));
}

// Each record's fields are listed once, in Fields(); a visitor writes them to JSON or reads
// them back, checking each value against its range and naming the field it refuses.
struct Range {
  double lo, hi;
};
constexpr Range kInt16{-32768, 32767};
constexpr Range kByte{0, 255};
constexpr Range kMilliVolts{0, 100000};
constexpr Range kAny{-1e9, 1e9};
constexpr Range kFinite{-1e308, 1e308};

template <typename V>
void Fields(V& v, Truth& t) {
  v("cell_mV", t.cell_mV, kMilliVolts);
  v("system_mV", t.system_mV, kMilliVolts);
  v("temperature_C", t.temperature_C, Range{-273.1, 500});
  v("current_mA", t.current_mA, Range{-32768, 32767});
}

// What a calibration stores is whatever its reference made it: a sign error, 0, a far-off
// value. The state keeps any finite number there, so that it loads every state it saved.
template <typename V>
void Fields(V& v, DeviceCalibration& c) {
  v("temp_error_dK", c.temp_error_dK, Range{-1000, 1000});
  v("temp_offset_dK", c.temp_offset_dK, kFinite);
  v("temperature_sensor", c.temperature_sensor, Range{0, 2});
  v("current_sense_error", c.current_sense_error, Range{0.01, 100});
  v("cc_gain", c.cc_gain, kFinite);
  v("cc_offset_raw_mA", c.cc_offset_raw_mA, kAny);
  v("cc_offset_cal_mA", c.cc_offset_cal_mA, kAny);
  v("board_offset_raw_mA", c.board_offset_raw_mA, kAny);
  v("board_offset_cal_mA", c.board_offset_cal_mA, kAny);
  v("pack_sense_error", c.pack_sense_error, Range{0.01, 100});
  v("pack_gain", c.pack_gain, kFinite);
  v("sample_idle", c.sample_idle, kInt16);
  v("sample_active", c.sample_active, kInt16);
  v("word71", c.word71, kInt16);
}

template <typename V>
void Fields(V& v, BusyTimes& b) {
  constexpr Range kBusy{0, 600000};
  v("cc_offset", b.cc_offset, kBusy);
  v("board_offset", b.board_offset, kBusy);
  v("temperature", b.temperature, kBusy);
  v("current", b.current, kBusy);
  v("pack_voltage", b.pack_voltage, kBusy);
}

template <typename V>
void Fields(V& v, NominalGains& n) {
  constexpr Range kGain{1, 32767};  // readings divide by it
  v("cell", n.cell, kGain);
  v("stack", n.stack, kGain);
  v("system", n.system, kGain);
}

template <typename V>
void Fields(V& v, FaultRule& f) {
  v("nth", f.nth, Range{0, 1e12});
  v("command", f.cmd, Range{-1, 255});
  v("method", f.method);
  v("status", f.status, Range{-2147483648.0, 2147483647.0});
  v("call", f.call, Range{0, 1e9});
}

template <typename V>
void Fields(V& v, SimState& s) {
  v("address", s.address, kByte);
  v("mac_command", s.mac_command, kByte);
  v("fets_on", s.fets_on);
  v("truth", s.truth);
  v("calibration", s.cal);
  v("busy_ms", s.busy_ms);
  v("nominal_gain", s.nominal);
  v("dataflash", s.dataflash);
  v("faults", s.faults);
  v("forced_result", s.forced_result);
}

class Writer {
 public:
  json j = json::object();

  template <typename T>
  void operator()(const char* key, const T& value, Range = {}) {
    j[key] = value;
  }
  void operator()(const char* key, std::string& value) { j[key] = value; }
  void operator()(const char* key, bool& value) { j[key] = value; }
  template <typename T>
  void operator()(const char* key, T& record) requires std::is_class_v<T> {
    j[key] = Write(record);
  }
  template <typename T>
  void operator()(const char* key, std::vector<T>& list) {
    json a = json::array();
    for (auto& item : list)
      a.push_back(Write(item));
    j[key] = a;
  }
  void operator()(const char* key, std::map<int, DataFlashBlock>& df) {
    json o = json::object();
    for (const auto& [sub, block] : df)
      o[std::to_string(sub)] = block;
    j[key] = o;
  }
  void operator()(const char* key, std::optional<std::uint16_t>& word) {
    j[key] = word ? json(*word) : json(nullptr);
  }

  template <typename T>
  static json Write(T& record) {
    Writer w;
    Fields(w, record);
    return w.j;
  }
};

class Reader {
 public:
  Reader(const json& j, std::string where) : j_(j), where_(std::move(where)) {
    if (!j_.is_object()) Fail(where_.empty() ? "the state" : where_, "is not a JSON object");
  }

  template <typename T>
  void operator()(const char* key, T& out, Range r) requires std::is_arithmetic_v<T> {
    if (const json* v = Take(key)) out = Number<T>(*v, Name(key), r);
  }
  template <typename T, std::size_t N>
  void operator()(const char* key, std::array<T, N>& out, Range r) {
    const json* v = Take(key);
    if (!v) return;
    if (!v->is_array() || v->size() != N) Fail(Name(key), "must be a list of " + std::to_string(N));
    for (std::size_t i = 0; i < N; ++i)
      out[i] = Number<T>((*v)[i], Name(key) + "[" + std::to_string(i) + "]", r);
  }
  void operator()(const char* key, bool& out) {
    const json* v = Take(key);
    if (!v) return;
    if (!v->is_boolean()) Fail(Name(key), "must be true or false");
    out = v->get<bool>();
  }
  void operator()(const char* key, std::string& out) {
    const json* v = Take(key);
    if (!v) return;
    if (!v->is_string()) Fail(Name(key), "must be a text");
    out = v->get<std::string>();
  }
  template <typename T>
  void operator()(const char* key, T& record) requires std::is_class_v<T> {
    if (const json* v = Take(key)) Read(*v, Name(key), record);
  }
  template <typename T>
  void operator()(const char* key, std::vector<T>& list) {
    const json* v = Take(key);
    if (!v) return;
    if (!v->is_array()) Fail(Name(key), "must be a list");
    list.clear();
    for (std::size_t i = 0; i < v->size(); ++i) {
      T item;
      Read((*v)[i], Name(key) + "[" + std::to_string(i) + "]", item);
      list.push_back(item);
    }
  }
  void operator()(const char* key, std::map<int, DataFlashBlock>& df) {
    const json* v = Take(key);
    if (!v) return;
    if (!v->is_object()) Fail(Name(key), "must map subclass numbers to bytes");
    for (const auto& [sub, bytes] : v->items()) {
      std::string name = Name(key) + "." + sub;
      std::size_t used = 0;
      int n = -1;
      try {
        n = std::stoi(sub, &used);
      } catch (const std::exception&) {
      }
      if (used != sub.size() || n < 0 || n > 255) Fail(name, "is not a subclass number 0..255");
      if (!bytes.is_array() || bytes.size() > 32) Fail(name, "must be a list of at most 32 bytes");
      DataFlashBlock block{};
      for (std::size_t i = 0; i < bytes.size(); ++i)
        block[i] = Number<std::uint8_t>(bytes[i], name + "[" + std::to_string(i) + "]", kByte);
      df[n] = block;
    }
  }
  void operator()(const char* key, std::optional<std::uint16_t>& word) {
    const json* v = Take(key);
    if (!v) return;
    if (v->is_null()) {
      word.reset();
    } else {
      word = Number<std::uint16_t>(*v, Name(key), Range{0, 65535});
    }
  }

  // Fields the state does not know are refused: a misspelt field must not pass for a default.
  void Finish() const {
    for (const auto& [key, value] : j_.items()) {
      if (!seen_.count(key)) Fail(Name(key.c_str()), "is not a field of the state");
    }
  }

  template <typename T>
  static void Read(const json& j, const std::string& where, T& record) {
    Reader r(j, where);
    Fields(r, record);
    r.Finish();
  }

  [[noreturn]] static void Fail(const std::string& field, const std::string& why) {
    throw std::runtime_error(field + " " + why);
  }

 private:
  const json* Take(const char* key) {
    seen_.insert(key);
    auto it = j_.find(key);
    return it == j_.end() ? nullptr : &*it;
  }
  std::string Name(const char* key) const { return where_.empty() ? key : where_ + "." + key; }

  template <typename T>
  static T Number(const json& v, const std::string& name, Range r) {
    if (!v.is_number()) Fail(name, "must be a number");
    double d = v.get<double>();
    if (!(d >= r.lo && d <= r.hi)) {
      std::ostringstream range;
      range << r.lo << " to " << r.hi;
      Fail(name, "is outside " + range.str());
    }
    if constexpr (std::is_integral_v<T>) {
      if (d != std::floor(d)) Fail(name, "must be a whole number");
    }
    return static_cast<T>(d);
  }

  const json& j_;
  std::string where_;
  std::set<std::string, std::less<>> seen_;
};

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

std::string ToJson(const SimState& s) {
  SimState copy = s;
  return Writer::Write(copy).dump(2) + "\n";
}

SimState FromJson(const std::string& text) {
  SimState s = DefaultState();
  json j;
  try {
    CheckJsonDepth(text);
    j = json::parse(text);
  } catch (const json::parse_error& e) {
    throw std::runtime_error("is not JSON (at byte " + std::to_string(e.byte) + ")");
  } catch (const json::exception&) {
    throw std::runtime_error("is not JSON that can be read (a number out of range?)");
  }
  Reader::Read(j, "", s);
  return s;
}

SimState LoadStateFile(const std::string& path) {
  // A folder, a device or a pipe is no state file: a pipe would wait for a writer for ever.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw std::runtime_error(
        "simulator state " + path +
        (std::filesystem::exists(path, ec) ? " is not a regular file" : " does not exist"));
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open simulator state file " + path);
  std::stringstream ss;
  ss << in.rdbuf();
  try {
    return FromJson(ss.str());
  } catch (const std::runtime_error& e) {
    throw std::runtime_error("simulator state " + path + ": " + e.what());
  }
}

void SaveStateFile(const SimState& s, const std::string& path) {
  // Whole or not at all: a crash or a full disk leaves the old state, never half a new one.
  try {
    WriteWholeFile(path, [&](std::ostream& out) { out << ToJson(s); });
  } catch (const std::runtime_error& e) {
    throw std::runtime_error("cannot write simulator state file " + path + " (" + e.what() + ")");
  }
}

}  // namespace vx::sim
