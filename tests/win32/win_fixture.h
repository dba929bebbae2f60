// What the Windows-side tests share: the registered DLL's place, a Config.ini beside it, a
// simulated device behind an adapter object, a hosted control, and VARIANT helpers.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "container/adapter_object.h"
#include "container/host.h"
#include "container/message_boxes.h"
#include "plugin/automation.h"
#include "plugin/bstr.h"
#include "sim/sim_device.h"

namespace vx::win::testing {

// Settings of the run, from the command line.
struct Options {
  std::string screenshot;  // where the page's screenshot goes (empty: none)
};
const Options& options();

// The DLL path under the class's InprocServer32 key (empty when not registered).
std::wstring RegisteredDllPath();
std::string RegisteredDllFolder();

// A Config.ini in the DLL's folder for the life of the object.
class ConfigBesideDll {
 public:
  explicit ConfigBesideDll(const std::string& text);
  ~ConfigBesideDll();
  ConfigBesideDll(const ConfigBesideDll&) = delete;
  ConfigBesideDll& operator=(const ConfigBesideDll&) = delete;

 private:
  std::string path_;
};

// A device whose own calibrations take little time, so that a run stays short in real time.
sim::SimState Quick(sim::SimState s);

// A device, its adapter object, and a control hosted with it as "Parent".
struct Rig {
  explicit Rig(sim::SimState state = Quick(sim::DefaultState(5)));
  ~Rig();
  // TargetAddress 0x16, DVMAC and TargetInfo "800.1.02" written by name, then shown.
  bool WriteAndShow(short dvmac = 0);

  AdapterObject* adapter;  // owns the device
  sim::SimDevice& dev;
  std::unique_ptr<Host> host;
};

// VARIANT helpers; each owns what it holds.
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  ~Var() { VariantClear(&v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
};
HRESULT CallDllCanUnloadNow();

}  // namespace vx::win::testing
