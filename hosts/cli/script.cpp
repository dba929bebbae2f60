// `script FILE`: JSON lines of page actions in; JSON lines of messages, results, snapshots and
// refusals (with the reason) out.
#include <algorithm>
#include <iostream>
#include <map>

#include "hosts/cli/page_commands.h"
#include "hosts/common/page_state.h"

namespace vx::cli {

namespace {

std::string Str(const Json& a, const char* key) {
  if (!a.contains(key) || !a.at(key).is_string()) {
    throw std::invalid_argument(std::string("\"") + key + "\" (a text) is missing");
  }
  return a.at(key).get<std::string>();
}

Json Snapshot(FormModel& f) {
  Json controls = Json::object();
  for (const auto& c : f.controls()) {
    controls[c->Key()] = {{"text", c->text()},
                          {"value", c->value()},
                          {"visible", f.EffectiveVisible(*c)},
                          {"enabled", f.EffectiveEnabled(*c)}};
  }
  return Json{{"snapshot", controls}};
}

// Why the page would not let a user do this to the control, or "" when it would.
std::string WhyNot(FormModel& f, const std::string& key, std::initializer_list<Kind> kinds) {
  Control* c = f.Find(key);
  if (!c) return "unknown control";
  if (std::find(kinds.begin(), kinds.end(), c->kind) == kinds.end()) {
    return "not a control this action works on";
  }
  if (!f.EffectiveVisible(*c)) return "hidden";
  if (!f.EffectiveEnabled(*c)) return "disabled";
  return "";
}

class Script {
 public:
  explicit Script(Session& s) : s_(s), f_(s.form()) {}

  // Runs one action; returns the reason the page refused it, or "".
  std::string Act(const Json& a) {
    const std::string action = Str(a, "action");
    if (action == "type") {
      std::string key = Str(a, "control");
      std::string why = WhyNot(f_, key, {Kind::kTextBox});
      if (why.empty() && !f_.Type(key, Str(a, "text"))) why = "locked";
      return why;
    }
    if (action == "click" || action == "choose") {
      std::string key = Str(a, "control");
      std::string why =
          WhyNot(f_, key, {Kind::kCommandButton, Kind::kCheckBox, Kind::kOptionButton});
      if (!why.empty()) return why;
      // A run's button: recorded, its progress shown, a signal taken at its next safe point.
      static const std::map<std::string, std::pair<const char*, const char*>> kRuns = {
          {"btnCalibrate", {"calibrate", "imgCalDoneBox"}},
          {"btnCalPackVolt", {"pack-voltage", "imgPackDoneBox"}},
          {"btnBoardOffsett", {"board-offset-hardware", "imgBoardOffDone"}},
          {"cmdSWBrdOffsetCal", {"board-offset-software", "imgBoardOffDone"}}};
      auto run = kRuns.find(key);
      if (run == kRuns.end()) {
        f_.Click(key);
      } else {
        s_.Run(
            run->second.first, key, [&] { f_.Click(key); },
            [&] { return f_.At(run->second.second).visible(); });
      }
      return "";
    }
    if (action == "tick") {
      std::string key = Str(a, "control");
      std::string why = WhyNot(f_, key, {Kind::kCheckBox});
      bool want = !a.contains("value") || a.at("value") == 1;
      if (why.empty() && (f_.Find(key)->value() == 1) != want) f_.Click(key);
      return why;
    }
    if (action == "answer") {
      std::string v = Str(a, "value");
      if (v != "ok" && v != "cancel") throw std::invalid_argument("answer is \"ok\" or \"cancel\"");
      s_.platform().answers.push_back(v == "ok" ? Answer::kOk : Answer::kCancel);
      return "";
    }
    if (action == "scan") return f_.Tick("tmrScan") ? "" : "the scan timer is off";
    if (action == "show") {
      s_.cal().OnShow();
      return "";
    }
    if (action == "snapshot") {
      s_.out().Object(Snapshot(f_));
      return "";
    }
    if (action == "readings") {
      s_.out().Object(Json{{"readings", ReadingsJson(f_)}});
      return "";
    }
    if (action == "call") return Call(Str(a, "method"));
    throw std::invalid_argument("unknown action \"" + action + "\"");
  }

 private:
  std::string Call(const std::string& m) {
    Json r{{"call", m}};
    if (m == "ReadNumberofConfiguredCapacitors") {
      r["result"] = s_.cal().ReadNumberofConfiguredCapacitors();
      r["count"] = Number(f_.At("txtCellCount").text());
    } else if (m == "CalSystemVoltage") {
      f_.At("imgCalDoneBox").SetVisible(false);
      s_.Run(
          "system-voltage", m, [&] { r["result"] = s_.cal().CalSystemVoltage(); },
          [&] { return f_.At("imgCalDoneBox").visible(); });
    } else if (m == "PrintProperties") {
      s_.cal().PrintProperties();
    } else {
      throw std::invalid_argument("unknown method \"" + m + "\"");
    }
    s_.out().Object(r);
    return "";
  }

  Session& s_;
  FormModel& f_;
};

}  // namespace

int ScriptCommand(Session& s, std::istream& in) {
  Script script(s);
  std::string line;
  int number = 0;
  int refused = 0;
  while (!s.interrupted() && std::getline(in, line)) {
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    try {
      Json a = Json::parse(line);
      if (!a.is_object()) throw std::invalid_argument("a line is one JSON object");
      std::string why = script.Act(a);
      if (!why.empty()) {
        ++refused;
        s.out().Object(Json{{"line", number}, {"refused", a}, {"why", why}});
      }
    } catch (const std::exception& e) {
      s.out().Object(Json{{"line", number}, {"error", e.what()}});
      Out::Error("script line " + std::to_string(number) + ": " + e.what());
      return kExitUsage;
    }
  }
  if (s.interrupted()) return kExitInterrupted;
  return refused == 0 ? kExitOk : kExitFailed;
}

}  // namespace vx::cli
