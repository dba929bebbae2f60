// The plug-in's face to its hosts: the class factory and the control's host interface, reached
// through the four exports of the shared library vx58420Cal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device/smbus_adapter.h"
#include "form/form_model.h"
#include "platform/platform.h"

namespace vx {

using HResult = std::int32_t;
inline constexpr HResult kS_OK = 0;
inline constexpr HResult kS_FALSE = 1;
inline constexpr HResult kE_NOINTERFACE = static_cast<HResult>(0x80004002u);
inline constexpr HResult kE_POINTER = static_cast<HResult>(0x80004003u);
inline constexpr HResult kE_FAIL = static_cast<HResult>(0x80004005u);
inline constexpr HResult kE_UNEXPECTED = static_cast<HResult>(0x8000FFFFu);
inline constexpr HResult kCLASS_E_NOAGGREGATION = static_cast<HResult>(0x80040110u);
inline constexpr HResult kCLASS_E_CLASSNOTAVAILABLE = static_cast<HResult>(0x80040111u);
inline constexpr HResult kSELFREG_E_CLASS = static_cast<HResult>(0x80040201u);

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
  friend bool operator==(const Guid&, const Guid&) = default;
};

std::string GuidToString(const Guid& g);  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}

inline constexpr Guid kCLSID_Cal = {
    0x6A1C3E52, 0x58A4, 0x4C20, {0x9E, 0x5D, 0x0B, 0x7F, 0x3A, 0x9C, 0x58, 0x42}};
inline constexpr Guid kIID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr Guid kIID_Cal = {
    0x6A1C3E53, 0x58A4, 0x4C20, {0x9E, 0x5D, 0x0B, 0x7F, 0x3A, 0x9C, 0x58, 0x42}};
inline constexpr const char kProgID[] = "vx58420Cal.Cal";
inline constexpr const char kTypeLibName[] = "vx58420Cal";
inline constexpr const char kTypeLibDescription[] = "vx58420 Calibration Plugin";
inline constexpr int kTypeLibMajor = 1;
inline constexpr int kTypeLibMinor = 1;

// The container a host places the control in.
class IContainer {
 public:
  // The platform services of the host (time, waits, message boxes, cursor).
  virtual Platform& AmbientPlatform() = 0;
  // A late-bound property read by name. nullptr: the container has no such property; an
  // exception: reading it failed. The control asks for "Parent" at every show.
  virtual std::shared_ptr<SMBusAdapter> GetObjectProperty(const std::string& name) = 0;

 protected:
  ~IContainer() = default;
};

// The control Cal. Its members after the first three are the host interface _Cal, in order;
// every parameter is passed by reference, as the host's automation interface declares them.
// No member lets an exception escape.
class ICal {
 public:
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;
  // The container, before the first show; also the source of the platform.
  virtual void SetClientSite(IContainer* site) = 0;
  // The container made the control visible (its Show event).
  virtual void OnShow() = 0;
  // The page, for rendering and for a user's clicks, typing and the timer's ticks.
  virtual FormModel& Form() = 0;
  // Module-level: where Config.ini is read from (empty: the plug-in's own folder).
  virtual void SetConfigFolder(const std::string& folder) = 0;

  virtual std::string Caption() = 0;
  virtual void TargetAddress(std::int16_t& nTargetAddr) = 0;  // Let
  virtual void DVMAC(std::int16_t& nDVMAC) = 0;               // Let
  virtual std::int16_t TargetAddress() = 0;                   // Get
  virtual void TargetInfo(std::string& sDevVer) = 0;          // Let
  virtual std::int32_t ReadGGIniWithOverride(std::string& sTargetInfo, std::string& sKeyname,
                                             std::int32_t& nDefaultValue,
                                             std::string& sFilename) = 0;
  virtual bool GetConfigSection(std::string& sDevVer, std::string& sDeviceConfigSection,
                                std::string& sVersionConfigSection) = 0;
  virtual std::int32_t ReadNumberofConfiguredCapacitors() = 0;
  virtual std::int32_t CalSystemVoltage() = 0;
  virtual void PrintProperties() = 0;

 protected:
  ~ICal() = default;
};

class IClassFactory {
 public:
  virtual HResult QueryInterface(const Guid& iid, void** ppv) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;
  // outer must be null (no aggregation); iid must be kIID_Cal; *ppv receives an ICal*.
  virtual HResult CreateInstance(void* outer, const Guid& iid, void** ppv) = 0;
  virtual HResult LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

}  // namespace vx

extern "C" {
using DllRegisterServerFn = vx::HResult (*)();
using DllUnregisterServerFn = vx::HResult (*)();
using DllGetClassObjectFn = vx::HResult (*)(const vx::Guid* clsid, const vx::Guid* iid, void** ppv);
using DllCanUnloadNowFn = vx::HResult (*)();
}
