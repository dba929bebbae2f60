#include "hosts/cli/session.h"

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iostream>

#include "config/plugin_folder.h"
#include "engine/status_codes.h"
#include "hosts/common/simple_container.h"
#include "sim/sim_device.h"
#include "sim/sim_state.h"

namespace vx::cli {

namespace {

const char* ButtonsName(Buttons b) {
  return b == Buttons::kOk ? "ok" : "okcancel";
}

const char* SignalName(int sig) {
  switch (sig) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}

// A file the command will write: its folder must be there and writable before anything is sent
// to the device, so that a run's trace or state is never lost at the end.
bool FolderWritable(const std::string& file, const char* what) {
  std::filesystem::path p(file);
  std::string dir = p.has_parent_path() ? p.parent_path().string() : ".";
  if (::access(dir.c_str(), W_OK) != 0) {
    Out::Error("cannot write the " + std::string(what) + " " + file + ": the folder " + dir +
               " does not exist or is not writable");
    return false;
  }
  return true;
}

Json TraceLine(std::uint64_t seq, double t_ms, const BusEvent& e) {
  Json j;
  j["seq"] = seq;
  j["t_ms"] = t_ms;
  j["method"] = NameOf(e.method);
  if (e.addr >= 0) j["addr"] = e.addr;
  if (e.cmd >= 0) j["cmd"] = e.cmd;
  if (e.ms >= 0) j["ms"] = e.ms;
  if (!e.bytes.empty()) j["bytes"] = e.bytes;
  j["status"] = e.status;
  if (e.threw) j["interrupted"] = true;
  return j;
}

}  // namespace

Session::Session(Options o) : o_(std::move(o)), platform_(o_.fast), out_(o_.json) {
  platform_.shown = [this](const std::string& text, const std::string& caption, Buttons b,
                           Answer a) { PrintMessage(text, caption, b, a); };
  platform_.confirm = [this](const std::string&) {
    if (o_.yes) return Answer::kOk;
    if (isatty(0) && !o_.json) {
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
    return Answer::kCancel;  // nobody to ask: the safe answer
  };
  platform_.idle = [this] {
    if (progress_) progress_->Update();
  };
}

Session::~Session() {
  if (cal_) cal_->Release();
  cal_ = nullptr;
}

void Session::PrintMessage(const std::string& text, const std::string& caption, Buttons b,
                           Answer a) {
  if (progress_) progress_->Pause();
  messages_.push_back(text);
  if (b == Buttons::kOkCancel && a == Answer::kCancel) cancelled_ = true;
  const std::string title = caption.empty() ? "vx58420Cal" : caption;
  const std::string note = NoteForMessage(text);
  if (o_.json) {
    Json j{{"message", text},
           {"caption", title},
           {"buttons", ButtonsName(b)},
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
  if (!o_.trace.empty() && !FolderWritable(o_.trace, "trace")) return kExitFile;
  if (!o_.save_state.empty()) {
    if (!o_.device.use_sim) {
      Out::Error("--save-state needs the simulator");
      return kExitUsage;
    }
    if (!FolderWritable(o_.save_state, "simulator state")) return kExitFile;
  }
  std::string error;
  std::string lock_path = LockPath(o_.device);
  if (!lock_path.empty() && (!o_.device.use_sim || std::filesystem::exists(lock_path))) {
    lock_ = BusLock::Acquire(
        lock_path, std::chrono::milliseconds(static_cast<std::int64_t>(o_.bus_wait_s * 1000)),
        error);
    if (!lock_) {
      Out::Error(error);
      return kExitSetup;
    }
  }
  OpenedDevice d = vx::OpenDevice(o_.device, platform_, error);
  if (!d.adapter) {
    Out::Error(error);
    return o_.device.use_sim ? kExitFile : kExitSetup;
  }
  sim_ = d.sim;
  bus_ = std::make_shared<RecordingAdapter>(d.adapter, platform_);
  bus_->Listen([this](const BusEvent& e) {
    account_.Note(e);
    if (progress_) progress_->Update();
  });
  if (!o_.trace.empty()) {
    trace_.open(o_.trace, std::ios::trunc);
    if (!trace_) {
      Out::Error("cannot write the trace " + o_.trace);
      return kExitFile;
    }
    // Line by line as the transfers happen: a crash or a kill leaves every transfer up to it.
    const TimePoint origin = platform_.Now();
    bus_->Listen([this, origin](const BusEvent& e) {
      double t = std::chrono::duration<double, std::milli>(e.start - origin).count();
      trace_ << Dump(TraceLine(++trace_seq_, t, e)) << std::endl;
    });
  }
  return kExitOk;
}

std::shared_ptr<SMBusAdapter> Session::GetObjectProperty(const std::string& name) {
  return name == "Parent" ? std::static_pointer_cast<SMBusAdapter>(bus_) : nullptr;
}

std::string ConfigFolder(const Options& o) {
  if (!o.config_dir.empty()) return o.config_dir;
  std::string lib = o.plugin.empty() ? DefaultPluginPath() : o.plugin;
  return std::filesystem::path(lib).parent_path().string();
}

bool Session::ShowControl() {
  std::string error;
  if (o_.make_cal) {
    cal_ = o_.make_cal();
    return cal_ && (Show(), true);
  }
  std::string path = o_.plugin.empty() ? DefaultPluginPath() : o_.plugin;
  plugin_ = Plugin::Open(path, error);
  if (!plugin_ && o_.plugin.empty()) plugin_ = Plugin::Open("", error);  // the registered one
  if (!plugin_) {
    Out::Error(error);
    return false;
  }
  cal_ = plugin_->CreateCal(error);
  if (!cal_) {
    Out::Error(error);
    return false;
  }
  Show();
  return true;
}

void Session::Show() {
  PlaceAndShow(*cal_, *this, {target_address(), o_.target_info, o_.config_dir});
  cal_->Form().AddObserver([this](const Control& c) {
    if (progress_ && c.kind == Kind::kProgressBar && c.visible()) progress_->Percent(c.value());
  });
}

Session::RunResult Session::Run(const std::string& run, const std::string& title,
                                const std::function<void()>& action,
                                const std::function<bool()>& done,
                                const std::function<records::Json()>& extra) {
  RunResult result;
  if (interrupted()) {  // stopped before the run began: nothing of it starts
    result.interrupted = true;
    ReportInterruption();
    return result;
  }
  RunRecorder recorder(o_.station, bus_->inner(), target_address(), cal_ ? &form() : nullptr);
  const bool keep = o_.station.records != "none";
  if (keep || cal_) {
    std::string device = o_.device.use_sim ? "simulator" : LockPath(o_.device);
    if (o_.device.use_sim && !o_.device.sim_state.empty()) device += " " + o_.device.sim_state;
    recorder.Begin(run, device, o_.target_info);
    for (auto& ref : recorder.record().references) {
      auto it = sources_.find(ref.label);
      if (it != sources_.end()) ref.source = it->second;
    }
  }
  const std::size_t first_message = messages_.size();
  account_.Restart();
  progress_.emplace(platform_, account_, isatty(2) != 0);
  progress_->Start(title);
  action();
  progress_->Stop();
  progress_.reset();
  result.interrupted = platform_.interrupt.raised();
  result.done = !result.interrupted && done();
  result.outcome = OutcomeOf(result.done, result.interrupted, account_);
  recorder.Observe();
  records::RunRecord& r = recorder.record();
  if (extra) r.extra = extra();
  if (result.done && o_.limits) {
    r.limits = Judge(*o_.limits, r.residuals);
    if (!r.limits["passed"].get<bool>()) result.outcome = "out of limits";
  }
  if (keep) {
    std::string warning = recorder.Store(
        result.outcome,
        {messages_.begin() + static_cast<std::ptrdiff_t>(first_message), messages_.end()});
    if (!warning.empty()) Out::Error("warning: " + warning);
  }
  result.record = r;
  if (interrupted()) ReportInterruption();
  return result;
}

void Session::ReportInterruption() {
  const char* sig = SignalName(platform_.interrupt.reason());
  std::string what =
      account_.Summary() + (platform_.interrupt.raised() ? "; the rest of the run was not done"
                                                         : "; the run had already ended");
  if (platform_.interrupt.requests() > 1) {
    what += " (" + std::to_string(platform_.interrupt.requests() - 1) +
            " further signal(s) during the clean-up were noted)";
  }
  if (o_.json) {
    out_.Object(Json{{"interrupted", sig}, {"summary", what}});
  } else {
    Out::Error("interrupted by " + std::string(sig) + ": " + what);
  }
}

bool Session::Finish() {
  if (progress_) progress_->Stop();
  if (!o_.save_state.empty() && sim_) {
    try {
      sim::SaveStateFile(sim_->state(), o_.save_state);
    } catch (const std::exception& e) {
      Out::Error(e.what());
      return false;
    }
  }
  return true;
}

}  // namespace vx::cli
