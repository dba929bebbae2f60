// One scan tick of the page on the simulator, and through the i2c-dev adapter over the fake
// i2c-dev node: time per tick and the number of bus transactions it makes.
#include <benchmark/benchmark.h>

#include "adapters/fake_i2c_bus.h"
#include "adapters/linux_i2c_adapter.h"
#include "control/cal.h"
#include "control/module.h"
#include "hosts/station/simple_container.h"
#include "platform/virtual_platform.h"
#include "sim/sim_device.h"

namespace {

struct Page {
  vx::VirtualPlatform platform;
  vx::SimpleContainer box;
  vx::Cal* cal = new vx::Cal();
  explicit Page(std::shared_ptr<vx::SMBusAdapter> a) : box(platform, std::move(a)) {
    vx::PlaceAndShow(*cal, box, {0x16, "800.1.02", "/nonexistent", std::nullopt});
  }
  ~Page() { cal->Release(); }
};

void BM_ScanTickSimulator(benchmark::State& state) {
  vx::ResetThisThreadModule();
  vx::VirtualPlatform clock;
  auto sim = std::make_shared<vx::sim::SimDevice>(clock);
  Page page(sim);
  vx::FormModel& f = page.cal->Form();
  for (auto _ : state) {
    f.Tick("tmrScan");
    sim->ClearLog();
  }
  sim->ClearLog();
  std::int64_t before = sim->transfer_count();
  f.Tick("tmrScan");
  state.counters["transactions"] = static_cast<double>(sim->transfer_count() - before);
}
BENCHMARK(BM_ScanTickSimulator);

void BM_ScanTickI2cDev(benchmark::State& state) {
  vx::ResetThisThreadModule();
  vx::VirtualPlatform clock;
  auto sim = std::make_shared<vx::sim::SimDevice>(clock);
  vx::testing::FakeI2cNode node;
  node.device = sim;
  vx::testing::InstallFakeI2c("/dev/i2c-5", &node);
  std::string error;
  std::shared_ptr<vx::SMBusAdapter> bus =
      vx::LinuxI2cAdapter::Open("/dev/i2c-5", 0x0B, false, clock, error);
  if (!bus) {
    state.SkipWithError(error.c_str());
    return;
  }
  Page page(bus);
  vx::FormModel& f = page.cal->Form();
  for (auto _ : state) {
    f.Tick("tmrScan");
    node.log.clear();
    sim->ClearLog();
  }
  f.Tick("tmrScan");
  state.counters["transactions"] = static_cast<double>(node.log.size());
  vx::testing::RemoveFakeI2c("/dev/i2c-5");
}
BENCHMARK(BM_ScanTickI2cDev);

}  // namespace

BENCHMARK_MAIN();
