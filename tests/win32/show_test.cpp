// The Show event: "Parent" read by name from the extender at every show, the panel set up
// from Config.ini beside the DLL and from the device, and the scan's readings arriving through
// the adapter object called by name.
#include "win_fixture.h"

namespace vx::win::testing {

namespace {

std::string PrintedDvmac(Host& h) {
  MessageBoxAnswerer boxes;
  h.Call(L"PrintProperties", DISPATCH_METHOD, {});
  return boxes.seen.size() == 2 ? boxes.seen[1].text
                                : "<" + std::to_string(boxes.seen.size()) + " boxes>";
}

}  // namespace

TEST(Container, ShowReadsParentAndSetsUpThePanel) {
  ConfigBesideDll config("[D800]\nDVMAC=68\n");
  Rig rig(Quick(sim::DefaultState(4)));
  ASSERT_TRUE(rig.WriteAndShow(5));
  Host& h = *rig.host;
  EXPECT_EQ(h.extender().parent_reads(), 1);
  EXPECT_TRUE(IsWindowVisible(h.ControlWindow()));
  // Config.ini's DVMAC replaced the one written before the show.
  EXPECT_EQ(PrintedDvmac(h), "DVMAC from parent is:68");
  // The capacitor count came from the device: four boxes open, the fifth closed.
  EXPECT_EQ(h.Text("txtVoltage(3)"), "8400");
  EXPECT_TRUE(IsWindowEnabled(h.Find("txtVoltage(3)")));
  EXPECT_EQ(h.Text("txtVoltage(4)"), "8400");
  EXPECT_TRUE(!IsWindowEnabled(h.Find("txtVoltage(4)")));
  EXPECT_EQ(h.Text("txtActualSystemVoltage"), "10200");
  // The page's tool tip, held by the tool tip window of the control's surface.
  HWND button = h.Find("btnCalibrate");
  char tip[256] = "";
  for (HWND w = FindWindowExA(nullptr, nullptr, TOOLTIPS_CLASSA, nullptr); w;
       w = FindWindowExA(nullptr, w, TOOLTIPS_CLASSA, nullptr)) {
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.hwnd = GetParent(button);
    ti.uId = reinterpret_cast<UINT_PTR>(button);
    ti.lpszText = tip;
    SendMessageA(w, TTM_GETTEXTA, sizeof tip, reinterpret_cast<LPARAM>(&ti));
    if (tip[0]) break;
  }
  EXPECT_EQ(std::string(tip),
            "Check the calibrations to perform below. Click this button to calibrate.");
  Var count;
  EXPECT_TRUE(
      SUCCEEDED(h.Call(L"ReadNumberofConfiguredCapacitors", DISPATCH_METHOD, {}, &count.v)));
  EXPECT_EQ(V_I4(&count.v), 0);

  // DVMAC written after the show holds until the next show.
  h.Put(L"DVMAC", I2Value(9));
  EXPECT_EQ(PrintedDvmac(h), "DVMAC from parent is:9");
  EXPECT_TRUE(SUCCEEDED(h.Hide()));
  EXPECT_TRUE(!IsWindowVisible(h.ControlWindow()));
  EXPECT_EQ(h.extender().parent_reads(), 1);  // hiding does nothing
  EXPECT_TRUE(SUCCEEDED(h.Show()));
  EXPECT_EQ(h.extender().parent_reads(), 2);
  EXPECT_EQ(PrintedDvmac(h), "DVMAC from parent is:68");
}

TEST(Container, ContainerWithoutParentOrAFailingReadSkipsTheSetUp) {
  for (auto mode : {Extender::ParentMode::kMissing, Extender::ParentMode::kFailing}) {
    Rig rig;
    rig.host->extender().SetParentMode(mode);
    MessageBoxAnswerer boxes;
    ASSERT_TRUE(rig.WriteAndShow(5));
    EXPECT_EQ(rig.host->extender().parent_reads(), mode == Extender::ParentMode::kMissing ? 0 : 1);
    // No set-up: DVMAC keeps the written value, and the device was never asked.
    EXPECT_EQ(PrintedDvmac(*rig.host), "DVMAC from parent is:5");
    EXPECT_TRUE(rig.dev.log().empty());
    EXPECT_TRUE(boxes.seen.empty());
  }
}

TEST(Container, ScanShowsTheDeviceThroughTheAdapterCalledByName) {
  Rig rig(Quick(sim::MiscalibratedState(5)));
  ASSERT_TRUE(rig.WriteAndShow());
  Host& h = *rig.host;
  // Nothing before the first tick, 600 ms after the show.
  EXPECT_EQ(h.Text("txtMeasuredSystemVoltage"), "");
  PumpFor(1000);
  EXPECT_EQ(h.Text("txtCalMeasVoltage(5)"), std::to_string(rig.dev.StackReading()));
  EXPECT_EQ(h.Text("txtMeasuredSystemVoltage"), std::to_string(rig.dev.SystemReading()));
  EXPECT_EQ(h.Text("txtCalMeasCurrent"), std::to_string(rig.dev.CurrentReading()));
  EXPECT_EQ(h.Text("txtCalMeasVoltage(0)"), std::to_string(rig.dev.TapReading(0)));

  const auto& calls = rig.adapter->calls();
  ASSERT_TRUE(calls.count("ReadSMBusWord_") == 1 && calls.count("ReadSMBusWord") == 1);
  EXPECT_TRUE(calls.at("ReadSMBusWord_").count >= 7);
  for (const auto& [name, c] : calls) {
    EXPECT_TRUE(c.all_by_reference);
    (void)name;
  }
  EXPECT_TRUE(calls.at("ReadSMBusWord_").first_call_types ==
              (std::vector<VARTYPE>{VT_BYREF | VT_UI1, VT_BYREF | VT_I2, VT_BYREF | VT_I2}));
  EXPECT_TRUE(calls.at("ReadSMBusWord").first_call_types ==
              (std::vector<VARTYPE>{VT_BYREF | VT_UI1, VT_BYREF | VT_UI1, VT_BYREF | VT_UI1,
                                    VT_BYREF | VT_I2}));
  // Names are looked up once per method, not per call.
  EXPECT_TRUE(rig.adapter->lookups() <= 9);
  // Tab moves the focus on, as the host hands its keys to the active control.
  IOleInPlaceActiveObject* active = nullptr;
  h.ole()->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active));
  ASSERT_TRUE(active != nullptr);
  SetFocus(h.Find("txtVoltage(0)"));
  MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
  EXPECT_EQ(active->TranslateAccelerator(&tab), S_OK);
  EXPECT_TRUE(GetFocus() != h.Find("txtVoltage(0)"));
  MSG elsewhere{h.window(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
  EXPECT_EQ(active->TranslateAccelerator(&elsewhere), S_FALSE);
  active->Release();
  // The timer keeps ticking.
  const int before = calls.at("ReadSMBusWord_").count;
  PumpFor(700);
  EXPECT_TRUE(rig.adapter->calls().at("ReadSMBusWord_").count > before);
}

}  // namespace vx::win::testing
