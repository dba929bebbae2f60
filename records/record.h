// The record of one run that could write the device: who, where, which unit, what was asked
// and typed, what the device read and held before and after, and how it ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "json/json.h"

namespace vx::records {

using vx::Json;

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
  std::string uid;       // 32 hex digits, the same in every store and file the record reaches
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
  std::string outcome;  // incomplete (while it runs), done, refused, failed, interrupted,
                        // out of limits
  std::vector<std::string> messages;
  std::string program;  // "vx58420cal 0.0.2"
  std::vector<Image> before, after;
  Json limits;  // the pass/fail limits and their verdict, when a limits file was given
  Json extra;   // what a run kind adds (a restore names its record and its verification)
};

// What a run can end as, and "incomplete" for a record whose run has not (yet) ended.
inline constexpr const char* kOutcomes[] = {"incomplete", "done",        "refused",
                                            "failed",     "interrupted", "out of limits"};

Json ToJson(const RunRecord& r);
// Throws std::runtime_error naming the field on a record that is not one.
RunRecord FromJson(const Json& j);
// A record kept as JSON text (a file, a store's row): throws Json::exception when the text is
// no JSON, std::runtime_error naming the field (or the nesting) when it holds no record.
RunRecord FromText(std::string_view text);

// "2026-12-06T12:34:56.789Z", now.
std::string NowUtc();
// A new record's uid: 32 random hex digits.
std::string NewUid();
// The uid of a record that has none (kept before records had uids): 32 hex digits from its
// content, the same every time.
std::string ContentUid(const RunRecord& r);

// A label a person or a scanner gave (unit, station, operator): outer blanks and a trailing
// CR/LF go; "" when it is fine, else why it is refused (a control character, longer than
// kMaxLabel).
inline constexpr std::size_t kMaxLabel = 64;
std::string CleanLabel(std::string& label);
// Text from a record for a terminal: control characters shown as "?".
std::string Printable(const std::string& text);
// Text from a record for a file others read (a CSV, a web page): bytes that are no UTF-8 and
// NUL each become U+FFFD.
std::string ValidUtf8(const std::string& text);

// The gains of CalibrationData (subclass 104) in an image, by name: "Capacitor 1 gain" ...,
// "System voltage gain", "Stack voltage gain". Empty when the image holds no such block.
std::vector<std::pair<std::string, int>> Gains(const std::vector<Image>& images);

}  // namespace vx::records
