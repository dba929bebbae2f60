// A small test runner for the programs that run under Wine beside the real COM machinery:
// named cases, checks that report file and line, and the closing "N passed, N failed" line.
#pragma once

#include <sstream>
#include <string>

namespace vx::win::testing {

void Register(const char* name, void (*fn)());
bool Check(bool ok, const std::string& what, const char* file, int line);

template <typename A, typename B>
bool CheckEq(const A& a, const B& b, const char* ea, const char* eb, const char* file, int line) {
  if (a == b) return true;
  std::ostringstream s;
  s << ea << " == " << eb << " (" << a << " vs " << b << ")";
  return Check(false, s.str(), file, line);
}

// Settings of the run, from the command line.
struct Options {
  std::string screenshot;  // where the page's screenshot goes (empty: none)
};
const Options& options();

struct Registrar {
  Registrar(const char* name, void (*fn)()) { Register(name, fn); }
};

}  // namespace vx::win::testing

#define WIN_TEST(name)                                                 \
  static void name();                                                  \
  static ::vx::win::testing::Registrar name##_registrar(#name, &name); \
  static void name()
#define EXPECT_TRUE(c) ::vx::win::testing::Check(static_cast<bool>(c), #c, __FILE__, __LINE__)
#define EXPECT_EQ(a, b) ::vx::win::testing::CheckEq((a), (b), #a, #b, __FILE__, __LINE__)
#define ASSERT_TRUE(c) \
  if (!EXPECT_TRUE(c)) return
