#include "hosts/cli/tracing_adapter.h"

#include <nlohmann/json.hpp>

namespace vx::cli {

namespace {

std::vector<std::uint8_t> Word(std::uint16_t w) {
  return {static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w & 0xFF)};
}

}  // namespace

void TracingAdapter::Write(const char* method, int addr, int cmd,
                           const std::vector<std::uint8_t>& bytes, Status status, std::int32_t ms) {
  nlohmann::json j;
  j["seq"] = ++seq_;
  j["t_ms"] = std::chrono::duration<double, std::milli>(start_ - origin_).count();
  j["method"] = method;
  if (addr >= 0) j["addr"] = addr;
  if (cmd >= 0) j["cmd"] = cmd;
  if (ms >= 0) j["ms"] = ms;
  if (!bytes.empty()) j["bytes"] = bytes;
  j["status"] = status;
  out_ << j.dump() << "\n";
}

Status TracingAdapter::ReadSMBusWord(std::uint8_t cmd, std::uint8_t& hi, std::uint8_t& lo,
                                     std::int16_t addr) {
  start_ = platform_.Now();
  Status s = inner_->ReadSMBusWord(cmd, hi, lo, addr);
  Write("ReadSMBusWord", addr, cmd, {hi, lo}, s);
  return s;
}

Status TracingAdapter::ReadSMBusWord_(std::uint8_t cmd, std::int16_t& value, std::int16_t addr) {
  start_ = platform_.Now();
  Status s = inner_->ReadSMBusWord_(cmd, value, addr);
  Write("ReadSMBusWord_", addr, cmd, Word(static_cast<std::uint16_t>(value)), s);
  return s;
}

Status TracingAdapter::WriteSMBusWord(std::uint8_t cmd, std::uint8_t hi, std::uint8_t lo,
                                      std::int16_t addr) {
  start_ = platform_.Now();
  Status s = inner_->WriteSMBusWord(cmd, hi, lo, addr);
  Write("WriteSMBusWord", addr, cmd, {hi, lo}, s);
  return s;
}

Status TracingAdapter::WriteSMBusWord_(std::uint8_t cmd, std::int16_t value, std::int16_t addr) {
  start_ = platform_.Now();
  Status s = inner_->WriteSMBusWord_(cmd, value, addr);
  Write("WriteSMBusWord_", addr, cmd, Word(static_cast<std::uint16_t>(value)), s);
  return s;
}

Status TracingAdapter::ReadSMBusBlock_(std::uint8_t cmd, std::span<std::uint8_t> data,
                                       std::int16_t& length, std::int16_t addr) {
  start_ = platform_.Now();
  Status s = inner_->ReadSMBusBlock_(cmd, data, length, addr);
  std::size_t n =
      s == 0 && length > 0 ? std::min(data.size(), static_cast<std::size_t>(length)) : 0;
  Write("ReadSMBusBlock_", addr, cmd,
        std::vector<std::uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n)), s);
  return s;
}

Status TracingAdapter::WriteSMBusBlock(std::uint8_t cmd, std::span<const std::uint8_t> data,
                                       std::int16_t length, std::int16_t addr) {
  start_ = platform_.Now();
  Status s = inner_->WriteSMBusBlock(cmd, data, length, addr);
  std::size_t n = length > 0 ? std::min(data.size(), static_cast<std::size_t>(length)) : 0;
  Write("WriteSMBusBlock", addr, cmd,
        std::vector<std::uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n)), s);
  return s;
}

Status TracingAdapter::WriteSMBusCommand(std::uint8_t cmd, std::int16_t addr) {
  start_ = platform_.Now();
  Status s = inner_->WriteSMBusCommand(cmd, addr);
  Write("WriteSMBusCommand", addr, cmd, {}, s);
  return s;
}

Status TracingAdapter::CheckForError() {
  start_ = platform_.Now();
  Status s = inner_->CheckForError();
  Write("CheckForError", -1, -1, {}, s);
  return s;
}

Status TracingAdapter::Delay(std::int32_t ms) {
  start_ = platform_.Now();
  Status s = inner_->Delay(ms);
  Write("Delay", -1, -1, {}, s, ms);
  return s;
}

}  // namespace vx::cli
