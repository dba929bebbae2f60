// Raw SMBus transfers at the device's address, in order, as i2ctransfer takes them ("read-word
// 0x09 write-word 0x77 104 read-block 0x78"): what a sequence asks for, what each transfer
// gave, and whether a sequence writes data flash (what i2cset asks about before it writes).
// A sequence that writes is a recorded run of its own ("bus").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/smbus_adapter.h"
#include "json/json.h"

namespace vx {

struct BusTransfer {
  enum Op { kReadWord, kWriteWord, kReadBlock, kWriteBlock, kCommand } op = kReadWord;
  std::uint8_t cmd = 0;
  std::int16_t value = 0;           // write-word
  std::vector<std::uint8_t> bytes;  // write-block
  bool writes() const { return op != kReadWord && op != kReadBlock; }
};

// The transfers the words ask for. Throws std::invalid_argument saying what is wrong.
std::vector<BusTransfer> ParseBusTransfers(const std::vector<std::string>& words);
// The words of the first n transfers, as a record keeps them.
Json WordsOf(const std::vector<BusTransfer>& sequence, std::size_t n);
// Whether the sequence changes data flash (a subclass selected, then a block written to it) or
// stores a calibration.
bool WritesDataFlash(const std::vector<BusTransfer>& sequence);

struct BusResult {
  Status status = 0;
  Json json;         // {"op", "command", "value" / "bytes", "status", "status_text"}
  std::string text;  // "read-word 0x09: status 0 (OK) value 2050 (0x0802)"
};
BusResult RunBusTransfer(SMBusAdapter& adapter, std::int16_t addr, const BusTransfer& t);

}  // namespace vx
