// The commands of the command line. Each registers its own subcommand (with its typed options)
// and says what it needs and how it runs once parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <vector>

#include "hosts/cli/options.h"
#include "hosts/cli/session.h"

namespace vx::cli {

struct Command {
  enum class Needs {
    kNothing,  // a query or a file: run_alone
    kDevice,   // the device, no control (raw transfers)
    kControl,  // the device and the control on it
  };
  Command(CLI::App* a, Needs n, std::function<int(Session&)> r)
      : app(a), needs(n), run(std::move(r)) {}
  Command(CLI::App* a, std::function<int(Options&)> r)
      : app(a), needs(Needs::kNothing), run_alone(std::move(r)) {}

  CLI::App* app;
  Needs needs;
  std::function<int(Session&)> run;
  std::function<int(Options&)> run_alone;
  // Checks the command's own files before the device is touched: an exit code, 0 to go on.
  std::function<int()> prepare;
};

// The script's page actions, one JSON object a line, on a session with the control shown.
int ScriptCommand(Session& s, std::istream& in);
// The same from a source of lines (false: no more).
int ScriptCommand(Session& s, const std::function<bool(std::string&)>& next_line);

// Each adds its subcommand(s) to app; options land in o or in the command's own state.
void AddReadCommand(CLI::App& app, Options& o, std::vector<Command>& out);
void AddCalibrateCommand(CLI::App& app, Options& o, std::vector<Command>& out);
void AddSeparateRunCommands(CLI::App& app, Options& o, std::vector<Command>& out);
void AddScriptCommand(CLI::App& app, Options& o, std::vector<Command>& out);
void AddBusCommand(CLI::App& app, Options& o, std::vector<Command>& out);
void AddRecordsCommands(CLI::App& app, Options& o, std::vector<Command>& out);
// `records stats` and `records report`, under `records`.
void AddLineCommands(CLI::App& records, std::vector<Command>& out);
// A row of the store that is no record, named on standard error and left out.
void ReportBroken(std::int64_t id, const std::string& why);
// A UTC date or time for --since and --until, as the store compares it.
CLI::Validator RecordsTime();
void AddRestoreCommand(CLI::App& app, Options& o, std::vector<Command>& out);
void AddToolCommands(CLI::App& app, Options& o, std::vector<Command>& out);
void AddBenchCommands(CLI::App& app, Options& o, std::vector<Command>& out);

}  // namespace vx::cli
