// Every run of the page against an adapter that answers with arbitrary bytes and statuses:
// no crash, no undefined behaviour, and the page is usable again afterwards.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>

#include "control/cal.h"
#include "control/module.h"
#include "hosts/station/simple_container.h"
#include "platform/virtual_platform.h"
#include "runs/separate_runs.h"

namespace {

class FuzzAdapter : public vx::SMBusAdapter {
 public:
  explicit FuzzAdapter(FuzzedDataProvider& p, vx::Platform& clock) : p_(p), clock_(clock) {}
  vx::Status Status() {
    if (p_.remaining_bytes() == 0) return 0;
    auto b = p_.ConsumeIntegral<std::uint8_t>();
    return b < 200 ? 0 : static_cast<vx::Status>(b) - 200 + 1;  // mostly success
  }
  vx::Status ReadSMBusWord(std::uint8_t, std::uint8_t& hi, std::uint8_t& lo,
                           std::int16_t) override {
    hi = p_.ConsumeIntegral<std::uint8_t>();
    lo = p_.ConsumeIntegral<std::uint8_t>();
    return Status();
  }
  vx::Status ReadSMBusWord_(std::uint8_t, std::int16_t& v, std::int16_t) override {
    v = p_.ConsumeIntegral<std::int16_t>();
    return Status();
  }
  vx::Status WriteSMBusWord(std::uint8_t, std::uint8_t, std::uint8_t, std::int16_t) override {
    return Status();
  }
  vx::Status WriteSMBusWord_(std::uint8_t, std::int16_t, std::int16_t) override { return Status(); }
  vx::Status ReadSMBusBlock_(std::uint8_t, std::span<std::uint8_t> data, std::int16_t& length,
                             std::int16_t) override {
    auto n = p_.ConsumeIntegralInRange<std::size_t>(0, 40);
    n = std::min(n, data.size());
    for (std::size_t i = 0; i < n; ++i)
      data[i] = p_.ConsumeIntegral<std::uint8_t>();
    length = static_cast<std::int16_t>(n);
    return Status();
  }
  vx::Status WriteSMBusBlock(std::uint8_t, std::span<const std::uint8_t> data, std::int16_t length,
                             std::int16_t) override {
    if (length < 0 || static_cast<std::size_t>(length) > data.size()) __builtin_trap();
    return Status();
  }
  vx::Status WriteSMBusCommand(std::uint8_t, std::int16_t) override { return Status(); }
  vx::Status CheckForError() override { return Status(); }
  vx::Status Delay(std::int32_t ms) override {
    clock_.Sleep(std::chrono::milliseconds(std::max(ms, 0)));
    return Status();
  }

 private:
  FuzzedDataProvider& p_;
  vx::Platform& clock_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider p(data, size);
  vx::ResetThisThreadModule();
  vx::VirtualPlatform platform;
  vx::SimpleContainer box(platform, std::make_shared<FuzzAdapter>(p, platform));
  vx::Cal* cal = new vx::Cal();
  vx::PlaceAndShow(*cal, box, {0x16, "800.1.02", "/nonexistent", std::nullopt});
  vx::FormModel& f = cal->Form();
  f.Tick("tmrScan");
  for (const char* c :
       {"chkVoltageCal", "chkSystemVoltage", "chkTempCal", "chkCurrentCal", "chkCCOffset"}) {
    f.At(c).SetValue(p.ConsumeBool() ? 1 : 0);
  }
  switch (p.ConsumeIntegralInRange(0, 4)) {
    case 0:
      f.Click("btnCalibrate");
      break;
    case 1:
      cal->CalSystemVoltage();
      break;
    case 2:
      vx::btnCalPackVolt_Click(*cal);
      break;
    case 3:
      vx::btnBoardOffsett_Click(*cal);
      break;
    default:
      vx::cmdSWBrdOffsetCal_Click(*cal);
      break;
  }
  // Whatever the device said, the page is usable again and the scan runs.
  if (!f.At("tmrScan").enabled() || !f.At("btnCalibrate").enabled()) __builtin_trap();
  cal->Release();
  return 0;
}
