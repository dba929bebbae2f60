// The same calibration that converges on the simulator converges through the i2c-dev adapter.
#include "adapters/linux_i2c_adapter.h"
#include "control/module.h"
#include "control/page_fixture.h"
#include "fake_i2c_bus.h"
#include "hosts/common/simple_container.h"
#include "runs/calibrate_device.h"

namespace vx::testing {

TEST(I2cConvergence, MiscalibratedDeviceReadsTrueThroughTheBus) {
  ResetThisThreadModule();
  TempDir dir;
  dir.Write("Config.ini", "");
  VirtualPlatform platform;
  auto sim = std::make_shared<sim::SimDevice>(platform, sim::MiscalibratedState(5));
  FakeI2cNode node;
  node.device = sim;
  InstallFakeI2c("/dev/i2c-3", &node);
  std::string error;
  std::shared_ptr<SMBusAdapter> bus =
      LinuxI2cAdapter::Open("/dev/i2c-3", 0x0B, true, platform, error);
  ASSERT_TRUE(bus) << error;
  SimpleContainer box(platform, bus);

  CalPtr cal(new Cal());
  PlaceAndShow(*cal, box, {0x16, "800.1.02", dir.path()});
  FormModel& f = cal->Form();
  f.Tick("tmrScan");
  const auto truth = sim->state().truth;
  double tap = 0;
  for (int k = 0; k < 5; ++k) {
    tap += truth.cell_mV[static_cast<std::size_t>(k)];
    f.Type("txtVoltage(" + std::to_string(k) + ")", std::to_string(static_cast<int>(tap)));
  }
  f.Type("txtActualSystemVoltage", std::to_string(static_cast<int>(truth.system_mV)));
  f.Type("txtTemperature", "25");
  f.Type("txtCurrent", std::to_string(static_cast<int>(truth.current_mA)));
  for (const char* c : {"chkVoltageCal", "chkSystemVoltage", "chkTempCal", "chkCurrentCal"}) {
    ASSERT_TRUE(f.Click(c));
  }
  ASSERT_TRUE(f.Click("btnCalibrate"));
  ASSERT_TRUE(platform.messages().empty()) << platform.messages()[0].text;
  EXPECT_TRUE(f.At("imgCalDoneBox").visible());
  f.Tick("tmrScan");
  tap = 0;
  for (int k = 0; k < 5; ++k) {
    tap += truth.cell_mV[static_cast<std::size_t>(k)];
    EXPECT_NEAR(std::stod(f.At("txtCalMeasVoltage", k).text()), tap, 1.0) << k;
  }
  EXPECT_NEAR(std::stod(f.At("txtMeasuredSystemVoltage").text()), truth.system_mV, 1.0);
  EXPECT_NEAR(std::stod(f.At("txtCalMeasTemperature").text()), 25.0, 0.1);
  EXPECT_NEAR(std::stod(f.At("txtCalMeasCurrent").text()), truth.current_mA, 1.0);
  for (const auto& t : node.log)
    EXPECT_NE(t.pec, -1);  // every transaction carried a PEC
  cal.reset();
  box.SetAdapter(nullptr);
  bus.reset();
  RemoveFakeI2c("/dev/i2c-3");
  ResetThisThreadModule();
}

}  // namespace vx::testing
