#include "hosts/cli/bus_commands.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>

#include "config/err_codes.h"
#include "device/dataflash.h"

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
    throw std::invalid_argument("\"" + text + "\" is outside " + std::to_string(min) + ".." +
                                std::to_string(max));
  }
  return v;
}

namespace {

std::string Hex2(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
  return buf;
}

}  // namespace

Status RunBus(SMBusAdapter& adapter, std::int16_t addr, const BusRequest& req, std::ostream& out,
              bool json) {
  nlohmann::json j;
  j["command"] = req.cmd;
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
  j["status"] = s;
  j["status_text"] = GetErrorText(s);
  if (json) {
    out << j.dump() << "\n";
  } else {
    out << "status " << s << " (" << GetErrorText(s) << ")";
    if (s == 0 && !detail.empty()) out << " " << detail;
    out << "\n";
  }
  return s;
}

}  // namespace vx::cli
