// The interface adapter object through which every SMBus transfer goes. The host supplies it;
// the simulator and the Linux i2c-dev backend implement it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vx {

// 0 is success; anything else is an adapter error code or one of the engine's own codes.
using Status = std::int32_t;

// The status of a block with the wrong number of bytes ("VB_WRONG_NUM_BYTES").
inline constexpr Status kStatusWrongNumBytes = 5;
// Nobody acknowledged the transfer ("VB_T2H_NACK").
inline constexpr Status kStatusNack = 772;

// Callers hand ReadSMBusBlock_ a buffer of at least this many bytes.
inline constexpr std::size_t kBlockBufferSize = 33;
// The most data bytes one SMBus block transfer carries.
inline constexpr int kSmbusBlockMax = 32;

// The adapter's methods, by the names the host's adapter object answers to.
enum class AdapterMethod {
  kReadSMBusWord,
  kReadSMBusWord_,
  kWriteSMBusWord,
  kWriteSMBusWord_,
  kReadSMBusBlock_,
  kWriteSMBusBlock,
  kWriteSMBusCommand,
  kCheckForError,
  kDelay
};
inline constexpr std::array<std::string_view, 9> kAdapterMethodNames = {
    "ReadSMBusWord",     "ReadSMBusWord_",  "WriteSMBusWord",
    "WriteSMBusWord_",   "ReadSMBusBlock_", "WriteSMBusBlock",
    "WriteSMBusCommand", "CheckForError",   "Delay"};
constexpr std::string_view NameOf(AdapterMethod m) {
  return kAdapterMethodNames[static_cast<std::size_t>(m)];
}
constexpr std::optional<AdapterMethod> AdapterMethodNamed(std::string_view name) {
  for (std::size_t i = 0; i < kAdapterMethodNames.size(); ++i) {
    if (kAdapterMethodNames[i] == name) return static_cast<AdapterMethod>(i);
  }
  return std::nullopt;
}
// A transfer on the bus: every method but the error query and the delay.
constexpr bool IsBusTransfer(AdapterMethod m) {
  return m != AdapterMethod::kCheckForError && m != AdapterMethod::kDelay;
}
constexpr bool IsWrite(AdapterMethod m) {
  return m == AdapterMethod::kWriteSMBusWord || m == AdapterMethod::kWriteSMBusWord_ ||
         m == AdapterMethod::kWriteSMBusBlock || m == AdapterMethod::kWriteSMBusCommand;
}

class SMBusAdapter {
 public:
  virtual ~SMBusAdapter() = default;

  // hi = bits 15..8, lo = bits 7..0 of the word read.
  virtual Status ReadSMBusWord(std::uint8_t cmd, std::uint8_t& hi, std::uint8_t& lo,
                               std::int16_t addr) = 0;
  virtual Status ReadSMBusWord_(std::uint8_t cmd, std::int16_t& value, std::int16_t addr) = 0;
  // Writes the word hi*256+lo.
  virtual Status WriteSMBusWord(std::uint8_t cmd, std::uint8_t hi, std::uint8_t lo,
                                std::int16_t addr) = 0;
  virtual Status WriteSMBusWord_(std::uint8_t cmd, std::int16_t value, std::int16_t addr) = 0;
  // Reads one block into data (index 0 first). length is preset by the caller and, on return,
  // holds the number of bytes that actually came back.
  virtual Status ReadSMBusBlock_(std::uint8_t cmd, std::span<std::uint8_t> data,
                                 std::int16_t& length, std::int16_t addr) = 0;
  // Sends the first `length` bytes of data as one block.
  virtual Status WriteSMBusBlock(std::uint8_t cmd, std::span<const std::uint8_t> data,
                                 std::int16_t length, std::int16_t addr) = 0;
  virtual Status WriteSMBusCommand(std::uint8_t cmd, std::int16_t addr) = 0;
  // Status of the transfers just made.
  virtual Status CheckForError() = 0;
  // Returns after about that many milliseconds.
  virtual Status Delay(std::int32_t ms) = 0;
};

}  // namespace vx
