#include "hosts/cli/session.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iostream>

#include "config/plugin_folder.h"
#include "device/numeric.h"
#include "engine/status_codes.h"
#include "hosts/cli/signals.h"
#include "hosts/station/page_state.h"
#include "platform/output_file.h"
#include "platform/outside_wait.h"
#include "records/store.h"

namespace vx::cli {

namespace {

constexpr const char kUndo[] = "vx58420cal restore {} brings back the data flash from before it.";

}  // namespace

Session::Session(Options o)
    : o_(std::move(o)),
      platform_(o_.fast),
      out_(o_.json),
      station_(platform_, platform_.interrupt, this) {
  Configure(station_, o_, o_.station.program);
  ReadGuard(station_, o_, "");
  station_.properties = {o_.target_address(), o_.target_info, o_.config_dir, std::nullopt};
  station_.state_file = o_.save_state;
  platform_.shown = [this](const std::string& text, const std::string& caption, Buttons b,
                           Answer a) { PrintMessage(text, caption, b, a); };
  platform_.confirm = [this](const std::string&) { return Confirm(); };
  platform_.idle = [this] {
    if (progress_) progress_->Update();
  };
  // Waits on what is outside the program end on a stop that comes while they wait.
  Outside().stops = [this] { return platform_.interrupt.requests(); };
  // An output that fails stops the run at its next safe point, as a signal does.
  Out::OnFailure([this](const std::string& stream) {
    failed_output_ = stream;
    platform_.interrupt.Request(kOutputFailed);
  });
}

Session::~Session() {
  // The program's hooks no longer reach this session.
  Outside() = OutsideWait{};
  Out::OnFailure(nullptr);
}

Answer Session::Confirm() {
  if (o_.yes) return Answer::kOk;
  if (!isatty(0) || o_.json) return Answer::kCancel;  // nobody to ask: the safe answer
  if (progress_) progress_->Pause();
  std::cout << "OK to go on? [y/N] " << std::flush;
  // Waits for the answer, or for a signal: a stop asked for at the prompt is a Cancel.
  pollfd in{0, POLLIN, 0};
  while (!interrupted() && ::poll(&in, 1, 200) <= 0) {
  }
  std::string line;
  if (!interrupted()) std::getline(std::cin, line);
  return (!line.empty() && (line[0] == 'y' || line[0] == 'Y')) ? Answer::kOk : Answer::kCancel;
}

void Session::PrintMessage(const std::string& text, const std::string& caption, Buttons b,
                           Answer a) {
  if (progress_) progress_->Pause();
  station_.NoteMessage(text);
  if (b == Buttons::kOkCancel && a == Answer::kCancel) cancelled_ = true;
  const std::string title = caption.empty() ? "vx58420Cal" : caption;
  const std::string note = NoteForMessage(text);
  if (o_.json) {
    Json j{{"message", text},
           {"caption", title},
           {"buttons", b == Buttons::kOk ? "ok" : "okcancel"},
           {"answer", a == Answer::kOk ? "ok" : "cancel"}};
    if (!note.empty()) j["note"] = note;
    out_.Object(j);
    return;
  }
  std::string line = "[" + title + "] " + text;
  if (b == Buttons::kOkCancel) line += a == Answer::kOk ? "  -> OK" : "  -> Cancel";
  if (!note.empty()) line += "\n  (" + note + ")";
  out_.Text(line);
}

int Session::OpenDevice() {
  // The files the command will write are checked before anything is sent to the device, so
  // that a run's trace or state is never lost at the end.
  for (const auto& [option, path] :
       {std::pair{"--trace", &o_.trace}, {"--save-state", &o_.save_state}}) {
    const OutputPath out = path->empty() ? OutputPath{OutputPath::kFile, "", ""} : OutputAt(*path);
    if (out.kind == OutputPath::kRefused) {
      Out::Error(std::string(option) + ": " + out.why);
      return kExitFile;
    }
  }
  std::string error;
  Connection& device = station_.device();
  if (!device.Open(o_.device, error)) {
    Out::Error(error);
    return o_.device.use_sim ? kExitFile : kExitSetup;
  }
  // The device is this program's until it ends: another program waits, or is told who has it.
  hold_ = device.Lock(std::chrono::seconds(o_.bus_wait_s), error);
  if (!hold_) {
    Out::Error(error);
    return interrupted() ? kExitInterrupted : kExitSetup;
  }
  if (!o_.trace.empty() && !trace_.Open(o_.trace, device, platform_, error,
                                        [this] { Out::Failed("the trace " + o_.trace); })) {
    Out::Error(error);
    return kExitFile;
  }
  device.Listen([this](const BusEvent&) {
    if (progress_) progress_->Update();
  });
  return kExitOk;
}

bool Session::ShowControl() {
  HostedControl& control = station_.control();
  std::string error;
  if (o_.make_cal) {
    control.Adopt(o_.make_cal());
  } else if (!control.Load(o_.plugin, error)) {
    Out::Error(error);
    return false;
  }
  station_.Show();
  form().AddObserver([this](const Control& c) {
    if (progress_ && c.kind == Kind::kProgressBar && c.visible()) progress_->Percent(c.value());
  });
  return true;
}

void Session::WarnAboutConfig() {
  const std::string folder =
      ConfigFolder(o_.config_dir,
                   station_.control().library().empty() ? o_.plugin : station_.control().library());
  for (const std::string& w : ConfigWarnings(folder, o_.target_info))
    Out::Error("warning: Config.ini: " + w);
}

int Session::PageRun(const RunKind& kind, const Json& extra) {
  WarnAboutConfig();
  RunResult r = station_.PageRun(kind, extra);
  return r.outcome.started || r.interrupted() ? ExitFor(r) : kExitUsage;
}

RunResult Session::Run(const RunKind& kind, const std::function<void()>& act,
                       const std::function<bool()>& done, const std::function<Json()>& extra) {
  RunResult r = station_.Run(kind, act, done, extra);
  if (interrupted()) ReportInterruption(r.outcome);
  return r;
}

int Session::ExitFor(const RunResult& r) {
  if (r.interrupted()) return kExitInterrupted;
  if (r.outcome.verdict == "out of limits") return kExitOutOfLimits;
  return r.outcome.done ? kExitOk : kExitFailed;
}

bool Session::Ask(Question kind, const std::string& question,
                  const std::vector<std::string>& points) {
  asked_[static_cast<int>(kind)] = true;
  switch (kind) {
    case Question::kObjections:
      if (o_.trust_references) {
        for (const std::string& p : points)
          Out::Error("references trusted: " + p);
      }
      return o_.trust_references;
    case Question::kDifferences:
      for (const std::string& p : points)
        Out::Error(p);
      Out::Error("not restored, nothing was written; --force restores all the same");
      return false;
    case Question::kConfirm:
      break;
  }
  return platform_.MessageBox(question, "Supercapacitor Calibration", Buttons::kOkCancel) ==
         Answer::kOk;
}

void Session::Warn(const std::string& text) {
  Out::Error("warning: " + text);
}

void Session::RunStarts(const RunKind& kind) {
  progress_.emplace(platform_, station_.device().account(), isatty(2) != 0);
  progress_->Start(std::string(kind.title));
}

void Session::RunEnds() {
  if (progress_) progress_->Stop();
  progress_.reset();
}

void Session::Show(const Outcome& o) {
  if (o.verdict == "interrupted") return ReportInterruption(o);
  if (script) return;
  if (!o.started) {
    for (const std::string& why : o.reasons)
      Out::Error("refused: " + why);
    if (asked(Question::kObjections) && o.run != "Restore") {
      Out::Error(
          "the run did not start, nothing was sent to the device (--max-correction PCT sets how "
          "far a reference may be from its reading; --trust-references goes on all the same)");
    } else if (o.run == "Restore" && cancelled_ && !o_.yes) {
      Out::Error("not restored; --yes answers the confirmation with OK");
    }
    return;
  }
  if (cancelled_ && !o_.yes) {
    Out::Error("the confirmation was answered Cancel; --yes answers it with OK");
  }
  if (verify && o.done) PrintResiduals(o);
  out_.Print(o.Said(kUndo), o.ToJson());
  if (interrupted()) ReportInterruption(o);  // a stop that came once the run had ended
}

void Session::PrintResiduals(const Outcome& o) {
  if (out_.json()) {
    out_.Object(Json{{"verify", o.residuals}, {"readings", o.readings}});
    return;
  }
  out_.Text("Residuals (measured - reference):");
  for (auto& [name, v] : o.residuals.items()) {
    std::string row = name;
    row.resize(std::max<std::size_t>(row.size(), 24), ' ');
    out_.Text("  " + row + (v.is_null() ? "n/a" : v.dump()));
  }
}

void Session::ReportInterruption() {
  Outcome o;
  o.started = false;
  o.account = station_.device().account().Summary();
  ReportInterruption(o);
}

void Session::ReportInterruption(const Outcome& o) {
  std::string what = o.Interruption(kUndo);
  if (platform_.interrupt.requests() > 1) {
    what += " (" + std::to_string(platform_.interrupt.requests() - 1) +
            " further signal(s) during the clean-up were noted)";
  }
  if (!failed_output_.empty()) what = failed_output_ + " could not be written; " + what;
  const std::string sig = SignalName(platform_.interrupt.reason());
  if (o_.json) {
    out_.Object(Json{{"interrupted", sig}, {"summary", what}});
  } else {
    Out::Error("interrupted by " + std::string(sig) + ": " + what);
  }
}

int Session::Ended(int code) {
  if (progress_) progress_->Stop();
  if (!station_.SaveState()) return kExitFile;
  if (output_failed() && (code == kExitOk || code == kExitInterrupted)) return kExitFile;
  return code;
}

}  // namespace vx::cli
