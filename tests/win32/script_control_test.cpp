// A script drives the control that a container shows with the simulated device as "Parent":
// the system's own script host (the ScriptControl) runs a VBScript against it, with the
// variables and outputs a script sees (cscript runs the scripts of tests/win32/scripts).
#include <cmath>

#include "win_fixture.h"

namespace vx::win::testing {

namespace {

VARIANT Text(const std::wstring& s) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(s.c_str());
  return v;
}

// Runs `code` in the ScriptControl's VBScript with the control as "Cal", and gives the value
// of `expression` afterwards as text ("" when anything failed), as a script host's user would.
std::string RunVbs(IDispatch* cal, const std::wstring& code, const std::wstring& expression) {
  CLSID clsid;
  IDispatch* sc = nullptr;
  if (FAILED(CLSIDFromProgID(L"MSScriptControl.ScriptControl", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&sc)))) {
    return "";
  }
  Var lang, no_timeout, name, object, run, eval, result, text;
  lang.v = Text(L"VBScript");
  V_VT(&no_timeout.v) = VT_I4;
  V_I4(&no_timeout.v) = -1;  // a calibration takes seconds
  name.v = Text(L"Cal");
  V_VT(&object.v) = VT_DISPATCH;
  V_DISPATCH(&object.v) = cal;
  cal->AddRef();
  run.v = Text(code);
  eval.v = Text(expression);
  const bool ok = SUCCEEDED(CallByName(sc, L"Language", DISPATCH_PROPERTYPUT, {&lang.v})) &&
                  SUCCEEDED(CallByName(sc, L"Timeout", DISPATCH_PROPERTYPUT, {&no_timeout.v})) &&
                  SUCCEEDED(CallByName(sc, L"AddObject", DISPATCH_METHOD, {&name.v, &object.v})) &&
                  SUCCEEDED(CallByName(sc, L"ExecuteStatement", DISPATCH_METHOD, {&run.v})) &&
                  SUCCEEDED(CallByName(sc, L"Eval", DISPATCH_METHOD, {&eval.v}, &result.v)) &&
                  SUCCEEDED(VariantChangeType(&text.v, &result.v, 0, VT_BSTR));
  sc->Release();
  return ok ? FromBstr(V_BSTR(&text.v)) : "";
}

}  // namespace

TEST(Container, AVBScriptDrivesASystemVoltageCalibration) {
  Rig rig(Quick(sim::MiscalibratedState(5)));
  ASSERT_TRUE(rig.WriteAndShow());
  Host& h = *rig.host;
  PumpFor(700);
  const double truth = rig.dev.state().truth.system_mV;
  EXPECT_TRUE(std::fabs(std::stod(h.Text("txtMeasuredSystemVoltage")) - truth) > 5.0);
  h.Type("txtActualSystemVoltage", std::to_string(static_cast<int>(truth)));

  MessageBoxAnswerer boxes;
  EXPECT_EQ(RunVbs(h.cal(),
                   L"Dim a, s, d, v, found, result\n"
                   L"a = 22 : Cal.TargetAddress = a\n"
                   L"s = \"800.1.02\" : found = Cal.GetConfigSection(s, d, v)\n"
                   L"result = Cal.CalSystemVoltage()\n",
                   L"found & \" \" & d & \" \" & v & \" \" & result"),
            "True 800 800_1_02 0");
  for (const SeenBox& b : boxes.seen)
    EXPECT_EQ(b.text, "<no message expected>");
  EXPECT_TRUE(IsWindowVisible(h.Find("imgCalDoneBox")));
  PumpFor(700);
  EXPECT_TRUE(std::fabs(std::stod(h.Text("txtMeasuredSystemVoltage")) - truth) <= 1.0);
}

}  // namespace vx::win::testing
