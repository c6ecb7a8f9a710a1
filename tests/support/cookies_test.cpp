#include "support/cookies.h"

#include <gtest/gtest.h>

namespace lumirack {
namespace {

TEST(MergeCookies, ReceivedItemsWinAndDeletedOnesVanish) {
  struct Case {
    const char* name;
    Text current, received, merged, receivedAfter;
  };
  const Text wideSpace = "\xA1\xA1";
  const Case cases[] = {
      {"worked example", "a=1; b=2; c=3", "b=9; c=deleted; d=4", "b=9; d=4; a=1",
       "b=9;c=deleted;d=4"},
      {"both empty", "", "", "", ""},
      {"nothing received normalises the held text", "a=1; a=2; x=deleted", "", "a=1", ""},
      {"received items sharing a name stay", "b=0", "b=1; b=2", "b=1; b=2", "b=1;b=2"},
      {"identical received items collapse", "", "b=1; b=1", "b=1", "b=1;b=1"},
      {"names are case-sensitive", "SID=1", "sid=2", "sid=2; SID=1", "sid=2"},
      {"Deleted in capitals is a value", "x=1", "x=Deleted", "x=Deleted", "x=Deleted"},
      {"inner spaces go, tabs stay", "a=x y; t=\tz", "", "a=xy; t=\tz", ""},
      {"ideographic space is a space", "a=x" + wideSpace + "y", "", "a=xy", ""},
      {"empty piece is an item", "a=1;;b=2", "", "a=1; ; b=2", ""},
      {"leading separator", ";a=1", "", "; a=1", ""},
      {"trailing separator adds nothing", "a=1;", "", "a=1", ""},
      {"empty name deleted", "=deleted; x=deleted; deleted", "", "deleted", ""},
      {"item without = is its own name", "flag; a=1", "flag", "flag; a=1", "flag"},
      {"a two-byte value keeps its bytes", "k=\xB2\xBB", "", "k=\xB2\xBB", ""},
      {"cut character at the end is dropped", "k=v\x81", "", "k=v", ""},
  };
  for (const Case& c : cases) {
    Text current = c.current;
    Text received = c.received;
    const Text result = MergeCookies(current, received);
    EXPECT_EQ(result, c.merged) << c.name;
    EXPECT_EQ(current, c.merged) << c.name;
    EXPECT_EQ(received, c.receivedAfter) << c.name;
  }
}

TEST(MergeCookies, ManyItemsStayDistinctAndOrdered) {
  // Thousands of items exercise the linear name lookup; order and first-wins must hold.
  Text current;
  Text received;
  Text expected;
  for (int i = 0; i < 5000; ++i) {
    received += "r" + DecimalText(i) + "=1;";
    expected += "r" + DecimalText(i) + "=1; ";
  }
  for (int i = 0; i < 5000; ++i) {
    current +=
        "r" + DecimalText(4999 - i) + "=0;h" + DecimalText(i) + "=2;h" + DecimalText(i) + "=3;";
  }
  for (int i = 0; i < 5000; ++i) expected += "h" + DecimalText(i) + "=2; ";
  expected.resize(expected.size() - 2);
  EXPECT_EQ(MergeCookies(current, received), expected);
}

TEST(MergeCookies, NormalisingTwiceChangesNothingEvenForBinaryText) {
  unsigned state = 5;
  for (int round = 0; round < 300; ++round) {
    Text current;
    for (int i = round % 50; i > 0; --i) {
      state = state * 1103515245u + 12345u;
      const char c = static_cast<char>(state >> 16);
      current += (i % 4 == 0) ? ';' : (i % 7 == 0 ? '=' : c);
    }
    Text received;
    const Text once = MergeCookies(current, received);
    Text again = once;
    EXPECT_EQ(MergeCookies(again, received), once) << "round " << round;
  }
}

TEST(CookieHelpers, NameIndexAndDistinctJoin) {
  EXPECT_EQ(CookieNameOf(" a b =x=y"), "a b");
  EXPECT_EQ(CookieNameOf("  plain  "), "plain");
  EXPECT_EQ(CookieNameOf(""), "");
  EXPECT_TRUE(HasCookieName({"x=1", " y =2"}, "y"));
  EXPECT_FALSE(HasCookieName({"x=1"}, "X"));
  EXPECT_FALSE(HasCookieName({}, ""));
  EXPECT_EQ(IndexOfText({"a", "b", "b"}, "b"), 2);
  EXPECT_EQ(IndexOfText({"a"}, "A"), -1);
  EXPECT_EQ(JoinDistinct("a; b; a; ; c; ", "; "), "a; b; ; c");
  EXPECT_EQ(JoinDistinct("", "; "), "");
  EXPECT_EQ(JoinDistinct("x", ", "), "x");
}

}  // namespace
}  // namespace lumirack
