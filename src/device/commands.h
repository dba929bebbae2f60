// The device's SMBus command codes and data flash constants.
#pragma once

#include <cstdint>

namespace vx::cmd {

// Capacitor 1..5 alone.
inline constexpr std::uint8_t kCapVoltage[5] = {0x3F, 0x3E, 0x3D, 0x3C, 0x3B};
inline constexpr std::uint8_t kTemperature = 0x08;  // 0.1 K
inline constexpr std::uint8_t kStackVoltage = 0x09;
// The six voltage readings in the order both the scan and the stack calibration take them.
inline constexpr std::uint8_t kVoltageReadings[6] = {0x3F, 0x3E, 0x3D, 0x3C, 0x3B, 0x09};
inline constexpr std::uint8_t kCurrent = 0x0A;
inline constexpr std::uint8_t kSystemVoltage = 0x5A;
inline constexpr std::uint8_t kCalModeSignature = 0x50;
inline constexpr std::uint8_t kCalStart = 0x51;
inline constexpr std::uint8_t kCalBusy = 0x52;
inline constexpr std::uint8_t kCalResult = 0x53;
inline constexpr std::uint8_t kCalStore = 0x72;
inline constexpr std::uint8_t kCalExit = 0x73;
inline constexpr std::uint8_t kFetControl = 0x46;
inline constexpr std::uint8_t kCalParams = 0x58;
inline constexpr std::uint8_t kBrdOffParamA = 0x64;
inline constexpr std::uint8_t kBrdOffParamB = 0x67;
inline constexpr std::uint8_t kBoardOffsetWord = 0x71;
inline constexpr std::uint8_t kDFSubclass = 0x77;
inline constexpr std::uint8_t kDFBlock = 0x78;
// Register access at the fixed address kRegisterAddress.
inline constexpr std::int16_t kRegisterAddress = 0x17;
inline constexpr std::uint8_t kRegAddress = 0x40;
inline constexpr std::uint8_t kRegWrite = 0x41;
inline constexpr std::uint8_t kRegRead = 0x42;
inline constexpr std::uint16_t kRegSampleAddress = 0x8042;   // the board offset's sample
inline constexpr std::uint16_t kRegControlAddress = 0x8040;  // 3 while it samples, else 2
inline constexpr std::int16_t kRegSample = static_cast<std::int16_t>(kRegSampleAddress - 0x10000);
inline constexpr std::int16_t kRegControl = static_cast<std::int16_t>(kRegControlAddress - 0x10000);

// The calibration request word (command 0x51): what the device is to measure. A temperature
// request names its sensors; the board offset is both low bits.
inline constexpr std::uint16_t kReqCcOffset = 0x0001;
inline constexpr std::uint16_t kReqBoardOffset = 0x0003;
inline constexpr std::uint16_t kReqTemperature = 0x0004;
inline constexpr std::uint16_t kReqIntSensor = 0x0008;
inline constexpr std::uint16_t kReqExt1Sensor = 0x0010;
inline constexpr std::uint16_t kReqExt2Sensor = 0x0020;
inline constexpr std::uint16_t kReqCurrent = 0x0040;
inline constexpr std::uint16_t kReqPackVoltage = 0x0100;
// The FET control word (command 0x46): the bit that switches the FETs on.
inline constexpr std::uint16_t kFetsOn = 0x0004;

inline constexpr std::uint8_t kSigHi = 0x4C;  // "L"
inline constexpr std::uint8_t kSigLo = 0x7A;  // "z"
inline constexpr std::int16_t kEnterCalWord = 0x0040;

inline constexpr std::int16_t kSubclassOperationCfg = 64;
inline constexpr std::int16_t kSubclassCalibrationData = 104;
// CalibrationData offsets (big-endian words).
inline constexpr int kCellGainOffset[5] = {8, 10, 12, 14, 16};
inline constexpr int kGainMarkerOffset = 18;
inline constexpr int kSystemGainOffset = 20;
inline constexpr int kStackGainOffset = 22;
inline constexpr std::int16_t kGainMarker = static_cast<std::int16_t>(0x9669 - 0x10000);

}  // namespace vx::cmd
