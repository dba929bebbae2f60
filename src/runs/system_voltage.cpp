#include "runs/system_voltage.h"

#include <exception>
#include <string>

#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"
#include "device/utils.h"
#include "runs/capacitor_count.h"

namespace vx {

namespace {

// The block must reach the system gain (bytes 20 and 21).
constexpr std::int16_t kMinBlock = cmd::kSystemGainOffset + 2;

}  // namespace

Status CalSystemVoltage(PageHost& host) {
  bool written = false;
  return CalSystemVoltage(host, written);
}

Status CalSystemVoltage(PageHost& h, bool& written) {
  written = false;
  Status result = 0;
  FormModel& f = h.Form();
  Platform& p = h.GetPlatform();
  try {
    h.tmrScan_Timer();
    f.At("prgCal").SetValue(50);
    auto adapter = RequireAdapter(h);
    const std::int16_t addr = h.Fields().nTargetAddr;
    BlockBuffer block{};
    std::int16_t length = 32;
    // A short block would be written back cut off.
    Status s =
        ReadDataFlashBlock(*adapter, addr, cmd::kSubclassCalibrationData, block, length, kMinBlock);
    if (s != 0) {
      result = s;
      p.MessageBox(
          "Not able to read calibration parameter values from Data flash. Please ensure device "
          "is connected and communicating. System Voltage calibration not completed.",
          "", Buttons::kOk);
      h.EnableAllControls();
      return result;
    }
    std::int16_t old = BlockWord(block, cmd::kSystemGainOffset);
    const std::string& measured_text = f.At("txtMeasuredSystemVoltage").text();
    if (measured_text == "Err_Rd" || TextToInt16(measured_text) <= 0) {
      p.MessageBox(
          "Measured system voltage reading is not available. Please check communications with "
          "device. System voltage calibration not completed.",
          "", Buttons::kOk);
      h.EnableAllControls();
      return 0;
    }
    std::int16_t measured = TextToInt16(measured_text);
    double actual = TextToDouble(f.At("txtActualSystemVoltage").text());
    std::int32_t gain = ToInt32(actual * old / measured);
    if (gain < -32768 || gain > 32767) {
      // Cut to 16 bits it would be a different gain altogether: nothing is written.
      p.MessageBox("The new system voltage gain " + std::to_string(gain) +
                       " is outside the range -32768 to 32767 that data flash can hold. Please "
                       "check the actual system voltage entered. System voltage calibration not "
                       "completed.",
                   "", Buttons::kOk);
      h.EnableAllControls();
      return 0;
    }
    PutBlockWord(block, cmd::kSystemGainOffset, static_cast<std::int16_t>(gain));
    s = SelectSubclass(*adapter, addr, cmd::kSubclassCalibrationData);
    DelaySeconds(p, 0.001f);
    if (s != 0) {
      h.EnableAllControls();
      return s;
    }
    s = WriteDataFlashBlock(*adapter, addr, block, length);
    if (s != 0) {
      h.EnableAllControls();
      return s;
    }
    adapter->Delay(120);
    written = true;
    f.At("prgCal").SetValue(100);
    f.At("imgCalDoneBox").SetVisible(true);
    h.EnableAllControls();
    return 0;
  } catch (const Interrupted&) {
    throw;  // not a value the user entered: the run that called this stops, its trap cleans up
  } catch (const std::exception& e) {
    p.MessageBox(std::string("Invalid measured value entered! Error description:") + e.what(),
                 "Supercap Calibration", Buttons::kOk);
    h.EnableAllControls();
    f.At("imgCalDoneBox").SetVisible(false);
    f.At("prgCal").SetVisible(false);
    f.At("tmrScan").SetEnabled(true);
    return result;
  }
}

}  // namespace vx
