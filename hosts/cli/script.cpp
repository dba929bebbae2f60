// `script FILE`: JSON lines of page actions; JSON lines of messages, results and snapshots out.
#include <iostream>
#include <nlohmann/json.hpp>

#include "hosts/cli/json_out.h"

#include "hosts/cli/page_commands.h"

namespace vx::cli {

namespace {

using nlohmann::json;

json Snapshot(FormModel& f) {
  json controls = json::object();
  for (const auto& c : f.controls()) {
    controls[c->Key()] = {{"text", c->text()},
                          {"value", c->value()},
                          {"visible", f.EffectiveVisible(*c)},
                          {"enabled", f.EffectiveEnabled(*c)}};
  }
  return json{{"snapshot", controls}};
}

std::string Str(const json& a, const char* key) {
  if (!a.contains(key) || !a.at(key).is_string()) {
    throw std::invalid_argument(std::string("\"") + key + "\" (a string) is missing");
  }
  return a.at(key).get<std::string>();
}

// Runs one action; returns false when the page refused it (a control not usable now).
bool Act(Session& s, const json& a, std::ostream& out) {
  FormModel& f = s.form();
  const std::string action = Str(a, "action");
  if (action == "type") {
    return f.Type(Str(a, "control"), Str(a, "text"));
  }
  if (action == "click" || action == "choose") {
    return f.Click(Str(a, "control"));
  }
  if (action == "tick") {
    std::string key = Str(a, "control");
    bool want = !a.contains("value") || a.at("value").get<int>() == 1;
    Control* c = f.Find(key);
    if (!c || c->kind != Kind::kCheckBox) return false;
    if ((c->value() == 1) != want) return f.Click(key);
    return true;
  }
  if (action == "answer") {
    std::string v = Str(a, "value");
    if (v != "ok" && v != "cancel") throw std::invalid_argument("answer is \"ok\" or \"cancel\"");
    s.platform().answers.push_back(v == "ok" ? Answer::kOk : Answer::kCancel);
    return true;
  }
  if (action == "scan") {
    return f.Tick("tmrScan");
  }
  if (action == "show") {
    s.cal().OnShow();
    return true;
  }
  if (action == "snapshot") {
    out << Dump(Snapshot(f)) << "\n";
    return true;
  }
  if (action == "readings") {
    out << Dump(json{{"readings", json::parse(ReadingsJson(f))}}) << "\n";
    return true;
  }
  if (action == "call") {
    std::string m = Str(a, "method");
    json r;
    if (m == "ReadNumberofConfiguredCapacitors") {
      r = s.cal().ReadNumberofConfiguredCapacitors();
    } else if (m == "CalSystemVoltage") {
      r = s.cal().CalSystemVoltage();
    } else if (m == "PrintProperties") {
      s.cal().PrintProperties();
    } else {
      throw std::invalid_argument("unknown method " + m);
    }
    out << Dump(json{{"call", m}, {"result", r}}) << "\n";
    return true;
  }
  throw std::invalid_argument("unknown action " + action);
}

}  // namespace

int ScriptCommand(Session& s, std::istream& in, std::ostream& out) {
  std::string line;
  int number = 0;
  int refused = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    try {
      json a = json::parse(line);
      if (!a.is_object()) throw std::invalid_argument("a line is one JSON object");
      if (!Act(s, a, out)) {
        ++refused;
        out << Dump(json{{"line", number}, {"refused", a}}) << "\n";
      }
    } catch (const std::exception& e) {
      out << Dump(json{{"line", number}, {"error", e.what()}}) << "\n";
      std::cerr << "vx58420cal: script line " << number << ": " << e.what() << "\n";
      return kExitUsage;
    }
  }
  return refused == 0 ? kExitOk : kExitFailed;
}

}  // namespace vx::cli
