// Calibration mode: entry and exit, the request/poll/store cycle, result words, FET control.
#include "device/commands.h"
#include "device/numeric.h"
#include "device/utils.h"
#include "engine/mod_calibrate_k40.h"
#include "engine/status_codes.h"

namespace vx {

namespace {

bool IsSignature(std::uint8_t hi, std::uint8_t lo) {
  return hi == cmd::kSigHi && lo == cmd::kSigLo;
}

}  // namespace

Status EnterCalibrationMode(EngineContext& e, std::int16_t macCode, std::int16_t addr) {
  e.last_mac_code = ToByte(macCode);  // a code outside 0..255 fails before any transfer
  std::uint8_t hi = 0, lo = 0;
  Status s = e.adapter.ReadSMBusWord(cmd::kCalModeSignature, hi, lo, addr);
  if (s != 0) return s;
  if (IsSignature(hi, lo)) return 0;
  std::uint8_t enter_hi = 0, enter_lo = 0;
  SplitWord(cmd::kEnterCalWord, enter_hi, enter_lo);
  s = e.adapter.WriteSMBusWord(e.last_mac_code, enter_hi, enter_lo, addr);
  if (s != 0) return s;
  s = e.adapter.ReadSMBusWord(cmd::kCalModeSignature, hi, lo, addr);
  if (s != 0) return s;
  return IsSignature(hi, lo) ? 0 : kErrNoSignature;
}

Status ExitCalibrationMode(EngineContext& e, std::int16_t addr, bool* left) {
  std::uint8_t hi = 0, lo = 0;
  e.adapter.Delay(50);
  e.adapter.ReadSMBusWord(cmd::kCalModeSignature, hi, lo, addr);  // settles the device
  e.adapter.Delay(10);
  hi = lo = 0;
  Status s = e.adapter.ReadSMBusWord(cmd::kCalModeSignature, hi, lo, addr);
  if (s != 0) return s;
  Status result = 0;
  if (IsSignature(hi, lo)) {
    e.adapter.Delay(50);
    result = e.adapter.WriteSMBusCommand(cmd::kCalExit, addr);
  }
  if (left) *left = true;
  e.adapter.Delay(1000);
  return result;
}

Status RunCalibration(EngineContext& e, std::uint8_t& hi, std::uint8_t lo, std::int16_t addr) {
  hi = static_cast<std::uint8_t>(hi | 0xC0);
  Status s = e.adapter.WriteSMBusWord(cmd::kCalStart, hi, lo, addr);
  if (s != 0) return s;
  DelayMs(e.platform, 300);
  std::uint8_t bh = 0, bl = 0;
  bool busy = true;
  for (int polls = 0; busy; ++polls) {
    if (polls == kMaxBusyPolls) return kErrDeviceStaysBusy;
    e.adapter.ReadSMBusWord(cmd::kCalBusy, bh, bl, addr);  // a failed poll counts as done
    busy = ((bh & 0x3F) | bl) != 0;
    DelayMs(e.platform, 250);
  }
  std::uint8_t rh = 0, rl = 0;
  s = e.adapter.ReadSMBusWord(cmd::kCalResult, rh, rl, addr);
  if (s != 0) return s;
  if (rh != 0 || rl != 0) return CalStatusToError(rh, rl);
  s = e.adapter.WriteSMBusCommand(cmd::kCalStore, addr);
  if (s != 0) return s;
  e.adapter.Delay(e.settings.CalWr);
  DelayMs(e.platform, e.settings.CalWr);
  return 0;
}

Status SetFetControl(EngineContext& e, bool on, std::int16_t addr) {
  Status s = e.adapter.WriteSMBusWord(cmd::kFetControl, 0x00,
                                      on ? static_cast<std::uint8_t>(cmd::kFetsOn) : 0x00, addr);
  e.adapter.Delay(e.settings.LOAD_VI_SETTLE);
  DelayMs(e.platform, e.settings.LOAD_VI_SETTLE);
  return s;
}

}  // namespace vx
