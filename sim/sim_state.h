// The simulated device's state: what is really there (true voltages, temperature, current),
// the analog errors that make an uncalibrated device read wrong, the calibration values the
// device keeps itself, and its data flash as bytes. Saved to and loaded from JSON.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/smbus_adapter.h"

namespace vx::sim {

using DataFlashBlock = std::array<std::uint8_t, 32>;

struct Truth {
  std::array<double, 5> cell_mV{2100, 2100, 2100, 2100, 2100};  // each capacitor alone
  double system_mV = 12300;
  double temperature_C = 25.0;
  double current_mA = -500;
};

// Values that the device's own calibration mode measures and stores.
struct DeviceCalibration {
  // Raw error of each temperature sensor (internal, external 1, external 2) and the offset
  // stored to cancel it, both in 0.1 K.
  std::array<double, 3> temp_error_dK{0, 0, 0};
  std::array<double, 3> temp_offset_dK{0, 0, 0};
  int temperature_sensor = 1;        // the sensor the temperature reading comes from
  double current_sense_error = 1.0;  // analog factor of the sense path
  double cc_gain = 1.0;              // stored current gain
  double cc_offset_raw_mA = 0;       // coulomb counter offset, and its stored compensation
  double cc_offset_cal_mA = 0;
  double board_offset_raw_mA = 0;  // board offset, and its stored compensation
  double board_offset_cal_mA = 0;
  double pack_sense_error = 1.0;  // pack voltage path, and its stored gain
  double pack_gain = 1.0;
  // Register 0x8042 reads sample_idle while 0x8040 holds anything but 3, else sample_active.
  std::int16_t sample_idle = 0;
  std::int16_t sample_active = 0;
  std::int16_t word71 = 0;  // command 0x71
};

// How long the device's calibrations take, in ms of device time.
struct BusyTimes {
  std::int32_t cc_offset = 4000;
  std::int32_t board_offset = 30000;
  std::int32_t temperature = 1000;
  std::int32_t current = 2000;
  std::int32_t pack_voltage = 1000;
};

struct NominalGains {
  std::int32_t cell = 10000;
  std::int32_t stack = 10000;
  std::int32_t system = 20000;
};

// A transfer the device fails on purpose. Matched by position (nth) or by command and method.
struct FaultRule {
  std::int64_t nth = 0;  // fail the nth bus transfer (1-based); 0: match by the fields below
  int cmd = -1;          // fail transfers of this command (-1: any)
  std::string method;    // and of this method (empty: any)
  Status status = kStatusNack;
  int call = 0;  // 0: every matching call; k: only the k-th one, after which the rule goes
  int hits = 0;  // matching calls so far
};

struct SimState {
  std::int16_t address = 0x16;      // answers this address (and 0x17 for registers)
  std::uint8_t mac_command = 0x00;  // manufacturer access
  Truth truth;
  DeviceCalibration cal;
  BusyTimes busy_ms;
  NominalGains nominal;
  std::map<int, DataFlashBlock> dataflash;  // subclass -> first 32 bytes
  bool fets_on = false;
  // A test bench for scripts: transfers that fail, and a result word the device's calibrations
  // report instead of their own.
  std::vector<FaultRule> faults;
  std::optional<std::uint16_t> forced_result;
};

// A device with two to five capacitors and every gain at its nominal value.
SimState DefaultState(int capacitors = 5);
// The same device with deliberate errors: wrong gains, offsets and sensor readings.
SimState MiscalibratedState(int capacitors = 5);

std::string ToJson(const SimState& s);
// Every field may be left out and keeps the built-in device's value ({} is DefaultState()).
// Throws std::runtime_error naming the field on malformed input, an unknown field or a value
// out of range.
SimState FromJson(const std::string& text);
// The same, with the file's name in front of any error.
SimState LoadStateFile(const std::string& path);
// Atomically: the new state replaces the file whole or not at all.
void SaveStateFile(const SimState& s, const std::string& path);

}  // namespace vx::sim
