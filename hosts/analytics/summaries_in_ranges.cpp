// A scan over every record by two connections at once. The records are cut into ranges of ids,
// claimed in order by whichever reader is free; each range is read whole into a slot of its own
// and taken from there in the ranges' order, so the taker sees the rows exactly as one reader
// would have handed them over. A range begins at a stored id (the first one at or after the
// end of the range before), so that ids far apart make no empty ranges between them.
#include <atomic>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "hosts/analytics/summaries_aside.h"
#include "platform/outside_wait.h"

namespace vx {

namespace {

constexpr std::size_t kSlots = 4;  // ranges read ahead of the one being taken, at most

struct Slot {
  std::vector<records::Summary> rows;  // kept: their texts' room is reused by the next range
  std::size_t size = 0;
  struct Damaged {
    std::size_t before;  // the row it came before
    std::int64_t id;
    std::string why;
  };
  std::vector<Damaged> damaged;
  bool read = false;
};

// Thrown inside a reader's scan once another side has failed: it ends that scan.
struct Ended {};

class Ranges {
 public:
  Ranges(const records::Query& q, std::int64_t ids) : q_(q), ids_(ids), mark_(Outside().Mark()) {}

  // Reads ranges with `store` until none is left or a side has failed.
  void Read(records::Store& store) {
    while (auto claimed = Claim(store)) {
      Slot& slot = slots_[claimed->first % kSlots];
      store.EachSummary(
          claimed->second,
          [&](const records::Summary& s) {
            if (failed_) throw Ended{};
            if (slot.size == slot.rows.size()) {
              slot.rows.push_back(s);
            } else {
              slot.rows[slot.size] = s;
            }
            ++slot.size;
          },
          [&](std::int64_t id, const std::string& why) {
            slot.damaged.push_back({slot.size, id, why});
          });
      std::lock_guard lock(m_);
      slot.read = true;
      cv_.notify_all();
    }
  }

  // Hands every range's rows over in order, until the last or a failure.
  void Take(const std::function<void(const records::Summary&)>& take,
            const records::Store::Broken& broken) {
    for (std::size_t k = 0;; ++k) {
      Slot& slot = slots_[k % kSlots];
      {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return failed_ || slot.read || (ranges_ && k == *ranges_); });
        if (failed_ || !slot.read) return;
      }
      std::size_t d = 0;
      for (std::size_t i = 0; i <= slot.size; ++i) {
        for (; d < slot.damaged.size() && slot.damaged[d].before == i; ++d)
          broken(slot.damaged[d].id, slot.damaged[d].why);
        if (i < slot.size) take(slot.rows[i]);
      }
      slot.size = 0;
      slot.damaged.clear();
      std::lock_guard lock(m_);
      slot.read = false;
      taken_ = k + 1;
      cv_.notify_all();
    }
  }

  // Ends every side at its next step; the first failure is the one told.
  void Fail(std::exception_ptr e) {
    std::lock_guard lock(m_);
    if (!failed_) error_ = std::move(e);
    failed_ = true;
    cv_.notify_all();
  }
  std::exception_ptr error() const { return error_; }

 private:
  // The next range's index and query, once its slot is free; nullopt when no range is left.
  std::optional<std::pair<std::size_t, records::Query>> Claim(records::Store& store) {
    std::lock_guard claiming(claim_m_);  // ranges are found in order, one at a time
    std::size_t k = 0;
    {
      std::unique_lock lock(m_);
      cv_.wait(lock, [&] { return failed_ || ranges_ || next_ < taken_ + kSlots; });
      if (failed_) throw Ended{};
      if (ranges_) return std::nullopt;
      k = next_;
    }
    if (Outside().StoppedSince(mark_)) throw Interrupted();
    records::Query range = q_;
    std::optional<std::int64_t> from;
    if (k == 0) {
      from = 1;  // ids are positive where the stores give them; the first range takes any below
    } else if (end_ != 0) {  // the first id at or after the last range's end
      records::Query first;
      first.after_id = end_ - 1;
      first.limit = 1;
      store.EachSummary(
          first, [&](const records::Summary& s) { from = s.id; },
          [&](std::int64_t id, const std::string&) { from = id; });
      range.after_id = end_ - 1;
    }
    std::lock_guard lock(m_);
    if (!from) {
      ranges_ = k;
      cv_.notify_all();
      return std::nullopt;
    }
    end_ = *from > std::numeric_limits<std::int64_t>::max() - ids_ ? 0 : *from + ids_;
    range.before_id = end_;  // 0: no end, the last range
    next_ = k + 1;
    return std::make_pair(k, range);
  }

  const records::Query q_;
  const std::int64_t ids_;
  const int mark_;
  Slot slots_[kSlots];
  std::mutex claim_m_, m_;
  std::condition_variable cv_;
  std::size_t next_ = 0, taken_ = 0;
  std::optional<std::size_t> ranges_;  // how many there are, once the last is found
  std::int64_t end_ = 0;               // where the last range claimed ends (0: nowhere)
  std::atomic<bool> failed_{false};    // also read by the readers between rows
  std::exception_ptr error_;
};

}  // namespace

void EachSummaryInRanges(records::Store& store, const records::Query& q,
                         const std::function<void(const records::Summary&)>& take,
                         const records::Store::Broken& broken, const OpenAnother& another,
                         std::int64_t ids) {
  if (q.limit != 0 || q.after_id != 0 || q.before_id != 0 || q.newest_first || ids < 1) {
    throw std::invalid_argument("ranges of ids are read for a query without bounds of its own");
  }
  Ranges ranges(q, ids);
  auto side = [&ranges](const std::function<void()>& work) {
    try {
      work();
    } catch (const Ended&) {
      // another side failed first: its failure is the one told
    } catch (...) {
      ranges.Fail(std::current_exception());
    }
  };
  std::thread taker([&] { side([&] { ranges.Take(take, broken); }); });
  std::thread second;
  try {
    second = std::thread([&] {
      std::unique_ptr<records::Store> other;
      try {
        other = another();
      } catch (...) {
        return;  // the first connection reads alone
      }
      side([&] { ranges.Read(*other); });
    });
  } catch (const std::system_error&) {
    // no thread to be had for a second reader: the first reads alone
  }
  side([&] { ranges.Read(store); });
  if (second.joinable()) second.join();
  taker.join();
  if (ranges.error()) std::rethrow_exception(ranges.error());
}

}  // namespace vx
