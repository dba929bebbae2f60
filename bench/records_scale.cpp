// The records at a line's scale: fills a store with N records of a simulated line (eight
// stations, 2,000 units a day, varied outcomes and residuals) unless it holds them already, then
// times what users ask of it and prints the figures and the database's plans as Markdown.
//   records_scale WHERE N [--smoke]
// WHERE is an SQLite file or a postgresql:// address. --smoke also checks the answers and the
// export's memory, and exits 1 when one is wrong (CI runs it on 100,000 records).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "hosts/desktop/records_model.h"
#include "hosts/desktop/records_window.h"
#include "records/store.h"
#include "sim/sim_line.h"

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

struct Export {
  double seconds = 0;
  long max_rss_kb = 0;
  int status = -1;
};

// The command line's export into /dev/null, as a child: its wall time and peak memory.
Export ExportAll(const std::string& where) {
  std::fflush(stdout);
  const auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    execl(VX_CLI_PATH, VX_CLI_PATH, "--records", where.c_str(), "records", "export", "--csv", "-",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  Export e;
  rusage use{};
  wait4(pid, &e.status, 0, &use);
  e.seconds = Ms(start) / 1000;
  e.max_rss_kb = use.ru_maxrss;
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: records_scale WHERE N [--smoke]\n");
    return 2;
  }
  const std::string where = argv[1];
  const std::int64_t n = std::atoll(argv[2]);
  const bool smoke = argc > 3 && std::string(argv[3]) == "--smoke";
  vx::sim::LineSpec line;
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

  // Storing: one station alone, then eight at once (a connection each).
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

  const std::int64_t total = Newest(*vx::records::OpenStore(where, vx::records::Access::kRead));
  const Export e = ExportAll(where);
  std::printf("| export everything to CSV | %.1f s, %.0f records/s, %.1f MB resident at most |\n",
              e.seconds, static_cast<double>(total) / e.seconds,
              static_cast<double>(e.max_rss_kb) / 1024);
  check(WIFEXITED(e.status) && WEXITSTATUS(e.status) == 0, "the export failed");
  check(e.max_rss_kb <= 64 * 1024, "the export took more than 64 MB");

  std::printf("\nPlans:\n\n");
  auto store = vx::records::OpenStore(where, vx::records::Access::kRead);
  for (const auto& [name, q] : std::vector<std::pair<std::string, Query>>{
           {"list by unit", by_unit}, {"list a day", day}, {"the desktop's first page", page}}) {
    std::printf("- %s:\n```\n%s\n```\n", name.c_str(), store->Plan(q).c_str());
  }
  return smoke && !ok ? 1 : 0;
}
