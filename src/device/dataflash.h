// Data flash block access and the register helpers that several routines share.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "device/smbus_adapter.h"

namespace vx {

using BlockBuffer = std::array<std::uint8_t, kBlockBufferSize>;

// Selects subclass (command 0x77) and, if that succeeded, reads its block (command 0x78) with
// length preset by the caller. Returns the last status; length holds the bytes that came back.
// A block shorter than min_length (the bytes the caller reads or writes back) is refused with
// kStatusWrongNumBytes, so that nobody works on or writes back a cut-off block.
Status ReadDataFlashBlock(SMBusAdapter& a, std::int16_t addr, std::int16_t subclass,
                          BlockBuffer& block, std::int16_t& length, std::int16_t min_length = 0);
Status SelectSubclass(SMBusAdapter& a, std::int16_t addr, std::int16_t subclass);
Status WriteDataFlashBlock(SMBusAdapter& a, std::int16_t addr, const BlockBuffer& block,
                           std::int16_t length);

// The word at offset of a block (byte offset high, byte offset+1 low) and its write-back: in a
// read or written block, a simulator's data flash, a record's image. std::out_of_range when the
// word lies beyond the block.
std::int16_t BlockWord(std::span<const std::uint8_t> block, int offset);
void PutBlockWord(std::span<std::uint8_t> block, int offset, std::int16_t w);

// wordA to cmdA, then cmdB read into wordB.
Status WriteWordReadWord(SMBusAdapter& a, std::int16_t addr, std::uint8_t cmdA, std::int16_t wordA,
                         std::uint8_t cmdB, std::int16_t& wordB);
// wordA to cmdA, then wordB to cmdB, then the adapter's error query.
Status WriteWordPair(SMBusAdapter& a, std::int16_t addr, std::uint8_t cmdA, std::int16_t wordA,
                     std::uint8_t cmdB, std::int16_t wordB);

}  // namespace vx
