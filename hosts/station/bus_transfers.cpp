#include "hosts/station/bus_transfers.h"

#include <cstdio>
#include <stdexcept>

#include "config/err_codes.h"
#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"
#include "hosts/station/station_options.h"

namespace vx {

namespace {

const char* const kOps[] = {"read-word", "write-word", "read-block", "write-block", "command"};

}  // namespace

std::vector<BusTransfer> ParseBusTransfers(const std::vector<std::string>& words) {
  auto op_of = [](const std::string& w) {
    for (int i = 0; i < 5; ++i) {
      if (w == kOps[i]) return i;
    }
    return -1;
  };
  std::vector<BusTransfer> out;
  for (std::size_t i = 0; i < words.size();) {
    int op = op_of(words[i]);
    if (op < 0) {
      throw std::invalid_argument("\"" + words[i] +
                                  "\" is not a transfer (read-word, write-word, read-block, "
                                  "write-block, command)");
    }
    const std::string name = words[i++];
    if (i >= words.size()) throw std::invalid_argument(name + " needs a command code");
    BusTransfer r;
    r.op = static_cast<BusTransfer::Op>(op);
    r.cmd = static_cast<std::uint8_t>(ParseInteger(words[i++], 0, 0xFF));
    if (r.op == BusTransfer::kWriteWord) {
      if (i >= words.size()) throw std::invalid_argument("write-word needs a value");
      r.value = Wrap16(ParseInteger(words[i++], -32768, 65535));
    }
    if (r.op == BusTransfer::kWriteBlock) {
      while (i < words.size() && op_of(words[i]) < 0) {
        if (r.bytes.size() == static_cast<std::size_t>(kSmbusBlockMax)) {
          throw std::invalid_argument("a block holds at most 32 bytes");
        }
        r.bytes.push_back(static_cast<std::uint8_t>(ParseInteger(words[i++], 0, 255)));
      }
    }
    out.push_back(r);
  }
  if (out.empty()) throw std::invalid_argument("bus needs at least one transfer");
  return out;
}

Json WordsOf(const std::vector<BusTransfer>& sequence, std::size_t n) {
  Json words = Json::array();
  for (std::size_t i = 0; i < n; ++i) {
    const BusTransfer& r = sequence[i];
    words.push_back(kOps[static_cast<int>(r.op)]);
    words.push_back(Hex2(r.cmd));
    if (r.op == BusTransfer::kWriteWord) words.push_back(std::to_string(r.value));
    for (std::uint8_t b : r.bytes)
      words.push_back(std::to_string(b));
  }
  return words;
}

bool WritesDataFlash(const std::vector<BusTransfer>& sequence) {
  bool selected = false;
  for (const BusTransfer& r : sequence) {
    selected = selected || (r.op == BusTransfer::kWriteWord && r.cmd == cmd::kDFSubclass);
    if ((selected && r.op == BusTransfer::kWriteBlock && r.cmd == cmd::kDFBlock) ||
        (r.op == BusTransfer::kCommand && r.cmd == cmd::kCalStore)) {
      return true;
    }
  }
  return false;
}

BusResult RunBusTransfer(SMBusAdapter& adapter, std::int16_t addr, const BusTransfer& req) {
  Json j;
  Status s = 0;
  std::string detail;
  switch (req.op) {
    case BusTransfer::kReadWord: {
      std::int16_t v = 0;
      s = adapter.ReadSMBusWord_(req.cmd, v, addr);
      j["op"] = "read-word";
      j["value"] = v;
      char buf[48];
      std::snprintf(buf, sizeof buf, "value %d (0x%04X)", v, static_cast<unsigned>(v) & 0xFFFFu);
      detail = buf;
      break;
    }
    case BusTransfer::kWriteWord:
      s = adapter.WriteSMBusWord_(req.cmd, req.value, addr);
      j["op"] = "write-word";
      j["value"] = req.value;
      break;
    case BusTransfer::kReadBlock: {
      BlockBuffer block{};
      std::int16_t length = kSmbusBlockMax;
      s = adapter.ReadSMBusBlock_(req.cmd, block, length, addr);
      j["op"] = "read-block";
      std::vector<int> bytes;
      detail = "length " + std::to_string(length) + ":";
      for (int i = 0; i < length && i < kSmbusBlockMax; ++i) {
        bytes.push_back(block[static_cast<std::size_t>(i)]);
        detail += " " + Hex2(block[static_cast<std::size_t>(i)]);
      }
      j["bytes"] = bytes;
      break;
    }
    case BusTransfer::kWriteBlock:
      s = adapter.WriteSMBusBlock(req.cmd, req.bytes, static_cast<std::int16_t>(req.bytes.size()),
                                  addr);
      j["op"] = "write-block";
      j["bytes"] = req.bytes;
      break;
    case BusTransfer::kCommand:
      s = adapter.WriteSMBusCommand(req.cmd, addr);
      j["op"] = "command";
      break;
  }
  j["command"] = req.cmd;
  j["status"] = s;
  j["status_text"] = GetErrorText(s);
  std::string text = j["op"].get<std::string>() + " " + Hex2(req.cmd) + ": status " +
                     std::to_string(s) + " (" + GetErrorText(s) + ")";
  if (s == 0 && !detail.empty()) text += " " + detail;
  return {s, j, text};
}

}  // namespace vx
