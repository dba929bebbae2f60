#include "runs/separate_runs.h"

#include <exception>

#include "config/err_codes.h"
#include "device/commands.h"
#include "device/numeric.h"
#include "engine/mod_calibrate_k40.h"
#include "runs/capacitor_count.h"

namespace vx {

namespace {

constexpr const char kCaption[] = "Calibration";

struct Texts {
  const char* start;
  const char* progress;  // key of the progress bar
  const char* done;      // key of the done image
  int entered_value;     // progress once calibration mode is entered
  int start_value;       // progress when the run starts
  bool fets_on = false;  // the routine switches the FETs on (and a done run leaves them so)
};

using Routine = Status (*)(EngineContext&, std::int16_t);

// The shared sequence of the pack voltage and hardware board offset runs: confirmation,
// calibration mode, one routine, leaving calibration mode, progress and done image.
void CalibrationModeRun(PageHost& h, const Texts& t, Routine calibrate) {
  FormModel& f = h.Form();
  Platform& p = h.GetPlatform();
  if (p.MessageBox(t.start, kCaption, Buttons::kOkCancel) == Answer::kCancel) return;
  Control& progress = f.At(t.progress);
  bool entered = false, left = false;  // calibration mode entered, and left since
  bool routine = false;                // the routine has begun
  std::shared_ptr<SMBusAdapter> adapter;
  // A run-time failure (none is reached by a value the page can hold) or the host's interrupt:
  // the device out of calibration mode, the page usable again; a failure is reported.
  auto trap = [&](const char* description) {
    // A stop from the host ends the run unfinished: FETs the routine switched on go off again.
    const bool fets = routine && t.fets_on && !description;
    if (adapter && ((entered && !left) || fets)) {
      try {
        EngineContext e{*adapter, p, h.Module().settings, h.Module().last_mac_code};
        if (entered && !left) ExitCalibrationMode(e, h.Fields().nTargetAddr, &left);
        if (fets) SetFetControl(e, false, h.Fields().nTargetAddr);
      } catch (...) {
      }
    }
    f.At(t.done).SetVisible(false);
    if (description) {
      p.MessageBox(std::string("Invalid value entered! Error description:") + description, kCaption,
                   Buttons::kOk);
    }
    f.At("tmrScan").SetEnabled(true);
    h.EnableButtons();
  };
  try {
    f.At("tmrScan").SetEnabled(false);
    h.DisableButtons();
    f.At(t.done).SetVisible(false);
    progress.SetVisible(true);
    progress.SetValue(t.start_value);
    adapter = RequireAdapter(h);
    EngineContext e{*adapter, p, h.Module().settings, h.Module().last_mac_code};
    const std::int16_t addr = h.Fields().nTargetAddr;
    ToByte(h.Fields().nDVMAC);  // a code that fails does so before any transfer, as in the main run
    entered = true;             // from the entry word on, every way out leaves calibration mode
    Status s = EnterCalibrationMode(e, h.Fields().nDVMAC, addr);
    if (s != 0) {
      // Sends the exit command only if the device is in the mode; a stop before it has, leaves
      // the trap to do it.
      ExitCalibrationMode(e, addr, &left);
      p.MessageBox("Error setting Calibration mode. Error code = " + GetErrorText(s), kCaption,
                   Buttons::kOk);
      f.At("tmrScan").SetEnabled(true);
      h.EnableButtons();
      return;
    }
    progress.SetValue(t.entered_value);
    routine = true;
    s = calibrate(e, addr);
    if (s != 0) {
      p.MessageBox("Calibration error. Error code = " + GetErrorText(s), kCaption, Buttons::kOk);
      progress.SetValue(0);
    } else {
      progress.SetValue(70);
      f.At(t.done).SetVisible(true);
    }
    Status x = ExitCalibrationMode(e, addr, &left);
    if (x != 0) {
      p.MessageBox("Error exiting calibration mode. Error code = " + GetErrorText(x), kCaption,
                   Buttons::kOk);
    }
    if (progress.value() > 0) progress.SetValue(100);
    f.At("tmrScan").SetEnabled(true);
    h.EnableButtons();
  } catch (const Interrupted&) {
    trap(nullptr);
  } catch (const std::exception& ex) {
    trap(ex.what());
  }
}

}  // namespace

void btnCalPackVolt_Click(PageHost& h) {
  static constexpr Texts kTexts{
      "FETs will be turned on! Press Cancel if Voltage Calibration has not been performed on "
      "this pack. After the voltage calibration, set the data flash constant "
      "DF:Calibration/Config/Voltage_Signal to the battery stack voltage and proceed.",
      "prgPackVolt",
      "imgPackDoneBox",
      30,
      10,
      true};
  CalibrationModeRun(h, kTexts, &CalibratePackVoltage);
}

void btnBoardOffsett_Click(PageHost& h) {
  static constexpr Texts kTexts{
      "Ensure that absolutely no current is flowing through the sense resistor.\r\n"
      "Either power the device from the Pack+ input only, or ensure charge FET is open and "
      "Pack+ voltage is higher than the cell voltage.\r\n"
      "Please wait at least 35 seconds after clicking the OK button.",
      "prgBoardOffSet", "imgBoardOffDone", 25, 5};
  CalibrationModeRun(h, kTexts, &CalibrateBoardOffset);
}

std::int16_t BoardOffsetSampleCount(const std::string& typed_seconds) {
  double v = LeadingNumber(typed_seconds);
  return ToInt16(v * 1000 / 2 / 250);
}

void cmdSWBrdOffsetCal_Click(PageHost& h) {
  FormModel& f = h.Form();
  Platform& p = h.GetPlatform();
  const std::string typed = f.At("txtBrdOffTime").text();
  std::int16_t count = 0;
  try {
    count = BoardOffsetSampleCount(typed);
  } catch (const std::exception&) {
    count = 0;
  }
  if (count <= 0) {
    // Nothing to average: refused before the device is touched.
    p.MessageBox("The sampling time \"" + typed +
                     "\" gives no samples. Please enter a time of more than 0.25 seconds "
                     "(at most 99).",
                 kCaption, Buttons::kOk);
    return;
  }
  if (p.MessageBox(
          "Ensure that the device is powered from the cell inputs and no charger is connected.\r\n"
          "Ensure that Pack Current has already been successfully calibrated.\r\n"
          "Please wait at least " +
              typed + " seconds after clicking the OK button.",
          kCaption, Buttons::kOkCancel) == Answer::kCancel) {
    return;
  }
  Control& progress = f.At("prgBoardOffSet");
  auto trap = [&](const char* description) {
    p.SetBusyCursor(false);
    f.At("imgBoardOffDone").SetVisible(false);
    if (description) {
      p.MessageBox(std::string("Invalid value entered! Error description:") + description, kCaption,
                   Buttons::kOk);
    }
    f.At("tmrScan").SetEnabled(true);
    h.EnableButtons();
  };
  try {
    f.At("tmrScan").SetEnabled(false);
    h.DisableButtons();
    f.At("imgBoardOffDone").SetVisible(false);
    p.Yield();
    progress.SetVisible(true);
    progress.SetValue(15);
    p.SetBusyCursor(true);
    auto adapter = RequireAdapter(h);
    const std::int16_t addr = h.Fields().nTargetAddr;
    std::int16_t word71 = 0;
    Status s = adapter->ReadSMBusWord_(cmd::kBoardOffsetWord, word71, addr);
    progress.SetValue(25);
    if (s == 0) {
      EngineContext e{*adapter, p, h.Module().settings, h.Module().last_mac_code};
      // Read again: the box stays usable during the run's yield.
      s = CalibrateBoardOffsetSW(e, BoardOffsetSampleCount(f.At("txtBrdOffTime").text()), 250,
                                 word71, addr);
    }
    progress.SetValue(80);
    if (s == 0) f.At("imgBoardOffDone").SetVisible(true);
    progress.SetValue(100);
    p.SetBusyCursor(false);
    if (s != 0) p.MessageBox("Error = " + GetErrorText(s), kCaption, Buttons::kOk);
    f.At("tmrScan").SetEnabled(true);
    h.EnableButtons();
  } catch (const Interrupted&) {
    trap(nullptr);
  } catch (const std::exception& ex) {
    trap(ex.what());
  }
}

}  // namespace vx
