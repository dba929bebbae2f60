#include "platform/output_file.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vx {

namespace fs = std::filesystem;

namespace {

// Where a link leads, followed link by link (also to a name nothing holds yet); the path itself
// when it is no link.
fs::path Followed(fs::path p, std::error_code& ec) {
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
    const fs::path to = fs::read_symlink(p, ec);
    if (ec) return p;
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  return p;
}

}  // namespace

OutputPath OutputAt(const std::string& path) {
  if (path == "-") return {OutputPath::kStream, path, ""};
  std::error_code ec;
  // What the path names, through any link: a device or a pipe is written through as it is.
  const fs::file_status st = fs::status(path, ec);
  if (fs::is_character_file(st) || fs::is_block_file(st) || fs::is_fifo(st)) {
#ifndef _WIN32
    // A FIFO nobody reads would hold the program for ever at its opening.
    if (fs::is_fifo(st)) {
      const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) return {OutputPath::kRefused, path, path + " is a FIFO that nobody reads"};
      ::close(fd);
    }
#endif
    return {OutputPath::kStream, path, ""};
  }
  if (fs::exists(st) && !fs::is_regular_file(st)) {
    return {OutputPath::kRefused, path,
            path + (fs::is_directory(st) ? " is a folder" : " is not a file that can be written")};
  }
  // A file is replaced where it is: a link keeps pointing at it. One that nobody may write is
  // meant so, also for root, who could replace it.
  const fs::path target = Followed(path, ec);
  if (fs::is_regular_file(st)) {
    using fs::perms;
    if ((st.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) ==
        perms::none) {
      return {OutputPath::kRefused, path, path + " is read-only"};
    }
    return {OutputPath::kFile, target.string(), ""};
  }
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) {
    return {OutputPath::kRefused, path, "the folder " + folder.string() + " does not exist"};
  }
  return {OutputPath::kFile, target.string(), ""};
}

void WriteWholeFile(const std::string& path, const std::function<void(std::ostream&)>& write) {
  const OutputPath out = OutputAt(path);
  if (out.kind == OutputPath::kRefused) throw std::runtime_error(out.why + "; nothing was written");
  if (out.kind == OutputPath::kStream) {
    if (out.path == "-") {
      write(std::cout);
      std::cout.flush();
      if (!std::cout) throw std::runtime_error("writing to standard output failed");
      return;
    }
    std::ofstream stream(out.path, std::ios::binary);
    if (!stream) throw std::runtime_error("cannot write " + path);
    write(stream);
    stream.flush();
    if (!stream) throw std::runtime_error("writing " + path + " failed");
    return;
  }
  std::error_code ec;
  const fs::path target = out.path;
  const bool existed = fs::exists(target, ec);
  const fs::perms rights = existed ? fs::status(target, ec).permissions() : fs::perms::none;
  fs::path tmp = target;
  tmp.replace_filename("." + target.filename().string() + "." +
                       std::to_string(std::random_device{}()) + ".tmp");
  try {
    {
      std::ofstream file(tmp, std::ios::binary | std::ios::trunc);
      if (!file) throw std::runtime_error("cannot write " + path);
      write(file);
      file.close();
      if (!file) throw std::runtime_error("writing " + path + " failed");
    }
    if (existed) fs::permissions(tmp, rights, ec);
    fs::rename(tmp, target, ec);
    if (ec) throw std::runtime_error("cannot write " + path + ": " + ec.message());
  } catch (...) {
    fs::remove(tmp, ec);
    throw;
  }
}

}  // namespace vx
