// The meter through libsigrok's C++ bindings: scan with the given driver options, open, and run
// an acquisition session in a thread until the meter is closed or stops.
#include <libsigrokcxx/libsigrokcxx.hpp>

#include <condition_variable>
#include <csignal>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "instruments/meter.h"

namespace vx::instruments {

namespace {

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

class SigrokMeter : public Meter {
 public:
  explicit SigrokMeter(const std::string& address) {
    // A meter whose connection drops must end a reference step, not the program: writes to a
    // closed connection fail instead of raising SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    id_.address = address;
    std::map<std::string, std::string> options;
    Parse(address, id_.driver, options);
    context_ = sigrok::Context::create();
    context_->set_log_level(sigrok::LogLevel::NONE);
    auto drivers = context_->drivers();
    auto d = drivers.find(id_.driver);
    if (d == drivers.end()) throw MeterError("libsigrok has no driver \"" + id_.driver + "\"");
    std::map<const sigrok::ConfigKey*, Glib::VariantBase> scan;
    for (const auto& [key, value] : options) {
      const sigrok::ConfigKey* k = sigrok::ConfigKey::get_by_identifier(key);
      scan[k] = k->parse_string(value);
    }
    auto found = d->second->scan(scan);
    if (found.empty()) throw MeterError("no meter answers at " + address);
    device_ = found.front();
    id_.vendor = device_->vendor();
    id_.model = device_->model();
    id_.serial = device_->serial_number();
    id_.version = device_->version();
    device_->open();
    // The session lives in its own thread with a main context of its own: a host's event loop
    // (Qt's runs on GLib's default context) must never dispatch the meter's sources.
    std::promise<void> started;
    auto ready = started.get_future();
    thread_ = std::thread([this, &started] {
      GMainContext* own = g_main_context_new();
      g_main_context_push_thread_default(own);
      try {
        session_ = context_->create_session();
        session_->add_device(device_);
        session_->add_datafeed_callback([this](std::shared_ptr<sigrok::Device>,
                                               std::shared_ptr<sigrok::Packet> p) { Feed(p); });
        session_->set_stopped_callback([this] { Ended(); });
        session_->start();
        started.set_value();
        session_->run();
      } catch (...) {
        started.set_exception(std::current_exception());
      }
      g_main_context_pop_thread_default(own);
      g_main_context_unref(own);
    });
    try {
      ready.get();
    } catch (...) {
      thread_.join();
      throw;
    }
  }

  ~SigrokMeter() override {
    try {
      if (session_ && session_->is_running()) session_->stop();
    } catch (...) {
    }
    if (thread_.joinable()) thread_.join();
    try {
      device_->close();
    } catch (...) {
    }
  }

  const Identity& identity() const override { return id_; }

  Reading Next(std::chrono::milliseconds timeout) override {
    std::unique_lock<std::mutex> lock(m_);
    if (!cv_.wait_for(lock, timeout, [this] { return !queue_.empty() || ended_; })) {
      throw MeterError("the meter gave no reading for " + std::to_string(timeout.count() / 1000) +
                       " s");
    }
    if (queue_.empty()) throw MeterError("the meter stopped answering (disconnected?)");
    Reading r = queue_.front();
    queue_.pop_front();
    return r;
  }

  std::optional<Reading> Poll() override {
    std::lock_guard<std::mutex> lock(m_);
    if (queue_.empty()) {
      if (ended_) throw MeterError("the meter stopped answering (disconnected?)");
      return std::nullopt;
    }
    Reading r = queue_.front();
    queue_.pop_front();
    return r;
  }

  void Discard() override {
    std::lock_guard<std::mutex> lock(m_);
    queue_.clear();
    skip_ = 1;  // the reading on its way was asked for before the probes moved
  }

 private:
  void Feed(const std::shared_ptr<sigrok::Packet>& p) {
    if (p->type() != sigrok::PacketType::ANALOG) return;
    auto analog = std::dynamic_pointer_cast<sigrok::Analog>(p->payload());
    if (!analog || analog->num_samples() == 0) return;
    Reading r;
    r.value = analog->unitsize() == sizeof(double) && analog->is_float()
                  ? *static_cast<const double*>(analog->data_pointer())
                  : [&] {
                      std::vector<float> f(analog->num_samples());
                      analog->get_data_as_float(f.data());
                      return static_cast<double>(f[0]);
                    }();
    r.quantity = analog->mq() ? Lower(analog->mq()->name()) : "";
    for (const sigrok::QuantityFlag* f : analog->mq_flags()) {
      if (f == sigrok::QuantityFlag::AC || f == sigrok::QuantityFlag::DC) r.flags = f->name();
    }
    r.unit = UnitText(analog->unit());
    r.overload = !std::isfinite(r.value);
    std::lock_guard<std::mutex> lock(m_);
    if (skip_ > 0) {
      --skip_;
      return;
    }
    queue_.push_back(r);
    if (queue_.size() > 1000) queue_.pop_front();
    cv_.notify_all();
  }

  void Ended() {
    std::lock_guard<std::mutex> lock(m_);
    ended_ = true;
    cv_.notify_all();
  }

  Identity id_;
  std::shared_ptr<sigrok::Context> context_;
  std::shared_ptr<sigrok::HardwareDevice> device_;
  std::shared_ptr<sigrok::Session> session_;
  std::thread thread_;
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<Reading> queue_;
  bool ended_ = false;
  int skip_ = 0;
};

}  // namespace

records::Json Identity::ToJson() const {
  return {{"address", address}, {"driver", driver}, {"vendor", vendor},
          {"model", model},     {"serial", serial}, {"version", version}};
}

std::unique_ptr<Meter> Meter::Open(const std::string& address) {
  try {
    return std::make_unique<SigrokMeter>(address);
  } catch (const MeterError&) {
    throw;
  } catch (const std::exception& e) {
    throw MeterError("the meter " + address + " cannot be opened: " + e.what());
  }
}

}  // namespace vx::instruments
