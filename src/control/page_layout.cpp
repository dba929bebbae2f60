#include "control/page_layout.h"

#include <array>
#include <string>

namespace vx {

namespace {

constexpr const char* kPic = "picCalibration";
// The long help labels use the system's highlight-text colour, which is white on a standard
// desktop scheme; the window colour is white too.
constexpr std::uint32_t kHighlightText = kWhite;

Control& Add(FormModel& f, Kind kind, std::string name, int index, std::string text, Rect r,
             std::string parent, bool visible = true) {
  ControlInit init;
  init.name = std::move(name);
  init.index = index;
  init.kind = kind;
  init.text = std::move(text);
  init.rect = r;
  init.parent = std::move(parent);
  init.visible = visible;
  return f.Add(init);
}

Control& Frame(FormModel& f, int i, std::string caption, Rect r, std::string parent, bool visible) {
  return Add(f, Kind::kFrame, "Frame1", i, std::move(caption), r, std::move(parent), visible);
}

Control& Label(FormModel& f, std::string name, int index, std::string text, Rect r,
               std::string parent, double size = 8.25, Align align = Align::kLeft) {
  Control& c = Add(f, Kind::kLabel, std::move(name), index, std::move(text), r, std::move(parent));
  c.font_size = size;
  c.alignment = align;
  return c;
}

Control& Heading(FormModel& f, int index, std::string text, Rect r, std::string parent) {
  return Label(f, "lblCalibration", index, std::move(text), r, std::move(parent), 9.75,
               Align::kCenter);
}

Control& Entry(FormModel& f, std::string name, int index, std::string text, Rect r,
               std::string parent, int max_length) {
  Control& c =
      Add(f, Kind::kTextBox, std::move(name), index, std::move(text), r, std::move(parent));
  c.max_length = max_length;
  c.back_color = kWhite;
  return c;
}

Control& Measured(FormModel& f, std::string name, int index, Rect r, std::string parent) {
  // The scan rewrites these at every tick and the runs read them as the scan left them, so
  // they are read-only.
  Control& c = Add(f, Kind::kTextBox, std::move(name), index, "", r, std::move(parent));
  c.back_color = kWhite;
  c.locked = true;
  return c;
}

Control& Check(FormModel& f, std::string name, std::string caption, Rect r, std::string parent,
               bool visible, bool bold, int value = 0) {
  Control& c = Add(f, Kind::kCheckBox, std::move(name), -1, std::move(caption), r,
                   std::move(parent), visible);
  c.bold = bold;
  c.SetValue(value);
  return c;
}

Control& Button(FormModel& f, std::string name, std::string caption, Rect r, std::string parent,
                bool visible = true) {
  Control& c = Add(f, Kind::kCommandButton, std::move(name), -1, std::move(caption), r,
                   std::move(parent), visible);
  return c;
}

Control& Unit(FormModel& f, int index, std::string text, int left, int top, std::string parent) {
  return Label(f, "lblCalibration", index, std::move(text), {left, top + 60, 495, 225},
               std::move(parent));
}

}  // namespace

void BuildCalibrationPage(FormModel& f) {
  f.width = 10140;
  f.height = 9405;

  // The timer sits on the control's surface; the picture box carries everything else except
  // chkSystemVoltage, which sits on the surface above it.
  Control& timer = Add(f, Kind::kTimer, "tmrScan", -1, "", {0, 0, 0, 0}, "");
  timer.interval_ms = 600;
  Add(f, Kind::kPictureBox, kPic, -1, "", {0, -45, 12855, 11160}, "").border = false;

  Label(f, "lblCalibration", 14,
        "Please ensure that scanning/communication is off on all other open windows.",
        {180, 105, 9765, 300}, kPic);
  Label(f, "lblVersion", -1, "", {7425, 105, 2325, 210}, kPic);
  Control& main_help = Label(f, "lblMainHelp", -1, "", {5130, 570, 4560, 945}, kPic);
  main_help.back_color = kHighlightText;
  Control& cal = Button(f, "btnCalibrate", "&Calibrate device as indicated below",
                        {165, 765, 1695, 690}, kPic);
  cal.tooltip = "Check the calibrations to perform below. Click this button to calibrate.";
  Add(f, Kind::kProgressBar, "prgCal", -1, "", {3135, 975, 1815, 255}, kPic, false);
  Add(f, Kind::kImage, "imgCalDoneBox", -1, "", {2100, 855, 585, 495}, kPic, false);

  // Capacitor stack voltage.
  const std::string f1 = "Frame1(1)";
  Frame(f, 1, "", {1650, 1605, 8040, 3105}, kPic, true);
  Check(f, "chkVoltageCal", "Capacitor Stack Voltage Calibration", {225, 2385, 1305, 1290}, kPic,
        true, true);
  Heading(f, 10, "Measured voltage", {0, 240, 1215, 495}, f1);
  Heading(f, 5, "Enter actual voltage", {2745, 240, 1350, 495}, f1);
  Heading(f, 2, "Series Capacitor Count", {4170, 240, 1755, 495}, f1);
  const std::array<int, 6> tops{840, 1200, 1560, 1920, 2295, 2670};
  const std::array<const char*, 6> defaults{"2100", "4200", "6300", "8400", "10500", "10500"};
  const std::array<const char*, 6> rows{"Capacitor 1",           "Capacitor 1 + 2",
                                        "Capacitor 1 + 2 + 3",   "Capacitor 1 through 4",
                                        "Capacitor 1 through 5", "Stack Voltage"};
  for (int i = 0; i < 6; ++i) {
    auto k = static_cast<std::size_t>(i);
    Measured(f, "txtCalMeasVoltage", i, {120, tops[k], 615, 340}, f1);
    Unit(f, 30 + i, "mV", 780, tops[k], f1);
    Label(f, "Label1", i, rows[k], {1215, tops[k] + 60, 1710, 255}, f1, 8.25, Align::kRight);
    Entry(f, "txtVoltage", i, defaults[k], {2985, tops[k], 615, 340}, f1, 5);
    Unit(f, 36 + i, "mV", 3645, tops[k], f1);
  }
  Control& count = Entry(f, "txtCellCount", -1, "5", {4800, 840, 492, 340}, f1, 0);
  count.SetEnabled(false);
  Control& help1 = Label(f, "lblHelp", 1,
                         "Ensure voltage reference is stable. Capacitors connected should be "
                         "charged and in a state of rest. If using resistive dividers simulating "
                         "capacitors, the output impendance for each capacitor connection should "
                         "be less than 300 ohms for best accuracy. ",
                         {4200, 1350, 3675, 1155}, f1);
  help1.back_color = kHighlightText;
  Frame(f, 5, "FET Control", {6000, 240, 1400, 975}, f1, false);
  Add(f, Kind::kOptionButton, "optUseVFet", -1, "On", {150, 300, 1100, 255}, "Frame1(5)", false);
  Add(f, Kind::kOptionButton, "optBypassVFet", -1, "Off", {150, 615, 1100, 255}, "Frame1(5)")
      .SetValue(1);

  // System voltage. Its check box sits on the control's surface, so it is added after the
  // picture box's children to stay on top of it.
  const std::string f7 = "Frame1(7)";
  Frame(f, 7, "", {1650, 4785, 8040, 1215}, kPic, true);
  Label(f, "lblSystemPower", 29, "Measured system voltage", {0, 150, 1335, 495}, f7, 9.75,
        Align::kCenter);
  Label(f, "lblActualSystemvoltage", 28, "Actual system voltage ", {2745, 150, 1350, 495}, f7, 9.75,
        Align::kCenter);
  Measured(f, "txtMeasuredSystemVoltage", -1, {120, 735, 615, 340}, f7);
  Unit(f, 42, "mV", 780, 735, f7);
  Entry(f, "txtActualSystemVoltage", -1, "2000", {2985, 690, 615, 340}, f7, 5);
  Unit(f, 43, "mV", 3645, 690, f7);
  Control& sys_help =
      Label(f, "txtSysVoltageInstructions", -1,
            "Apply a known voltage to system power.  Enter this voltage into actual system "
            "voltage and check to include in calibration. ",
            {4560, 195, 3210, 840}, f7);
  sys_help.back_color = kWhite;

  // Temperature and the sensor choice.
  const std::string f2 = "Frame1(2)";
  Frame(f, 2, "", {1650, 6045, 8040, 1155}, kPic, true);
  Check(f, "chkTempCal", "Temperature Calibration", {225, 6255, 1410, 855}, kPic, true, true);
  Heading(f, 23, "Measured temperature", {0, 150, 1335, 495}, f2);
  Heading(f, 24, "Enter actual temperature", {2700, 150, 1500, 495}, f2);
  Measured(f, "txtCalMeasTemperature", -1, {120, 735, 615, 340}, f2);
  Unit(f, 44, "deg C", 780, 735, f2);
  Entry(f, "txtTemperature", -1, "27", {3000, 720, 615, 340}, f2, 5);
  Unit(f, 45, "deg C", 3660, 720, f2);
  Control& hide = Add(f, Kind::kFrame, "frameHideFetCtl", -1, "Frame2", {5130, 300, 2025, 810}, f2);
  hide.border = false;
  // The three sensor boxes overlap. Ext. Sensor 1, ticked by default, is stacked on top so
  // that the choice the page starts with is the one on view.
  Check(f, "chkIntTS", "Int. Sensor", {5655, 615, 1092, 255}, f2, true, false);
  Check(f, "chkExtTS2", "Ext. Sensor 2", {5655, 615, 1335, 255}, f2, true, false);
  Check(f, "chkExtTS1", "Ext. Sensor 1", {5625, 555, 1335, 255}, f2, true, false, 1);

  // Current.
  const std::string f3 = "Frame1(3)";
  Label(f, "lblCurrentCal", -1, "Current Calibration", {3840, 7260, 2505, 345}, kPic, 13.5);
  Frame(f, 3, "", {1650, 7590, 8055, 1380}, kPic, true);
  Check(f, "chkCurrentCal", "Current Calibration", {225, 7830, 1350, 855}, kPic, true, true);
  Heading(f, 4, "Measured current", {0, 195, 1215, 495}, f3);
  Heading(f, 3, "Enter actual current ", {1245, 195, 1215, 495}, f3);
  Measured(f, "txtCalMeasCurrent", -1, {120, 780, 615, 340}, f3);
  Unit(f, 46, "mA", 780, 780, f3);
  Entry(f, "txtCurrent", -1, "-500", {1545, 795, 615, 340}, f3, 5);
  Unit(f, 47, "mA", 2205, 795, f3);
  Frame(f, 6, "Charge FET Control", {3150, 255, 2085, 1065}, f3, true);
  Add(f, Kind::kOptionButton, "OptionUse", -1, "On (External Load)", {150, 330, 1845, 255},
      "Frame1(6)")
      .SetValue(1);
  Add(f, Kind::kOptionButton, "OptionByPass", -1, "Off (Bypassed)", {150, 660, 1845, 255},
      "Frame1(6)");
  Control& help2 =
      Label(f, "lblHelp", 2,
            "Apply a 0.5 Ampere discharge load current. Discharge current is a negative value.  ",
            {5490, 480, 2355, 750}, f3);
  help2.back_color = kWhite;

  // Coulomb counter offset: not offered on the page.
  Frame(f, 0, "", {1110, 10560, 8040, 840}, kPic, false);
  Label(f, "lblHelp", 0,
        "Ensure that no load current is flowing for Coulomb Counter during calibration.",
        {120, 360, 6810, 240}, "Frame1(0)")
      .back_color = kHighlightText;
  Check(f, "chkCCOffset", "CC Offset Calibration", {120, 10635, 1260, 495}, kPic, false, true);
  Check(f, "chkCCGain", "Pack Current Calibration", {8265, 9720, 1575, 735}, kPic, false, true);

  // Pack voltage and board offset: hidden at every set-up.
  const std::string f4 = "Frame1(4)";
  Frame(f, 4, "Pack Voltage and CC Board Offset Calibration", {405, 9855, 9495, 465}, kPic, false);
  Button(f, "btnCalPackVolt", "Pack &Voltage Calibration", {120, 480, 1455, 495}, f4);
  Add(f, Kind::kImage, "imgPackDoneBox", -1, "", {1680, 360, 585, 495}, f4, false);
  Add(f, Kind::kProgressBar, "prgPackVolt", -1, "", {2300, 600, 1815, 255}, f4, false);
  Button(f, "btnBoardOffsett", "CC &Board Offset Calibration", {3915, 75, 1332, 495}, f4, false);
  Button(f, "cmdSWBrdOffsetCal", "Software Board Offset Calibration", {5040, 480, 1575, 495}, f4);
  Label(f, "lblCalibration", 15, "Sample for", {4980, 240, 855, 255}, f4, 8.25, Align::kRight);
  Entry(f, "txtBrdOffTime", -1, "2", {5880, 210, 375, 285}, f4, 2);
  Label(f, "lblCalibration", 16, "sec", {6300, 240, 375, 255}, f4);
  Add(f, Kind::kImage, "imgBoardOffDone", -1, "", {6640, 360, 585, 495}, f4, false);
  Add(f, Kind::kProgressBar, "prgBoardOffSet", -1, "", {7280, 600, 1815, 255}, f4, false);

  Check(f, "chkSystemVoltage", "System Voltage Calibration", {210, 5040, 1305, 825}, "", true,
        true);
}

}  // namespace vx
