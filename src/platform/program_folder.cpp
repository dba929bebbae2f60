#include "platform/program_folder.h"

#include <unistd.h>

#include <climits>

namespace vx {

std::filesystem::path ProgramFolder() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = '\0';
  return std::filesystem::path(buf).parent_path();
}

}  // namespace vx
