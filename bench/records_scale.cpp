// The records at a line's scale: fills a store with N records of a simulated line (eight
// stations, 2,000 units a day, varied outcomes and residuals) unless it holds them already, then
// times what users ask of it and prints the figures and the database's plans as Markdown.
//   records_scale WHERE N [--smoke | --fill-only]
// WHERE is an SQLite file or a postgresql:// address. --smoke also checks the answers and the
// export's memory, and exits 1 when one is wrong (CI runs it on 100,000 records); --fill-only
// fills the store and measures nothing.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/sim_line.h"
#include "hosts/desktop/records_model.h"
#include "hosts/desktop/records_window.h"
#include "records/store.h"

namespace {

using Clock = std::chrono::steady_clock;
using vx::records::Query;

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// The median of `runs` timings of fn, in ms.
double Median(int runs, const std::function<void()>& fn) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    fn();
    t.push_back(Ms(start));
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::int64_t Newest(vx::records::Store& s) {
  Query q;
  q.newest_first = true;
  q.limit = 1;
  std::int64_t id = 0;
  s.EachSummary(
      q, [&](const vx::records::Summary& r) { id = r.id; },
      [](std::int64_t, const std::string&) {});
  return id;
}

std::int64_t Count(vx::records::Store& s, const Query& q) {
  std::int64_t n = 0;
  s.EachSummary(
      q, [&](const vx::records::Summary&) { ++n; }, [](std::int64_t, const std::string&) {});
  return n;
}

struct Child {
  double seconds = 0;
  long max_rss_kb = 0;
  int status = -1;
  int Code() const { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }
};

// The command line, as a child with its standard output to `out`: its wall time and peak
// memory. The memory is GNU time's figure for its own child: a process forked from this one
// would count this one's pages as its own.
Child RunCli(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
  std::fflush(stdout);
  const std::string rss_file = "/tmp/records_scale_rss." + std::to_string(getpid());
  std::vector<char*> argv = {const_cast<char*>("/usr/bin/time"),
                             const_cast<char*>("-f"),
                             const_cast<char*>("%M"),
                             const_cast<char*>("-o"),
                             const_cast<char*>(rss_file.c_str()),
                             const_cast<char*>(VX_CLI_PATH)};
  for (const auto& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen(out.c_str(), "w", stdout)) _exit(126);
    if (!std::freopen("/dev/null", "w", stderr)) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  Child c;
  waitpid(pid, &c.status, 0);
  c.seconds = Ms(start) / 1000;
  std::ifstream rss(rss_file);
  std::string line;
  while (std::getline(rss, line)) {  // "Command exited with non-zero status N" comes first
    if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) {
      c.max_rss_kb = std::atol(line.c_str());
    }
  }
  std::remove(rss_file.c_str());
  return c;
}

// A program's wall time in ms, the median of `runs`, its output thrown away; -1 when it failed.
double TimeProgram(const std::vector<std::string>& args, int runs = 21) {
  std::vector<char*> argv;
  for (const auto& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  bool failed = false;
  const double t = Median(runs, [&] {
    pid_t pid = -1;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      failed = true;
    }
  });
  posix_spawn_file_actions_destroy(&quiet);
  return failed ? -1 : t;
}

using vx::records::IsServer;

// The database's own client answering `sql`: what the command's figure is set against; one
// that may write stops at the first error.
std::vector<std::string> Engine(const std::string& where, const std::string& sql,
                                bool write = false) {
  if (IsServer(where)) return {"psql", "-XAtq", "-v", "ON_ERROR_STOP=1", where, "-c", sql};
  return {"sqlite3", write ? "-bail" : "-readonly", where, sql};
}

// Takes the records the benchmark stored after `newest` away again, and the id counter back,
// so that the next run measures the same store.
bool Forget(const std::string& where, std::int64_t newest) {
  const std::string n = std::to_string(newest);
  const std::string reset =
      IsServer(where) ? "SELECT setval(pg_get_serial_sequence('vx_runs', 'id'), " + n + ")"
                      : "UPDATE sqlite_sequence SET seq = " + n + " WHERE name = 'vx_runs'";
  const std::string sql = "BEGIN; DELETE FROM vx_records WHERE id > " + n +
                          "; DELETE FROM vx_runs WHERE id > " + n + "; " + reset + "; COMMIT;";
  return TimeProgram(Engine(where, sql, true), 1) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 3 ? argv[3] : "";
  const std::int64_t n = argc > 2 ? std::atoll(argv[2]) : 0;
  if (argc < 3 || argc > 4 || n <= 0 || (argc == 4 && mode != "--smoke" && mode != "--fill-only")) {
    std::fprintf(stderr, "usage: records_scale WHERE N [--smoke | --fill-only]\n");
    return 2;
  }
  const std::string where = argv[1];
  const bool smoke = mode == "--smoke";
  // Eight stations; from record 90,000 on (in a smaller store, for its last quarter), station
  // 3's meter reads 1 % high.
  vx::sim::LineSpec line;
  line.biased_station = 3;
  line.bias = 0.01;
  line.biased_from = std::min<std::int64_t>(90000, n * 3 / 4);
  bool ok = true;
  auto check = [&](bool good, const std::string& what) {
    if (!good) {
      std::fprintf(stderr, "records_scale: %s\n", what.c_str());
      ok = false;
    }
  };

  // Filling: a batch of records to a transaction, the next batch made meanwhile.
  {
    auto store = vx::records::OpenStore(where);
    const std::int64_t have = Newest(*store);
    const auto start = Clock::now();
    constexpr std::int64_t kBatch = 2000;
    auto make = [&](std::int64_t from) {
      std::vector<vx::records::RunRecord> batch;
      for (std::int64_t i = from; i < std::min(n, from + kBatch); ++i)
        batch.push_back(vx::sim::LineRecord(line, i));
      return batch;
    };
    auto next = std::async(std::launch::async, make, have);
    for (std::int64_t from = have; from < n; from += kBatch) {
      auto batch = next.get();
      if (from + kBatch < n) next = std::async(std::launch::async, make, from + kBatch);
      store->AddAll(batch);
      if ((from + kBatch) % 1000000 == 0) {
        std::fprintf(stderr, "%lld records\n", static_cast<long long>(from + kBatch));
      }
    }
    if (n > have) {
      std::printf("Filled %lld records in %.1f s (%.0f records/s)\n\n",
                  static_cast<long long>(n - have), Ms(start) / 1000,
                  static_cast<double>(n - have) / (Ms(start) / 1000));
    }
  }

  if (mode == "--fill-only") return 0;
  std::printf("| query (%lld records) | median of 5 |\n|---|---|\n", static_cast<long long>(n));
  const std::string unit = vx::sim::LineRecord(line, n / 2 + 17).unit;
  Query by_unit;
  by_unit.unit = unit;
  std::int64_t got = 0;
  double t = Median(
      5, [&] { got = Count(*vx::records::OpenStore(where, vx::records::Access::kRead), by_unit); });
  std::printf("| list by unit (open, query) | %.2f ms |\n", t);
  check(got == 1, "list by unit gave " + std::to_string(got) + " rows");

  t = Median(5, [&] {
    got = vx::records::OpenStore(where, vx::records::Access::kRead)->Get(n / 3 + 1) ? 1 : 0;
  });
  std::printf("| show one record | %.2f ms |\n", t);
  check(got == 1, "show found no record");

  Query day;
  day.since = day.until = vx::sim::LineRecord(line, n / 2).time_utc.substr(0, 10);
  t = Median(5,
             [&] { got = Count(*vx::records::OpenStore(where, vx::records::Access::kRead), day); });
  std::printf("| list a day (%lld rows) | %.2f ms |\n", static_cast<long long>(got), t);
  check(got >= line.units_per_day, "a day gave " + std::to_string(got) + " rows");

  Query page;
  page.newest_first = true;
  page.limit = vx::RecordsModel::kPage;
  t = Median(5, [&] { Count(*vx::records::OpenStore(where, vx::records::Access::kRead), page); });
  std::printf("| the desktop's first page (%d rows) | %.2f ms |\n", vx::RecordsModel::kPage, t);
  {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    int rows = 0;
    t = Median(5, [&] {
      vx::RecordsWindow w(where);
      w.Reload();
      w.show();
      QApplication::processEvents();
      rows = w.model()->rowCount();
    });
    std::printf("| desktop Records window, first rows shown | %.2f ms |\n", t);
    check(rows > 0, "the records window showed no rows");
  }

  // Storing: one station alone, then eight at once (a connection each); what is stored here is
  // taken away again at the end.
  const std::int64_t found = Newest(*vx::records::OpenStore(where, vx::records::Access::kRead));
  {
    auto store = vx::records::OpenStore(where);
    std::int64_t next = Newest(*store) + 1;
    t = Median(21, [&] { store->Add(vx::sim::LineRecord(line, next++)); });
    std::printf("| store one record | %.2f ms |\n", t);
    std::vector<double> each;
    std::vector<std::thread> stations;
    std::vector<std::vector<double>> times(8);
    const std::int64_t base = next + 1000;
    for (int s = 0; s < 8; ++s) {
      stations.emplace_back([&, s] {
        auto own = vx::records::OpenStore(where);
        for (int k = 0; k < 10; ++k) {
          const auto start = Clock::now();
          own->Add(vx::sim::LineRecord(line, base + s * 100 + k));
          times[static_cast<std::size_t>(s)].push_back(Ms(start));
        }
      });
    }
    for (auto& th : stations)
      th.join();
    for (auto& v : times)
      each.insert(each.end(), v.begin(), v.end());
    std::sort(each.begin(), each.end());
    std::printf("| store one record, eight stations at once | %.2f ms (slowest %.2f ms) |\n",
                each[each.size() / 2], each.back());
  }

  // The commands as a user types them, beside the database's own client with the same query;
  // "of its own" leaves out what starting any program costs.
  const std::string cli = VX_CLI_PATH, show_id = std::to_string(n / 3 + 1);
  struct Command {
    const char* what;
    std::vector<std::string> ours, engine;
  };
  const std::vector<Command> commands = {
      {"vx58420cal --version",
       {cli, "--version"},
       {IsServer(where) ? "psql" : "sqlite3", "--version"}},
      {"vx58420cal records list --unit U",
       {cli, "--records", where, "records", "list", "--unit", unit},
       Engine(where,
              "SELECT id, time_utc, station, operator, unit, run, outcome FROM vx_runs "
              "WHERE unit = '" +
                  unit + "' ORDER BY id")},
      {"vx58420cal records show ID",
       {cli, "--records", where, "records", "show", show_id},
       Engine(where, "SELECT record FROM vx_records WHERE id = " + show_id)},
  };
  const double floor_ms = TimeProgram({"true"});
  std::printf(
      "\n| command (median of 21) | time | of its own | the database's client | ratio |\n"
      "|---|---|---|---|---|\n");
  for (const auto& c : commands) {
    const double ours = TimeProgram(c.ours), engine = TimeProgram(c.engine);
    std::printf("| `%s` | %.2f ms | %.2f ms | %.2f ms | %.2f x |\n", c.what, ours, ours - floor_ms,
                engine, ours / engine);
    check(ours >= 0 && engine >= 0, std::string(c.what) + " failed");
  }
  std::printf("\n| query (%lld records), continued | |\n|---|---|\n", static_cast<long long>(n));

  const std::int64_t total = Newest(*vx::records::OpenStore(where, vx::records::Access::kRead));
  const Child e = RunCli({"--records", where, "records", "export", "--csv", "-"});
  std::printf("| export everything to CSV | %.1f s, %.0f records/s, %.1f MB resident at most |\n",
              e.seconds, static_cast<double>(total) / e.seconds,
              static_cast<double>(e.max_rss_kb) / 1024);
  check(e.Code() == 0, "the export failed");
  check(e.max_rss_kb <= 64 * 1024, "the export took more than 64 MB");

  // The line's statistics and its report: station 3 is found.
  const std::string stats_out = "/tmp/records_scale_stats." + std::to_string(getpid());
  const Child st = RunCli({"--records", where, "--json", "records", "stats"}, stats_out);
  const vx::records::Json stats = vx::records::Json::parse(ReadAll(stats_out), nullptr, false);
  std::remove(stats_out.c_str());
  std::printf("| records stats (all records) | %.2f s, %.1f MB resident at most |\n", st.seconds,
              static_cast<double>(st.max_rss_kb) / 1024);
  check(st.Code() == 5 && stats.is_object() && !stats["flags"].empty() &&
            stats["flags"][0]["group"] == "st3",
        "records stats did not flag station 3");
  const std::string html = "/tmp/records_scale_report." + std::to_string(getpid()) + ".html";
  const Child rp = RunCli({"--records", where, "records", "report", "--html", html});
  const auto size = ReadAll(html).size();
  std::remove(html.c_str());
  std::printf(
      "| records report --html (all records) | %.2f s, %.1f MB resident at most, a page "
      "of %.0f kB |\n",
      rp.seconds, static_cast<double>(rp.max_rss_kb) / 1024, static_cast<double>(size) / 1024);
  check(rp.Code() == 5 && size > 0 && size <= 2 * 1024 * 1024, "records report failed");

  check(Forget(where, found) &&
            Newest(*vx::records::OpenStore(where, vx::records::Access::kRead)) == found,
        "the records this benchmark stored could not be taken away");

  std::printf("\nPlans:\n\n");
  auto store = vx::records::OpenStore(where, vx::records::Access::kRead);
  for (const auto& [name, q] : std::vector<std::pair<std::string, Query>>{
           {"list by unit", by_unit}, {"list a day", day}, {"the desktop's first page", page}}) {
    std::printf("- %s:\n```\n%s\n```\n", name.c_str(), store->Plan(q).c_str());
  }
  return smoke && !ok ? 1 : 0;
}
