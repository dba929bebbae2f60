#include "hosts/cli/options.h"

#include <filesystem>
#include <stdexcept>

#include "records/record.h"

namespace vx::cli {

CLI::Validator Whole(std::int64_t min, std::int64_t max) {
  return CLI::Validator(
      [min, max](std::string& text) -> std::string {
        try {
          text = std::to_string(ParseInteger(text, min, max));
          return "";
        } catch (const std::invalid_argument& e) {
          return e.what();
        }
      },
      std::to_string(min) + " to " + std::to_string(max));
}

void AddGlobalOptions(CLI::App& app, Options& o) {
  // First: a refusal of a station option below is said as JSON when --json is given.
  app.add_flag("--json", o.json, "JSON lines output");
  for (const StationOption& so : StationOptions()) {
    auto apply = [&o, &so](const std::string& text) {
      if (std::string why = so.set(o, text); !why.empty()) throw CLI::ValidationError(so.name, why);
    };
    if (!so.value) {
      app.add_flag_function(
          so.name, [apply](std::int64_t) { apply("1"); }, so.help);
      continue;
    }
    CLI::Option* opt = app.add_option_function<std::string>(so.name, apply, so.help);
    opt->type_name(so.value);
    if (so.value_optional) opt->expected(0, 1);
  }
  app.get_option("--bus")->excludes("--sim");
  app.add_option("--save-state", o.save_state, "write the simulator's state here afterwards")
      ->excludes("--bus");
  app.add_option("--trace", o.trace, "write every transfer here as JSON lines");
  app.add_flag("--trust-references", o.trust_references,
               "go on when a reference is far from its reading or nobody gave it: the objections "
               "are printed and recorded, the page's own checks still run");
  app.add_flag("--fast", o.fast, "simulator only: waits take no real time")->excludes("--bus");
}

}  // namespace vx::cli
