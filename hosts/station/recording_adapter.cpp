#include "hosts/station/recording_adapter.h"

#include <algorithm>

#include "device/commands.h"
#include "device/utils.h"

namespace vx {

namespace {

std::vector<std::uint8_t> Word(std::int16_t w) {
  auto u = static_cast<std::uint16_t>(w);
  return {static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u & 0xFF)};
}

std::vector<std::uint8_t> Bytes(std::span<const std::uint8_t> data, std::int16_t length) {
  std::size_t n = length > 0 ? std::min(data.size(), static_cast<std::size_t>(length)) : 0;
  return {data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n)};
}

std::string Times(int n, const char* what) {
  return std::string(what) + (n == 1 ? " once" : " " + std::to_string(n) + " times");
}

}  // namespace

template <typename Call, typename Bytes>
Status RecordingAdapter::Pass(AdapterMethod method, int addr, int cmd, Call&& call, Bytes&& bytes,
                              std::int32_t ms) {
  if (stop_ && IsWrite(method)) stop_->RaiseOnce();
  BusEvent e{method, addr, cmd, {}, 0, ms, platform_.Now(), false};
  auto tell = [&] {
    e.bytes = bytes();
    for (const auto& l : listeners_)
      l(e);
  };
  try {
    e.status = call();
  } catch (...) {
    e.threw = true;
    tell();
    throw;
  }
  tell();
  return e.status;
}

Status RecordingAdapter::ReadSMBusWord(std::uint8_t cmd, std::uint8_t& hi, std::uint8_t& lo,
                                       std::int16_t addr) {
  return Pass(
      AdapterMethod::kReadSMBusWord, addr, cmd,
      [&] { return inner_->ReadSMBusWord(cmd, hi, lo, addr); },
      [&] {
        return std::vector<std::uint8_t>{hi, lo};
      });
}

Status RecordingAdapter::ReadSMBusWord_(std::uint8_t cmd, std::int16_t& value, std::int16_t addr) {
  return Pass(
      AdapterMethod::kReadSMBusWord_, addr, cmd,
      [&] { return inner_->ReadSMBusWord_(cmd, value, addr); }, [&] { return Word(value); });
}

Status RecordingAdapter::WriteSMBusWord(std::uint8_t cmd, std::uint8_t hi, std::uint8_t lo,
                                        std::int16_t addr) {
  return Pass(
      AdapterMethod::kWriteSMBusWord, addr, cmd,
      [&] { return inner_->WriteSMBusWord(cmd, hi, lo, addr); },
      [&] {
        return std::vector<std::uint8_t>{hi, lo};
      });
}

Status RecordingAdapter::WriteSMBusWord_(std::uint8_t cmd, std::int16_t value, std::int16_t addr) {
  return Pass(
      AdapterMethod::kWriteSMBusWord_, addr, cmd,
      [&] { return inner_->WriteSMBusWord_(cmd, value, addr); }, [&] { return Word(value); });
}

Status RecordingAdapter::ReadSMBusBlock_(std::uint8_t cmd, std::span<std::uint8_t> data,
                                         std::int16_t& length, std::int16_t addr) {
  Status s = 0;
  return Pass(
      AdapterMethod::kReadSMBusBlock_, addr, cmd,
      [&] { return s = inner_->ReadSMBusBlock_(cmd, data, length, addr); },
      [&] { return s == 0 ? Bytes(data, length) : std::vector<std::uint8_t>{}; });
}

Status RecordingAdapter::WriteSMBusBlock(std::uint8_t cmd, std::span<const std::uint8_t> data,
                                         std::int16_t length, std::int16_t addr) {
  return Pass(
      AdapterMethod::kWriteSMBusBlock, addr, cmd,
      [&] { return inner_->WriteSMBusBlock(cmd, data, length, addr); },
      [&] { return Bytes(data, length); });
}

Status RecordingAdapter::WriteSMBusCommand(std::uint8_t cmd, std::int16_t addr) {
  return Pass(
      AdapterMethod::kWriteSMBusCommand, addr, cmd,
      [&] { return inner_->WriteSMBusCommand(cmd, addr); },
      [] { return std::vector<std::uint8_t>{}; });
}

Status RecordingAdapter::CheckForError() {
  return Pass(
      AdapterMethod::kCheckForError, -1, -1, [&] { return inner_->CheckForError(); },
      [] { return std::vector<std::uint8_t>{}; });
}

Status RecordingAdapter::Delay(std::int32_t ms) {
  return Pass(
      AdapterMethod::kDelay, -1, -1, [&] { return inner_->Delay(ms); },
      [] { return std::vector<std::uint8_t>{}; }, ms);
}

void DeviceAccount::Note(const BusEvent& e) {
  if (!IsBusTransfer(e.method)) return;
  const bool ok = e.status == 0 && !e.threw;
  const bool write = IsWrite(e.method);
  if (write && ok) ++writes_;
  if (write && ok && e.cmd != cmd::kDFSubclass) ++changes_;
  if (e.status != 0) ++failures_;
  if (e.addr == cmd::kRegisterAddress) {
    activity_ = "sampling the board offset";
    return;
  }
  switch (e.cmd) {
    case cmd::kDFSubclass:
      activity_ = "selecting data flash";
      return;
    case cmd::kDFBlock:
      if (write && ok) ++dataflash_writes_;
      activity_ = write ? "writing data flash" : "reading data flash";
      return;
    case cmd::kCalModeSignature:
      if (ok) in_mode_ = e.bytes == std::vector<std::uint8_t>{cmd::kSigHi, cmd::kSigLo};
      ever_in_mode_ = ever_in_mode_ || in_mode_;
      return;
    case cmd::kCalParams:
      activity_ = "sending the reference values";
      return;
    case cmd::kFetControl:
      if (write && ok && e.bytes.size() == 2) {
        fets_ = (JoinBytes(e.bytes[0], e.bytes[1]) & cmd::kFetsOn) != 0 ? 1 : 0;
      }
      activity_ = fets_ == 1 ? "switching the FETs on" : "switching the FETs off";
      return;
    case cmd::kCalStart:
    case cmd::kCalBusy:
      activity_ = "the device is calibrating";
      return;
    case cmd::kCalResult:
      activity_ = "reading the device's result";
      return;
    case cmd::kCalStore:
      if (ok) ++stores_;
      activity_ = "the device stores its calibration";
      return;
    case cmd::kCalExit:
      if (ok) in_mode_ = false;
      activity_ = "leaving calibration mode";
      return;
    case cmd::kBrdOffParamA:
    case cmd::kBrdOffParamB:
      activity_ = "setting up the board offset calibration";
      return;
    default:
      break;
  }
  if (e.method == AdapterMethod::kWriteSMBusWord && e.bytes == Word(cmd::kEnterCalWord)) {
    activity_ = "entering calibration mode";  // the entry word to the manufacturer access
  } else if (!write) {
    activity_ = "reading the measurements";
  }
}

std::string DeviceAccount::Summary() const {
  std::string s;
  if (!wrote()) {
    s = "nothing was written to the device";
  } else {
    s = dataflash_writes_ > 0 ? Times(dataflash_writes_, "data flash was written")
                              : "no data flash was written";
    if (stores_ > 0) s += ", " + Times(stores_, "the device stored a calibration");
  }
  if (ever_in_mode_) {
    s += in_mode_ ? "; the device is still in calibration mode" : "; calibration mode was left";
  }
  if (fets_ >= 0) s += fets_ == 1 ? "; FETs on" : "; FETs off";
  return s;
}

}  // namespace vx
