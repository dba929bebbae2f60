// Cal as an ActiveX control: the dual interface _Cal over the portable control, the OLE
// interfaces a container needs to site, activate in place, show and resize it, and the
// control's side of the container (the platform, and "Parent" read by name from the
// container's extender object).
#pragma once

#include "plugin/win.h"

#include <memory>
#include <string>

#include "control/cal.h"
#include "plugin/com_object.h"
#include "plugin/win32_platform.h"
#include "plugin/win32_renderer.h"
#include "vx58420Cal_h.h"

namespace vx::win {

class CalControl final
    : public ComObject<_Cal, IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl,
                       IPersistStreamInit, IProvideClassInfo2, IConnectionPointContainer,
                       ISupportErrorInfo>,
      private IContainer {
 public:
  CalControl();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;

  // IDispatch, from the type library
  STDMETHODIMP GetTypeInfoCount(UINT* n) override;
  STDMETHODIMP GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* ex, UINT* arg_err) override;

  // _Cal
  STDMETHODIMP get_Caption(BSTR* Caption) override;
  STDMETHODIMP put_TargetAddress(short* nTargetAddr) override;
  STDMETHODIMP put_DVMAC(short* nDVMAC) override;
  STDMETHODIMP get_TargetAddress(short* TargetAddress) override;
  STDMETHODIMP put_TargetInfo(BSTR* sDevVer) override;
  STDMETHODIMP ReadGGIniWithOverride(BSTR* sTargetInfo, BSTR* sKeyname, LONG* nDefaultValue,
                                     BSTR* sFilename, LONG* result) override;
  STDMETHODIMP GetConfigSection(BSTR* sDevVer, BSTR* sDeviceConfigSection,
                                BSTR* sVersionConfigSection, VARIANT_BOOL* result) override;
  STDMETHODIMP ReadNumberofConfiguredCapacitors(LONG* result) override;
  STDMETHODIMP CalSystemVoltage(LONG* result) override;
  STDMETHODIMP PrintProperties() override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD save) override;
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                      LPCRECT pos) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return OLE_S_USEREG; }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** e) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* hwnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
  // Tab and arrow keys move between the page's controls, as in a dialog.
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG*) override { return S_OK; }
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
  STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

  // IPersistStreamInit: no persistent properties, nothing to load or save.
  STDMETHODIMP GetClassID(CLSID* clsid) override { return GetUserClassID(clsid); }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(LPSTREAM) override { return S_OK; }
  STDMETHODIMP Save(LPSTREAM, BOOL) override { return S_OK; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override { return S_OK; }

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** e) override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** cp) override;

  // ISupportErrorInfo: _Cal's failures come with a description.
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

 private:
  ~CalControl() override;

  // IContainer, for the portable control
  Platform& AmbientPlatform() override { return platform_; }
  std::shared_ptr<SMBusAdapter> GetObjectProperty(const std::string& name) override;

  // A run-time failure of a member, as an error for its caller: the thread's error object for
  // an early-bound caller, and the exception Invoke reports. Returns the member's HRESULT.
  HRESULT Raise(const std::string& what);
  HRESULT ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT pos);
  void DestroyControlWindow();
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

  Cal* cal_;  // the portable control; its reference is ours
  Win32Platform platform_;
  IOleClientSite* site_ = nullptr;
  IOleInPlaceSite* inplace_site_ = nullptr;
  IOleAdviseHolder* advise_ = nullptr;
  HWND hwnd_ = nullptr;
  std::unique_ptr<Win32Renderer> renderer_;
  SIZEL extent_{};       // HIMETRIC
  std::wstring raised_;  // what the member Invoke is calling raised
};

}  // namespace vx::win
