#include "records/pg_copy.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace vx::records {

namespace {

constexpr char kSignature[] = "PGCOPY\n\377\r\n";  // and its terminating zero: 11 bytes
constexpr std::size_t kSignatureSize = sizeof kSignature;
constexpr std::size_t kHeaderSize = kSignatureSize + 8;  // then the flags and the extension's size

std::uint64_t BigEndian(const char* p, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < n; ++i)
    v = v << 8 | static_cast<unsigned char>(p[i]);
  return v;
}

std::int32_t Int32(const char* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(BigEndian(p, 4)));
}

}  // namespace

void DecodeField(SqlStore::Value& v, Oid type, const char* data, std::size_t size) {
  if (type == 0 || type == kTextOid) {
    v.SetText(data, size);
  } else if ((type == kInt8Oid || type == kFloat8Oid) && size == 8) {
    const std::uint64_t bits = BigEndian(data, 8);
    if (type == kFloat8Oid) {
      v.SetText("", 0);
      v.number = std::bit_cast<double>(bits);
    } else {
      char buf[24];
      auto end = std::to_chars(buf, buf + sizeof buf, std::bit_cast<std::int64_t>(bits)).ptr;
      v.SetText(buf, static_cast<std::size_t>(end - buf));
    }
  } else {
    throw UnexpectedBytes("a column is of another type than the schema's (type " +
                          std::to_string(type) + ")");
  }
}

CopyRows::CopyRows(std::vector<Oid> types) : types_(std::move(types)), row_(types_.size()) {}

void CopyRows::Take(const char* data, std::size_t size,
                    const std::function<void(const SqlStore::Row&)>& row) {
  pending_.append(data, size);
  const char* p = pending_.data();
  const std::size_t end = pending_.size();
  std::size_t at = 0;
  while (at < end) {
    if (ended_) throw UnexpectedBytes("the server sent rows after the end of the scan");
    if (!header_) {
      if (end - at < kHeaderSize) break;
      if (std::memcmp(p + at, kSignature, kSignatureSize) != 0)
        throw UnexpectedBytes("the server's rows are not in its binary form");
      // Flags 16 to 31 are ones a reader must know (16: each row with an OID): none is asked for.
      const auto flags = static_cast<std::uint32_t>(Int32(p + at + kSignatureSize));
      const std::int32_t extension = Int32(p + at + kSignatureSize + 4);
      if ((flags >> 16) != 0 || extension < 0)
        throw UnexpectedBytes("the server's rows come in a form this program does not read");
      const std::size_t whole = kHeaderSize + static_cast<std::size_t>(extension);
      if (end - at < whole) break;
      at += whole;
      header_ = true;
      continue;
    }
    if (end - at < 2) break;
    const auto fields = static_cast<std::int16_t>(static_cast<std::uint16_t>(BigEndian(p + at, 2)));
    if (fields == -1) {
      ended_ = true;
      at += 2;
      continue;
    }
    if (static_cast<std::size_t>(fields) != types_.size()) {  // a negative count too
      throw UnexpectedBytes("the server sent a row of " + std::to_string(fields) +
                            " columns for a scan of " + std::to_string(types_.size()));
    }
    // The row is taken only once it is whole.
    std::size_t q = at + 2;
    bool whole = true;
    for (std::size_t c = 0; c < types_.size(); ++c) {
      if (end - q < 4) {
        whole = false;
        break;
      }
      const std::int32_t len = Int32(p + q);
      q += 4;
      if (len < -1) throw UnexpectedBytes("the server sent a column of a negative length");
      const auto bytes = static_cast<std::size_t>(len < 0 ? 0 : len);  // none for a NULL
      if (end - q < bytes) {
        whole = false;
        break;
      }
      q += bytes;
    }
    if (!whole) break;
    q = at + 2;
    for (std::size_t c = 0; c < types_.size(); ++c) {
      const std::int32_t len = Int32(p + q);
      q += 4;
      if (len == -1) {
        row_[c].reset();
        row_[c].number.reset();
        continue;
      }
      DecodeField(row_[c], types_[c], p + q, static_cast<std::size_t>(len));
      q += static_cast<std::size_t>(len);
    }
    at = q;
    row(row_);
  }
  pending_.erase(0, at);
}

}  // namespace vx::records
