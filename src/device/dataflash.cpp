#include "device/dataflash.h"

#include <stdexcept>

#include "device/commands.h"
#include "device/utils.h"

namespace vx {

Status SelectSubclass(SMBusAdapter& a, std::int16_t addr, std::int16_t subclass) {
  return a.WriteSMBusWord_(cmd::kDFSubclass, subclass, addr);
}

Status ReadDataFlashBlock(SMBusAdapter& a, std::int16_t addr, std::int16_t subclass,
                          BlockBuffer& block, std::int16_t& length, std::int16_t min_length) {
  Status s = SelectSubclass(a, addr, subclass);
  if (s != 0) return s;
  s = a.ReadSMBusBlock_(cmd::kDFBlock, block, length, addr);
  if (s == 0 && length < min_length) s = kStatusWrongNumBytes;
  return s;
}

Status WriteDataFlashBlock(SMBusAdapter& a, std::int16_t addr, const BlockBuffer& block,
                           std::int16_t length) {
  return a.WriteSMBusBlock(cmd::kDFBlock, block, length, addr);
}

namespace {

std::size_t WordAt(std::size_t size, int offset) {
  if (offset < 0 || static_cast<std::size_t>(offset) + 1 >= size) {
    throw std::out_of_range("a block word beyond the block");
  }
  return static_cast<std::size_t>(offset);
}

}  // namespace

std::int16_t BlockWord(std::span<const std::uint8_t> block, int offset) {
  std::size_t i = WordAt(block.size(), offset);
  return JoinBytes(block[i], block[i + 1]);
}

void PutBlockWord(std::span<std::uint8_t> block, int offset, std::int16_t w) {
  std::size_t i = WordAt(block.size(), offset);
  SplitWord(w, block[i], block[i + 1]);
}

Status WriteWordReadWord(SMBusAdapter& a, std::int16_t addr, std::uint8_t cmdA, std::int16_t wordA,
                         std::uint8_t cmdB, std::int16_t& wordB) {
  Status s = a.WriteSMBusWord_(cmdA, wordA, addr);
  if (s != 0) return s;
  return a.ReadSMBusWord_(cmdB, wordB, addr);
}

Status WriteWordPair(SMBusAdapter& a, std::int16_t addr, std::uint8_t cmdA, std::int16_t wordA,
                     std::uint8_t cmdB, std::int16_t wordB) {
  Status s = a.WriteSMBusWord_(cmdA, wordA, addr);
  if (s != 0) return s;
  s = a.WriteSMBusWord_(cmdB, wordB, addr);
  if (s != 0) return s;
  return a.CheckForError();
}

}  // namespace vx
