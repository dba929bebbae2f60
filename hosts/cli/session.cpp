#include "hosts/cli/session.h"

#include <unistd.h>

#include <iostream>
#include <nlohmann/json.hpp>

#include "hosts/cli/json_out.h"

#include "adapters/linux_i2c_adapter.h"
#include "hosts/cli/page_commands.h"
#include "hosts/cli/tracing_adapter.h"
#include "hosts/common/simple_container.h"
#include "sim/sim_device.h"
#include "sim/sim_state.h"

namespace vx::cli {

namespace {

const char* ButtonsName(Buttons b) {
  return b == Buttons::kOk ? "ok" : "okcancel";
}

}  // namespace

Session::Session(Options o) : o_(std::move(o)), platform_(o_.fast) {
  platform_.shown = [this](const std::string& text, const std::string& caption, Buttons b,
                           Answer a) {
    if (progress_line_open_) {
      std::cerr << "\n";
      progress_line_open_ = false;
    }
    if (o_.json) {
      nlohmann::json j{{"message", text},
                       {"caption", caption.empty() ? "vx58420Cal" : caption},
                       {"buttons", ButtonsName(b)},
                       {"answer", a == Answer::kOk ? "ok" : "cancel"}};
      std::cout << Dump(j) << "\n";
    } else {
      std::cout << "[" << (caption.empty() ? "vx58420Cal" : caption) << "] " << text;
      if (b == Buttons::kOkCancel) std::cout << "  -> " << (a == Answer::kOk ? "OK" : "Cancel");
      std::cout << "\n";
    }
    std::cout.flush();
  };
  platform_.confirm = [this](const std::string&) {
    if (o_.yes) return Answer::kOk;
    if (isatty(0) && !o_.json) {
      std::cout << "OK to go on? [y/N] " << std::flush;
      std::string line;
      std::getline(std::cin, line);
      return (!line.empty() && (line[0] == 'y' || line[0] == 'Y')) ? Answer::kOk : Answer::kCancel;
    }
    return Answer::kCancel;  // nobody to ask: the safe answer
  };
  progress_on_terminal_ = !o_.json && isatty(2);
}

Session::~Session() {
  if (cal_) cal_->Release();
  cal_ = nullptr;
}

int Session::OpenDevice() {
  if (o_.use_sim) {
    sim::SimState state = sim::DefaultState(5);
    if (!o_.sim_state.empty()) {
      try {
        state = sim::LoadStateFile(o_.sim_state);
      } catch (const std::exception& e) {
        std::cerr << "vx58420cal: " << e.what() << "\n";
        return kExitFile;
      }
    }
    sim_ = std::make_shared<sim::SimDevice>(platform_, std::move(state));
    adapter_ = sim_;
  } else {
    std::string error;
    auto bus = LinuxI2cAdapter::Open(o_.bus, o_.address7, o_.pec, platform_, error);
    if (!bus) {
      std::cerr << "vx58420cal: " << error << "\n";
      return kExitSetup;
    }
    adapter_ = std::move(bus);
  }
  if (!o_.trace.empty()) {
    trace_.open(o_.trace, std::ios::trunc);
    if (!trace_) {
      std::cerr << "vx58420cal: cannot write the trace " << o_.trace << "\n";
      return kExitFile;
    }
    adapter_ = std::make_shared<TracingAdapter>(adapter_, trace_, platform_);
  }
  return kExitOk;
}

std::shared_ptr<SMBusAdapter> Session::GetObjectProperty(const std::string& name) {
  return name == "Parent" ? adapter_ : nullptr;
}

bool Session::ShowControl() {
  std::string error;
  if (o_.make_cal) {
    cal_ = o_.make_cal();
    return cal_ && (Show(), true);
  }
  std::string path = o_.plugin.empty() ? DefaultPluginPath() : o_.plugin;
  plugin_ = Plugin::Open(path, error);
  if (!plugin_ && o_.plugin.empty()) plugin_ = Plugin::Open("", error);  // the registered one
  if (!plugin_) {
    std::cerr << "vx58420cal: " << error << "\n";
    return false;
  }
  cal_ = plugin_->CreateCal(error);
  if (!cal_) {
    std::cerr << "vx58420cal: " << error << "\n";
    return false;
  }
  Show();
  return true;
}

void Session::Show() {
  PlaceAndShow(*cal_, *this, {target_address(), o_.target_info, o_.config_dir});
  cal_->Form().AddObserver([this](const Control& c) { ShowProgress(c); });
}

void Session::ShowProgress(const Control& c) {
  if (!progress_on_terminal_ || c.kind != Kind::kProgressBar || !c.visible()) return;
  int v = std::clamp(c.value(), 0, 100);
  std::string bar(static_cast<std::size_t>(v / 4), '#');
  bar.resize(25, ' ');
  std::cerr << "\r" << c.name << " [" << bar << "] " << v << "%" << std::flush;
  progress_line_open_ = v < 100;
  if (v == 100) std::cerr << "\n";
}

bool Session::Finish() {
  if (progress_line_open_) std::cerr << "\n";
  if (!o_.save_state.empty()) {
    if (!sim_) {
      std::cerr << "vx58420cal: --save-state needs the simulator\n";
      return false;
    }
    try {
      sim::SaveStateFile(sim_->state(), o_.save_state);
    } catch (const std::exception& e) {
      std::cerr << "vx58420cal: " << e.what() << "\n";
      return false;
    }
  }
  return true;
}

}  // namespace vx::cli
