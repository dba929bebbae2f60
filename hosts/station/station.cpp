#include "hosts/station/station.h"

namespace vx {

void Station::SetReferenceSource(const std::string& label, const std::string& text,
                                 records::Json source) {
  source["text"] = text;
  sources_[label] = std::move(source);
}

std::vector<std::string> Station::Objections(const RunKind& kind) {
  if (!control_.loaded() || kind.trigger.empty()) return {};
  FormModel& f = control_.form();
  f.Tick("tmrScan");
  std::vector<std::string> out = Untyped(f, kind, given_);
  for (std::string& s : Implausible(f, kind, guard))
    out.push_back(std::move(s));
  return out;
}

RunResult Station::Run(const RunKind& kind, const std::function<void()>& act,
                       const std::function<bool()>& done,
                       const std::function<records::Json()>& extra) {
  RunResult result;
  if (interrupt_.requested()) {  // stopped before the run began: nothing of it starts
    result.interrupted = true;
    result.outcome = "interrupted";
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
  device_.account().Restart();
  if (on_run_start) on_run_start(kind);
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
  if (on_run_end) on_run_end();
  const bool marked = page && !kind.done_mark.empty();
  result.interrupted = interrupt_.raised() || stopped_before;
  if (!result.interrupted) {
    result.done = marked ? page->At(std::string(kind.done_mark)).visible() : done && done();
    // A host's own run that saw the stop before its next step and left the rest undone.
    result.interrupted = !marked && !result.done && interrupt_.requested();
  }
  result.outcome = OutcomeOf(result.done, result.interrupted, device_.account());
  recorder.Observe();
  records::RunRecord& r = recorder.record();
  if (extra) r.extra = extra();
  if (result.done && limits) {
    r.limits = Judge(*limits, r.residuals);
    if (!r.limits["passed"].get<bool>()) result.outcome = "out of limits";
  }
  result.store_warning = recorder.Store(
      result.outcome,
      {messages_.begin() + static_cast<std::ptrdiff_t>(first_message), messages_.end()});
  result.record = r;
  return result;
}

}  // namespace vx
