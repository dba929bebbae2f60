// A server's rows in its own binary form: a column of a result, and the rows of a
// COPY ... TO STDOUT (FORMAT binary), which a scan of millions reads in place of a cursor's
// batches (the server then keeps no copy of the rows it sends, and libpq builds no result).
// Nothing the server sends is trusted: a field of another length than its type's, a row of
// another number of columns, or bytes after the end are refused.
#pragma once

#include <libpq-fe.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "records/sql_store.h"

namespace vx::records {

// Bytes from the server that are not what it should have sent; what() says how.
class UnexpectedBytes : public StoreError {
 public:
  using StoreError::StoreError;
};

// The types a scan's columns have (the server's catalog numbers them so, in every version).
inline constexpr Oid kInt8Oid = 20, kTextOid = 25, kFloat8Oid = 701;

// One field into `v`: text as it is (type 0: a column sent as text), a float8 as its number,
// an int8 as its digits; `v.number` is the caller's to clear. Throws UnexpectedBytes.
void DecodeField(SqlStore::Value& v, Oid type, const char* data, std::size_t size);

class CopyRows {
 public:
  explicit CopyRows(std::vector<Oid> types);
  // Takes the next bytes of the COPY, as its messages bring them, and hands each whole row
  // over. Throws UnexpectedBytes for bytes that are no such COPY of these columns.
  void Take(const char* data, std::size_t size,
            const std::function<void(const SqlStore::Row&)>& row);
  // Whether the COPY's end mark came (and nothing is left over).
  bool Ended() const { return ended_ && pending_.empty(); }

 private:
  std::vector<Oid> types_;
  std::string pending_;  // a row not yet whole
  bool header_ = false, ended_ = false;
  SqlStore::Row row_;  // reused: a scan of millions allocates next to nothing
};

}  // namespace vx::records
