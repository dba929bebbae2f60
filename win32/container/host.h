// The container's side of one hosted control: a top-level window, the control created by its
// ProgID, sited, given its properties by name and activated in place; helpers to call _Cal
// members by name and to reach the page's controls by their form keys.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "container/container_site.h"

namespace vx::win {

class Host {
 public:
  // Creates the window and the control (not yet shown). `parent` may be null.
  Host(const wchar_t* progid, IDispatch* parent);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  bool ok() const { return ole_ && cal_; }
  HRESULT create_result() const { return create_hr_; }
  HWND window() const { return window_; }
  IOleObject* ole() const { return ole_; }
  IDispatch* cal() const { return cal_; }
  Extender& extender() { return *extender_; }
  ContainerSite& site() { return *site_; }

  // In-place activation: the control's window appears and its Show event fires.
  HRESULT Show();
  HRESULT Hide();
  HWND ControlWindow() const;

  // A late-bound call of a _Cal member: args in call order. Returns the HRESULT; the result
  // lands in *result when given.
  HRESULT Call(const wchar_t* name, WORD flags, std::vector<VARIANT*> args,
               VARIANT* result = nullptr);
  HRESULT Put(const wchar_t* name, VARIANT value);
  // The description of the exception the last call raised (empty: it raised none).
  const std::wstring& raised() const { return raised_; }

  // The page's control window with this form key ("btnCalibrate", "txtVoltage(2)").
  HWND Find(const std::string& key) const;
  std::string Text(const std::string& key) const;
  // What a user does: type into a text box, click a button or check box.
  void Type(const std::string& key, const std::string& text) const;
  void Click(const std::string& key) const;

 private:
  HWND window_ = nullptr;
  Extender* extender_ = nullptr;
  ContainerSite* site_ = nullptr;
  IOleObject* ole_ = nullptr;
  IDispatch* cal_ = nullptr;
  HRESULT create_hr_ = E_FAIL;
  std::wstring raised_;
};

// A late-bound call of an object's member by name: args in call order. The description of
// the exception it raised lands in *raised when given (empty: it raised none).
HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT*> args,
                   VARIANT* result = nullptr, std::wstring* raised = nullptr);

// Dispatches this thread's messages for `ms` milliseconds, sleeping while there are none.
void PumpFor(int ms);

}  // namespace vx::win
