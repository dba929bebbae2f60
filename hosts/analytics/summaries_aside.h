// A store's summaries read on the calling thread and taken on another, a batch at a time: the
// database's rows are read while the statistics take the ones before them, each on a core of
// its own. What is held does not grow with the number of records (a few batches).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "records/store.h"

namespace vx {

// A second connection to the store being read, opened on the thread that reads with it.
using OpenAnother = std::function<std::unique_ptr<records::Store>()>;

// A second connection to the store at `where`. On a server it is a second process there: one
// process sending every row is what a server's scan waits on.
OpenAnother SecondReader(const std::string& where);

// As store.EachSummary(q, take, broken), oldest first, with `take` called on a thread of its
// own (one at a time, in order). What either side throws is thrown here, after all have ended.
//
// Reading the database is most of the work of a scan. A query over every record is therefore
// read by two connections at once when `another` opens a second (one that cannot be opened
// leaves the reading to the first): ranges of ids in turn, each handed over whole and in order,
// a few ranges ahead of the one being taken. `broken` is then called on the taker's thread, in
// the rows' order; otherwise on this one.
void EachSummaryAside(records::Store& store, const records::Query& q,
                      const std::function<void(const records::Summary&)>& take,
                      const records::Store::Broken& broken, const OpenAnother& another = {});

// The same, always by ranges, each spanning `ids` ids (the tests make them small, to be many).
// q's filters apply to each range; a query with a limit, an order or ids of its own throws
// std::invalid_argument.
void EachSummaryInRanges(records::Store& store, const records::Query& q,
                         const std::function<void(const records::Summary&)>& take,
                         const records::Store::Broken& broken, const OpenAnother& another,
                         std::int64_t ids);

}  // namespace vx
