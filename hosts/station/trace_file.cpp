#include "hosts/station/trace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "json/json.h"
#include "platform/output_file.h"

namespace vx {

namespace {

Json TraceLine(std::uint64_t seq, double t_ms, const BusEvent& e) {
  Json j;
  j["seq"] = seq;
  j["t_ms"] = t_ms;
  j["method"] = NameOf(e.method);
  if (e.addr >= 0) j["addr"] = e.addr;
  if (e.cmd >= 0) j["cmd"] = e.cmd;
  if (e.ms >= 0) j["ms"] = e.ms;
  if (!e.bytes.empty()) j["bytes"] = e.bytes;
  j["status"] = e.status;
  if (e.threw) j["interrupted"] = true;
  return j;
}

}  // namespace

TraceFile::~TraceFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool TraceFile::Open(const std::string& path, Connection& device, Platform& platform,
                     std::string& error, std::function<void()> on_failure) {
  const OutputPath out = OutputAt(path);
  if (out.kind == OutputPath::kRefused) {
    error = "the trace: " + out.why;
    return false;
  }
  regular_ = out.kind == OutputPath::kFile;
  fd_ = out.path == "-" ? ::dup(STDOUT_FILENO)
                        : ::open(out.path.c_str(),
                                 O_WRONLY | O_CLOEXEC | (regular_ ? O_CREAT | O_TRUNC : 0), 0666);
  if (fd_ < 0) {
    error = "cannot write the trace " + path;
    return false;
  }
  on_failure_ = std::move(on_failure);
  const TimePoint origin = platform.Now();
  device.Listen([this, origin](const BusEvent& e) {
    const double t = std::chrono::duration<double, std::milli>(e.start - origin).count();
    Write(DumpJson(TraceLine(++seq_, t, e)) + "\n");
  });
  return true;
}

void TraceFile::Write(const std::string& line) {
  if (fd_ < 0 || failed_) return;
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      if (regular_ && ::ftruncate(fd_, size_) != 0) {
        // nothing more to do: the failure is said below
      }
      failed_ = true;
      if (on_failure_) on_failure_();
      return;
    }
    done += static_cast<std::size_t>(n);
  }
  size_ += static_cast<off_t>(line.size());
}

}  // namespace vx
