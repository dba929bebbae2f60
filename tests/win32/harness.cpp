#include "harness.h"

#include <cstdio>
#include <vector>

#include "plugin/win.h"

namespace vx::win::testing {

namespace {

struct Case {
  const char* name;
  void (*fn)();
};
std::vector<Case>& Cases() {
  static std::vector<Case> cases;
  return cases;
}
int g_failures_in_case = 0;
Options g_options;

}  // namespace

void Register(const char* name, void (*fn)()) {
  Cases().push_back({name, fn});
}

bool Check(bool ok, const std::string& what, const char* file, int line) {
  if (!ok) {
    ++g_failures_in_case;
    std::printf("  %s:%d: failed: %s\n", file, line, what.c_str());
    std::fflush(stdout);
  }
  return ok;
}

const Options& options() {
  return g_options;
}

}  // namespace vx::win::testing

int main(int argc, char** argv) {
  using namespace vx::win::testing;
  std::string only;
  // Cases named AfterUnregister... check that unregistration left nothing behind; they run
  // only when asked for, after regsvr32 /u.
  bool after_unregister = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--screenshot" && i + 1 < argc)
      g_options.screenshot = argv[++i];
    else if (a == "--after-unregister")
      after_unregister = true;
    else
      only = a;  // run the cases whose name contains this text
  }
  if (FAILED(OleInitialize(nullptr))) {
    std::printf("OleInitialize failed\n");
    return 2;
  }
  int passed = 0, failed = 0;
  for (const Case& c : Cases()) {
    const std::string name = c.name;
    if ((name.rfind("AfterUnregister", 0) == 0) != after_unregister) continue;
    if (!only.empty() && name.find(only) == std::string::npos) continue;
    g_failures_in_case = 0;
    std::printf("[ RUN  ] %s\n", c.name);
    std::fflush(stdout);
    DWORD start = GetTickCount();
    c.fn();
    DWORD ms = GetTickCount() - start;
    if (g_failures_in_case == 0) {
      ++passed;
      std::printf("[  OK  ] %s (%lu ms)\n", c.name, static_cast<unsigned long>(ms));
    } else {
      ++failed;
      std::printf("[ FAIL ] %s (%lu ms)\n", c.name, static_cast<unsigned long>(ms));
    }
    std::fflush(stdout);
  }
  OleUninitialize();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
