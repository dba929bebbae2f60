#include "hosts/station/station.h"

#include <algorithm>

#include "device/commands.h"
#include "device/numeric.h"
#include "hosts/station/page_state.h"

namespace vx {

namespace {

// Who answers when nobody watches the station: nothing is asked of anyone, so nothing goes on.
class Unwatched : public StationUi {
 public:
  bool Ask(Question, const std::string&, const std::vector<std::string>&) override { return false; }
  void Warn(const std::string&) override {}
  void RunStarts(const RunKind&) override {}
  void RunEnds() override {}
  void Show(const Outcome&) override {}
};

// Each check of the limits the unit failed: "System voltage 1 (at most 0)".
std::vector<std::string> BeyondLimits(const Json& verdict) {
  std::vector<std::string> out;
  if (!verdict.is_object()) return out;
  for (const auto& c : verdict["checks"]) {
    if (!c["passed"].get<bool>()) {
      out.push_back(c["reading"].get<std::string>() + " " + c["residual"].dump() + " (at most " +
                    FormatDouble(c["limit"].get<double>()) + ")");
    }
  }
  return out;
}

}  // namespace

Station::Station(Platform& platform, InterruptRequest& interrupt, StationUi* ui)
    : platform_(platform),
      interrupt_(interrupt),
      ui_(ui),
      device_(platform, interrupt),
      control_(platform, device_) {
  static Unwatched unwatched;
  if (!ui_) ui_ = &unwatched;
  device_.Listen([this](const BusEvent&) { saved_ = false; });
}

void Station::SetReferenceSource(const std::string& label, const std::string& text, Json source) {
  source["text"] = text;
  sources_[label] = std::move(source);
}

std::vector<std::string> Station::Objections(const RunKind& kind) {
  if (!control_.loaded() || kind.trigger.empty()) return {};
  FormModel& f = control_.form();
  const auto keys = ReferenceKeysFor(f, kind);
  if (std::none_of(keys.begin(), keys.end(),
                   [](const std::string& k) { return !records::RowOfBox(k)->measured.empty(); })) {
    return {};  // a run that takes no reference: nothing to check, no scan needed
  }
  f.Tick("tmrScan");
  std::vector<std::string> out = Untyped(f, kind, given_);
  for (std::string& s : Implausible(f, kind, guard))
    out.push_back(std::move(s));
  return out;
}

void Station::Show() {
  control_.Show(properties);
  if (!device_.is_open()) return;
  std::uint8_t hi = 0, lo = 0;
  if (device_.direct().ReadSMBusWord(cmd::kCalModeSignature, hi, lo, properties.target_address) ==
          0 &&
      hi == cmd::kSigHi && lo == cmd::kSigLo) {
    ui_->Warn(
        "the device is in calibration mode, as a run that did not end leaves it (its FETs may be "
        "on); a calibration of the temperature, the current or the CC offset takes it out");
  }
}

bool Station::SaveState() {
  if (state_file.empty() || !device_.simulator() || saved_) return true;
  try {
    device_.SaveState(state_file);
    saved_ = true;
    save_failed_.clear();
    return true;
  } catch (const std::exception& e) {
    if (save_failed_ != e.what()) ui_->Warn(e.what());
    save_failed_ = e.what();
    return false;
  }
}

RunResult Station::Refused(const RunKind& kind, std::vector<std::string> reasons) {
  RunResult result;
  result.outcome.run = kind.outcome;
  result.outcome.verdict = "refused";
  result.outcome.started = false;
  result.outcome.reasons = std::move(reasons);
  ui_->Show(result.outcome);
  return result;
}

RunResult Station::Run(const RunKind& kind, const std::function<void()>& act,
                       const std::function<bool()>& done, const std::function<Json()>& extra) {
  RunResult result;
  Outcome& o = result.outcome;
  o.run = kind.outcome;
  if (interrupt_.requested()) {  // stopped before the run began: nothing of it starts
    o.verdict = "interrupted";
    o.started = false;
    o.account = device_.account().Summary();
    return result;
  }
  FormModel* page = control_.loaded() ? &control_.form() : nullptr;
  RunRecorder recorder(info, device_.direct(), properties.target_address, page);
  recorder.Begin(kind, device_.Name(), properties.target_info);
  for (auto& ref : recorder.record().references) {  // what a meter gave, if still unchanged
    auto it = sources_.find(ref.label);
    if (it != sources_.end() && it->second["text"] == ref.value) ref.source = it->second;
  }
  recorder.StartTrail();
  const bool stopped_before = interrupt_.requested();  // while the record was being started
  // A host method shows the done mark without hiding it first; the run starts from none.
  if (page && kind.method) page->At(std::string(kind.done_mark)).SetVisible(false);
  const std::size_t first_message = messages_.size();
  DeviceAccount& account = device_.account();
  account.Restart();
  ui_->RunStarts(kind);
  try {
    if (stopped_before) {
      // nothing of the run starts
    } else if (act) {
      act();
    } else if (kind.method) {
      result.returned = (control_.cal().*kind.method)();
    } else if (page && !kind.trigger.empty()) {
      page->Click(std::string(kind.trigger));
    }
  } catch (const Interrupted&) {
    // A host's own run stopped at the end of one of its waits: the record says what was done.
  }
  ui_->RunEnds();
  const bool marked = page && !kind.done_mark.empty();
  bool interrupted = interrupt_.raised() || stopped_before;
  if (!interrupted) {
    o.done = marked ? page->At(std::string(kind.done_mark)).visible() : done && done();
    // A host's own run that saw the stop before its next step and left the rest undone.
    interrupted = !marked && !o.done && interrupt_.requested();
  }
  o.started = !stopped_before;
  o.cut_short = interrupted && o.started;  // the stop came while it ran: the rest was not done
  o.verdict = OutcomeOf(o.done, interrupted, account);
  recorder.Observe();
  records::RunRecord& r = recorder.record();
  // The page refused the run before the device was touched: it calibrated nothing.
  if (o.verdict == "refused") r.residuals = nullptr;
  if (extra) r.extra = extra();
  if (o.done && limits) {
    r.limits = Judge(*limits, r.residuals);
    if (!r.limits["passed"].get<bool>()) o.verdict = "out of limits";
  }
  const records::Kept kept = recorder.Store(
      o.verdict, {messages_.begin() + static_cast<std::ptrdiff_t>(first_message), messages_.end()});
  if (!kept.stored()) {
    o.unstored = kept.file.empty() ? "standard error" : kept.file;
    o.warnings.push_back(kept.warning);
    ui_->Warn(kept.warning);
  }
  o.record = r.id;
  o.limits = r.limits;
  o.residuals = r.residuals;
  o.readings = r.readings_after;
  o.beyond_limits = BeyondLimits(r.limits);
  if (!o.done) o.took_effect = TookEffect(r, account);
  if (kind.method && !o.done && !interrupted) {
    o.returned = std::string(kind.trigger) + " returned " + std::to_string(result.returned);
  }
  o.account = account.Summary();
  result.record = r;
  return result;
}

}  // namespace vx
