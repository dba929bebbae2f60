#include "sim/device_model.h"

#include <algorithm>
#include <cmath>

#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"
#include "device/utils.h"

namespace vx::sim {

namespace {

std::int16_t Saturate16(double v) {
  double r = RoundHalfEven(v);
  if (std::isnan(r)) return 0;
  return static_cast<std::int16_t>(std::clamp(r, -32768.0, 32767.0));
}

std::uint16_t Saturate16u(double v) {
  double r = RoundHalfEven(v);
  if (std::isnan(r)) return 0;
  return static_cast<std::uint16_t>(std::clamp(r, 0.0, 65535.0));
}

bool IsBoardOffset(std::uint16_t req) {
  return (req & cmd::kReqBoardOffset) == cmd::kReqBoardOffset;
}

// Result word bits the simulated device reports.
constexpr std::uint16_t kNoSensor = 0x0004;
constexpr std::uint16_t kNoCurrent = 0x0040;
constexpr std::uint16_t kBoardOffsetMeasured = 0x0080;  // the device's flag, not a failure
constexpr std::uint16_t kNoPackVoltage = 0x0100;
constexpr std::uint16_t kBusyBits = 0xC000;

}  // namespace

// ---- readings ----

std::int16_t DeviceModel::Gain(int offset) const {
  auto it = state_.dataflash.find(cmd::kSubclassCalibrationData);
  if (it == state_.dataflash.end()) return 0;
  return BlockWord(it->second, offset);
}

int DeviceModel::CapacitorCount() const {
  auto it = state_.dataflash.find(cmd::kSubclassOperationCfg);
  if (it == state_.dataflash.end()) return 1;
  return (it->second[0] & 7) + 1;
}

std::int16_t DeviceModel::TapReading(int k) const {
  double tap = 0;
  for (int i = 0; i <= k && i < 5; ++i)
    tap += state_.truth.cell_mV[static_cast<std::size_t>(i)];
  return Saturate16(tap * Gain(cmd::kCellGainOffset[k]) / state_.nominal.cell);
}

std::int16_t DeviceModel::CellReading(int k) const {
  int n = std::min(CapacitorCount(), 5);
  if (k >= n) return 0;  // inputs of capacitors that are not fitted read nothing
  if (k == 0) return TapReading(0);
  return Wrap16(TapReading(k) - TapReading(k - 1));
}

std::int16_t DeviceModel::StackReading() const {
  int n = std::min(CapacitorCount(), 5);
  double stack = 0;
  for (int i = 0; i < n; ++i)
    stack += state_.truth.cell_mV[static_cast<std::size_t>(i)];
  return Saturate16(stack * Gain(cmd::kStackGainOffset) / state_.nominal.stack);
}

std::int16_t DeviceModel::SystemReading() const {
  return Saturate16(state_.truth.system_mV * Gain(cmd::kSystemGainOffset) / state_.nominal.system);
}

std::uint16_t DeviceModel::TemperatureWord() const {
  auto s = static_cast<std::size_t>(std::clamp(state_.cal.temperature_sensor, 0, 2));
  double raw = state_.truth.temperature_C * 10.0 + 2732.0 + state_.cal.temp_error_dK[s];
  return Saturate16u(raw + state_.cal.temp_offset_dK[s]);
}

double DeviceModel::CurrentResidual() const {
  const auto& c = state_.cal;
  return (c.cc_offset_raw_mA - c.cc_offset_cal_mA) +
         (c.board_offset_raw_mA - c.board_offset_cal_mA);
}

std::int16_t DeviceModel::CurrentReading() const {
  const auto& c = state_.cal;
  return Saturate16(state_.truth.current_mA * c.current_sense_error * c.cc_gain +
                    CurrentResidual());
}

// ---- calibration mode ----

bool DeviceModel::Busy() const {
  return stay_busy_ || clock_.Now() < busy_until_;
}

std::uint16_t DeviceModel::BusyWord() const {
  if (Busy()) return static_cast<std::uint16_t>(request_ | kBusyBits);
  return static_cast<std::uint16_t>(request_ & kBusyBits);
}

void DeviceModel::StartCalibration(std::uint16_t request) {
  request_ = request;
  const auto& b = state_.busy_ms;
  std::int64_t ms = 0;
  std::uint16_t result = 0;
  if (IsBoardOffset(request_)) {
    ms += b.board_offset;
    result |= kBoardOffsetMeasured;
  } else if (request_ & cmd::kReqCcOffset) {
    ms += b.cc_offset;
  }
  if (request_ & cmd::kReqTemperature) {
    ms += b.temperature;
    if ((request_ & (cmd::kReqIntSensor | cmd::kReqExt1Sensor | cmd::kReqExt2Sensor)) == 0) {
      result |= kNoSensor;
    }
  }
  if (request_ & cmd::kReqCurrent) {
    ms += b.current;
    std::int16_t ref = params_.size() >= 2 ? JoinBytes(params_[1], params_[0]) : std::int16_t{0};
    double measured = state_.truth.current_mA * state_.cal.current_sense_error;
    if (ref == 0 || measured == 0.0) result |= kNoCurrent;
  }
  if (request_ & cmd::kReqPackVoltage) {
    ms += b.pack_voltage;
    if (!state_.fets_on) result |= kNoPackVoltage;  // pack voltage is only seen through the FETs
  }
  if (state_.forced_result) result = *state_.forced_result;
  result_ = result;
  busy_until_ = clock_.Now() + std::chrono::milliseconds(ms);
  // A finished measurement waits for the store command; a failed one is discarded.
  measured_ = (result & ~(IsBoardOffset(request_) ? kBoardOffsetMeasured : 0u)) == 0;
}

void DeviceModel::Store() {
  if (!measured_) return;
  measured_ = false;
  auto& c = state_.cal;
  if (IsBoardOffset(request_)) {
    c.board_offset_cal_mA = c.board_offset_raw_mA;
  } else if (request_ & cmd::kReqCcOffset) {
    c.cc_offset_cal_mA = c.cc_offset_raw_mA;
  }
  if ((request_ & cmd::kReqTemperature) && params_.size() >= 6) {
    double ref = static_cast<double>(params_[4] | params_[5] << 8);
    double true_dK = state_.truth.temperature_C * 10.0 + 2732.0;
    const std::uint16_t bits[3] = {cmd::kReqIntSensor, cmd::kReqExt1Sensor, cmd::kReqExt2Sensor};
    for (std::size_t s = 0; s < 3; ++s) {
      if (request_ & bits[s]) c.temp_offset_dK[s] = ref - (true_dK + c.temp_error_dK[s]);
    }
  }
  if ((request_ & cmd::kReqCurrent) && params_.size() >= 2) {
    double ref = JoinBytes(params_[1], params_[0]);
    double measured = state_.truth.current_mA * c.current_sense_error;
    if (measured != 0.0) c.cc_gain = (ref - CurrentResidual()) / measured;
  }
  if ((request_ & cmd::kReqPackVoltage) && c.pack_sense_error != 0.0) {
    c.pack_gain = 1.0 / c.pack_sense_error;
  }
}

// ---- registers ----

std::uint16_t DeviceModel::ReadRegister() const {
  if (selected_register_ == cmd::kRegSampleAddress) {
    return static_cast<std::uint16_t>(control_register_ == 3 ? state_.cal.sample_active
                                                             : state_.cal.sample_idle);
  }
  return selected_register_ == cmd::kRegControlAddress ? control_register_ : 0;
}

void DeviceModel::WriteRegister(std::uint16_t word) {
  if (selected_register_ == cmd::kRegControlAddress) control_register_ = word;
}

}  // namespace vx::sim
