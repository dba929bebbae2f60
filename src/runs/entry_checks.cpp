#include "runs/entry_checks.h"

#include <array>
#include <cstdlib>
#include <string>

#include "device/numeric.h"

namespace vx {

namespace {

bool Fail(PageHost& host, const std::string& message) {
  host.GetPlatform().MessageBox(message, "", Buttons::kOk);
  return false;
}

std::int16_t Whole(PageHost& host, std::string_view name, int index = -1) {
  return TextToInt16(host.Form().At(name, index).text());
}

}  // namespace

bool Ticked(const Control& check_box) {
  return check_box.value() == 1;
}

bool SystemVoltageTest(PageHost& host) {
  std::int16_t v = Whole(host, "txtActualSystemVoltage");
  if (v < 2000) {
    return Fail(host,
                "Actual system voltage entered appears low. Please check this value and retry "
                "calibration.");
  }
  if (v > 20000) {
    return Fail(host,
                "Actual system voltage entered appears high.  Please check this value and retry "
                "calibration.");
  }
  return true;
}

bool TemperatureTest(PageHost& host, CalRequest& r) {
  FormModel& f = host.Form();
  r.bExtSensor1 = ToVBool(Ticked(f.At("chkExtTS1")));
  r.bExtSensor2 = ToVBool(Ticked(f.At("chkExtTS2")));
  r.bIntSensor = ToVBool(Ticked(f.At("chkIntTS")));
  r.sngTemperature = TextToSingle(f.At("txtTemperature").text());
  // The measured value is converted first, so a failure names it first.
  std::int16_t measured = Whole(host, "txtCalMeasTemperature");
  std::int16_t actual = Whole(host, "txtTemperature");
  std::int16_t d = CheckedSub16(measured, actual);
  if (std::abs(d) > 25) {
    return Fail(host,
                "The difference between measured and actual temperature is greater than "
                "allowed.  The expected range of correction is plus or minus 12.7 degrees C "
                "using a default offset value of 0 in Dataflash.");
  }
  return true;
}

bool CapacitorVoltageTests(PageHost& host, CalRequest& r, CapVoltages& v) {
  FormModel& f = host.Form();
  const int n = host.Fields().nCapCount;
  r.bVFetOn = host.Fields().bVFetOn;
  r.nCapCount = Whole(host, "txtCellCount");
  for (int k = 0; k < 6; ++k)
    v.nVoltage[static_cast<std::size_t>(k)] = Whole(host, "txtVoltage", k);
  v.nCapCount = static_cast<std::int16_t>(n);

  for (int i = 0; i < n; ++i) {
    std::string c = std::to_string(i + 1);
    const std::string& measured = f.At("txtCalMeasVoltage", i).text();
    if (measured == "Err_Rd") {
      return Fail(host, "Capacitor " + c +
                            " has an invaild voltage measurement. Please check communication "
                            "connection with device.");
    }
    if (TextToInt16(measured) <= 0) {
      return Fail(host, "Capacitor " + c +
                            " has a measurement of zero. Please ensure a capacitor with a vaild "
                            "voltage is connected to device.");
    }
    if (Whole(host, "txtVoltage", i) <= 0) {
      return Fail(host, "Actual measured voltage entered for Capacitor " + c +
                            " is less than or equal to zero.");
    }
  }
  for (int i = 0; i < n; ++i) {
    int c = i + 1;
    std::int16_t a = Whole(host, "txtVoltage", i);
    std::int16_t next = Whole(host, "txtVoltage", i + 1);  // converted for the top one too
    if (a < 1000 * c) {
      return Fail(host, "Actual measured voltage entered for Capacitor " + std::to_string(c) +
                            " appears low.  Please check this value.");
    }
    if (next < a && i < n - 1) {
      return Fail(host, "Actual measured voltage entered for Capacitor " + std::to_string(c + 1) +
                            " is lower that Capacitor " + std::to_string(c) + ".");
    }
    if (a > 4000 * c) {
      return Fail(host, "Actual measured voltage entered for Capacitor " + std::to_string(c) +
                            " appears high.  Please check this value.");
    }
  }

  for (int k = 0; k < 6; ++k)
    f.At("txtVoltage", k).SetEnabled(true);
  for (int k = n; k <= 5; ++k) {
    auto top = v.nVoltage[static_cast<std::size_t>(n - 1)];
    v.nVoltage[static_cast<std::size_t>(k)] = top;
    Control& box = f.At("txtVoltage", k);
    box.SetText(std::to_string(top));
    box.SetEnabled(false);
  }
  return true;
}

void TakeCurrent(PageHost& host, CalRequest& r) {
  r.nCurrent = Whole(host, "txtCurrent");
}

}  // namespace vx
