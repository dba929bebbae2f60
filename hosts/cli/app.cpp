#include "hosts/cli/app.h"

#include "hosts/cli/commands.h"
#include "hosts/cli/signals.h"
#include "platform/outside_wait.h"
#include "records/store.h"
#include "version.h"

namespace vx::cli {

namespace {

// The device, and the control on it when the command needs it, then the command.
int RunOnDevice(const Command& c, Options& o) {
  Session s(o);
  CatchStopSignals(s.platform().interrupt);
  if (int opened = s.OpenDevice(); opened != kExitOk) return opened;
  if (c.needs == Command::Needs::kControl && !s.ShowControl()) return kExitSetup;
  return s.Ended(c.run(s));
}

// A command without the device (a query, a file): a signal ends it as it ends a run, and an
// output that could not be written is a failure of its own.
int RunAlone(const Command& c, Options& o) {
  InterruptRequest stop;
  CatchStopSignals(stop);
  Outside().stops = [&stop] { return stop.requests(); };
  int code = kExitOk;
  try {
    code = c.run_alone(o);
  } catch (...) {
    Outside() = OutsideWait{};
    if (stop.requested()) {
      Out::Error(std::string("interrupted by ") + SignalName(stop.reason()));
      return kExitInterrupted;
    }
    throw;
  }
  Outside() = OutsideWait{};
  std::cout.flush();
  if (code == kExitOk && (!std::cout || Out::failed())) {
    Out::Error("standard output could not be written");
    return kExitFile;
  }
  return code;
}

int Dispatch(const std::vector<Command>& commands, Options& o) {
  for (const Command& c : commands) {
    if (!c.app->parsed()) continue;
    o.station.program = std::string("vx58420cal ") + VX_VERSION;
    records::SetWaitLimit(std::chrono::seconds(o.records_timeout_s));
    if (c.prepare) {
      if (int code = c.prepare(); code != kExitOk) return code;
    }
    return c.needs == Command::Needs::kNothing ? RunAlone(c, o) : RunOnDevice(c, o);
  }
  return kExitUsage;
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
  CLI::App app{"vx58420 supercapacitor calibration: the calibration page without a window",
               "vx58420cal"};
  app.set_version_flag("--version", std::string("vx58420cal ") + VX_VERSION);
  app.require_subcommand(0, 1);
  app.fallthrough();  // global options may also follow the command
  Options o;
  AddGlobalOptions(app, o);
  std::vector<Command> commands;
  for (auto add :
       {AddReadCommand, AddCalibrateCommand, AddSeparateRunCommands, AddScriptCommand,
        AddBusCommand, AddRecordsCommands, AddRestoreCommand, AddToolCommands, AddBenchCommands}) {
    add(app, o, commands);
  }
  try {
    app.parse(argc, argv);
    Out::ErrorsAsJson(o.json);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    Out::ErrorsAsJson(o.json);
    std::vector<std::string> rest = app.remaining();
    if (app.get_subcommands().empty() && !rest.empty() && rest.front().rfind("-", 0) != 0) {
      Out::Error("unknown command '" + rest.front() + "' (vx58420cal --help lists them)");
      return kExitUsage;
    }
    Out::Error(e.what());
    // An option of a command given before it: say where it belongs.
    for (const std::string& word : rest) {
      std::string owners;
      for (const CLI::App* sub : app.get_subcommands({})) {
        if (word.rfind("--", 0) == 0 && sub->get_option_no_throw(word)) {
          owners += (owners.empty() ? "" : ", ") + sub->get_name();
        }
      }
      if (!owners.empty()) {
        Out::Error(word + " belongs after the command it is an option of (" + owners +
                   "): vx58420cal [global options] COMMAND " + word);
      }
    }
    return kExitUsage;
  }
  if (app.get_subcommands().empty()) {
    std::cerr << app.help();
    return kExitUsage;
  }
  try {
    return Dispatch(commands, o);
  } catch (const Interrupted&) {
    return kExitInterrupted;  // a wait of the command line's own (between scans)
  } catch (const records::StoreError& e) {
    Out::Error(e.what());
    return kExitFile;
  } catch (const std::invalid_argument& e) {
    Out::Error(e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    Out::Error(e.what());
    return kExitFailed;
  }
}

}  // namespace vx::cli
