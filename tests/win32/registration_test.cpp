// The DLL as Windows sees it once regsvr32 has run: the class and type library keys, the type
// library's description of _Cal, creation by ProgID, the OLE interfaces of a control, and
// DllCanUnloadNow.
#include <map>
#include <vector>

#include "version.h"
#include "win_fixture.h"
// After windows.h has been tamed by the fixture.
#include "vx58420Cal_h.h"

namespace vx::win::testing {

namespace {

std::wstring KeyValue(const std::wstring& key, const wchar_t* name = nullptr) {
  wchar_t buf[1024];
  DWORD size = sizeof buf;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &size) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return buf;
}

bool KeyExists(const std::wstring& key) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

std::string VtName(VARTYPE vt) {
  static const std::map<VARTYPE, std::string> kNames = {
      {VT_BSTR, "BSTR"}, {VT_I2, "I2"}, {VT_I4, "I4"}, {VT_BOOL, "BOOL"}};
  return kNames.count(vt) ? kNames.at(vt) : "?";
}

// "Name kind(type* flags, ...)": kind 1 a method, 2 a property get, 4 a property put; flags
// "io" for in and out, "ret" for the result.
std::string Describe(ITypeInfo* info, WORD i) {
  FUNCDESC* fd = nullptr;
  info->GetFuncDesc(i, &fd);
  BSTR name = nullptr;
  info->GetDocumentation(fd->memid, &name, nullptr, nullptr, nullptr);
  std::string d = FromBstr(name) + " " + std::to_string(fd->invkind) + "(";
  SysFreeString(name);
  for (SHORT p = 0; p < fd->cParams; ++p) {
    const ELEMDESC& e = fd->lprgelemdescParam[p];
    const USHORT f = e.paramdesc.wParamFlags;
    d += std::string(p ? ", " : "") + (e.tdesc.vt == VT_PTR ? VtName(e.tdesc.lptdesc->vt) : "?") +
         (e.tdesc.vt == VT_PTR ? "*" : "") + ((f & PARAMFLAG_FRETVAL) ? " ret" : "") +
         ((f & PARAMFLAG_FIN) && (f & PARAMFLAG_FOUT) && !(f & PARAMFLAG_FRETVAL) ? " io" : "");
  }
  info->ReleaseFuncDesc(fd);
  return d + ")";
}

}  // namespace

TEST(Container, ClassAndTypeLibraryAreRegistered) {
  const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_Cal);
  std::wstring server = KeyValue(clsid + L"\\InprocServer32");
  EXPECT_TRUE(server.size() > 14 && server.substr(server.size() - 14) == L"vx58420Cal.dll");
  EXPECT_EQ(Narrow(KeyValue(clsid + L"\\InprocServer32", L"ThreadingModel")), "Apartment");
  EXPECT_EQ(Narrow(KeyValue(clsid + L"\\ProgID")), "vx58420Cal.Cal");
  EXPECT_TRUE(KeyExists(clsid + L"\\Control"));
  EXPECT_EQ(Narrow(KeyValue(clsid + L"\\TypeLib")), Narrow(GuidText(LIBID_vx58420Cal)));
  EXPECT_EQ(Narrow(KeyValue(clsid + L"\\Version")), "1.1");
  EXPECT_EQ(Narrow(KeyValue(L"vx58420Cal.Cal\\CLSID")), Narrow(GuidText(CLSID_Cal)));
  EXPECT_TRUE(KeyExists(L"TypeLib\\" + GuidText(LIBID_vx58420Cal) + L"\\1.1"));
  EXPECT_TRUE(KeyExists(L"Interface\\" + GuidText(IID__Cal)));

  ITypeLib* lib = nullptr;
  ASSERT_TRUE(SUCCEEDED(LoadRegTypeLib(LIBID_vx58420Cal, 1, 1, LOCALE_NEUTRAL, &lib)));
  lib->Release();

  // The file's version is the project's, as the page shows it; the type library stays 1.1.
  std::vector<char> info(GetFileVersionInfoSizeW(server.c_str(), nullptr));
  ASSERT_TRUE(!info.empty() &&
              GetFileVersionInfoW(server.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(VX_VERSION_MAJOR << 16 | VX_VERSION_MINOR));
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(VX_VERSION_PATCH << 16));
}

TEST(Container, TypeLibraryDescribesCalMembersInOrderByReference) {
  const std::vector<std::string> expected = {
      "Caption 2(BSTR* ret)",
      "TargetAddress 4(I2* io)",
      "DVMAC 4(I2* io)",
      "TargetAddress 2(I2* ret)",
      "TargetInfo 4(BSTR* io)",
      "ReadGGIniWithOverride 1(BSTR* io, BSTR* io, I4* io, BSTR* io, I4* ret)",
      "GetConfigSection 1(BSTR* io, BSTR* io, BSTR* io, BOOL* ret)",
      "ReadNumberofConfiguredCapacitors 1(I4* ret)",
      "CalSystemVoltage 1(I4* ret)",
      "PrintProperties 1()"};
  ITypeLib* lib = nullptr;
  ASSERT_TRUE(SUCCEEDED(LoadRegTypeLib(LIBID_vx58420Cal, 1, 1, LOCALE_NEUTRAL, &lib)));
  ITypeInfo* disp = nullptr;
  ITypeInfo* info = nullptr;
  HREFTYPE ref = 0;
  ASSERT_TRUE(SUCCEEDED(lib->GetTypeInfoOfGuid(IID__Cal, &disp)));
  ASSERT_TRUE(SUCCEEDED(disp->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)));
  ASSERT_TRUE(SUCCEEDED(disp->GetRefTypeInfo(ref, &info)));
  TYPEATTR* ta = nullptr;
  info->GetTypeAttr(&ta);
  EXPECT_EQ(ta->typekind, TKIND_INTERFACE);
  EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FDUAL);
  std::vector<std::string> members;
  for (WORD i = 0; i < ta->cFuncs; ++i)
    members.push_back(Describe(info, i));
  info->ReleaseTypeAttr(ta);
  EXPECT_EQ(members, expected);
  info->Release();
  disp->Release();

  // The class is a control (its empty event interface: the connection point test).
  ITypeInfo* cls = nullptr;
  ASSERT_TRUE(SUCCEEDED(lib->GetTypeInfoOfGuid(CLSID_Cal, &cls)));
  cls->GetTypeAttr(&ta);
  EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FCONTROL);
  EXPECT_EQ(ta->cImplTypes, 2);
  cls->ReleaseTypeAttr(ta);
  cls->Release();
  lib->Release();
}

TEST(Container, CreatedByProgIdWithTheInterfacesOfAControl) {
  {
    Host host(L"vx58420Cal.Cal", nullptr);
    ASSERT_TRUE(host.ok());
    const IID needed[] = {IID_IOleObject,
                          IID_IOleInPlaceObject,
                          IID_IOleInPlaceActiveObject,
                          IID_IOleControl,
                          IID_IPersistStreamInit,
                          IID_IProvideClassInfo2,
                          IID_IConnectionPointContainer,
                          IID__Cal};
    for (const IID& iid : needed) {
      IUnknown* p = nullptr;
      EXPECT_TRUE(SUCCEEDED(host.ole()->QueryInterface(iid, reinterpret_cast<void**>(&p))));
      if (p) p->Release();
    }
    DWORD misc = 0;
    host.ole()->GetMiscStatus(DVASPECT_CONTENT, &misc);
    EXPECT_TRUE(misc & OLEMISC_ACTIVATEWHENVISIBLE);
    EXPECT_TRUE(misc & OLEMISC_SETCLIENTSITEFIRST);

    IProvideClassInfo2* pci = nullptr;
    host.ole()->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&pci));
    GUID source{};
    EXPECT_TRUE(SUCCEEDED(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source)));
    EXPECT_TRUE(IsEqualGUID(source, DIID___Cal));
    pci->Release();

    // A container advises on the event source; the control accepts and never calls.
    IConnectionPointContainer* cpc = nullptr;
    host.ole()->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    IConnectionPoint* cp = nullptr;
    EXPECT_TRUE(SUCCEEDED(cpc->FindConnectionPoint(DIID___Cal, &cp)));
    DWORD cookie = 0;
    if (cp) {
      EXPECT_TRUE(SUCCEEDED(cp->Advise(&host.extender(), &cookie)));
      EXPECT_TRUE(SUCCEEDED(cp->Unadvise(cookie)));
      EXPECT_EQ(cp->Unadvise(cookie), CONNECT_E_NOCONNECTION);
      cp->Release();
    }
    IConnectionPoint* none = nullptr;
    EXPECT_EQ(cpc->FindConnectionPoint(IID_IDispatch, &none), CONNECT_E_NOCONNECTION);
    cpc->Release();

    EXPECT_EQ(CallDllCanUnloadNow(), S_FALSE);  // a live control holds the DLL
    HRESULT shown = host.Show();
    EXPECT_EQ(static_cast<unsigned long>(shown), 0ul);
    EXPECT_TRUE(host.ControlWindow() != nullptr);
    EXPECT_EQ(host.site().activations(), 1);
  }
  EXPECT_EQ(CallDllCanUnloadNow(), S_OK);
}

TEST(Container, AggregationIsRefused) {
  IUnknown* p = nullptr;
  // Aggregation is not offered.
  Host helper(L"vx58420Cal.Cal", nullptr);
  HRESULT hr = CoCreateInstance(CLSID_Cal, helper.ole(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&p));
  EXPECT_EQ(hr, CLASS_E_NOAGGREGATION);
  EXPECT_TRUE(p == nullptr);
}

// An idle DLL reports that it could be unloaded, but stays: module-level state on this thread
// still holds the last adapter, whose code lives in the DLL. Controls created afterwards work.
TEST(Container, IdleDllStaysLoadedForTheModuleState) {
  {
    Rig rig;
    ASSERT_TRUE(rig.WriteAndShow());
  }
  ASSERT_TRUE(GetModuleHandleA("vx58420Cal.dll") != nullptr);
  EXPECT_EQ(CallDllCanUnloadNow(), S_OK);
  CoFreeUnusedLibrariesEx(0, 0);
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_TRUE(GetModuleHandleA("vx58420Cal.dll") != nullptr);
  Rig again;
  ASSERT_TRUE(again.WriteAndShow());
  PumpFor(700);
  EXPECT_EQ(again.host->Text("txtMeasuredSystemVoltage"),
            std::to_string(again.dev.SystemReading()));
}

TEST(Container, AfterUnregisterNothingIsLeft) {
  EXPECT_TRUE(!KeyExists(L"vx58420Cal.Cal"));
  EXPECT_TRUE(!KeyExists(L"CLSID\\" + GuidText(CLSID_Cal)));
  EXPECT_TRUE(!KeyExists(L"TypeLib\\" + GuidText(LIBID_vx58420Cal)));
  EXPECT_TRUE(!KeyExists(L"Interface\\" + GuidText(IID__Cal)));
  IUnknown* p = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_Cal, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&p)),
            REGDB_E_CLASSNOTREG);
}

}  // namespace vx::win::testing
