#include "sim/sim_device.h"

#include <algorithm>

#include "device/commands.h"
#include "device/numeric.h"
#include "device/utils.h"

namespace vx::sim {

namespace {

std::vector<std::uint8_t> WordBytes(std::uint16_t w) {
  return {static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w & 0xFF)};
}

bool IsRegisterCommand(std::uint8_t cmd) {
  return cmd == cmd::kRegAddress || cmd == cmd::kRegWrite || cmd == cmd::kRegRead;
}

}  // namespace

SimDevice::SimDevice(Platform& platform, SimState state)
    : DeviceModel(platform, std::move(state)), platform_(platform) {}

void SimDevice::ClearFaults() {
  state().faults.clear();
  short_block_ = -1;
  SetStayBusy(false);
  state().forced_result.reset();
}

bool SimDevice::ForThisDevice(std::int16_t addr, std::uint8_t cmd) const {
  // The device answers at its own address, and its register access also at 0x17.
  return addr == state().address || (addr == cmd::kRegisterAddress && IsRegisterCommand(cmd));
}

std::optional<Status> SimDevice::Injected(AdapterMethod method, int cmd) {
  const bool bus_transfer = IsBusTransfer(method);
  const std::string_view name = NameOf(method);
  auto& faults = state().faults;
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    bool hit = it->nth != 0 ? bus_transfer && it->nth == transfers_
                            : (it->cmd < 0 || it->cmd == cmd) &&
                                  (it->method.empty() ? bus_transfer : it->method == name);
    if (!hit || (it->call != 0 && ++it->hits < it->call)) continue;
    Status s = it->status;
    if (it->call != 0) faults.erase(it);
    return s;
  }
  return std::nullopt;
}

Status SimDevice::Begin(AdapterMethod method, std::int16_t addr, std::uint8_t cmd) {
  ++transfers_;
  if (auto s = Injected(method, cmd)) return *s;
  if (!ForThisDevice(addr, cmd)) return kStatusNack;
  return 0;
}

void SimDevice::Log(AdapterMethod method, std::int16_t addr, int cmd,
                    std::vector<std::uint8_t> bytes, Status status, std::int32_t ms) {
  if (IsBusTransfer(method)) last_status_ = status;
  log_.push_back({method, addr, cmd, std::move(bytes), status, platform_.Now(), ms});
  if (on_transfer) on_transfer(log_.back());
}

// ---- decoding ----

Status SimDevice::ReadWord(std::uint8_t cmd, std::int16_t addr, std::uint16_t& word) {
  if (cmd == cmd::kRegRead || addr != state().address) {  // register access (at 0x17)
    if (cmd != cmd::kRegRead) return kStatusNack;
    word = ReadRegister();
    return 0;
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
      word = InCalibrationMode() ? static_cast<std::uint16_t>(cmd::kSigHi << 8 | cmd::kSigLo) : 0;
      return 0;
    case cmd::kBoardOffsetWord:
      word = AsUnsigned16(state().cal.word71);
      return 0;
    case cmd::kFetControl:
      word = state().fets_on ? cmd::kFetsOn : 0;
      return 0;
    case cmd::kCalBusy:
      if (!InCalibrationMode()) return kStatusNack;
      word = BusyWord();
      return 0;
    case cmd::kCalResult:
      if (!InCalibrationMode() || Busy()) return kStatusNack;  // none before the measurement ends
      word = Result();
      return 0;
    default:
      return kStatusNack;
  }
}

Status SimDevice::WriteWord(std::uint8_t cmd, std::uint16_t word) {
  if (cmd == cmd::kRegAddress) {
    SelectRegister(word);
    return 0;
  }
  if (cmd == cmd::kRegWrite) {
    WriteRegister(word);
    return 0;
  }
  if (cmd == state().mac_command) {
    if (word == static_cast<std::uint16_t>(cmd::kEnterCalWord)) Enter();
    return 0;
  }
  switch (cmd) {
    case cmd::kFetControl:
      state().fets_on = (word & cmd::kFetsOn) != 0;
      return 0;
    case cmd::kDFSubclass:
      if (word > 255) return kStatusNack;
      selected_subclass_ = word;
      return 0;
    case cmd::kCalStart:
      if (!InCalibrationMode()) return kStatusNack;
      StartCalibration(word);
      return 0;
    case cmd::kBrdOffParamA:
    case cmd::kBrdOffParamB:
      return InCalibrationMode() ? 0 : kStatusNack;
    default:
      return kStatusNack;
  }
}

// ---- the adapter interface ----

Status SimDevice::ReadWordAs(AdapterMethod method, std::uint8_t cmd, std::int16_t addr,
                             std::uint16_t& word) {
  word = 0;
  Status s = Begin(method, addr, cmd);
  if (s == 0) s = ReadWord(cmd, addr, word);
  if (s != 0) word = 0;
  Log(method, addr, cmd, WordBytes(word), s);
  return s;
}

Status SimDevice::WriteWordAs(AdapterMethod method, std::uint8_t cmd, std::uint16_t word,
                              std::int16_t addr) {
  Status s = Begin(method, addr, cmd);
  if (s == 0) s = WriteWord(cmd, word);
  Log(method, addr, cmd, WordBytes(word), s);
  return s;
}

Status SimDevice::ReadSMBusWord(std::uint8_t cmd, std::uint8_t& hi, std::uint8_t& lo,
                                std::int16_t addr) {
  std::uint16_t w = 0;
  Status s = ReadWordAs(AdapterMethod::kReadSMBusWord, cmd, addr, w);
  hi = static_cast<std::uint8_t>(w >> 8);
  lo = static_cast<std::uint8_t>(w & 0xFF);
  return s;
}

Status SimDevice::ReadSMBusWord_(std::uint8_t cmd, std::int16_t& value, std::int16_t addr) {
  std::uint16_t w = 0;
  Status s = ReadWordAs(AdapterMethod::kReadSMBusWord_, cmd, addr, w);
  value = static_cast<std::int16_t>(w);
  return s;
}

Status SimDevice::WriteSMBusWord(std::uint8_t cmd, std::uint8_t hi, std::uint8_t lo,
                                 std::int16_t addr) {
  return WriteWordAs(AdapterMethod::kWriteSMBusWord, cmd, static_cast<std::uint16_t>(hi << 8 | lo),
                     addr);
}

Status SimDevice::WriteSMBusWord_(std::uint8_t cmd, std::int16_t value, std::int16_t addr) {
  return WriteWordAs(AdapterMethod::kWriteSMBusWord_, cmd, static_cast<std::uint16_t>(value), addr);
}

Status SimDevice::ReadSMBusBlock_(std::uint8_t cmd, std::span<std::uint8_t> data,
                                  std::int16_t& length, std::int16_t addr) {
  Status s = Begin(AdapterMethod::kReadSMBusBlock_, addr, cmd);
  std::vector<std::uint8_t> bytes;
  if (s == 0 && (cmd != cmd::kDFBlock || selected_subclass_ < 0)) s = kStatusNack;
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
  Log(AdapterMethod::kReadSMBusBlock_, addr, cmd, bytes, s);
  return s;
}

Status SimDevice::WriteSMBusBlock(std::uint8_t cmd, std::span<const std::uint8_t> data,
                                  std::int16_t length, std::int16_t addr) {
  Status s = Begin(AdapterMethod::kWriteSMBusBlock, addr, cmd);
  std::vector<std::uint8_t> bytes;
  if (length < 0 || length > kSmbusBlockMax || static_cast<std::size_t>(length) > data.size()) {
    if (s == 0) s = kStatusWrongNumBytes;
  } else {
    bytes.assign(data.begin(), data.begin() + length);
  }
  if (s == 0) {
    if (cmd == cmd::kCalParams) {
      if (InCalibrationMode()) {
        SetParams(bytes);
      } else {
        s = kStatusNack;
      }
    } else if (cmd == cmd::kDFBlock && selected_subclass_ >= 0) {
      std::copy(bytes.begin(), bytes.end(), Block(selected_subclass_).begin());
    } else {
      s = kStatusNack;
    }
  }
  Log(AdapterMethod::kWriteSMBusBlock, addr, cmd, bytes, s);
  return s;
}

Status SimDevice::WriteSMBusCommand(std::uint8_t cmd, std::int16_t addr) {
  Status s = Begin(AdapterMethod::kWriteSMBusCommand, addr, cmd);
  if (s == 0) {
    if (!InCalibrationMode() || (cmd != cmd::kCalStore && cmd != cmd::kCalExit) ||
        (cmd == cmd::kCalStore && Busy())) {
      s = kStatusNack;
    } else if (cmd == cmd::kCalStore) {
      Store();
    } else {
      Exit();
    }
  }
  Log(AdapterMethod::kWriteSMBusCommand, addr, cmd, {}, s);
  return s;
}

Status SimDevice::CheckForError() {
  Status s = Injected(AdapterMethod::kCheckForError, -1).value_or(last_status_);
  Log(AdapterMethod::kCheckForError, 0, -1, {}, s);
  return s;
}

Status SimDevice::Delay(std::int32_t ms) {
  Log(AdapterMethod::kDelay, 0, -1, {}, 0, ms);
  Duration d = std::chrono::milliseconds(std::max(ms, 0));
  Status s = Injected(AdapterMethod::kDelay, -1).value_or(0);
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
