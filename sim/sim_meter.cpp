#include "sim/sim_meter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <map>
#include <memory>

namespace vx::sim {

int ListenOnLoopback(int backlog, int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(fd, backlog);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

SimMeter::SimMeter() {
  listen_fd_ = ListenOnLoopback(4, port_);
  thread_ = std::thread([this] { Serve(); });
}

SimMeter::~SimMeter() {
  stop_ = true;
  thread_.join();
  close(listen_fd_);
}

void SimMeter::SetFunction(const std::string& f) {
  std::lock_guard<std::mutex> lock(m_);
  function_ = f;
}

void SimMeter::SetReadings(std::function<double()> next) {
  std::lock_guard<std::mutex> lock(m_);
  next_ = std::move(next);
}

void SimMeter::Serve() {
  while (!stop_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    int fd = accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) continue;
    Talk(fd);  // one client at a time, as a bench meter serves them
    close(fd);
  }
}

void SimMeter::Talk(int fd) {
  std::string buffer;
  while (!stop_) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char chunk[512];
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) return;
    buffer.append(chunk, static_cast<std::size_t>(n));
    for (auto nl = buffer.find('\n'); nl != std::string::npos; nl = buffer.find('\n')) {
      std::string cmd = buffer.substr(0, nl);
      buffer.erase(0, nl + 1);
      while (!cmd.empty() && (cmd.back() == '\r' || cmd.back() == ' '))
        cmd.pop_back();
      if (cmd.find('?') != std::string::npos && drop_.exchange(false)) return;
      if (silent_after_ >= 0 && reads_ >= silent_after_) continue;  // hears, answers nothing
      std::string answer;
      if (cmd == "*IDN?") {
        answer = "Agilent Technologies,34405A,MY53100042,1.0.0";
      } else if (cmd == "*OPC?") {
        answer = "1";
      } else if (cmd == "CONF?") {
        std::lock_guard<std::mutex> lock(m_);
        answer = "\"" + function_ + " +1.000000E+01,+1.000000E-06\"";
      } else if (cmd == "READ?" || cmd == "FETCH?") {
        double v = 0;
        {
          std::lock_guard<std::mutex> lock(m_);
          v = next_();
        }
        ++reads_;
        // As a meter sends it, "+2.05030000E+00", whatever the test's own locale.
        char text[40];
        auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::scientific, 8);
        answer = (v >= 0 ? "+" : "") + std::string(text, r.ptr);
        auto e = answer.find('e');
        answer[e] = 'E';
      } else {
        continue;  // settings and commands without an answer
      }
      answer += "\n";
      if (send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) < 0) return;
    }
  }
}

std::function<double()> FixtureReadings(std::string position_file, const Truth& truth, int swing,
                                        double error, std::string state_file) {
  struct Follow {
    std::string last;
    int since_move = 0;
    Truth truth;
  };
  auto follow = std::make_shared<Follow>();
  follow->truth = truth;
  return [position_file = std::move(position_file), state_file = std::move(state_file), swing,
          error, follow] {
    static const std::map<std::string, int> kTaps = {{"Capacitor 1", 1},
                                                     {"Capacitor 1 + 2", 2},
                                                     {"Capacitor 1 + 2 + 3", 3},
                                                     {"Capacitor 1 through 4", 4},
                                                     {"Capacitor 1 through 5", 5}};
    std::string at;
    std::getline(std::ifstream(position_file), at);
    follow->since_move = at == follow->last ? follow->since_move + 1 : 0;
    follow->last = at;
    if (follow->since_move == 0 && !state_file.empty()) {
      try {
        follow->truth = LoadStateFile(state_file).truth;
      } catch (const std::exception&) {  // a unit being written: the last one's truth
      }
    }
    const Truth& now = follow->truth;
    double mV = at == "actual system voltage" ? now.system_mV : 0;
    auto tap = kTaps.find(at);
    for (int i = 0; tap != kTaps.end() && i < tap->second; ++i)
      mV += now.cell_mV[static_cast<std::size_t>(i)];
    const int n = follow->since_move;
    const double settling = n < swing ? 3.0 / (n + 1) : 0.0;
    return (mV * (1 + error) + (n % 2 ? settling : -settling)) / 1000;
  };
}

}  // namespace vx::sim
