#include "records/writer_turn.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/outside_wait.h"
#include "records/store.h"

namespace vx::records {

namespace {

constexpr std::chrono::milliseconds kSlice{100};  // how soon a stop or the limit is seen

struct Waiter {
  int fd = -1;
  int result = -1;
  int error = 0;
};

// Waits in the kernel's queue of the file's lock. Only C calls here: the thread may be
// cancelled inside fcntl, which unwinds no C++ frame of ours. Not instrumented by the address
// sanitizer: a frame that cancelling skips would leave its guard zones behind on the stack.
__attribute__((no_sanitize("address"))) void* WaitInQueue(void* arg) {
  auto* w = static_cast<Waiter*>(arg);
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  w->result = ::fcntl(w->fd, F_OFD_SETLKW, &fl);
  w->error = errno;
  return nullptr;
}

bool TryLock(int fd, short type, int& error) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  const bool ok = ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
  error = ok ? 0 : errno;
  return ok;
}

timespec MonotonicIn(std::chrono::nanoseconds d) {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  const auto ns = static_cast<long long>(t.tv_nsec) + d.count();
  t.tv_sec += static_cast<time_t>(ns / 1000000000);
  t.tv_nsec = static_cast<long>(ns % 1000000000);
  return t;
}

}  // namespace

WriterTurns::~WriterTurns() {
  if (fd_ >= 0) ::close(fd_);
}

void WriterTurns::Give() {
  int error = 0;
  if (held_) TryLock(fd_, F_UNLCK, error);
  held_ = false;
}

void WriterTurns::Take(std::chrono::steady_clock::time_point deadline, int mark,
                       const std::string& store) {
  if (!opened_) {
    opened_ = true;
    // Not followed if it is a link, and never waited on if it is a pipe: only a file of its
    // own is a turn.
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat st {};
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  if (fd_ < 0) return;
  int error = 0;
  for (;;) {
    if (TryLock(fd_, F_WRLCK, error)) break;
    if (error != EAGAIN && error != EACCES) return;  // no locks here: SQLite's alone
    // Signals go to the program's other threads, so that only a cancel ends the wait early.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    Waiter w{fd_};
    pthread_t t{};
    const int made = pthread_create(&t, nullptr, &WaitInQueue, &w);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (made != 0) return;
    auto give_up = [&](const std::string& why) {
      pthread_cancel(t);
      pthread_join(t, nullptr);
      TryLock(fd_, F_UNLCK, error);  // had it come meanwhile
      throw StoreError("the records database " + store + ": " + why);
    };
    for (;;) {
      const auto left = deadline - std::chrono::steady_clock::now();
      const timespec until = MonotonicIn(
          std::clamp<std::chrono::nanoseconds>(left, std::chrono::nanoseconds::zero(), kSlice));
      if (pthread_clockjoin_np(t, nullptr, CLOCK_MONOTONIC, &until) == 0) break;
      if (Outside().StoppedSince(mark)) give_up("stopped while another station was writing");
      if (std::chrono::steady_clock::now() >= deadline) {
        give_up("another station did not finish writing within " +
                std::to_string(WaitLimit().count() / 1000) + " s");
      }
      if (Outside().pause) Outside().pause(Duration::zero());  // a window's events go on
    }
    if (w.result == 0) break;
    if (w.error != EINTR) return;
  }
  held_ = true;
}

}  // namespace vx::records
