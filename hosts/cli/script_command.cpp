// `script FILE`: JSON lines of page actions in; JSON lines of messages, results, snapshots and
// refusals (with the reason) out.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "hosts/cli/commands.h"
#include "hosts/station/page_state.h"

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

class Script {
 public:
  explicit Script(Session& s) : s_(s), f_(s.form()) {}

  // Runs one action; returns the reason the page refused it, or "".
  std::string Act(const Json& a) {
    const std::string action = Str(a, "action");
    if (action == "type") {
      std::string key = Str(a, "control");
      const std::string text = Str(a, "text");
      std::string why = f_.WhyNot(key, {Kind::kTextBox});
      if (why.empty() && !f_.Type(key, text)) why = "locked";
      if (why.empty()) s_.station().NoteGiven(key, text);  // given by the script for this unit
      return why;
    }
    if (action == "click" || action == "choose") {
      std::string key = Str(a, "control");
      std::string why =
          f_.WhyNot(key, {Kind::kCommandButton, Kind::kCheckBox, Kind::kOptionButton});
      if (!why.empty()) return why;
      // A run's button: recorded, its progress shown, a signal taken at its next safe point.
      if (const RunKind* run = RunStartedBy(key)) return Start(*run, nullptr);
      f_.Click(key);
      return "";
    }
    if (action == "tick") {
      std::string key = Str(a, "control");
      std::string why = f_.WhyNot(key, {Kind::kCheckBox});
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
    } else if (const RunKind* run = RunStartedBy(m); run && run->method) {
      if (std::string why = Start(*run, &r); !why.empty()) return why;
    } else if (m == "PrintProperties") {
      s_.cal().PrintProperties();
    } else {
      throw std::invalid_argument("unknown method \"" + m + "\"");
    }
    s_.out().Object(r);
    return "";
  }

  // Starts a run of the page unless the station refuses it (the reason, then).
  std::string Start(const RunKind& run, Json* call) {
    RunResult r = s_.station().PageRun(run);
    if (!r.outcome.started && !r.interrupted()) {
      std::string why;
      for (const std::string& o : r.outcome.reasons)
        why += (why.empty() ? "" : "; ") + o;
      runs_.push_back(Json{{"run", run.id}, {"outcome", "refused"}, {"why", why}});
      return why;
    }
    if (call) (*call)["result"] = r.returned;
    Json ended{{"run", run.id}, {"outcome", r.outcome.verdict}};
    if (r.record.id > 0) ended["record"] = r.record.id;
    if (!r.outcome.unstored.empty()) ended["unstored"] = r.outcome.unstored;
    runs_.push_back(ended);
    return "";
  }

 public:
  // How each run the script started ended; the exit code of the worst.
  const Json& runs() const { return runs_; }
  int Worst() const {
    // interrupted, then outside limits, then failed or refused, then done
    auto rank = [](int code) {
      return code == kExitInterrupted ? 3 : code == kExitOutOfLimits ? 2 : code;
    };
    int code = kExitOk;
    for (const Json& r : runs_) {
      const std::string o = r["outcome"];
      const int c = o == "done"            ? kExitOk
                    : o == "out of limits" ? kExitOutOfLimits
                    : o == "interrupted"   ? kExitInterrupted
                                           : kExitFailed;
      if (rank(c) > rank(code)) code = c;
    }
    return code;
  }

 private:
  Session& s_;
  FormModel& f_;
  Json runs_ = Json::array();
};

}  // namespace

// Lines from a descriptor (a file, a pipe, a terminal), waited for in slices: a stop ends the
// wait for a line that does not come, and a pipe nobody writes yet does not block the program.
class LineReader {
 public:
  LineReader(int fd, const InterruptRequest& stop) : fd_(fd), stop_(stop) {}
  bool Next(std::string& line) {
    for (;;) {
      if (auto nl = buffer_.find('\n'); nl != std::string::npos) {
        line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return true;
      }
      if (eof_ || stop_.requested()) {
        if (buffer_.empty() || stop_.requested()) return false;
        line.swap(buffer_);  // the last line, without its newline
        buffer_.clear();
        return true;
      }
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n > 0) {
        buffer_.append(chunk, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        eof_ = true;
      }
    }
  }

 private:
  int fd_;
  const InterruptRequest& stop_;
  std::string buffer_;
  bool eof_ = false;
};

int ScriptCommand(Session& s, std::istream& in) {
  return ScriptCommand(s, [&](std::string& line) { return !!std::getline(in, line); });
}

int ScriptCommand(Session& s, const std::function<bool(std::string&)>& next_line) {
  s.script = true;
  Script script(s);
  std::string line;
  int number = 0;
  int refused = 0;
  while (!s.interrupted() && next_line(line)) {
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    try {
      Json a;
      try {
        a = ParseJson(line);
      } catch (const Json::parse_error& e) {
        throw std::invalid_argument("not JSON (at byte " + std::to_string(e.byte) + ")");
      } catch (const Json::exception&) {
        throw std::invalid_argument("not JSON that can be read (a number out of range?)");
      }
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
  // The last line says how each run ended, with its record.
  const int worst = s.interrupted() ? kExitInterrupted : script.Worst();
  const int code = worst != kExitOk ? worst : refused == 0 ? kExitOk : kExitFailed;
  s.out().Object(Json{{"runs", script.runs()}, {"exit", code}});
  return code;
}

void AddScriptCommand(CLI::App& app, Options& o, std::vector<Command>& out) {
  auto* cmd = app.add_subcommand("script", "page actions from JSON lines (- for stdin)");
  auto file = std::make_shared<std::string>();
  auto fd = std::make_shared<int>(0);  // standard input for "-"
  cmd->add_option("FILE", *file)->required();
  // A script's output is JSON lines, message boxes included.
  cmd->parse_complete_callback([&o] { o.json = true; });
  Command c{cmd, Command::Needs::kControl, [fd](Session& s) {
              LineReader reader(*fd, s.platform().interrupt);
              return ScriptCommand(s, [&](std::string& line) { return reader.Next(line); });
            }};
  c.prepare = [file, fd] {
    if (*file == "-") return kExitOk;
    // Not blocking at the open either: a pipe without a writer yet is waited for in slices.
    *fd = ::open(file->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (*fd >= 0) return kExitOk;
    Out::Error("cannot read the script " + *file);
    return kExitFile;
  };
  out.push_back(std::move(c));
}

}  // namespace vx::cli
