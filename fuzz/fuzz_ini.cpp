// Config.ini reading on arbitrary files and target infos.
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "config/ini_reader.h"
#include "config/mod_delays.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  auto nl = input.find('\n');
  std::string info = nl == std::string::npos ? input : input.substr(0, nl);
  std::string text = nl == std::string::npos ? "" : input.substr(nl + 1);
  static const std::string path = "/tmp/vx58420-fuzz-ini-" + std::to_string(getpid()) + ".ini";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  vx::Settings s;
  bool full = vx::ReadConfigIni(s, info, path);
  if (full != (info.find('.') != std::string::npos)) __builtin_trap();
  if (s.GGModeDFDelay < 0 && s.DF_ERASEROW >= 0 && s.DF_PROGROW >= 0 && s.DF_PROGROW_SZ > 0 &&
      s.DF_ERASEROW_SZ >= 0 && text.find("GGModeDFDelay") == std::string::npos) {
    __builtin_trap();  // the derived default of non-negative inputs is never negative
  }
  std::string dev = "x", ver = "y";
  if (vx::GetIniSections(info, dev, ver) && dev.empty()) __builtin_trap();
  vx::ReadIniWithOverride(dev, ver, info, 7, path);
  vx::ParseProfileInt(input);
  return 0;
}
