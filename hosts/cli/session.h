// One invocation of the command line: the console platform and the station core, with what
// the command line adds around them: the station's questions, warnings and outcomes on the
// console, message boxes printed, the transfer trace, the progress display.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "hosts/cli/options.h"
#include "hosts/cli/output.h"
#include "hosts/cli/progress.h"
#include "hosts/station/station.h"
#include "hosts/station/trace_file.h"
#include "platform/console_platform.h"

namespace vx::cli {

class Session : private StationUi {
 public:
  explicit Session(Options o);
  ~Session() override;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Checks the output files' folders, opens and locks the device, starts the trace; an exit
  // code (0, or the reason with a message on stderr).
  int OpenDevice();
  // Loads the plug-in, creates the control and shows it; false with a message on stderr.
  bool ShowControl();
  // The command's exit code once the session ends: the simulator's state written if asked (and
  // a run has not just written it), else 3; a failed output is a failure of its own (3) when
  // nothing else failed.
  int Ended(int code);

  // A page action as the station runs it, with Config.ini's warnings first; its exit code.
  int PageRun(const RunKind& kind, const Json& extra = nullptr);
  // A host's own run (raw transfers), recorded, with an interruption reported.
  RunResult Run(const RunKind& kind, const std::function<void()>& act,
                const std::function<bool()>& done, const std::function<Json()>& extra);
  // The exit code of a run that started: 0 done, 5 out of limits, 130 interrupted, else 1.
  static int ExitFor(const RunResult& r);
  bool interrupted() const { return platform_.interrupt.requested(); }
  // Whether an output of the program (standard output or error, the trace) could not be
  // written.
  bool output_failed() const { return !failed_output_.empty(); }
  // The line an interruption ends with (what the device saw; what a run changed).
  void ReportInterruption(const Outcome& o);
  void ReportInterruption();
  // One warning line per Config.ini value that was out of range and replaced by its default.
  void WarnAboutConfig();
  // After a done run, print each calibrated reading's residual before its outcome.
  bool verify = false;
  // Script mode: the runs' outcomes go into the script's summary, not a line each.
  bool script = false;
  // Whether the station asked this question during the command.
  bool asked(Question q) const { return asked_[static_cast<int>(q)]; }

  Station& station() { return station_; }
  SMBusAdapter& adapter() { return *station_.device().bus(); }
  ICal& cal() { return station_.control().cal(); }
  FormModel& form() { return station_.control().form(); }
  ConsolePlatform& platform() { return platform_; }
  Out& out() { return out_; }
  const Options& options() const { return o_; }
  // The message boxes shown so far.
  const std::vector<std::string>& messages() const { return station_.messages(); }

 private:
  // What the station asks and shows, on the console.
  bool Ask(Question kind, const std::string& question,
           const std::vector<std::string>& points) override;
  void Warn(const std::string& text) override;
  void RunStarts(const RunKind& kind) override;
  void RunEnds() override;
  void Show(const Outcome& o) override;

  void PrintResiduals(const Outcome& o);
  void PrintMessage(const std::string& text, const std::string& caption, Buttons b, Answer a);
  Answer Confirm();

  Options o_;
  ConsolePlatform platform_;
  Out out_;
  Station station_;
  std::unique_ptr<Connection::Hold> hold_;
  TraceFile trace_;
  std::optional<Progress> progress_;
  bool cancelled_ = false;
  bool asked_[3] = {};
  std::string failed_output_;  // what could not be written, when an output failed
};

}  // namespace vx::cli
