// An adapter that passes every call on and writes it as one JSON line (the trace format of
// docs/trace-format.md).
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "device/smbus_adapter.h"
#include "platform/platform.h"

namespace vx::cli {

class TracingAdapter : public SMBusAdapter {
 public:
  TracingAdapter(std::shared_ptr<SMBusAdapter> inner, std::ostream& out, Platform& platform)
      : inner_(std::move(inner)), out_(out), platform_(platform) {}

  Status ReadSMBusWord(std::uint8_t cmd, std::uint8_t& hi, std::uint8_t& lo,
                       std::int16_t addr) override;
  Status ReadSMBusWord_(std::uint8_t cmd, std::int16_t& value, std::int16_t addr) override;
  Status WriteSMBusWord(std::uint8_t cmd, std::uint8_t hi, std::uint8_t lo,
                        std::int16_t addr) override;
  Status WriteSMBusWord_(std::uint8_t cmd, std::int16_t value, std::int16_t addr) override;
  Status ReadSMBusBlock_(std::uint8_t cmd, std::span<std::uint8_t> data, std::int16_t& length,
                         std::int16_t addr) override;
  Status WriteSMBusBlock(std::uint8_t cmd, std::span<const std::uint8_t> data, std::int16_t length,
                         std::int16_t addr) override;
  Status WriteSMBusCommand(std::uint8_t cmd, std::int16_t addr) override;
  Status CheckForError() override;
  Status Delay(std::int32_t ms) override;

 private:
  void Write(const char* method, int addr, int cmd, const std::vector<std::uint8_t>& bytes,
             Status status, std::int32_t ms = -1);

  std::shared_ptr<SMBusAdapter> inner_;
  std::ostream& out_;
  Platform& platform_;
  std::uint64_t seq_ = 0;
  TimePoint origin_ = platform_.Now();  // times in the trace count from the adapter's creation
  TimePoint start_{0};
};

}  // namespace vx::cli
