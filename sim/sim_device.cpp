#include "sim/sim_device.h"

#include <algorithm>
#include <cmath>

#include "device/commands.h"
#include "device/numeric.h"

namespace vx::sim {

namespace {

constexpr Status kNack = 772;

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

std::vector<std::uint8_t> WordBytes(std::uint16_t w) {
  return {static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w & 0xFF)};
}

// Bits of the calibration request word.
constexpr std::uint16_t kReqCcOffset = 0x0001;
constexpr std::uint16_t kReqBoardOffset = 0x0003;
constexpr std::uint16_t kReqTemperature = 0x0004;
constexpr std::uint16_t kReqIntSensor = 0x0008;
constexpr std::uint16_t kReqExt1Sensor = 0x0010;
constexpr std::uint16_t kReqExt2Sensor = 0x0020;
constexpr std::uint16_t kReqCurrent = 0x0040;
constexpr std::uint16_t kReqPackVoltage = 0x0100;

bool IsBoardOffset(std::uint16_t req) {
  return (req & kReqBoardOffset) == kReqBoardOffset;
}

}  // namespace

SimDevice::SimDevice(Platform& platform, SimState state)
    : platform_(platform), state_(std::move(state)) {}

void SimDevice::ClearFaults() {
  state_.faults.clear();
  short_block_ = -1;
  stay_busy_ = false;
  state_.forced_result.reset();
}

// ---- the model's readings ----

DataFlashBlock& SimDevice::Block(int subclass) {
  return state_.dataflash[subclass];
}

std::int16_t SimDevice::Gain(int offset) const {
  auto it = state_.dataflash.find(cmd::kSubclassCalibrationData);
  if (it == state_.dataflash.end()) return 0;
  auto i = static_cast<std::size_t>(offset);
  return static_cast<std::int16_t>(
      static_cast<std::uint16_t>((it->second[i] << 8) | it->second[i + 1]));
}

int SimDevice::CapacitorCount() const {
  auto it = state_.dataflash.find(cmd::kSubclassOperationCfg);
  if (it == state_.dataflash.end()) return 1;
  return (it->second[0] & 7) + 1;
}

std::int16_t SimDevice::TapReading(int k) const {
  double tap = 0;
  for (int i = 0; i <= k && i < 5; ++i)
    tap += state_.truth.cell_mV[static_cast<std::size_t>(i)];
  return Saturate16(tap * Gain(cmd::kCellGainOffset[k]) / state_.nominal.cell);
}

std::int16_t SimDevice::CellReading(int k) const {
  int n = std::min(CapacitorCount(), 5);
  if (k >= n) return 0;  // inputs of capacitors that are not fitted read nothing
  if (k == 0) return TapReading(0);
  return Wrap16(TapReading(k) - TapReading(k - 1));
}

std::int16_t SimDevice::StackReading() const {
  int n = std::min(CapacitorCount(), 5);
  double stack = 0;
  for (int i = 0; i < n; ++i)
    stack += state_.truth.cell_mV[static_cast<std::size_t>(i)];
  return Saturate16(stack * Gain(cmd::kStackGainOffset) / state_.nominal.stack);
}

std::int16_t SimDevice::SystemReading() const {
  return Saturate16(state_.truth.system_mV * Gain(cmd::kSystemGainOffset) / state_.nominal.system);
}

std::uint16_t SimDevice::TemperatureWord() const {
  auto s = static_cast<std::size_t>(std::clamp(state_.cal.temperature_sensor, 0, 2));
  double raw = state_.truth.temperature_C * 10.0 + 2732.0 + state_.cal.temp_error_dK[s];
  return Saturate16u(raw + state_.cal.temp_offset_dK[s]);
}

std::int16_t SimDevice::CurrentReading() const {
  const auto& c = state_.cal;
  double residual =
      (c.cc_offset_raw_mA - c.cc_offset_cal_mA) + (c.board_offset_raw_mA - c.board_offset_cal_mA);
  return Saturate16(state_.truth.current_mA * c.current_sense_error * c.cc_gain + residual);
}

// ---- calibration mode ----

std::uint16_t SimDevice::BusyWord() {
  if (Busy()) return static_cast<std::uint16_t>(request_ | 0xC000u);
  return static_cast<std::uint16_t>(request_ & 0xC000u);
}

void SimDevice::StartCalibration(std::uint8_t hi, std::uint8_t lo) {
  request_ = static_cast<std::uint16_t>((hi << 8) | lo);
  const auto& b = state_.busy_ms;
  std::int64_t ms = 0;
  std::uint16_t result = 0;
  if (IsBoardOffset(request_)) {
    ms += b.board_offset;
    result |= 0x0080;  // the device flags a board offset measurement this way
  } else if (request_ & kReqCcOffset) {
    ms += b.cc_offset;
  }
  if (request_ & kReqTemperature) {
    ms += b.temperature;
    if ((request_ & (kReqIntSensor | kReqExt1Sensor | kReqExt2Sensor)) == 0) result |= 0x0004;
  }
  if (request_ & kReqCurrent) {
    ms += b.current;
    std::int16_t ref = params_.size() >= 2 ? static_cast<std::int16_t>(params_[0] | params_[1] << 8)
                                           : std::int16_t{0};
    double measured = state_.truth.current_mA * state_.cal.current_sense_error;
    if (ref == 0 || measured == 0.0) result |= 0x0040;
  }
  if (request_ & kReqPackVoltage) {
    ms += b.pack_voltage;
    if (!state_.fets_on) result |= 0x0100;  // pack voltage is only seen through the FETs
  }
  if (state_.forced_result) result = *state_.forced_result;
  result_ = result;
  busy_until_ = platform_.Now() + std::chrono::milliseconds(ms);
  // A finished measurement waits for the store command; a failed one is discarded. The board
  // offset's own flag does not count as a failure.
  measured_ = (result & ~(IsBoardOffset(request_) ? 0x0080u : 0u)) == 0;
}

void SimDevice::Store() {
  if (!measured_) return;
  measured_ = false;
  auto& c = state_.cal;
  if (IsBoardOffset(request_)) {
    c.board_offset_cal_mA = c.board_offset_raw_mA;
  } else if (request_ & kReqCcOffset) {
    c.cc_offset_cal_mA = c.cc_offset_raw_mA;
  }
  if ((request_ & kReqTemperature) && params_.size() >= 6) {
    double ref = static_cast<double>(params_[4] | params_[5] << 8);
    double true_dK = state_.truth.temperature_C * 10.0 + 2732.0;
    const std::uint16_t bits[3] = {kReqIntSensor, kReqExt1Sensor, kReqExt2Sensor};
    for (std::size_t s = 0; s < 3; ++s) {
      if (request_ & bits[s]) c.temp_offset_dK[s] = ref - (true_dK + c.temp_error_dK[s]);
    }
  }
  if ((request_ & kReqCurrent) && params_.size() >= 2) {
    double ref = static_cast<std::int16_t>(params_[0] | params_[1] << 8);
    double residual =
        (c.cc_offset_raw_mA - c.cc_offset_cal_mA) + (c.board_offset_raw_mA - c.board_offset_cal_mA);
    double measured = state_.truth.current_mA * c.current_sense_error;
    if (measured != 0.0) c.cc_gain = (ref - residual) / measured;
  }
  if ((request_ & kReqPackVoltage) && c.pack_sense_error != 0.0) {
    c.pack_gain = 1.0 / c.pack_sense_error;
  }
}

// ---- bus plumbing ----

bool SimDevice::ForThisDevice(std::int16_t addr, std::uint8_t cmd) const {
  // The device answers at its own address, and its register access also at 0x17.
  if (addr == cmd::kRegisterAddress &&
      (cmd == cmd::kRegAddress || cmd == cmd::kRegWrite || cmd == cmd::kRegRead)) {
    return true;
  }
  return addr == state_.address;
}

bool SimDevice::Busy() const {
  return stay_busy_ || platform_.Now() < busy_until_;
}

std::optional<Status> SimDevice::Injected(const std::string& method, int cmd, bool bus_transfer) {
  auto& faults = state_.faults;
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    bool hit = it->nth != 0 ? bus_transfer && it->nth == transfers_
                            : (it->cmd < 0 || it->cmd == cmd) &&
                                  (it->method.empty() ? bus_transfer : it->method == method);
    if (!hit || (it->call != 0 && ++it->hits < it->call)) continue;
    Status s = it->status;
    if (it->call != 0) faults.erase(it);
    return s;
  }
  return std::nullopt;
}

Status SimDevice::Begin(const std::string& method, std::int16_t addr, std::uint8_t cmd) {
  ++transfers_;
  if (auto s = Injected(method, cmd, true)) return *s;
  if (!ForThisDevice(addr, cmd)) return kNack;
  return 0;
}

void SimDevice::Log(const std::string& method, std::int16_t addr, int cmd,
                    std::vector<std::uint8_t> bytes, Status status) {
  last_status_ = status;
  log_.push_back({method, addr, cmd, std::move(bytes), status, platform_.Now(), 0});
  if (on_transfer) on_transfer(log_.back());
}

Status SimDevice::ReadRegisterWord(std::uint8_t cmd, std::uint16_t& word) {
  if (cmd != cmd::kRegRead) return kNack;
  if (selected_register_ == 0x8042) {
    word = static_cast<std::uint16_t>(control_register_ == 3 ? state_.cal.sample_active
                                                             : state_.cal.sample_idle);
  } else if (selected_register_ == 0x8040) {
    word = control_register_;
  } else {
    word = 0;
  }
  return 0;
}

Status SimDevice::WriteRegisterWord(std::uint8_t cmd, std::uint16_t word) {
  if (cmd == cmd::kRegAddress) {
    selected_register_ = word;
    return 0;
  }
  if (cmd == cmd::kRegWrite) {
    if (selected_register_ == 0x8040) control_register_ = word;
    return 0;
  }
  return kNack;
}

Status SimDevice::ReadWord(std::uint8_t cmd, std::int16_t addr, std::uint16_t& word) {
  if (addr != state_.address) {  // register access at 0x17
    return ReadRegisterWord(cmd, word);
  }
  for (int k = 0; k < 5; ++k) {
    if (cmd == cmd::kCapVoltage[k]) {
      word = AsUnsigned16(CellReading(k));
      return 0;
    }
  }
  switch (cmd) {
    case cmd::kStackVoltage:
      word = AsUnsigned16(StackReading());
      return 0;
    case cmd::kSystemVoltage:
      word = AsUnsigned16(SystemReading());
      return 0;
    case cmd::kTemperature:
      word = TemperatureWord();
      return 0;
    case cmd::kCurrent:
      word = AsUnsigned16(CurrentReading());
      return 0;
    case cmd::kCalModeSignature:
      word = cal_mode_ ? static_cast<std::uint16_t>(cmd::kSigHi << 8 | cmd::kSigLo) : 0;
      return 0;
    case cmd::kBoardOffsetWord:
      word = AsUnsigned16(state_.cal.word71);
      return 0;
    case cmd::kFetControl:
      word = state_.fets_on ? 0x0004 : 0;
      return 0;
    case cmd::kRegRead:
      return ReadRegisterWord(cmd, word);
    case cmd::kCalBusy:
      if (!cal_mode_) return kNack;
      word = BusyWord();
      return 0;
    case cmd::kCalResult:
      if (!cal_mode_ || Busy()) return kNack;  // no result before the measurement ends
      word = result_;
      return 0;
    default:
      return kNack;
  }
}

Status SimDevice::WriteWord(std::uint8_t cmd, std::uint16_t word, std::int16_t addr) {
  if (cmd == cmd::kRegAddress || cmd == cmd::kRegWrite) return WriteRegisterWord(cmd, word);
  (void)addr;
  if (cmd == state_.mac_command) {
    if (word == 0x0040) cal_mode_ = true;
    return 0;
  }
  switch (cmd) {
    case cmd::kFetControl:
      state_.fets_on = (word & 0x0004) != 0;
      return 0;
    case cmd::kDFSubclass:
      if (word > 255) return kNack;
      selected_subclass_ = word;
      return 0;
    case cmd::kCalStart:
      if (!cal_mode_) return kNack;
      StartCalibration(static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word));
      return 0;
    case cmd::kBrdOffParamA:
    case cmd::kBrdOffParamB:
      if (!cal_mode_) return kNack;
      return 0;
    default:
      return kNack;
  }
}

// ---- the adapter interface ----

Status SimDevice::ReadSMBusWord(std::uint8_t cmd, std::uint8_t& hi, std::uint8_t& lo,
                                std::int16_t addr) {
  std::uint16_t w = 0;
  Status s = Begin("ReadSMBusWord", addr, cmd);
  if (s == 0) s = ReadWord(cmd, addr, w);
  if (s != 0) w = 0;
  hi = static_cast<std::uint8_t>(w >> 8);
  lo = static_cast<std::uint8_t>(w & 0xFF);
  Log("ReadSMBusWord", addr, cmd, WordBytes(w), s);
  return s;
}

Status SimDevice::ReadSMBusWord_(std::uint8_t cmd, std::int16_t& value, std::int16_t addr) {
  std::uint16_t w = 0;
  Status s = Begin("ReadSMBusWord_", addr, cmd);
  if (s == 0) s = ReadWord(cmd, addr, w);
  if (s != 0) w = 0;
  value = static_cast<std::int16_t>(w);
  Log("ReadSMBusWord_", addr, cmd, WordBytes(w), s);
  return s;
}

Status SimDevice::WriteSMBusWord(std::uint8_t cmd, std::uint8_t hi, std::uint8_t lo,
                                 std::int16_t addr) {
  auto w = static_cast<std::uint16_t>(hi << 8 | lo);
  Status s = Begin("WriteSMBusWord", addr, cmd);
  if (s == 0) s = WriteWord(cmd, w, addr);
  Log("WriteSMBusWord", addr, cmd, WordBytes(w), s);
  return s;
}

Status SimDevice::WriteSMBusWord_(std::uint8_t cmd, std::int16_t value, std::int16_t addr) {
  auto w = static_cast<std::uint16_t>(value);
  Status s = Begin("WriteSMBusWord_", addr, cmd);
  if (s == 0) s = WriteWord(cmd, w, addr);
  Log("WriteSMBusWord_", addr, cmd, WordBytes(w), s);
  return s;
}

Status SimDevice::ReadSMBusBlock_(std::uint8_t cmd, std::span<std::uint8_t> data,
                                  std::int16_t& length, std::int16_t addr) {
  Status s = Begin("ReadSMBusBlock_", addr, cmd);
  std::vector<std::uint8_t> bytes;
  if (s == 0 && (cmd != cmd::kDFBlock || selected_subclass_ < 0)) s = kNack;
  if (s == 0) {
    const DataFlashBlock& b = Block(selected_subclass_);
    std::size_t n = b.size();
    if (short_block_ >= 0) n = std::min(n, static_cast<std::size_t>(short_block_));
    n = std::min(n, data.size());
    bytes.assign(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
    std::copy(bytes.begin(), bytes.end(), data.begin());
    length = static_cast<std::int16_t>(n);
  } else {
    length = 0;
  }
  Log("ReadSMBusBlock_", addr, cmd, bytes, s);
  return s;
}

Status SimDevice::WriteSMBusBlock(std::uint8_t cmd, std::span<const std::uint8_t> data,
                                  std::int16_t length, std::int16_t addr) {
  Status s = Begin("WriteSMBusBlock", addr, cmd);
  std::vector<std::uint8_t> bytes;
  if (length < 0 || length > kSmbusBlockMax || static_cast<std::size_t>(length) > data.size()) {
    if (s == 0) s = kStatusWrongNumBytes;
  } else {
    bytes.assign(data.begin(), data.begin() + length);
  }
  if (s == 0) {
    if (cmd == cmd::kCalParams) {
      if (!cal_mode_)
        s = kNack;
      else
        params_ = bytes;
    } else if (cmd == cmd::kDFBlock && selected_subclass_ >= 0) {
      DataFlashBlock& b = Block(selected_subclass_);
      std::copy(bytes.begin(), bytes.end(), b.begin());
    } else {
      s = kNack;
    }
  }
  Log("WriteSMBusBlock", addr, cmd, bytes, s);
  return s;
}

Status SimDevice::WriteSMBusCommand(std::uint8_t cmd, std::int16_t addr) {
  Status s = Begin("WriteSMBusCommand", addr, cmd);
  if (s == 0) {
    if (!cal_mode_ || (cmd != cmd::kCalStore && cmd != cmd::kCalExit) ||
        (cmd == cmd::kCalStore && Busy())) {
      s = kNack;
    } else if (cmd == cmd::kCalStore) {
      Store();
    } else {
      cal_mode_ = false;
      measured_ = false;
    }
  }
  Log("WriteSMBusCommand", addr, cmd, {}, s);
  return s;
}

Status SimDevice::CheckForError() {
  Status s = Injected("CheckForError", -1, false).value_or(last_status_);
  log_.push_back({"CheckForError", 0, -1, {}, s, platform_.Now(), 0});
  if (on_transfer) on_transfer(log_.back());
  return s;
}

Status SimDevice::Delay(std::int32_t ms) {
  log_.push_back({"Delay", 0, -1, {}, 0, platform_.Now(), ms});
  if (on_transfer) on_transfer(log_.back());
  Duration d = std::chrono::milliseconds(std::max(ms, 0));
  Status s = Injected("Delay", -1, false).value_or(0);
  if (delay_processes_events_) {
    TimePoint deadline = platform_.Now() + d;
    while (platform_.Now() < deadline)
      platform_.ProcessEventsUntil(deadline);
  } else {
    platform_.Sleep(d);
  }
  return s;
}

}  // namespace vx::sim
