// The record of one run that could write the device: who, where, which unit, what was asked
// and typed, what the device read and held before and after, and how it ended.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace vx::records {

using Json = nlohmann::ordered_json;

// A data flash block as the host read it; status 0 when the read succeeded.
struct Image {
  int subclass = 0;
  std::vector<std::uint8_t> bytes;
  std::int32_t status = 0;
};

// A reference value the user gave, by the page's label ("Capacitor 1 + 2").
struct Reference {
  std::string label;
  std::string value;
  Json source;  // how it was taken: null when typed, the meter's readings when measured
};

struct RunRecord {
  std::int64_t id = 0;   // given by the store
  std::string time_utc;  // ISO 8601, when the run started
  std::string station;
  std::string operator_name;
  std::string unit;
  std::string device;  // "simulator", "simulator mis.json", "/dev/i2c-1"
  int address = 0;     // the page's 8-bit target address
  std::string target_info;
  std::string run;  // calibrate, system-voltage, pack-voltage, board-offset-hardware,
                    // board-offset-software, script, bus, restore
  std::vector<std::string> ticked;  // the calibrations, by the page's captions
  std::vector<Reference> references;
  Json readings_before;  // the page's measured boxes after one scan (numbers, null for Err_Rd)
  Json readings_after;
  Json residuals;       // each calibrated reading after the run minus its reference
  std::string outcome;  // done, refused, failed, interrupted, out of limits
  std::vector<std::string> messages;
  std::string program;  // "vx58420cal 0.0.2"
  std::vector<Image> before, after;
  Json limits;  // the pass/fail limits and their verdict, when a limits file was given
  Json extra;   // what a run kind adds (a restore names its record and its verification)
};

Json ToJson(const RunRecord& r);
// Throws std::runtime_error on a record that is not one.
RunRecord FromJson(const Json& j);

// "2026-12-06T12:34:56.789Z", now.
std::string NowUtc();

// The gains of CalibrationData (subclass 104) in an image, by name: "Capacitor 1 gain" ...,
// "System voltage gain", "Stack voltage gain". Empty when the image holds no such block.
std::vector<std::pair<std::string, int>> Gains(const std::vector<Image>& images);

}  // namespace vx::records
