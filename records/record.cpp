#include "records/record.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <random>
#include <stdexcept>

#include "device/commands.h"
#include "device/dataflash.h"

namespace vx::records {

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string s;
  for (std::uint8_t b : bytes) {
    s += kDigits[b >> 4];
    s += kDigits[b & 0xF];
  }
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<std::uint8_t> Bytes(const std::string& hex, const std::string& field) {
  if (hex.size() % 2 != 0) throw std::runtime_error(field + " is not hex pairs");
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) throw std::runtime_error(field + " is not hex pairs");
    out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  return out;
}

Json Images(const std::vector<Image>& images) {
  Json a = Json::array();
  for (const Image& i : images)
    a.push_back(Json{{"subclass", i.subclass}, {"status", i.status}, {"bytes", Hex(i.bytes)}});
  return a;
}

// A field of the record as the type it must have; runtime_error naming it otherwise.
const Json& Field(const Json& j, const char* key, Json::value_t type, const std::string& where) {
  auto it = j.find(key);
  const std::string name = where.empty() ? key : where + "." + key;
  if (it == j.end()) throw std::runtime_error(name + " is missing");
  const bool number = type == Json::value_t::number_integer;
  if (number ? !it->is_number_integer() : it->type() != type) {
    static const std::map<Json::value_t, const char*> kTypes = {
        {Json::value_t::string, "a text"},
        {Json::value_t::number_integer, "a whole number"},
        {Json::value_t::array, "a list"},
        {Json::value_t::object, "an object"}};
    throw std::runtime_error(name + " is not " + kTypes.at(type));
  }
  return *it;
}

std::string Text(const Json& j, const char* key, const std::string& where = "") {
  return Field(j, key, Json::value_t::string, where).get<std::string>();
}

std::int64_t Whole(const Json& j, const char* key, const std::string& where = "") {
  const Json& v = Field(j, key, Json::value_t::number_integer, where);
  if (v.is_number_unsigned() && v.get<std::uint64_t>() > INT64_MAX) {
    throw std::runtime_error((where.empty() ? std::string(key) : where + "." + key) +
                             " is too large");
  }
  return v.get<std::int64_t>();
}

std::vector<std::string> Texts(const Json& j, const char* key) {
  std::vector<std::string> out;
  for (const Json& t : Field(j, key, Json::value_t::array, "")) {
    if (!t.is_string()) throw std::runtime_error(std::string(key) + " holds something not a text");
    out.push_back(t.get<std::string>());
  }
  return out;
}

std::int32_t Int32(std::int64_t v, const std::string& name) {
  if (v < INT32_MIN || v > INT32_MAX) throw std::runtime_error(name + " is out of range");
  return static_cast<std::int32_t>(v);
}

std::vector<Image> ImagesFrom(const Json& j, const char* key) {
  std::vector<Image> out;
  const Json& a = Field(j, key, Json::value_t::array, "");
  for (std::size_t n = 0; n < a.size(); ++n) {
    const std::string where = std::string(key) + "[" + std::to_string(n) + "]";
    if (!a[n].is_object()) throw std::runtime_error(where + " is not an object");
    out.push_back({Int32(Whole(a[n], "subclass", where), where + ".subclass"),
                   Bytes(Text(a[n], "bytes", where), where + ".bytes"),
                   Int32(Whole(a[n], "status", where), where + ".status")});
  }
  return out;
}

}  // namespace

Json ToJson(const RunRecord& r) {
  Json refs = Json::array();
  for (const Reference& ref : r.references)
    refs.push_back(Json{{"label", ref.label}, {"value", ref.value}, {"source", ref.source}});
  return Json{{"id", r.id},
              {"uid", r.uid},
              {"time_utc", r.time_utc},
              {"station", r.station},
              {"operator", r.operator_name},
              {"unit", r.unit},
              {"device", r.device},
              {"address", r.address},
              {"target_info", r.target_info},
              {"run", r.run},
              {"ticked", r.ticked},
              {"references", refs},
              {"readings_before", r.readings_before},
              {"readings_after", r.readings_after},
              {"residuals", r.residuals},
              {"outcome", r.outcome},
              {"messages", r.messages},
              {"program", r.program},
              {"before", Images(r.before)},
              {"after", Images(r.after)},
              {"limits", r.limits},
              {"extra", r.extra}};
}

RunRecord FromJson(const Json& j) {
  try {
    if (!j.is_object()) throw std::runtime_error("it is not a JSON object");
    RunRecord r;
    r.id = Whole(j, "id");
    if (j.contains("uid")) r.uid = Text(j, "uid");  // records of before uids
    r.time_utc = Text(j, "time_utc");
    r.station = Text(j, "station");
    r.operator_name = Text(j, "operator");
    r.unit = Text(j, "unit");
    r.device = Text(j, "device");
    r.address = Int32(Whole(j, "address"), "address");
    r.target_info = Text(j, "target_info");
    r.run = Text(j, "run");
    r.ticked = Texts(j, "ticked");
    const Json& refs = Field(j, "references", Json::value_t::array, "");
    for (std::size_t n = 0; n < refs.size(); ++n) {
      const std::string where = "references[" + std::to_string(n) + "]";
      if (!refs[n].is_object()) throw std::runtime_error(where + " is not an object");
      r.references.push_back({Text(refs[n], "label", where), Text(refs[n], "value", where),
                              refs[n].value("source", Json())});
    }
    r.readings_before = j.value("readings_before", Json());
    r.readings_after = j.value("readings_after", Json());
    r.residuals = j.value("residuals", Json());
    r.outcome = Text(j, "outcome");
    r.messages = Texts(j, "messages");
    r.program = Text(j, "program");
    r.before = ImagesFrom(j, "before");
    r.after = ImagesFrom(j, "after");
    r.limits = j.value("limits", Json());
    r.extra = j.value("extra", Json());
    return r;
  } catch (const nlohmann::json::exception&) {
    throw std::runtime_error("not a run record: a field has the wrong type");
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string("not a run record: ") + e.what());
  }
}

RunRecord FromText(std::string_view text) {
  Json j;
  try {
    j = ParseJson(text);
  } catch (const JsonTooDeep& e) {
    throw std::runtime_error(std::string("not a run record: it is ") + e.what());
  }
  return FromJson(j);
}

std::string NowUtc() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[96];
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return buf;
}

std::string NewUid() {
  std::random_device rd;
  std::string s;
  static const char* kDigits = "0123456789abcdef";
  for (int i = 0; i < 4; ++i) {
    std::uint32_t v = rd();
    for (int k = 0; k < 8; ++k, v >>= 4)
      s += kDigits[v & 0xF];
  }
  return s;
}

std::string ContentUid(const RunRecord& r) {
  RunRecord copy = r;
  copy.id = 0;
  copy.uid.clear();
  const std::string text = ToJson(copy).dump(-1, ' ', false, Json::error_handler_t::replace);
  std::string out;
  for (std::uint64_t seed : {0xcbf29ce484222325ULL, 0x84222325cbf29ce4ULL}) {
    std::uint64_t h = seed;  // FNV-1a
    for (char c : text) {
      h ^= static_cast<unsigned char>(c);
      h *= 0x100000001b3ULL;
    }
    char part[17];
    std::snprintf(part, sizeof part, "%016llx", static_cast<unsigned long long>(h));
    out += part;
  }
  return out;
}

std::string CleanLabel(std::string& label) {
  while (!label.empty() && (label.back() == '\n' || label.back() == '\r' || label.back() == ' ' ||
                            label.back() == '\t')) {
    label.pop_back();
  }
  std::size_t first = label.find_first_not_of(" \t");
  label.erase(0, first == std::string::npos ? label.size() : first);
  for (char c : label) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return "holds a control character";
  }
  if (ValidUtf8(label) != label) return "is not UTF-8 text";
  // Characters, not bytes: a UTF-8 character's continuation bytes do not count.
  std::size_t characters = 0;
  for (char c : label)
    characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  if (characters > kMaxLabel) {
    return "is longer than " + std::to_string(kMaxLabel) + " characters";
  }
  return "";
}

namespace {

// The length of the UTF-8 sequence at text[i], or 0 when none begins there.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = b(i);
  std::size_t n = c < 0x80           ? 1
                  : (c >> 5) == 0x6  ? 2
                  : (c >> 4) == 0xE  ? 3
                  : (c >> 3) == 0x1E ? 4
                                     : 0;
  if (n == 0 || i + n > text.size() || (n == 2 && c < 0xC2)) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
  }
  if (n == 3 && ((c == 0xE0 && b(i + 1) < 0xA0) || (c == 0xED && b(i + 1) >= 0xA0))) return 0;
  if (n == 4 && ((c == 0xF0 && b(i + 1) < 0x90) || c > 0xF4 || (c == 0xF4 && b(i + 1) >= 0x90))) {
    return 0;
  }
  return n;
}

}  // namespace

std::string ValidUtf8(const std::string& text) {
  std::size_t ok = 0;  // the text as it stands when every byte is in place
  while (ok < text.size() && text[ok] != '\0') {
    const std::size_t n = Utf8Length(text, ok);
    if (n == 0) break;
    ok += n;
  }
  if (ok == text.size()) return text;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8Length(text, i);
    if (n == 0 || text[i] == '\0') {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return out;
}

std::vector<std::pair<std::string, int>> Gains(const std::vector<Image>& images) {
  std::vector<std::pair<std::string, int>> out;
  for (const Image& i : images) {
    if (i.subclass != cmd::kSubclassCalibrationData || i.status != 0 || i.bytes.size() < 24) {
      continue;
    }
    auto word = [&](int offset) { return static_cast<int>(BlockWord(i.bytes, offset)); };
    for (int k = 0; k < 5; ++k)
      out.emplace_back("Capacitor " + std::to_string(k + 1) + " gain",
                       word(cmd::kCellGainOffset[k]));
    out.emplace_back("System voltage gain", word(cmd::kSystemGainOffset));
    out.emplace_back("Stack voltage gain", word(cmd::kStackGainOffset));
  }
  return out;
}

}  // namespace vx::records
