#include "runs/calibrate_device.h"

#include <exception>
#include <string>

#include "config/err_codes.h"
#include "device/numeric.h"
#include "engine/mod_calibrate_k40.h"
#include "runs/capacitor_count.h"
#include "runs/entry_checks.h"
#include "runs/system_voltage.h"

namespace vx {

namespace {

struct Selection {
  bool stack = false, cc_offset = false, system = false, temperature = false, current = false;
  bool CalibrationMode() const { return cc_offset || temperature || current; }
  bool Any() const { return stack || CalibrationMode() || system; }
};

class CalibrateDeviceRun {
 public:
  explicit CalibrateDeviceRun(PageHost& h) : h_(h), f_(h.Form()), p_(h.GetPlatform()) {}

  void Run() {
    try {
      Steps();
    } catch (const Interrupted&) {
      Trap(nullptr);  // the host asked to stop; it tells the user itself
    } catch (const std::exception& e) {
      Trap(e.what());
    }
  }

 private:
  void Message(const std::string& text, const char* caption) {
    p_.MessageBox(text, caption, Buttons::kOk);
  }
  void Done(bool show) { f_.At("imgCalDoneBox").SetVisible(show && all_ok_); }
  void Timer(bool on) { f_.At("tmrScan").SetEnabled(on); }
  Control& Progress() { return f_.At("prgCal"); }
  // The system voltage step enables the panel and the scan as it ends, being also a method of
  // its own; inside this run they go off again at once.
  void DisableWhileRunning() {
    h_.DisableButtons();
    h_.DisableCalSelections();
    Timer(false);
  }

  void Steps() {
    h_.DisableAllControls();
    Done(false);
    Progress().SetVisible(false);

    sel_.stack = Ticked(f_.At("chkVoltageCal"));
    sel_.cc_offset = Ticked(f_.At("chkCCOffset"));
    sel_.system = Ticked(f_.At("chkSystemVoltage"));
    sel_.temperature = Ticked(f_.At("chkTempCal"));
    sel_.current = Ticked(f_.At("chkCurrentCal"));
    req_.bStackVoltage = ToVBool(sel_.stack);
    req_.bCCOffset = ToVBool(sel_.cc_offset);
    req_.bSystemVoltage = ToVBool(sel_.system);
    req_.bTemperature = ToVBool(sel_.temperature);
    req_.bCurrent = ToVBool(sel_.current);

    if (!sel_.Any()) {
      Message("Please check desired calibrations.  Nothing to do!", "Supercap Calibration");
      h_.EnableAllControls();
      return;
    }
    if (sel_.system && !SystemVoltageTest(h_)) return h_.EnableAllControls();
    if (sel_.temperature && !TemperatureTest(h_, req_)) return h_.EnableAllControls();
    req_.bChargeFetOn = h_.Fields().bChargeFetOn;
    if (sel_.stack) {
      if (ReadNumberofConfiguredCapacitors(h_) != 0) return h_.EnableAllControls();
      if (!CapacitorVoltageTests(h_, req_, volts_)) return h_.EnableAllControls();
    }
    if (sel_.current) TakeCurrent(h_, req_);
    if (sel_.CalibrationMode()) {
      // What would fail inside calibration mode is found now, before the device is touched.
      CheckCalRequest(req_);
      ToByte(h_.Fields().nDVMAC);
    }

    h_.DisableButtons();
    h_.DisableCalSelections();
    Timer(false);
    Done(false);
    Progress().SetVisible(true);
    Progress().SetValue(5);
    adapter_ = RequireAdapter(h_);
    EngineContext e{*adapter_, p_, h_.Module().settings, h_.Module().last_mac_code};
    const std::int16_t addr = h_.Fields().nTargetAddr;

    if (sel_.stack) {
      Status s = CalibrateStackVoltage(e, volts_, addr);
      if (s != 0) {
        all_ok_ = false;
        Message("Capacitor stack voltage Calibration Failed! Error code = " + GetErrorText(s),
                "Calibration");
        // The run goes on with more device work: the panel stays disabled and the scan off
        // until the run ends (every way out enables them), so that no second run can start
        // and no scan can interleave while the device is being calibrated.
        Done(false);
        Progress().SetVisible(false);
      }
    }
    if (sel_.system) {
      Done(false);
      Progress().SetVisible(true);
      Progress().SetValue(5);
      Timer(false);
      bool written = false;
      Status s = CalSystemVoltage(h_, written);
      // A step that stopped with its own message returns 0 without writing the gain.
      if (s != 0 || !written) all_ok_ = false;
      if (s != 0) {
        Message("System voltage calibration did not successfully complete. ", "");
        Done(false);
        Progress().SetVisible(false);
      } else {
        Done(true);
        Progress().SetVisible(true);
      }
      // As after a failed stack step: the panel waits for the end of the run.
      DisableWhileRunning();
    }
    req_.bStackVoltage = 0;

    if (!sel_.CalibrationMode()) {
      Timer(true);
      h_.EnableButtons();
      h_.EnableCalSelections();
      Progress().SetValue(100);
      Done(true);
      Timer(true);
      return;
    }

    // From the entry word on the device may be in calibration mode: every way out leaves it,
    // until the exit has been sent (or the device found out of the mode).
    entered_ = true;
    Status s = EnterCalibrationMode(e, h_.Fields().nDVMAC, addr);
    if (s != 0) {
      // The entry word may have reached the device even though its confirmation did not come
      // back; leaving sends the exit command only if the device shows the signature. A stop
      // before that has happened leaves the trap to do it; no current calibration ran, so no
      // FET-off command.
      ExitCalibrationMode(e, addr, &left_);
      Message("Could not enter calibration mode.", "Calibration");
      Timer(true);
      h_.EnableButtons();
      h_.EnableCalSelections();
      Done(false);
      Progress().SetVisible(false);
      Timer(true);
      return;
    }
    Progress().SetValue(15);
    fets_ = sel_.current;  // the current calibration switches them on
    s = CalibrateDevice(e, req_, addr);
    Progress().SetValue(70);
    if (s != 0) {
      all_ok_ = false;
      Message("Calibration failed! Error code = " + GetErrorText(s), "Calibration");
      Progress().SetValue(0);
      Done(false);
      Progress().SetVisible(false);
    } else {
      Done(true);
    }
    Status x = ExitCalibrationMode(e, addr, &left_);
    if (x != 0) {
      Message("Error exiting calibration mode. Error code = " + GetErrorText(x), "Calibration");
    } else if (Progress().value() > 0) {
      Progress().SetValue(100);
    }
    if (sel_.current) SetFetControl(e, false, addr);
    fets_ = false;
    Timer(true);
    h_.tmrScan_Timer();
    h_.EnableAllControls();
  }

  // description: the run-time failure to report; none when the host interrupted the run.
  void Trap(const char* description) {
    // Leave the device as it should be before telling the user: out of calibration mode, and
    // with the FETs off after a current calibration.
    if (adapter_ && ((entered_ && !left_) || fets_)) {
      try {
        EngineContext e{*adapter_, p_, h_.Module().settings, h_.Module().last_mac_code};
        if (entered_ && !left_) ExitCalibrationMode(e, h_.Fields().nTargetAddr, &left_);
        if (fets_) SetFetControl(e, false, h_.Fields().nTargetAddr);
      } catch (...) {
      }
      fets_ = false;
    }
    if (description) {
      Message(std::string("Invalid value entered! Error description:") + description,
              "Calibration");
    }
    h_.EnableAllControls();
    f_.At("imgCalDoneBox").SetVisible(false);
    Progress().SetVisible(false);
    Timer(true);
  }

  PageHost& h_;
  FormModel& f_;
  Platform& p_;
  Selection sel_;
  CalRequest req_;
  CapVoltages volts_;
  std::shared_ptr<SMBusAdapter> adapter_;
  bool entered_ = false;  // the entry word may have reached the device
  bool left_ = false;     // ... and the device has been left since
  bool fets_ = false;     // the FETs may be on and are to be switched off
  bool all_ok_ = true;    // every ticked calibration so far succeeded
};

}  // namespace

void btnCalibrate_Click(PageHost& host) {
  CalibrateDeviceRun(host).Run();
}

}  // namespace vx
