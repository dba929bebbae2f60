// `records list|show|export|import` on the records of the runs. Queries open the store
// read-only and never create it; a row that is no record is named and left out; what a record
// holds reaches a terminal without its control characters.
#include <unistd.h>

#include <cmath>
#include <iostream>

#include "device/numeric.h"
#include "hosts/analytics/csv_export.h"
#include "hosts/analytics/record_words.h"
#include "hosts/cli/commands.h"
#include "records/store.h"

namespace vx::cli {

void ReportBroken(std::int64_t id, const std::string& why) {
  Out::Error(DamagedSentence(id, why));
}

namespace {

using records::Printable;
using records::RunRecord;

// On a terminal, a list without --limit is a page: the newest records (or the first after
// --after-id), with how to see the rest. Scripts get everything they ask for.
constexpr std::int64_t kTerminalPage = 50;

int RecordsList(const Options& o, records::Query q, bool limit_given) {
  Out out(o.json);
  if (!q.since.empty() && !q.until.empty() && q.since > q.until + "~") {
    Out::Error("--since " + q.since + " is after --until " + q.until +
               ": the range holds no time at all");
    return kExitUsage;
  }
  const bool paged = !limit_given && !o.json && isatty(STDOUT_FILENO) != 0;
  if (paged) q.limit = kTerminalPage;
  auto store = records::OpenStore(o.station.store(), records::Access::kRead);
  std::int64_t n = 0, first = 0, last = 0;
  store->EachSummary(
      q,
      [&](const records::Summary& r) {
        if (n++ == 0) first = r.id;
        last = r.id;
        out.Print(SummaryLine(r), SummaryJson(r));
      },
      ReportBroken);
  if (n == 0) out.Text("No records.");
  if (paged && n == q.limit) {
    // Whether there is more beyond the page, asked of the index rather than counted.
    records::Query beyond = q;
    beyond.limit = 1;
    (q.after_id > 0 ? beyond.after_id : beyond.before_id) = q.after_id > 0 ? last : first;
    bool more = false;
    store->EachSummary(
        beyond, [&](const records::Summary&) { more = true; }, ReportBroken);
    if (more) {
      out.Text(q.after_id > 0
                   ? "The first " + std::to_string(n) + " shown; later ones: --after-id " +
                         std::to_string(last) + ", all: --limit 0"
                   : "The newest " + std::to_string(n) + " shown; earlier ones: --before-id " +
                         std::to_string(first) + ", all: --limit 0");
    }
  }
  return kExitOk;
}

int RecordsShow(const Options& o, std::int64_t id) {
  Out out(o.json);
  auto r = records::OpenStore(o.station.store(), records::Access::kRead)->Get(id);
  if (!r) {
    Out::Error("there is no record " + std::to_string(id));
    return kExitFailed;
  }
  if (out.json()) {
    out.Object(RecordJson(*r));
  } else {
    for (const std::string& line : RecordLines(*r))
      out.Text(line);
  }
  return kExitOk;
}

int RecordsExport(const Options& o, const std::string& csv_file) {
  std::size_t n = 0;
  try {
    n = ExportCsv(o.station.store(), csv_file, ReportBroken);
  } catch (const records::StoreError&) {
    throw;
  } catch (const std::runtime_error& e) {
    Out::Error(e.what());
    return kExitFile;
  }
  if (csv_file != "-") {
    Out(o.json).Print(ExportedSentence(n, csv_file), Json{{"exported", n}, {"file", csv_file}});
  }
  return kExitOk;
}

// Records kept in files (a store that could not take them) into the store, each once.
int RecordsImport(const Options& o, const std::vector<std::string>& files) {
  Out out(o.json);
  auto store = records::OpenStore(o.station.store());
  int code = kExitOk;
  for (const std::string& file : files) {
    try {
      RunRecord r = records::ReadRecordFile(file);
      // The labels a store keeps are held to the rules the programs hold them to.
      for (auto [what, label] :
           {std::pair{"station", r.station}, {"operator", r.operator_name}, {"unit", r.unit}}) {
        if (const std::string why = records::CleanLabel(label); !why.empty()) {
          throw std::runtime_error(file + ": its " + what + " label " + why + " (at most " +
                                   std::to_string(records::kMaxLabel) +
                                   " characters, no control characters)");
        }
      }
      if (r.uid.empty()) r.uid = records::ContentUid(r);  // a file of before uids
      if (store->Has(r.uid)) {
        out.Print(file + ": already in the store", Json{{"file", file}, {"imported", false}});
        continue;
      }
      std::int64_t id = store->Add(r);
      out.Print(file + ": record " + std::to_string(id),
                Json{{"file", file}, {"imported", true}, {"record", id}});
    } catch (const records::StoreError& e) {
      Out::Error(e.what());
      code = kExitFile;
    } catch (const std::runtime_error& e) {  // a file that holds no record
      Out::Error(records::Printable(e.what()));
      code = code == kExitOk ? kExitFailed : code;
    }
  }
  return code;
}

// An older store brought up to date, saying how far it has come on a terminal.
int RecordsUpgrade(const Options& o) {
  Out out(o.json);
  const auto began = std::chrono::steady_clock::now();
  auto said = began;
  records::SetUpgradeProgress([&](std::int64_t done, std::int64_t of) {
    const auto now = std::chrono::steady_clock::now();
    if (now - said < std::chrono::seconds(1)) return;
    said = now;
    std::cerr << "  " << done << " of " << of << " records\n" << std::flush;
  });
  const int from = records::UpgradeStore(o.station.store());
  records::SetUpgradeProgress(nullptr);
  const std::string where = records::DisplayName(
      o.station.store().empty() ? records::DefaultDatabase() : o.station.store());
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  out.Print(from == records::kSchemaVersion
                ? where + " is up to date (schema version " + std::to_string(from) + ")"
                : where + " was brought up to date from schema version " + std::to_string(from) +
                      " to " + std::to_string(records::kSchemaVersion) + " in " +
                      FormatDouble(std::round(s * 10) / 10) + " s",
            Json{{"store", where}, {"from", from}, {"to", records::kSchemaVersion}, {"s", s}});
  return kExitOk;
}

}  // namespace

CLI::Validator RecordsTime() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        try {
          text = records::QueryTime(text);
          return "";
        } catch (const std::invalid_argument& e) {
          return e.what();
        }
      },
      "DATE");
}

void AddRecordsCommands(CLI::App& app, Options&, std::vector<Command>& out) {
  auto* recs = app.add_subcommand("records", "the records of the runs");
  recs->require_subcommand(1);
  auto query = std::make_shared<records::Query>();
  auto* list = recs->add_subcommand("list", "the runs, oldest first");
  const CLI::Validator time = RecordsTime();
  list->add_option("--unit", query->unit, "only this unit's");
  list->add_option("--since", query->since, "only from this date or time on (2026-12-06)")
      ->transform(time);
  list->add_option("--until", query->until, "only up to this date or time (2026-12-06)")
      ->transform(time);
  list->add_option("--outcome", query->outcome, "only runs that ended so")
      ->check(CLI::IsMember(
          std::vector<std::string>(std::begin(records::kOutcomes), std::end(records::kOutcomes))));
  auto* limit = list->add_option("--limit", query->limit,
                                 "at most this many, the newest (0: all; on a terminal " +
                                     std::to_string(kTerminalPage) + " unless given)")
                    ->transform(Whole(0, INT64_MAX));
  list->add_option("--after-id", query->after_id, "only records after this one, the first first")
      ->transform(Whole(1, INT64_MAX));
  list->add_option("--before-id", query->before_id, "only records before this one")
      ->transform(Whole(1, INT64_MAX));
  out.emplace_back(list, [query, limit](Options& opts) {
    return RecordsList(opts, *query, limit->count() > 0);
  });

  auto id = std::make_shared<std::int64_t>(0);
  auto* show = recs->add_subcommand("show", "one record whole, with the gains before and after");
  show->add_option("ID", *id)->required()->transform(Whole(1, INT64_MAX));
  out.emplace_back(show, [id](Options& opts) { return RecordsShow(opts, *id); });

  auto csv = std::make_shared<std::string>();
  auto* exp = recs->add_subcommand("export",
                                   "one row per run: unit, time, station, run, "
                                   "outcome and each reading's residual");
  exp->add_option("--csv", *csv, "the CSV file to write, - for standard output")->required();
  out.emplace_back(exp, [csv](Options& opts) { return RecordsExport(opts, *csv); });

  auto files = std::make_shared<std::vector<std::string>>();
  auto* import = recs->add_subcommand("import",
                                      "bring records kept in files (unstored-record-*.json) "
                                      "into the store, each once");
  import->add_option("FILE", *files)->required();
  out.emplace_back(import, [files](Options& opts) { return RecordsImport(opts, *files); });
  auto* upgrade = recs->add_subcommand(
      "upgrade",
      "bring a store of an older schema up to date, in one transaction (a stop changes nothing)");
  out.emplace_back(upgrade, RecordsUpgrade);
  AddLineCommands(*recs, out);
}

}  // namespace vx::cli
