// One invocation of the command line: the console platform and the station core, with what
// the command line adds around them: message boxes and confirmations on the console, the
// transfer trace, the progress display, and the one line that says how a run ended.
#pragma once

#include <sys/types.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "hosts/cli/options.h"
#include "hosts/cli/output.h"
#include "hosts/cli/progress.h"
#include "hosts/station/station.h"
#include "platform/console_platform.h"

namespace vx::cli {

class Session {
 public:
  explicit Session(Options o);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Checks the output files' folders, opens and locks the device, starts the trace; an exit
  // code (0, or the reason with a message on stderr).
  int OpenDevice();
  // Loads the plug-in, creates the control and shows it; false with a message on stderr.
  bool ShowControl();
  // Writes the simulator's state if asked; false when that failed.
  bool Finish();

  // A recorded run (station core) with its progress shown and an interruption reported.
  RunResult Run(const RunKind& kind, const std::function<void()>& act = nullptr,
                const std::function<bool()>& done = nullptr,
                const std::function<records::Json()>& extra = nullptr);
  // The line a run ends with, and its exit code.
  int Outcome(const RunKind& kind, const RunResult& r);
  bool interrupted() const { return platform_.interrupt.requested(); }
  // Whether an output of the program (standard output or error, the trace) could not be
  // written.
  bool output_failed() const { return !failed_output_.empty(); }
  // The line an interruption ends with (with what the run changed, when its record is known).
  void ReportInterruption(const RunResult* r = nullptr);
  // One warning line per Config.ini value that was out of range and replaced by its default.
  void WarnAboutConfig();
  // Whether the run's references were given for this unit and are plausible against their
  // readings (false with each objection on stderr).
  bool Cleared(const RunKind& kind);
  // Whether the run may go on with the --limits given: a limits file that checks none of the
  // readings the run calibrates would pass any unit (false, said on stderr).
  bool LimitsCheckSomething(const RunKind& kind);

  Station& station() { return station_; }
  SMBusAdapter& adapter() { return *station_.device().bus(); }
  ICal& cal() { return station_.control().cal(); }
  FormModel& form() { return station_.control().form(); }
  ConsolePlatform& platform() { return platform_; }
  Out& out() { return out_; }
  const Options& options() const { return o_; }
  // The message boxes shown so far, and whether a confirmation was answered Cancel.
  const std::vector<std::string>& messages() const { return station_.messages(); }
  bool cancelled() const { return cancelled_; }

 private:
  void PrintMessage(const std::string& text, const std::string& caption, Buttons b, Answer a);
  void WriteTraceLine(const std::string& line);
  // " vx58420cal restore N brings back ..." for a run with a record, else "".
  std::string Undo(const RunResult& r) const;
  Answer Confirm();

  Options o_;
  ConsolePlatform platform_;
  Out out_;
  Station station_;
  std::unique_ptr<Connection::Hold> hold_;
  int trace_fd_ = -1;
  off_t trace_size_ = 0;  // what the trace holds in whole lines
  std::uint64_t trace_seq_ = 0;
  std::optional<Progress> progress_;
  bool cancelled_ = false;
  std::string failed_output_;  // what could not be written, when an output failed
};

}  // namespace vx::cli
