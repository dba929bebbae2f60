#include "hosts/station/bus_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "device/numeric.h"
#include "platform/outside_wait.h"

namespace vx {

namespace {

// Open-file-description locks: they belong to this descriptor alone, so that reading the same
// state file or opening the same node elsewhere in the program cannot drop them.
bool TryLock(int fd, short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

}  // namespace

std::string BusLock::Holders(const std::string& path) {
  struct stat target {};
  if (stat(path.c_str(), &target) != 0) return "";
  std::string out;
  DIR* proc = opendir("/proc");
  if (!proc) return "";
  const std::string self = std::to_string(getpid());
  while (dirent* p = readdir(proc)) {
    std::string pid = p->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    std::string fd_dir = "/proc/" + pid + "/fd";
    DIR* fds = opendir(fd_dir.c_str());
    if (!fds) continue;  // another user's process
    bool holds = false;
    while (dirent* f = readdir(fds)) {
      struct stat st {};
      if (f->d_name[0] != '.' && stat((fd_dir + "/" + f->d_name).c_str(), &st) == 0 &&
          st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
        holds = true;
        break;
      }
    }
    closedir(fds);
    if (!holds) continue;
    std::string name;
    std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
    out += (out.empty() ? "" : ", ") + name + " (pid " + pid + ")";
  }
  closedir(proc);
  return out;
}

std::unique_ptr<BusLock> BusLock::Acquire(const std::string& path, std::chrono::milliseconds wait,
                                          std::string& error, bool create,
                                          const std::string& shown) {
  const std::string name = shown.empty() ? path : shown;
  // Always exclusive: whoever holds it may write the device. A lock file is made when missing.
  const short type = F_WRLCK;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
  if (fd < 0) {
    error = "cannot open " + path + " to lock it: " + std::strerror(errno);
    return nullptr;
  }
  int failure = 0;
  const int mark = Outside().Mark();
  const bool locked = Outside().Until(
      [&] {
        if (TryLock(fd, type)) return true;
        failure = errno == EAGAIN || errno == EACCES ? 0 : errno;
        return failure != 0;
      },
      std::chrono::steady_clock::now() + wait);
  if (locked && failure == 0) return std::unique_ptr<BusLock>(new BusLock(fd));
  if (failure != 0) {
    error = "cannot lock " + path + ": " + std::strerror(failure);
  } else if (Outside().StoppedSince(mark)) {
    error = "stopped while waiting for " + name;
  } else {
    std::string who = Holders(path);
    error = name + " is in use by " + (who.empty() ? "another program" : who) + "; waited " +
            FormatDouble(static_cast<double>(wait.count()) / 1000.0) + " s";
  }
  ::close(fd);
  return nullptr;
}

std::string BusLock::LockFileFor(const std::string& state_file) {
  // The file itself, wherever a link to it comes from: two programs on one state file take one
  // lock.
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::weakly_canonical(state_file, ec);
  return (ec ? state_file : real.string()) + ".lock";
}

BusLock::~BusLock() {
  ::close(fd_);  // releases the lock
}

}  // namespace vx
