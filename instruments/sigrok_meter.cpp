// The meter through libsigrok's C++ bindings: scan with the given driver options, open, and run
// an acquisition session in a thread until the meter is closed or stops. libsigrok waits on a
// network meter without a limit of its own (a blocking recv()); every wait here has one: the
// thread does the talking, the caller waits within its limit, and a meter that does not answer
// is cut off by shutting its sockets down, or at worst left behind with all it uses.
#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <libsigrokcxx/libsigrokcxx.hpp>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include "instruments/meter.h"
#include "platform/outside_wait.h"

namespace vx::instruments {

namespace {

// The waits of the program that loaded this module: its stops end a wait on the meter.
OutsideWait* g_outside = nullptr;
OutsideWait& HostWait() {
  return *g_outside;
}

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string UnitText(const sigrok::Unit* u) {
  if (u == sigrok::Unit::VOLT) return "V";
  if (u == sigrok::Unit::AMPERE) return "A";
  if (u == sigrok::Unit::CELSIUS) return "°C";
  if (u == sigrok::Unit::OHM) return "Ohm";
  return u ? Lower(u->name()) : "";
}

// "scpi-dmm:conn=tcp-raw/127.0.0.1/5025" -> driver and its options.
void Parse(const std::string& address, std::string& driver,
           std::map<std::string, std::string>& options) {
  auto colon = address.find(':');
  driver = address.substr(0, colon);
  std::string rest = colon == std::string::npos ? "" : address.substr(colon + 1);
  while (!rest.empty()) {
    auto comma = rest.find(':');
    std::string item = rest.substr(0, comma);
    auto eq = item.find('=');
    if (eq == std::string::npos)
      throw MeterError("\"" + item + "\" in " + address + " is no KEY=VALUE");
    options[item.substr(0, eq)] = item.substr(eq + 1);
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
  }
}

// The program's sockets now, as (descriptor, inode).
std::set<std::pair<int, ino_t>> Sockets() {
  std::set<std::pair<int, ino_t>> out;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d)) {
      struct stat st {};
      const int fd = std::atoi(e->d_name);
      if (e->d_name[0] != '.' && fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode)) {
        out.insert({fd, st.st_ino});
      }
    }
    closedir(d);
  }
  return out;
}

// What the meter's thread and the caller share. Held by both, so that a thread left behind
// with a meter that never answers keeps all it uses.
struct Core {
  std::string address;
  Identity id;
  std::shared_ptr<sigrok::Context> context;
  std::shared_ptr<sigrok::HardwareDevice> device;
  std::shared_ptr<sigrok::Session> session;
  std::mutex m;
  std::condition_variable cv;
  bool ready = false;     // the meter is open and its session runs
  std::string failure;    // why it could not be opened
  bool ended = false;     // the session ended (the meter went away)
  bool finished = false;  // the thread is done
  std::deque<Reading> queue;
  int skip = 0;
  std::set<std::pair<int, ino_t>> sockets;  // the meter's own, once it is open

  void Feed(const std::shared_ptr<sigrok::Packet>& p);
  void Run(std::set<std::pair<int, ino_t>> before);
};

void Core::Feed(const std::shared_ptr<sigrok::Packet>& p) {
  if (p->type() != sigrok::PacketType::ANALOG) return;
  auto analog = std::dynamic_pointer_cast<sigrok::Analog>(p->payload());
  if (!analog || analog->num_samples() == 0) return;
  Reading r;
  if (analog->unitsize() == sizeof(double) && analog->is_float()) {
    r.value = *static_cast<const double*>(analog->data_pointer());
  } else {
    std::vector<float> f(analog->num_samples());
    analog->get_data_as_float(f.data());
    r.value = static_cast<double>(f[0]);
  }
  r.quantity = analog->mq() ? Lower(analog->mq()->name()) : "";
  for (const sigrok::QuantityFlag* f : analog->mq_flags()) {
    if (f == sigrok::QuantityFlag::AC || f == sigrok::QuantityFlag::DC) r.flags = f->name();
  }
  r.unit = UnitText(analog->unit());
  r.overload = !std::isfinite(r.value);
  std::lock_guard<std::mutex> lock(m);
  if (skip > 0) {
    --skip;
    return;
  }
  queue.push_back(r);
  if (queue.size() > 1000) queue.pop_front();
  cv.notify_all();
}

void Core::Run(std::set<std::pair<int, ino_t>> before) {
  // The session lives in this thread with a main context of its own: a host's event loop (Qt's
  // runs on GLib's default context) must never dispatch the meter's sources.
  GMainContext* own = g_main_context_new();
  g_main_context_push_thread_default(own);
  try {
    std::map<std::string, std::string> options;
    Parse(address, id.driver, options);
    context = sigrok::Context::create();
    context->set_log_level(sigrok::LogLevel::NONE);
    auto drivers = context->drivers();
    auto d = drivers.find(id.driver);
    if (d == drivers.end()) throw MeterError("libsigrok has no driver \"" + id.driver + "\"");
    std::map<const sigrok::ConfigKey*, Glib::VariantBase> scan;
    for (const auto& [key, value] : options) {
      const sigrok::ConfigKey* k = sigrok::ConfigKey::get_by_identifier(key);
      scan[k] = k->parse_string(value);
    }
    auto found = d->second->scan(scan);
    if (found.empty()) throw MeterError("no meter answers at " + address);
    device = found.front();
    id.vendor = device->vendor();
    id.model = device->model();
    id.serial = device->serial_number();
    id.version = device->version();
    device->open();
    auto s = context->create_session();
    {
      std::lock_guard<std::mutex> lock(m);
      session = s;
    }
    session->add_device(device);
    session->add_datafeed_callback(
        [this](std::shared_ptr<sigrok::Device>, std::shared_ptr<sigrok::Packet> p) { Feed(p); });
    session->set_stopped_callback([this] {
      std::lock_guard<std::mutex> lock(m);
      ended = true;
      cv.notify_all();
    });
    session->start();
    {
      std::lock_guard<std::mutex> lock(m);
      auto now = Sockets();
      for (const auto& s : now) {
        if (!before.count(s)) sockets.insert(s);
      }
      ready = true;
      cv.notify_all();
    }
    session->run();
  } catch (const MeterError& e) {
    std::lock_guard<std::mutex> lock(m);
    failure = e.what();
  } catch (const std::exception& e) {
    std::lock_guard<std::mutex> lock(m);
    failure = "the meter " + address + " cannot be opened: " + e.what();
  }
  try {
    if (device && ready) device->close();
  } catch (...) {
  }
  g_main_context_pop_thread_default(own);
  g_main_context_unref(own);
  std::lock_guard<std::mutex> lock(m);
  finished = true;
  ended = true;
  cv.notify_all();
}

std::atomic<int> g_left_behind{0};

// Cuts a meter that does not answer off: its sockets are shut down (a blocked recv() returns),
// then the thread gets a second to end; else it is left behind, keeping the core it holds.
void LetGo(const std::shared_ptr<Core>& core, std::thread& thread,
           const std::set<std::pair<int, ino_t>>& before) {
  auto finished = [&] {
    std::lock_guard<std::mutex> lock(core->m);
    return core->finished;
  };
  auto wait = [&](std::chrono::milliseconds d) {
    std::unique_lock<std::mutex> lock(core->m);
    core->cv.wait_for(lock, d, [&] { return core->finished; });
  };
  bool opened = false;
  {
    std::lock_guard<std::mutex> lock(core->m);
    opened = core->ready;
  }
  // A running session was asked to stop and gets half a second for it; a meter still being
  // opened is not answering at all.
  if (opened) wait(std::chrono::milliseconds(500));
  if (!finished()) {
    std::set<std::pair<int, ino_t>> mine;
    {
      std::lock_guard<std::mutex> lock(core->m);
      mine = core->sockets;
    }
    if (mine.empty()) {  // still opening: the sockets made since it began are its own
      for (const auto& s : Sockets()) {
        if (!before.count(s)) mine.insert(s);
      }
    }
    for (const auto& [fd, inode] : mine) {
      struct stat st {};
      if (fstat(fd, &st) == 0 && st.st_ino == inode) ::shutdown(fd, SHUT_RDWR);
    }
    wait(std::chrono::milliseconds(300));
  }
  if (finished()) {
    thread.join();
  } else {
    thread.detach();  // it ends on its own once libsigrok sees the closed socket
    g_left_behind.fetch_add(1);
  }
}

class SigrokMeter : public Meter {
 public:
  SigrokMeter(const std::string& address, std::chrono::milliseconds limit)
      : core_(std::make_shared<Core>()) {
    // A meter whose connection drops must end a reference step, not the program: writes to a
    // closed connection fail instead of raising SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    core_->address = address;
    core_->id.address = address;
    before_ = Sockets();
    thread_ = std::thread([core = core_, before = before_] { core->Run(before); });
    const int mark = HostWait().Mark();
    const bool settled = HostWait().Until(
        [&] {
          std::lock_guard<std::mutex> lock(core_->m);
          return core_->ready || core_->finished;
        },
        std::chrono::steady_clock::now() + limit);
    std::string failure;
    {
      std::lock_guard<std::mutex> lock(core_->m);
      failure = core_->failure;
    }
    if (settled && failure.empty()) return;
    if (failure.empty()) {
      failure = HostWait().StoppedSince(mark)
                    ? "stopped while waiting for the meter at " + address
                    : "no answer from the meter at " + address + " within " +
                          std::to_string(limit.count() / 1000) + " s";
    }
    Stop();
    throw MeterError(failure);
  }

  ~SigrokMeter() override { Stop(); }

  const Identity& identity() const override { return core_->id; }

  Reading Next(std::chrono::milliseconds timeout) override {
    const int mark = HostWait().Mark();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> lock(core_->m);
    while (core_->queue.empty() && !core_->ended) {
      if (HostWait().StoppedSince(mark)) throw MeterError("stopped while waiting for the meter");
      if (std::chrono::steady_clock::now() >= deadline) {
        throw MeterError("the meter gave no reading for " + std::to_string(timeout.count() / 1000) +
                         " s");
      }
      core_->cv.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (core_->queue.empty()) throw MeterError("the meter stopped answering (disconnected?)");
    Reading r = core_->queue.front();
    core_->queue.pop_front();
    return r;
  }

  std::optional<Reading> Poll() override {
    std::lock_guard<std::mutex> lock(core_->m);
    if (core_->queue.empty()) {
      if (core_->ended) throw MeterError("the meter stopped answering (disconnected?)");
      return std::nullopt;
    }
    Reading r = core_->queue.front();
    core_->queue.pop_front();
    return r;
  }

  void Discard() override {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->queue.clear();
    core_->skip = 1;  // the reading on its way was asked for before the probes moved
  }

 private:
  void Stop() {
    if (!thread_.joinable()) return;
    std::shared_ptr<sigrok::Session> session;
    {
      std::lock_guard<std::mutex> lock(core_->m);
      session = core_->session;
    }
    try {
      if (session && session->is_running()) session->stop();
    } catch (...) {
    }
    LetGo(core_, thread_, before_);
  }

  std::shared_ptr<Core> core_;
  std::set<std::pair<int, ino_t>> before_;
  std::thread thread_;
};

}  // namespace

}  // namespace vx::instruments

// The module's two entry points (meter_module.cpp). Nothing is thrown out of them: a failure to
// open is said in `error`.
extern "C" __attribute__((visibility("default"))) vx::instruments::Meter* vx_meter_open(
    const std::string& address, long long limit_ms, vx::OutsideWait& outside,
    std::string& error) noexcept {
  vx::instruments::g_outside = &outside;
  try {
    return new vx::instruments::SigrokMeter(address, std::chrono::milliseconds(limit_ms));
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "the meter at " + address + " could not be opened";
  }
  return nullptr;
}

extern "C" __attribute__((visibility("default"))) int vx_meters_left_behind() noexcept {
  return vx::instruments::g_left_behind.load();
}
