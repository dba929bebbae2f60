// Raw bus access from the command line: a sequence of transfers at the target address, in
// order (as i2ctransfer takes them), each printed with its result and its status text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/smbus_adapter.h"
#include "hosts/cli/output.h"

namespace vx::cli {

enum class BusOp { kReadWord, kWriteWord, kReadBlock, kWriteBlock, kCommand };

struct BusRequest {
  BusOp op = BusOp::kReadWord;
  std::uint8_t cmd = 0;
  std::int16_t value = 0;           // write-word
  std::vector<std::uint8_t> bytes;  // write-block
};

// "read-word 0x09 write-word 0x77 104 read-block 0x78": the transfers in order. Throws
// std::invalid_argument saying what is wrong.
std::vector<BusRequest> ParseBusSequence(const std::vector<std::string>& words);

// Runs one transfer and prints it; returns the adapter status.
Status RunBus(SMBusAdapter& adapter, std::int16_t addr, const BusRequest& req, const Out& out);

// "0x1F", "31", "-5": an integer in the given range, or throws std::invalid_argument.
std::int64_t ParseInteger(const std::string& text, std::int64_t min, std::int64_t max);

}  // namespace vx::cli
