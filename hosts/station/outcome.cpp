#include "hosts/station/outcome.h"

namespace vx {

namespace {

std::string Joined(const std::vector<std::string>& items, const char* between) {
  std::string out;
  for (const std::string& i : items)
    out += (out.empty() ? "" : between) + i;
  return out;
}

// `undo` with the record's number in place of its {}.
std::string Undone(const std::string& undo, std::int64_t record) {
  const std::size_t at = undo.find("{}");
  return at == std::string::npos
             ? undo
             : undo.substr(0, at) + std::to_string(record) + undo.substr(at + 2);
}

}  // namespace

std::string Outcome::Interruption(const std::string& undo) const {
  std::string what = account + (!started    ? "; the run did not start"
                                : cut_short ? "; the rest of the run was not done"
                                            : "; the run had already ended");
  if (!took_effect.empty()) what += "; it changed: " + Joined(took_effect, ", ");
  if (!took_effect.empty() && record > 0 && !undo.empty()) what += "; " + Undone(undo, record);
  return what;
}

std::string Outcome::Sentence(const std::string& undo) const {
  if (!said.empty()) return said;
  std::string text = run + (done ? " done." : " not done.");
  if (!beyond_limits.empty()) {
    text += " The unit is outside its limits: " + Joined(beyond_limits, "; ") + ".";
  }
  if (!took_effect.empty()) {
    text += " It changed the device all the same: " + Joined(took_effect, "; ") + ".";
    if (record > 0 && !undo.empty()) {
      const std::size_t at = undo.find("{}");
      text += " " + (at == std::string::npos
                         ? undo
                         : undo.substr(0, at) + std::to_string(record) + undo.substr(at + 2));
    }
  }
  return text;
}

std::string Outcome::Said(const std::string& undo) const {
  std::string text = Sentence(undo);
  if (!returned.empty()) text += " " + returned + ".";
  if (record > 0) text += " Record " + std::to_string(record) + ".";
  if (!unstored.empty()) text += " Its record was not stored; it is in " + unstored + ".";
  return text;
}

Json Outcome::ToJson() const {
  Json j{{"run", run}, {"done", done}, {"outcome", verdict}};
  if (record > 0) j["record"] = record;
  if (!unstored.empty()) j["unstored"] = unstored;
  if (!limits.is_null()) j["limits"] = limits;
  if (!took_effect.empty()) j["took_effect"] = took_effect;
  if (!reasons.empty()) j["why"] = reasons;
  if (details.is_object()) j.update(details);
  return j;
}

}  // namespace vx
