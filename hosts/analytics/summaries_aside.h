// A store's summaries read on the calling thread and taken on another, a batch at a time: the
// database's rows are read while the statistics take the ones before them, each on a core of
// its own. What is held does not grow with the number of records (a few batches).
#pragma once

#include <functional>

#include "records/store.h"

namespace vx {

// As store.EachSummary(q, take, broken), oldest first, with `take` called on a thread of its
// own (one at a time, in order) and `broken` on this one. What either throws is thrown here,
// after both have ended.
void EachSummaryAside(records::Store& store, const records::Query& q,
                      const std::function<void(const records::Summary&)>& take,
                      const records::Store::Broken& broken);

}  // namespace vx
