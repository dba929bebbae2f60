// A script drives the control that a container shows with the simulated device as "Parent":
// the system's own script host (the ScriptControl) runs VBScript and JScript against it, with
// the variables, outputs and raised errors a script sees.
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
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    HRESULT hr = sc_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANTARG> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
      reversed.push_back(**it);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
      params.rgdispidNamedArgs = &put;
      params.cNamedArgs = 1;
    }
    EXCEPINFO ex{};
    hr = sc_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &ex, nullptr);
    SysFreeString(ex.bstrSource);
    SysFreeString(ex.bstrDescription);
    SysFreeString(ex.bstrHelpFile);
    return hr;
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

  // The same control from JScript: a refused value arrives as an exception.
  ScriptHost js(L"JScript");
  ASSERT_TRUE(js.ok());
  ASSERT_TRUE(js.Add(L"Cal", h.cal()));
  EXPECT_EQ(js.Run(L"var a = 22; Cal.TargetAddress = a; var bad = '';"
                   L"try { Cal.TargetAddress = 'abc'; } catch (e) { bad = e.number; }"),
            S_OK);
  EXPECT_EQ(js.Eval(L"Cal.TargetAddress"), "22");
  const std::string bad = js.Eval(L"bad");  // DISP_E_TYPEMISMATCH, or as run-time error 13
  EXPECT_TRUE(bad == "-2147352571" || bad == "-2146828275") << bad;
}

}  // namespace vx::win::testing
