// A script drives the control that a container shows with the simulated device as "Parent":
// the system's own script host (the ScriptControl) runs a VBScript against it, with the
// variables and outputs a script sees (cscript runs the scripts of tests/win32/scripts).
#include <cmath>
#include <utility>

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

// The ScriptControl, called by name as a script host's user would.
class ScriptHost {
 public:
  explicit ScriptHost(const wchar_t* language) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"MSScriptControl.ScriptControl", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&sc_)))) {
      return;
    }
    Var lang, no_timeout;
    lang.v = Text(language);
    V_VT(&no_timeout.v) = VT_I4;
    V_I4(&no_timeout.v) = -1;  // a calibration takes seconds
    ok_ = SUCCEEDED(Call(L"Language", DISPATCH_PROPERTYPUT, {&lang.v})) &&
          SUCCEEDED(Call(L"Timeout", DISPATCH_PROPERTYPUT, {&no_timeout.v}));
  }
  ~ScriptHost() {
    if (sc_) sc_->Release();
  }
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  bool ok() const { return ok_; }
  bool Add(const wchar_t* name, IDispatch* object) {
    Var n, o;
    n.v = Text(name);
    V_VT(&o.v) = VT_DISPATCH;
    V_DISPATCH(&o.v) = object;
    object->AddRef();
    return SUCCEEDED(Call(L"AddObject", DISPATCH_METHOD, {&n.v, &o.v}));
  }
  HRESULT Run(const std::wstring& code) {
    Var c;
    c.v = Text(code);
    return Call(L"ExecuteStatement", DISPATCH_METHOD, {&c.v});
  }
  // The expression's value as text ("" when it fails).
  std::string Eval(const std::wstring& expression) {
    Var e, r, t;
    e.v = Text(expression);
    if (FAILED(Call(L"Eval", DISPATCH_METHOD, {&e.v}, &r.v)) ||
        FAILED(VariantChangeType(&t.v, &r.v, 0, VT_BSTR))) {
      return "";
    }
    return FromBstr(V_BSTR(&t.v));
  }

 private:
  HRESULT Call(const wchar_t* name, WORD flags, std::vector<VARIANT*> args,
               VARIANT* result = nullptr) {
    return CallByName(sc_, name, flags, std::move(args), result);
  }

  IDispatch* sc_ = nullptr;
  bool ok_ = false;
};

}  // namespace

TEST(Container, AVBScriptDrivesASystemVoltageCalibration) {
  Rig rig(Quick(sim::MiscalibratedState(5)));
  ASSERT_TRUE(rig.WriteAndShow());
  Host& h = *rig.host;
  PumpFor(700);
  const double truth = rig.dev.state().truth.system_mV;
  EXPECT_TRUE(std::fabs(std::stod(h.Text("txtMeasuredSystemVoltage")) - truth) > 5.0);
  h.Type("txtActualSystemVoltage", std::to_string(static_cast<int>(truth)));

  ScriptHost vbs(L"VBScript");
  ASSERT_TRUE(vbs.ok());
  ASSERT_TRUE(vbs.Add(L"Cal", h.cal()));
  MessageBoxAnswerer boxes;
  EXPECT_EQ(vbs.Run(L"Dim a, s, d, v, found, result\n"
                    L"a = 22 : Cal.TargetAddress = a\n"
                    L"s = \"800.1.02\" : found = Cal.GetConfigSection(s, d, v)\n"
                    L"result = Cal.CalSystemVoltage()\n"),
            S_OK);
  EXPECT_EQ(vbs.Eval(L"found & \" \" & d & \" \" & v"), "True 800 800_1_02");
  EXPECT_EQ(vbs.Eval(L"result"), "0");
  for (const SeenBox& b : boxes.seen)
    EXPECT_EQ(b.text, "<no message expected>");
  EXPECT_TRUE(IsWindowVisible(h.Find("imgCalDoneBox")));
  PumpFor(700);
  EXPECT_TRUE(std::fabs(std::stod(h.Text("txtMeasuredSystemVoltage")) - truth) <= 1.0);
}

}  // namespace vx::win::testing
