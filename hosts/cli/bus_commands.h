// Raw bus access from the command line: one transfer, its result and its status text.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "device/smbus_adapter.h"

namespace vx::cli {

enum class BusOp { kReadWord, kWriteWord, kReadBlock, kWriteBlock, kCommand };

struct BusRequest {
  BusOp op = BusOp::kReadWord;
  std::uint8_t cmd = 0;
  std::int16_t value = 0;           // write-word
  std::vector<std::uint8_t> bytes;  // write-block
};

// Runs one transfer and prints it; returns the adapter status.
Status RunBus(SMBusAdapter& adapter, std::int16_t addr, const BusRequest& req, std::ostream& out,
              bool json);

// "0x1F", "31", "-5": an integer in the given range, or throws std::invalid_argument.
std::int64_t ParseInteger(const std::string& text, std::int64_t min, std::int64_t max);

}  // namespace vx::cli
