// `bus TRANSFER...`: raw SMBus transfers at the target address, in order (as i2ctransfer takes
// them), each printed with its result and its status text. A sequence that writes is a
// recorded run like the page's.
#include <cstdio>
#include <stdexcept>

#include "config/err_codes.h"
#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"
#include "hosts/cli/commands.h"

namespace vx::cli {

namespace {

enum class BusOp { kReadWord, kWriteWord, kReadBlock, kWriteBlock, kCommand };

struct BusRequest {
  BusOp op = BusOp::kReadWord;
  std::uint8_t cmd = 0;
  std::int16_t value = 0;           // write-word
  std::vector<std::uint8_t> bytes;  // write-block
};

// "read-word 0x09 write-word 0x77 104 read-block 0x78": the transfers in order. Throws
// std::invalid_argument saying what is wrong.

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

std::string Hex2(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
  return buf;
}

// Runs one transfer and prints it; returns the adapter status.
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

// The words of the first n transfers of a sequence.
Json WordsOf(const std::vector<BusRequest>& sequence, std::size_t n) {
  static const char* const kOps[] = {"read-word", "write-word", "read-block", "write-block",
                                     "command"};
  Json words = Json::array();
  for (std::size_t i = 0; i < n; ++i) {
    const BusRequest& r = sequence[i];
    words.push_back(kOps[static_cast<int>(r.op)]);
    words.push_back(Hex2(r.cmd));
    if (r.op == BusOp::kWriteWord) words.push_back(std::to_string(r.value));
    for (std::uint8_t b : r.bytes)
      words.push_back(std::to_string(b));
  }
  return words;
}

// Whether the sequence changes data flash (a subclass selected, then a block written to it) or
// stores a calibration: what i2cset asks about before it writes.
bool WritesDataFlash(const std::vector<BusRequest>& sequence) {
  bool selected = false;
  for (const BusRequest& r : sequence) {
    selected = selected || (r.op == BusOp::kWriteWord && r.cmd == cmd::kDFSubclass);
    if ((selected && r.op == BusOp::kWriteBlock && r.cmd == cmd::kDFBlock) ||
        (r.op == BusOp::kCommand && r.cmd == cmd::kCalStore)) {
      return true;
    }
  }
  return false;
}

int BusCommand(Session& s, const std::vector<BusRequest>& sequence) {
  if (WritesDataFlash(sequence) &&
      s.platform().MessageBox("These transfers write the device's data flash. Send them?",
                              "Supercapacitor Calibration", Buttons::kOkCancel) != Answer::kOk) {
    if (!s.options().yes) Out::Error("nothing was sent; --yes answers the confirmation with OK");
    return kExitFailed;
  }
  bool ok = true;
  std::size_t done = 0;
  auto transfers = [&] {
    for (const BusRequest& r : sequence) {
      if (s.interrupted()) break;  // no new transfer once a stop is asked for
      const Status st = RunBus(s.adapter(), s.options().target_address(), r, s.out());
      ++done;
      if (st != 0) {
        ok = false;
        break;
      }
    }
  };
  // Raw writes change the device like a run: they are recorded with its data flash.
  bool writes = std::any_of(sequence.begin(), sequence.end(), [](const BusRequest& r) {
    return r.op != BusOp::kReadWord && r.op != BusOp::kReadBlock;
  });
  if (!writes) {
    transfers();
    if (s.interrupted()) s.ReportInterruption();
    return s.interrupted() ? kExitInterrupted : ok ? kExitOk : kExitFailed;
  }
  // The record holds the transfers that were made, and how many were asked for.
  auto r = s.Run(
      *RunNamed("bus"), transfers, [&] { return ok && done == sequence.size(); },
      [&] {
        return Json{{"transfers", WordsOf(sequence, done)}, {"planned", sequence.size()}};
      });
  return r.interrupted() ? kExitInterrupted : ok ? kExitOk : kExitFailed;
}

}  // namespace

void AddBusCommand(CLI::App& app, Options& o, std::vector<Command>& out) {
  auto* cmd = app.add_subcommand("bus",
                                 "raw SMBus transfers in order: read-word CMD, "
                                 "write-word CMD VALUE, read-block CMD, "
                                 "write-block CMD BYTES..., command CMD");
  auto words = std::make_shared<std::vector<std::string>>();
  auto sequence = std::make_shared<std::vector<BusRequest>>();
  cmd->add_option("TRANSFER", *words)->required();
  cmd->add_flag("--yes", o.yes, "answer OK when the transfers write data flash");
  cmd->parse_complete_callback([words, sequence] {
    try {
      *sequence = ParseBusSequence(*words);
    } catch (const std::invalid_argument& e) {
      throw CLI::ValidationError(e.what());
    }
  });
  out.emplace_back(cmd, Command::Needs::kDevice,
                   [sequence](Session& s) { return BusCommand(s, *sequence); });
}

}  // namespace vx::cli
