// A server's rows in its binary COPY form: read whatever pieces its messages come in, and
// nothing taken that the server should not have sent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>

#include "records/pg_copy.h"

namespace vx::records {
namespace {

std::string Big(std::uint64_t v, int n) {
  return n == 0 ? "" : Big(v >> 8, n - 1) + static_cast<char>(v & 0xff);
}
const auto Field = [](const std::string& b) { return Big(b.size(), 4) + b; };
const std::string kSignature("PGCOPY\n\377\r\n\0", 11);
const std::string kHeader = kSignature + Big(0, 4) + Big(3, 4) + "ext";
const std::string kNull = Big(0xffffffff, 4);
const std::vector<Oid> kTypes = {kInt8Oid, kTextOid, kTextOid, kFloat8Oid};
const std::string kRows = Big(4, 2) + Field(Big(7, 8)) + Field("st1") + kNull +
                          Field(Big(std::bit_cast<std::uint64_t>(1.5), 8)) + Big(4, 2) +
                          Field(Big(static_cast<std::uint64_t>(-3), 8)) + Field("") + Field("x") +
                          kNull;

TEST(ServerRows, ACopyIsTheSameRowsInAnyPiecesAndNothingElseIsTaken) {
  const std::string whole = kHeader + kRows + Big(0xffff, 2);
  for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
    CopyRows rows(kTypes);
    std::string got;
    auto take = [&](const SqlStore::Row& r) {
      for (const auto& v : r)
        got += (!v ? "null" : v.number ? std::to_string(*v.number) : "'" + *v + "'") + " ";
    };
    rows.Take(whole.data(), cut, take);
    EXPECT_EQ(rows.Ended(), cut == whole.size());
    rows.Take(whole.data() + cut, whole.size() - cut, take);
    ASSERT_TRUE(rows.Ended());
    EXPECT_EQ(got, "'7' 'st1' null 1.500000 '-3' '' 'x' null ");
  }
  for (const auto& [bytes, why] : std::vector<std::pair<std::string, const char*>>{
           {"PGCOPY\n\377\r\n\1" + kHeader.substr(11), "not in its binary form"},
           {kSignature + Big(1 << 16, 4) + Big(0, 4), "a form this program does not read"},
           {kSignature + Big(0, 4) + Big(0x80000000, 4), "a form this program does not read"},
           {kHeader + Big(3, 2), "a row of 3 columns for a scan of 4"},
           {kHeader + Big(4, 2) + Big(0xfffffffe, 4), "a negative length"},
           {kHeader + Big(4, 2) + Field(Big(7, 4)) + kNull + kNull + kNull, "(type 20)"},
           {kHeader + Big(0xffff, 2) + kRows, "rows after the end"}}) {
    CopyRows rows(kTypes);
    EXPECT_THAT([&] { rows.Take(bytes.data(), bytes.size(), [](const SqlStore::Row&) {}); },
                ::testing::ThrowsMessage<UnexpectedBytes>(::testing::HasSubstr(why)));
  }
}

}  // namespace
}  // namespace vx::records
