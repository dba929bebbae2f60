#include "page_fixture.h"
#include "runs/capacitor_count.h"

namespace vx::testing {

class SetupPanel : public PageTest {
 protected:
  void SetCount(int n) { dev().state().dataflash[64][0] = static_cast<std::uint8_t>(n - 1); }
  std::vector<std::string> Voltages() {
    std::vector<std::string> v;
    for (int i = 0; i < 6; ++i)
      v.push_back(Text("txtVoltage", i));
    return v;
  }
};

// Rows up to the count enabled with 2100 mV steps, the rest disabled with the top value; the
// system voltage 900 mV below the top of the stack. A count of 1 is reported and still shapes
// the rows; counts of six or more fill every row and keep the system voltage.
TEST_F(SetupPanel, TheCountShapesTheRows) {
  using S = std::vector<std::string>;
  const std::tuple<int, S, int, const char*, const char*> kCases[] = {
      {5, {"2100", "4200", "6300", "8400", "10500", "10500"}, 5, "12300", "5"},
      {3, {"2100", "4200", "6300", "6300", "6300", "6300"}, 3, "8100", "3"},
      {1, S(6, "2100"), 1, "3900", "3"},
      {8, {"2100", "4200", "6300", "8400", "10500", "12600"}, 6, "3900", "3"}};
  for (const auto& [count, volts, enabled, system, shown] : kCases) {
    SCOPED_TRACE(count);
    platform().TakeMessages();
    for (int k = 0; k < 6; ++k)
      At("txtVoltage", k).SetEnabled(true);
    SetCount(count);
    cal->OnShow();
    EXPECT_EQ(Voltages(), volts);
    for (int k = 0; k < 6; ++k)
      EXPECT_EQ(At("txtVoltage", k).enabled(), k < enabled) << k;
    EXPECT_EQ(Text("txtActualSystemVoltage"), system);
    EXPECT_EQ(Text("txtCellCount"), shown);  // an unusable count leaves the box as it was
    EXPECT_EQ(platform().messages().size(), count == 1 || count == 8 ? 1u : 0u);
  }
  EXPECT_EQ(platform().messages()[0].caption, "");
  EXPECT_NE(platform().messages()[0].text.find("Current Configuration is for 8 series capacitors."),
            std::string::npos);
  // A row disabled at one show stays disabled at the next; typed values are replaced.
  SetCount(3);
  cal->OnShow();
  SetCount(5);
  form().Type("txtVoltage(0)", "2222");
  cal->OnShow();
  EXPECT_EQ(Text("txtVoltage", 0), "2100");
  EXPECT_EQ(Voltages()[4], "10500");
  EXPECT_FALSE(At("txtVoltage", 3).enabled());
  EXPECT_TRUE(At("txtVoltage", 2).enabled());
}

TEST_F(SetupPanel, FlagsFramesTextsAndTheReadFailureFallback) {
  ASSERT_TRUE(form().Click("OptionByPass"));
  EXPECT_EQ(cal->Fields().bChargeFetOn, kVFalse);
  At("imgCalDoneBox").SetVisible(true);
  At("Frame1", 4).SetVisible(true);
  At("Frame1", 3).SetVisible(false);
  At("tmrScan").SetEnabled(false);
  dev().AddFault({0, 0x77, "", 772, true});
  cal->OnShow();
  EXPECT_FALSE(At("imgCalDoneBox").visible());
  EXPECT_FALSE(At("Frame1", 4).visible());
  EXPECT_TRUE(At("Frame1", 3).visible());
  EXPECT_TRUE(At("tmrScan").enabled());
  EXPECT_EQ(cal->Fields().bChargeFetOn, kVTrue);
  EXPECT_EQ(cal->Fields().bVFetOn, kVFalse);
  EXPECT_EQ(At("OptionByPass").value(), 1);  // the option buttons keep what the user left
  EXPECT_EQ(Text("lblVersion"), "Version: 0.0.2");
  EXPECT_EQ(Text("lblMainHelp"),
            "The number of configured capacitors is read from Operation Cfg parameter in data "
            "flash. Actual voltage entry is disabled for capacitors not used. Actual stack "
            "voltage will use top configured actual capacitor voltage. ");
  ASSERT_EQ(platform().messages().size(), 1u);
  EXPECT_EQ(platform().messages()[0].text,
            "Error reading the number of configured series capacitors from Dataflash.");
  EXPECT_EQ(platform().messages()[0].caption, "Supercapacitor Calibration");
  EXPECT_EQ(cal->Fields().nCapCount, 5);
}

TEST_F(SetupPanel, DvmacComesFromConfigAtEveryShow) {
  dir.Write("Config.ini", "[D800]\nDVMAC=68\n");
  std::int16_t mac = 5, addr = 22;
  cal->DVMAC(mac);
  cal->TargetAddress(addr);
  cal->OnShow();
  EXPECT_EQ(cal->Fields().nDVMAC, 68);
  mac = 7;
  cal->DVMAC(mac);
  EXPECT_EQ(cal->Fields().nDVMAC, 7);
  dir.Write("Config.ini", "");
  cal->OnShow();
  EXPECT_EQ(cal->Fields().nDVMAC, 0);
  EXPECT_EQ(cal->Caption(), "Supercapacitor Calibration");
  EXPECT_EQ(cal->TargetAddress(), 22);
  // Without target information only the timing section is read.
  dir.Write("Config.ini", "[Delay]\nLOAD_VI_SETTLE=300\n[D800]\nDVMAC=68\n");
  std::string empty;
  cal->TargetInfo(empty);
  cal->OnShow();
  EXPECT_EQ(cal->Module().settings.LOAD_VI_SETTLE, 300);
  EXPECT_EQ(cal->Fields().nDVMAC, 0);
}

TEST_F(SetupPanel, NoSiteAtAllIsHarmless) {
  CalPtr lonely(new Cal());
  lonely->OnShow();
  lonely->PrintProperties();
  EXPECT_EQ(lonely->ReadNumberofConfiguredCapacitors(), kE_FAIL);
  EXPECT_EQ(lonely->LastFailure().rfind("Object variable not set", 0), 0u);
  EXPECT_EQ(lonely->CalSystemVoltage(), 0);  // its own trap reports and returns 0
  EXPECT_EQ(lonely->LastFailure(), "");
  EXPECT_TRUE(lonely->Form().Tick("tmrScan"));
  EXPECT_EQ(lonely->Form().At("txtCalMeasVoltage", 0).text(), "");
}

TEST_F(SetupPanel, ConfigurationMethodsOfTheHostInterface) {
  std::string info = "800.1.02", d = "keep", v = "keep";
  EXPECT_TRUE(cal->GetConfigSection(info, d, v));
  EXPECT_EQ(d, "800");
  EXPECT_EQ(v, "800_1_02");
  info = "abc";
  d = v = "keep";
  EXPECT_FALSE(cal->GetConfigSection(info, d, v));
  EXPECT_EQ(d, "keep");
  std::string file = dir.Write("gg.ini", "[800]\nA=1\nB=2\n[800_1_02]\nB=3\n[D800]\nC=4\n");
  std::string key = "B";
  std::int32_t def = 9;
  info = "800.1.02";
  EXPECT_EQ(cal->ReadGGIniWithOverride(info, key, def, file), 3);
  key = "A";
  EXPECT_EQ(cal->ReadGGIniWithOverride(info, key, def, file), 1);
  key = "C";  // only in the reader's "D" section, which this method does not use
  EXPECT_EQ(cal->ReadGGIniWithOverride(info, key, def, file), 9);
}

TEST(ModuleState, TwoControlsOnOneThreadShareItAndTheLatestShowWins) {
  ResetThisThreadModule();
  testing::TempDir dir;
  dir.Write("Config.ini", "[Delay]\nLOAD_VI_SETTLE=250\n");
  TestContainer a(sim::DefaultState(3)), b(sim::DefaultState(4));
  CalPtr one(new Cal()), two(new Cal());
  one->SetClientSite(&a);
  two->SetClientSite(&b);
  one->SetConfigFolder(dir.path());
  one->OnShow();
  EXPECT_EQ(two->Module().adapter, a.device);
  EXPECT_EQ(two->Module().settings.LOAD_VI_SETTLE, 250);
  two->OnShow();
  EXPECT_EQ(one->Module().adapter, b.device);
  // The first control's scan now reads through the second show's adapter.
  a.device->ClearLog();
  one->Form().Tick("tmrScan");
  EXPECT_TRUE(a.device->log().empty());
  EXPECT_FALSE(b.device->log().empty());
  ResetThisThreadModule();
}

// The low three bits plus one; 1 and 8 are reported (setup panel tests) and kept, but not
// shown. A failed select or an empty block fall back to five, with their own message.
TEST_F(PageTest, CapacitorCountFromOperationCfg) {
  ShowFresh();
  // clang-format off
  const std::tuple<int, int, std::int32_t, int, const char*> kCases[] = {
      {0x03, -1, 0, 4, "4"}, {0xFC, -1, 0, 5, "5"}, {0x07, -1, 1, 8, "5"}, {0x02, 0, 0, 5, "5"},
      {0x02, -2, 0, 5, "5"}};
  // clang-format on
  for (auto [byte, shortened, result, count, shown] : kCases) {
    dev().state().dataflash[64][0] = static_cast<std::uint8_t>(byte);
    dev().SetShortBlock(std::max(shortened, -1));
    if (shortened == -2) dev().AddFault({0, 0x77, "", 772, 1});
    platform().TakeMessages();
    EXPECT_EQ(cal->ReadNumberofConfiguredCapacitors(), result) << byte;
    EXPECT_EQ(cal->Fields().nCapCount, count);
    EXPECT_EQ(Text("txtCellCount"), shown);
    EXPECT_EQ(platform().messages().size(), count == 4 ? 0u : byte == 0xFC ? 0u : 1u);
    if (shortened != -1) {
      EXPECT_EQ(platform().messages().back().caption, "Supercapacitor Calibration");
    }
  }
}

}  // namespace vx::testing
