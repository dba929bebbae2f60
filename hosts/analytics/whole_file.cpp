#include "hosts/analytics/whole_file.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vx {

void WriteWholeFile(const std::string& file, const std::function<void(std::ostream&)>& write) {
  const std::string tmp = file + ".tmp-" + std::to_string(getpid());
  try {
    std::ofstream out(tmp, std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + file);
    write(out);
    out.close();
    if (!out) throw std::runtime_error("writing " + file + " failed");
    std::filesystem::rename(tmp, file);
  } catch (...) {
    std::remove(tmp.c_str());
    throw;
  }
}

}  // namespace vx
