// The records tests' ground: a temporary simulator folder, and a store that is either an SQLite
// file there or the throwaway PostgreSQL cluster the suite starts (scripts/pg-test-cluster.sh).
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "../cli/process.h"
#include "../cli/sim_folder.h"
#include "records/store.h"

namespace vx::testing {

// The cluster's URL, or the one a sub-run of the suite names.
inline std::string PgUrl() {
  const char* file = std::getenv("VX_PG_URL_FILE");
  std::string url = ReadFile(file ? file : VX_PG_URL_FILE);
  while (!url.empty() && url.back() == '\n')
    url.pop_back();
  return url;
}

// psql's exit status for SQL run on a database, its output sent where `tail` says.
inline int Psql(const TempDir& dir, const std::string& url, const std::string& sql,
                const std::string& tail = " >/dev/null") {
  const std::string file = dir.Write("q.sql", sql);
  return std::system(("psql -XAtq -v ON_ERROR_STOP=1 '" + url + "' -f " + file + tail).c_str());
}

// Statements run on an SQLite store as another program would run them: the first column of
// the first row they give, or nothing when they fail.
inline std::optional<std::string> Sql(const std::string& db, const std::string& sql) {
  sqlite3* raw = nullptr;
  sqlite3_open(db.c_str(), &raw);
  std::string first;
  const auto take = [](void* out, int n, char** values, char**) {
    auto* s = static_cast<std::string*>(out);
    if (s->empty() && n > 0 && values[0]) *s = values[0];
    return 0;
  };
  const bool ok = sqlite3_exec(raw, sql.c_str(), take, &first, nullptr) == SQLITE_OK;
  sqlite3_close(raw);
  return ok ? std::optional<std::string>(first) : std::nullopt;
}

inline constexpr const char* kVoltages = "--voltages 2050,4160,6240,8360,10455";

class Records : public ::testing::TestWithParam<const char*>, protected SimFolder {
 protected:
  void SetUp() override {
    where = pg() ? PgUrl() : dir.path() + "/records.sqlite";
    ASSERT_FALSE(where.empty()) << "no PostgreSQL cluster: " << VX_PG_URL_FILE;
    // Each test its own units, so that the shared server's records do not mix tests.
    unit = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    unit = unit.substr(0, unit.find('/')) + "-" + std::to_string(getpid());
    sim = "--fast --sim " + state + " --save-state " + state;
  }
  bool pg() const { return std::string(GetParam()) == "pg"; }
  Result Run(const std::string& args, const std::string& u = "") {
    return Process(dir.path(),
                   "--records '" + where + "' --unit " + (u.empty() ? unit : u) + " " + args)
        .Wait();
  }
  std::vector<records::RunRecord> Mine(const std::string& u = "") {
    return records::OpenStore(where)->List({u.empty() ? unit : u, "", "", "", 0});
  }
  std::string where, unit, sim;
};

}  // namespace vx::testing
