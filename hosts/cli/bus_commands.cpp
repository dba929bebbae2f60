#include "hosts/cli/bus_commands.h"

#include <cstdio>
#include <stdexcept>

#include "config/err_codes.h"
#include "device/dataflash.h"
#include "device/numeric.h"

namespace vx::cli {

std::int64_t ParseInteger(const std::string& text, std::int64_t min, std::int64_t max) {
  std::size_t used = 0;
  long long v = 0;
  try {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    v = hex ? std::stoll(text.substr(2), &used, 16) : std::stoll(text, &used, 10);
    if (hex) used += 2;
  } catch (const std::exception&) {
    throw std::invalid_argument("\"" + text + "\" is not a number");
  }
  if (used != text.size()) throw std::invalid_argument("\"" + text + "\" is not a number");
  if (v < min || v > max) {
    throw std::invalid_argument("\"" + text + "\" is outside " + std::to_string(min) + " to " +
                                std::to_string(max));
  }
  return v;
}

std::vector<BusRequest> ParseBusSequence(const std::vector<std::string>& words) {
  static const char* const kOps[] = {"read-word", "write-word", "read-block", "write-block",
                                     "command"};
  auto op_of = [](const std::string& w) {
    for (int i = 0; i < 5; ++i) {
      if (w == kOps[i]) return i;
    }
    return -1;
  };
  std::vector<BusRequest> out;
  for (std::size_t i = 0; i < words.size();) {
    int op = op_of(words[i]);
    if (op < 0) {
      throw std::invalid_argument("\"" + words[i] +
                                  "\" is not a transfer (read-word, write-word, read-block, "
                                  "write-block, command)");
    }
    const std::string name = words[i++];
    if (i >= words.size()) throw std::invalid_argument(name + " needs a command code");
    BusRequest r;
    r.op = static_cast<BusOp>(op);
    r.cmd = static_cast<std::uint8_t>(ParseInteger(words[i++], 0, 0xFF));
    if (r.op == BusOp::kWriteWord) {
      if (i >= words.size()) throw std::invalid_argument("write-word needs a value");
      r.value = Wrap16(ParseInteger(words[i++], -32768, 65535));
    }
    if (r.op == BusOp::kWriteBlock) {
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

namespace {

std::string Hex2(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
  return buf;
}

}  // namespace

Status RunBus(SMBusAdapter& adapter, std::int16_t addr, const BusRequest& req, const Out& out) {
  Json j;
  Status s = 0;
  std::string detail;
  switch (req.op) {
    case BusOp::kReadWord: {
      std::int16_t v = 0;
      s = adapter.ReadSMBusWord_(req.cmd, v, addr);
      j["op"] = "read-word";
      j["value"] = v;
      char buf[48];
      std::snprintf(buf, sizeof buf, "value %d (0x%04X)", v, static_cast<unsigned>(v) & 0xFFFFu);
      detail = buf;
      break;
    }
    case BusOp::kWriteWord:
      s = adapter.WriteSMBusWord_(req.cmd, req.value, addr);
      j["op"] = "write-word";
      j["value"] = req.value;
      break;
    case BusOp::kReadBlock: {
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
    case BusOp::kWriteBlock:
      s = adapter.WriteSMBusBlock(req.cmd, req.bytes, static_cast<std::int16_t>(req.bytes.size()),
                                  addr);
      j["op"] = "write-block";
      j["bytes"] = req.bytes;
      break;
    case BusOp::kCommand:
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
  out.Print(text, j);
  return s;
}

}  // namespace vx::cli
