#include "hosts/analytics/summaries_aside.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace vx {

namespace {

constexpr std::size_t kBatch = 512;
constexpr std::size_t kBatches = 4;  // read ahead by at most this many
// A range's ids when two connections read: about as many rows, a few milliseconds' reading.
constexpr std::int64_t kRangeIds = 4096;

struct Batch {
  std::vector<records::Summary> rows{kBatch};  // kept: their texts' room is reused
  std::size_t size = 0;
};

// The batches between the two threads: full ones to take, taken ones to fill again.
class Handover {
 public:
  Handover() {
    for (auto& b : batches_)
      empty_.push_back(&b);
  }
  // The next batch to fill; nullptr once the taker has failed.
  Batch* Empty() {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return !empty_.empty() || failed_; });
    if (failed_) return nullptr;
    Batch* b = empty_.front();
    empty_.pop_front();
    return b;
  }
  void Full(Batch* b) {
    std::lock_guard lock(m_);
    full_.push_back(b);
    cv_.notify_all();
  }
  // The next batch to take; nullptr at the end.
  Batch* Next() {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return !full_.empty() || ended_; });
    if (full_.empty()) return nullptr;
    Batch* b = full_.front();
    full_.pop_front();
    return b;
  }
  void Taken(Batch* b) {
    b->size = 0;
    std::lock_guard lock(m_);
    empty_.push_back(b);
    cv_.notify_all();
  }
  void End() {
    std::lock_guard lock(m_);
    ended_ = true;
    cv_.notify_all();
  }
  void Failed() {
    std::lock_guard lock(m_);
    failed_ = true;
    cv_.notify_all();
  }

 private:
  Batch batches_[kBatches];
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<Batch*> empty_, full_;
  bool ended_ = false, failed_ = false;
};

// Ends the reading when the taker has failed; never leaves EachSummary otherwise.
struct TakerFailed {};

}  // namespace

OpenAnother SecondReader(const std::string& where) {
  return [where] { return records::OpenStore(where, records::Access::kRead); };
}

void EachSummaryAside(records::Store& store, const records::Query& q,
                      const std::function<void(const records::Summary&)>& take,
                      const records::Store::Broken& broken, const OpenAnother& another) {
  // A query that an index answers (a unit, a time, an outcome) reads only its own rows at once.
  const bool everything = q.unit.empty() && q.since.empty() && q.until.empty() &&
                          q.outcome.empty() && q.limit == 0 && q.after_id == 0 &&
                          q.before_id == 0 && !q.newest_first;
  if (another && everything) return EachSummaryInRanges(store, q, take, broken, another, kRangeIds);
  Handover h;
  std::exception_ptr taker_error;
  std::thread taker([&] {
    try {
      while (Batch* b = h.Next()) {
        for (std::size_t i = 0; i < b->size; ++i)
          take(b->rows[i]);
        h.Taken(b);
      }
    } catch (...) {
      taker_error = std::current_exception();
      h.Failed();
    }
  });
  std::exception_ptr reader_error;
  try {
    Batch* b = nullptr;
    store.EachSummary(
        q,
        [&](const records::Summary& s) {
          if (!b && !(b = h.Empty())) throw TakerFailed{};
          b->rows[b->size++] = s;
          if (b->size == kBatch) h.Full(std::exchange(b, nullptr));
        },
        broken);
    if (b) h.Full(b);
  } catch (const TakerFailed&) {
    // the taker's own error is the one to tell
  } catch (...) {
    reader_error = std::current_exception();
  }
  h.End();
  taker.join();
  if (reader_error) std::rethrow_exception(reader_error);
  if (taker_error) std::rethrow_exception(taker_error);
}

}  // namespace vx
