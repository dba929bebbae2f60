// Every member of _Cal called by name through IDispatch, with the argument types a
// late-bound host passes: by value and by reference, and wrong types refused cleanly.
#include <thread>

#include "win_fixture.h"

namespace vx::win::testing {

TEST(Container, PropertiesByValueAndByReference) {
  Host host(L"vx58420Cal.Cal", nullptr);
  ASSERT_TRUE(host.ok());
  Var caption;
  EXPECT_TRUE(SUCCEEDED(host.Call(L"Caption", DISPATCH_PROPERTYGET, {}, &caption.v)));
  EXPECT_EQ(V_VT(&caption.v), VT_BSTR);
  EXPECT_EQ(FromBstr(V_BSTR(&caption.v)), "Supercapacitor Calibration");

  EXPECT_TRUE(SUCCEEDED(host.Put(L"TargetAddress", I2Value(22))));
  Var got;
  EXPECT_TRUE(SUCCEEDED(host.Call(L"TargetAddress", DISPATCH_PROPERTYGET, {}, &got.v)));
  EXPECT_EQ(V_VT(&got.v), VT_I2);
  EXPECT_EQ(V_I2(&got.v), 22);

  short by_ref = -3;
  EXPECT_TRUE(SUCCEEDED(host.Put(L"TargetAddress", ByRef(&by_ref))));
  Var again;
  host.Call(L"TargetAddress", DISPATCH_PROPERTYGET, {}, &again.v);
  EXPECT_EQ(V_I2(&again.v), -3);
  // A script's variable (a reference to a VARIANT) and a reference of a wider type convert as
  // the member declares; the variable receives the member's type back. Scripts test the rest.
  Var script_var;
  V_VT(&script_var.v) = VT_I4;
  V_I4(&script_var.v) = 23;
  VARIANT var_ref;
  V_VT(&var_ref) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&var_ref) = &script_var.v;
  EXPECT_EQ(host.Put(L"TargetAddress", var_ref), S_OK);
  EXPECT_EQ(V_VT(&script_var.v), VT_I2);
  LONG vb_long = -40000;
  EXPECT_EQ(host.Put(L"TargetAddress", ByRef(&vb_long)), DISP_E_OVERFLOW);
  vb_long = -3;
  EXPECT_EQ(host.Put(L"TargetAddress", ByRef(&vb_long)), S_OK);

  // A number that does not fit 16 bits, and a text that is no number, are refused by the
  // automation layer; the stored address stays.
  EXPECT_TRUE(FAILED(host.Put(L"TargetAddress", I4Value(70000))));
  Var text;
  V_VT(&text.v) = VT_BSTR;
  V_BSTR(&text.v) = SysAllocString(L"abc");
  EXPECT_TRUE(FAILED(host.Put(L"TargetAddress", text.v)));
  Var after;
  host.Call(L"TargetAddress", DISPATCH_PROPERTYGET, {}, &after.v);
  EXPECT_EQ(V_I2(&after.v), -3);

  // DVMAC and TargetInfo are write-only.
  EXPECT_TRUE(SUCCEEDED(host.Put(L"DVMAC", I2Value(68))));
  Var none;
  EXPECT_TRUE(FAILED(host.Call(L"DVMAC", DISPATCH_PROPERTYGET, {}, &none.v)));
  Var info;
  V_VT(&info.v) = VT_BSTR;
  V_BSTR(&info.v) = SysAllocString(L"800.1.02");
  EXPECT_TRUE(SUCCEEDED(host.Put(L"TargetInfo", info.v)));
  Var none2;
  EXPECT_TRUE(FAILED(host.Call(L"TargetInfo", DISPATCH_PROPERTYGET, {}, &none2.v)));
}

// The outputs of GetConfigSection come back through typed references (ReadGGIniWithOverride's
// file is read by the scripts).
TEST(Container, ConfigurationMethodsWriteTheirOutputsBack) {
  Host host(L"vx58420Cal.Cal", nullptr);
  ASSERT_TRUE(host.ok());
  BSTR ver = ToBstr("800.1.02"), dev = ToBstr("keep"), sec = ToBstr("keep");
  VARIANT a = ByRef(&ver), b = ByRef(&dev), c = ByRef(&sec);
  Var r;
  EXPECT_TRUE(SUCCEEDED(host.Call(L"GetConfigSection", DISPATCH_METHOD, {&a, &b, &c}, &r.v)));
  EXPECT_EQ(V_VT(&r.v), VT_BOOL);
  EXPECT_EQ(V_BOOL(&r.v), VARIANT_TRUE);
  EXPECT_EQ(FromBstr(dev), "800");
  EXPECT_EQ(FromBstr(sec), "800_1_02");
  SysFreeString(ver);
  SysFreeString(dev);
  SysFreeString(sec);
}

TEST(Container, PrintPropertiesShowsTwoPlainBoxes) {
  Host host(L"vx58420Cal.Cal", nullptr);
  ASSERT_TRUE(host.ok());
  host.Put(L"TargetAddress", I2Value(22));
  host.Put(L"DVMAC", I2Value(68));
  MessageBoxAnswerer boxes;
  EXPECT_TRUE(SUCCEEDED(host.Call(L"PrintProperties", DISPATCH_METHOD, {})));
  ASSERT_TRUE(boxes.seen.size() == 2);
  EXPECT_EQ(boxes.seen[0].text, "Target Address is: 22");
  EXPECT_EQ(boxes.seen[1].text, "DVMAC from parent is:68");
  for (const SeenBox& b : boxes.seen) {
    EXPECT_EQ(b.caption, "vx58420Cal");
    EXPECT_TRUE(!b.has_icon);
    EXPECT_TRUE(!b.has_cancel);
  }
}

TEST(Container, MethodsThatNeedTheDeviceFailCleanlyBeforeAShow) {
  // Module-level state belongs to the user-interface thread: a fresh thread has no adapter yet,
  // whatever earlier controls on this one were shown with.
  HRESULT count_hr = S_OK;
  std::wstring count_raised;
  long system = -1;
  std::vector<SeenBox> seen;
  std::thread ui([&] {
    OleInitialize(nullptr);
    {
      Host host(L"vx58420Cal.Cal", nullptr);
      if (host.ok()) {
        MessageBoxAnswerer boxes;
        Var c, s;
        count_hr = host.Call(L"ReadNumberofConfiguredCapacitors", DISPATCH_METHOD, {}, &c.v);
        count_raised = host.raised();
        host.Call(L"CalSystemVoltage", DISPATCH_METHOD, {}, &s.v);
        system = V_I4(&s.v);
        seen = boxes.seen;
      }
    }
    OleUninitialize();
  });
  ui.join();
  // The count cannot be read without an adapter: the failure is raised, with what failed.
  EXPECT_EQ(count_hr, DISP_E_EXCEPTION);
  EXPECT_EQ(count_raised.rfind(L"Object variable not set", 0), 0u);
  // The system voltage method reports its run-time failure itself and returns 0.
  EXPECT_EQ(system, 0);
  ASSERT_TRUE(seen.size() == 1);
  EXPECT_EQ(seen[0].text.rfind("Invalid measured value entered! Error description:", 0), 0u);
  EXPECT_EQ(seen[0].caption, "Supercap Calibration");
}

}  // namespace vx::win::testing
