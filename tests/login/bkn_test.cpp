#include "login/bkn.h"

#include <gtest/gtest.h>

namespace lumirack {
namespace {

TEST(ComputeBkn, GivesTheKnownTokens) {
  struct Case {
    const char* name;
    Text skey;
    Text bkn;
  };
  const Case cases[] = {
      {"empty", "", "5381"},
      {"abc", "abc", "193485963"},
      {"wrapping", "abcdefgh", "1722392489"},
      {"high byte counts as negative", "\x80", "177445"},
  };
  for (const Case& c : cases) EXPECT_EQ(ComputeBkn(c.skey), c.bkn) << c.name;
}

TEST(ComputeBkn, StaysWithinTenDigitsForLongInput) {
  const Text bkn = ComputeBkn(Text(100000, '\xFF'));
  EXPECT_LE(bkn.size(), 10u);
  EXPECT_EQ(bkn.find_first_not_of("0123456789"), Text::npos);
}

}  // namespace
}  // namespace lumirack
