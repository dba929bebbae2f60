// Every member of _Cal called by name through IDispatch, with the argument types a
// late-bound host passes: by value and by reference, and wrong types refused cleanly.
#include <fstream>
#include <thread>

#include "win_fixture.h"

namespace vx::win::testing {

namespace {

std::string TempIni(const std::string& text) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string path = std::string(dir) + "vx58420-members.ini";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

long ReadGG(Host& h, const std::string& info, const std::string& key, long def,
            const std::string& file) {
  BSTR i = ToBstr(info), k = ToBstr(key), f = ToBstr(file);
  VARIANT a = ByRef(&i), b = ByRef(&k), c = ByRef(&def), d = ByRef(&f);
  Var r;
  HRESULT hr = h.Call(L"ReadGGIniWithOverride", DISPATCH_METHOD, {&a, &b, &c, &d}, &r.v);
  SysFreeString(i);
  SysFreeString(k);
  SysFreeString(f);
  if (FAILED(hr) || V_VT(&r.v) != VT_I4) return -999999;
  return V_I4(&r.v);
}

}  // namespace

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

// The outputs of GetConfigSection come back through the references; ReadGGIniWithOverride
// reads the file it is given, without the "D" of the plug-in's own sections.
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
  std::string file = TempIni("[800]\nBoth=6\n[800_1_02]\nBoth=7\n[D800]\nOnlyD=9\n");
  EXPECT_EQ(ReadGG(host, "800.1.02", "Both", 42, file), 7);
  EXPECT_EQ(ReadGG(host, "800.1.02", "OnlyD", 42, file), 42);
  DeleteFileA(file.c_str());
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

namespace {

VARIANT RefToVariant(VARIANT* v) {
  VARIANT r;
  VariantInit(&r);
  V_VT(&r) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&r) = v;
  return r;
}

VARIANT Text(const wchar_t* s) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(s);
  return v;
}

}  // namespace

// Scripting clients pass variables as references to VARIANTs, or as references of their own
// type: each converts as the member declares it, and [in, out] values come back.
TEST(Container, ScriptVariablesConvertAndReceiveTheOutputs) {
  Host host(L"vx58420Cal.Cal", nullptr);
  ASSERT_TRUE(host.ok());
  Var address;
  V_VT(&address.v) = VT_I4;  // a VBScript Long, and a text that reads as a number
  V_I4(&address.v) = 23;
  EXPECT_EQ(host.Put(L"TargetAddress", RefToVariant(&address.v)), S_OK);
  Var got;
  host.Call(L"TargetAddress", DISPATCH_PROPERTYGET, {}, &got.v);
  EXPECT_EQ(V_I2(&got.v), 23);
  EXPECT_EQ(V_VT(&address.v), VT_I2);  // written back as the member's type
  LONG wide = 24;
  EXPECT_EQ(host.Put(L"TargetAddress", ByRef(&wide)), S_OK);
  EXPECT_EQ(host.Put(L"DVMAC", RefToVariant(&address.v)), S_OK);
  Var number_text;
  number_text.v = Text(L"25");
  EXPECT_EQ(host.Put(L"TargetAddress", RefToVariant(&number_text.v)), S_OK);
  host.Call(L"TargetAddress", DISPATCH_PROPERTYGET, {}, &got.v);
  EXPECT_EQ(V_I2(&got.v), 25);

  // What cannot convert is refused as before, and the address stays.
  Var word;
  word.v = Text(L"abc");
  EXPECT_EQ(host.Put(L"TargetAddress", RefToVariant(&word.v)), DISP_E_TYPEMISMATCH);
  Var big;
  V_VT(&big.v) = VT_I4;
  V_I4(&big.v) = 70000;
  EXPECT_EQ(host.Put(L"TargetAddress", RefToVariant(&big.v)), DISP_E_OVERFLOW);
  LONG too_wide = -40000;
  EXPECT_EQ(host.Put(L"TargetAddress", ByRef(&too_wide)), DISP_E_OVERFLOW);
  Var after;
  host.Call(L"TargetAddress", DISPATCH_PROPERTYGET, {}, &after.v);
  EXPECT_EQ(V_I2(&after.v), 25);

  Var ver, dev, sec, found;
  ver.v = Text(L"800.1.02");  // dev and sec stay empty, as fresh script variables are
  VARIANT a = RefToVariant(&ver.v), b = RefToVariant(&dev.v), c = RefToVariant(&sec.v);
  EXPECT_EQ(host.Call(L"GetConfigSection", DISPATCH_METHOD, {&a, &b, &c}, &found.v), S_OK);
  EXPECT_EQ(V_BOOL(&found.v), VARIANT_TRUE);
  ASSERT_EQ(V_VT(&dev.v), VT_BSTR);
  ASSERT_EQ(V_VT(&sec.v), VT_BSTR);
  EXPECT_EQ(FromBstr(V_BSTR(&dev.v)), "800");
  EXPECT_EQ(FromBstr(V_BSTR(&sec.v)), "800_1_02");

  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "vx58420-vars.ini";
  std::ofstream(path, std::ios::binary) << "[800_1_02]\nBoth=7\n";
  Var key, def, file, value;
  key.v = Text(L"Both");
  V_VT(&def.v) = VT_I2;  // an Integer where the member takes a long
  V_I2(&def.v) = 42;
  file.v = Text(Widen(path).c_str());
  VARIANT i = RefToVariant(&ver.v), k = RefToVariant(&key.v), d = RefToVariant(&def.v),
          f = RefToVariant(&file.v);
  EXPECT_EQ(host.Call(L"ReadGGIniWithOverride", DISPATCH_METHOD, {&i, &k, &d, &f}, &value.v), S_OK);
  EXPECT_EQ(V_I4(&value.v), 7);
  EXPECT_EQ(V_VT(&def.v), VT_I4);
  EXPECT_EQ(V_I4(&def.v), 42);
  Var missing;
  missing.v = Text(L"Nope");
  VARIANT m = RefToVariant(&missing.v);
  EXPECT_EQ(host.Call(L"ReadGGIniWithOverride", DISPATCH_METHOD, {&i, &m, &d, &f}, &value.v), S_OK);
  EXPECT_EQ(V_I4(&value.v), 42);
  DeleteFileA(path.c_str());
}

}  // namespace vx::win::testing
