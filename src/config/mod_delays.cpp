#include "config/mod_delays.h"

#include <cstdio>
#include <variant>

#include "config/ini_reader.h"

namespace vx {

namespace {

using Field = std::variant<std::int32_t Settings::*, std::int16_t Settings::*>;
struct Key {
  const char* name;
  std::int32_t fallback;
  Field field;
};

// Stores v into the setting; a 16-bit setting outside its range keeps the built-in default
// and is listed in out_of_range, so a bad file can never wrap a value into something else.
void Store(Settings& s, const Key& k, std::int32_t v) {
  if (auto* p32 = std::get_if<std::int32_t Settings::*>(&k.field)) {
    s.*(*p32) = v;
    return;
  }
  auto p16 = std::get<std::int16_t Settings::*>(k.field);
  if (v < -32768 || v > 32767) {
    s.out_of_range.push_back({k.name, v, k.fallback});
    v = k.fallback;
  }
  s.*p16 = static_cast<std::int16_t>(v);
}

const Key kTiming[] = {
    {"CB_V_SETTLE", 1000, &Settings::CB_V_SETTLE},
    {"CB_I_SETTLE", 1000, &Settings::CB_I_SETTLE},
    {"LOAD_VI_SETTLE", 200, &Settings::LOAD_VI_SETTLE},
    {"USB_RESP_TIME", 1, &Settings::USB_RESP_TIME},
};

const Key kDevice[] = {
    {"DVMAC", 0, &Settings::DVMAC},
    {"TgtAddr", 23, &Settings::TgtAddr},
    {"GG_FWEXEC", 1000, &Settings::GG_FWEXEC},
    {"CalWr", 60, &Settings::CalWr},
    {"CalWrSig", 60, &Settings::CalWrSig},
    {"DF_IMAGE_SZ", 1792, &Settings::DF_IMAGE_SZ},
    {"RetROMCmd", 0, &Settings::RetROMCmd},
    {"RetROMWd", 3840, &Settings::RetROMWd},
    {"GGComm", 1, &Settings::GGComm},
    {"ROMComm", 1, &Settings::ROMComm},
    {"DateClsID", 58, &Settings::DateClsID},
    {"DateOffset", 2, &Settings::DateOffset},
    {"MfDataClsID", 58, &Settings::MfDataClsID},
    {"PkLotOffset", 4, &Settings::PkLotOffset},
    {"PkLotValid", 1, &Settings::PkLotValid},
    {"SrNoClsID", 58, &Settings::SrNoClsID},
    {"SrNoOffset", 0, &Settings::SrNoOffset},
    {"Platform", 32816, &Settings::Platform},
};

const Key kPlatform[] = {
    {"DF_ERASEROW", 10, &Settings::DF_ERASEROW},
    {"DF_MASSERASE", 200, &Settings::DF_MASSERASE},
    {"DF_PROGROW", 2, &Settings::DF_PROGROW},
    {"DF_BASE_ADDR", 16384, &Settings::DF_BASE_ADDR},
    {"DF_MAX_SZ", 2048, &Settings::DF_MAX_SZ},
    {"DF_PROGROW_SZ", 32, &Settings::DF_PROGROW_SZ},
    {"DF_ERASEROW_SZ", 32, &Settings::DF_ERASEROW_SZ},
    {"DF_CHKSUM_SZ", 2016, &Settings::DF_CHKSUM_SZ},
};

const Key kSensorOffsets[] = {
    {"ITOff_DFOff", 14, &Settings::ITOff_DFOff},
    {"ET1Off_DFOff", 15, &Settings::ET1Off_DFOff},
    {"ET2Off_DFOff", 16, &Settings::ET2Off_DFOff},
};

std::int32_t Saturate32(std::int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

// The default of GGModeDFDelay. A DF_PROGROW_SZ of 0 makes the row quotient 0 (as a smaller
// erase row does) instead of dividing by zero; a result beyond 32 bits saturates.
std::int32_t DerivedDfDelay(const Settings& s) {
  std::int64_t rows = s.DF_PROGROW_SZ == 0 ? 0 : s.DF_ERASEROW_SZ / s.DF_PROGROW_SZ;
  std::int64_t d = (static_cast<std::int64_t>(s.DF_ERASEROW) + s.DF_PROGROW) * rows;
  d = (d + s.DF_ERASEROW) * 6;
  return Saturate32(d);
}

}  // namespace

std::string VersionSectionName(const std::string& sDevVer) {
  std::string v = sDevVer;
  for (char& c : v) {
    if (c == '.') c = '_';
  }
  return v;
}

bool GetIniSections(const std::string& sDevVer, std::string& sDeviceConfigSection,
                    std::string& sVersionConfigSection) {
  auto dot = sDevVer.find('.');
  if (dot == std::string::npos) return false;
  sDeviceConfigSection = "D" + sDevVer.substr(0, dot);
  sVersionConfigSection = VersionSectionName(sDevVer);
  return true;
}

std::string PlatformSectionName(std::int32_t platform) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "P%04X", static_cast<unsigned>(platform));
  return buf;
}

std::int32_t ReadIniWithOverride(const std::string& sDeviceConfigSection,
                                 const std::string& sVersionConfigSection,
                                 const std::string& sKeyname, std::int32_t nDefaultValue,
                                 const std::string& sFilename) {
  std::int32_t v = ReadProfileInt(sDeviceConfigSection, sKeyname, nDefaultValue, sFilename);
  return ReadProfileInt(sVersionConfigSection, sKeyname, v, sFilename);
}

std::vector<SettingSource> DescribeSettings(const Settings& s, const std::string& sDevVer,
                                            const std::string& path) {
  auto value = [&](const Key& k) {
    if (auto* p32 = std::get_if<std::int32_t Settings::*>(&k.field)) return s.*(*p32);
    return static_cast<std::int32_t>(s.*std::get<std::int16_t Settings::*>(k.field));
  };
  auto present = [&](const std::string& section, const char* key) {
    auto text = GetPrivateProfileText(section, key, path);
    return text && !text->empty();
  };
  std::vector<SettingSource> out;
  auto add = [&](const char* key, std::int32_t v, std::initializer_list<std::string> sections) {
    SettingSource src{key, v, ""};
    for (const std::string& sec : sections) {
      if (present(sec, key)) {
        src.section = sec;
        break;
      }
    }
    out.push_back(src);
  };
  for (const Key& k : kTiming)
    add(k.name, value(k), {"Delay"});
  std::string dev, ver;
  if (!GetIniSections(sDevVer, dev, ver)) return out;
  for (const Key& k : kDevice)
    add(k.name, value(k), {ver, dev});
  for (const Key& k : kPlatform)
    add(k.name, value(k), {PlatformSectionName(s.Platform)});
  add("GGModeDFDelay", s.GGModeDFDelay, {ver, dev});
  add("SBSWrDelay", s.SBSWrDelay, {ver, dev});
  for (const Key& k : kSensorOffsets)
    add(k.name, value(k), {ver, dev});
  return out;
}

bool ReadConfigIni(Settings& s, const std::string& sDevVer, const std::string& path) {
  s.out_of_range.clear();
  for (const Key& k : kTiming)
    Store(s, k, ReadProfileInt("Delay", k.name, k.fallback, path));

  std::string dev, ver;
  if (!GetIniSections(sDevVer, dev, ver)) return false;
  auto by_override = [&](const Key& k) {
    Store(s, k, ReadIniWithOverride(dev, ver, k.name, k.fallback, path));
  };
  for (const Key& k : kDevice)
    by_override(k);

  std::string plat = PlatformSectionName(s.Platform);
  for (const Key& k : kPlatform)
    Store(s, k, ReadProfileInt(plat, k.name, k.fallback, path));

  std::int32_t d = DerivedDfDelay(s);
  s.GGModeDFDelay = ReadIniWithOverride(dev, ver, "GGModeDFDelay", d, path);
  s.SBSWrDelay = ReadIniWithOverride(dev, ver, "SBSWrDelay", d / 2, path);
  for (const Key& k : kSensorOffsets)
    by_override(k);
  return true;
}

}  // namespace vx
