// modDelays: the timing values and device constants of Config.ini, held under their key names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

struct Settings {
  // "Delay" section
  std::int32_t CB_V_SETTLE = 0;
  std::int32_t CB_I_SETTLE = 0;
  std::int32_t LOAD_VI_SETTLE = 0;
  std::int32_t USB_RESP_TIME = 0;
  // device section, version section over it
  std::int16_t DVMAC = 0;
  std::int16_t TgtAddr = 0;
  std::int32_t GG_FWEXEC = 0;
  std::int32_t CalWr = 0;
  std::int32_t CalWrSig = 0;
  std::int32_t DF_IMAGE_SZ = 0;
  std::int16_t RetROMCmd = 0;
  std::int16_t RetROMWd = 0;
  std::int16_t GGComm = 0;
  std::int16_t ROMComm = 0;
  std::int16_t DateClsID = 0;
  std::int16_t DateOffset = 0;
  std::int16_t MfDataClsID = 0;
  std::int16_t PkLotOffset = 0;
  std::int16_t PkLotValid = 0;
  std::int16_t SrNoClsID = 0;
  std::int16_t SrNoOffset = 0;
  std::int32_t Platform = 0;
  // platform section
  std::int32_t DF_ERASEROW = 0;
  std::int32_t DF_MASSERASE = 0;
  std::int32_t DF_PROGROW = 0;
  std::int16_t DF_BASE_ADDR = 0;
  std::int16_t DF_MAX_SZ = 0;
  std::int16_t DF_PROGROW_SZ = 0;
  std::int16_t DF_ERASEROW_SZ = 0;
  std::int16_t DF_CHKSUM_SZ = 0;
  // device section again, with derived defaults
  std::int32_t GGModeDFDelay = 0;
  std::int32_t SBSWrDelay = 0;
  std::int16_t ITOff_DFOff = 0;
  std::int16_t ET1Off_DFOff = 0;
  std::int16_t ET2Off_DFOff = 0;

  // Keys whose value was outside the 16-bit range and fell back to the built-in default, in
  // the order read. Rewritten by every read.
  struct OutOfRange {
    std::string key;
    std::int32_t value;     // as the file gives it
    std::int32_t fallback;  // what the setting holds instead
  };
  std::vector<OutOfRange> out_of_range;
};

// One setting as a read leaves it: its value and the section it came from (empty: the
// built-in default).
struct SettingSource {
  std::string key;
  std::int32_t value = 0;
  std::string section;
};
// Every setting in reading order, after ReadConfigIni(s, sDevVer, path) has filled s. The
// sections are found with the portable reader.
std::vector<SettingSource> DescribeSettings(const Settings& s, const std::string& sDevVer,
                                            const std::string& path);

// Reads every key in the table's order into s. Returns false when the target info has no "."
// (only the timing keys were read; the rest keep their values).
bool ReadConfigIni(Settings& s, const std::string& sDevVer, const std::string& path);

// One key by the override rule: version section over device section over the default.
std::int32_t ReadIniWithOverride(const std::string& sDeviceConfigSection,
                                 const std::string& sVersionConfigSection,
                                 const std::string& sKeyname, std::int32_t nDefaultValue,
                                 const std::string& sFilename);

// Device section "D" + text before the first ".", version section with "." replaced by "_".
bool GetIniSections(const std::string& sDevVer, std::string& sDeviceConfigSection,
                    std::string& sVersionConfigSection);

// "P" + upper-case hex, at least four digits.
std::string PlatformSectionName(std::int32_t platform);

// Version section name: every "." replaced by "_".
std::string VersionSectionName(const std::string& sDevVer);

}  // namespace vx
