#include "support/text.h"

#include <gtest/gtest.h>

namespace lumirack {
namespace {

TEST(FindText, FollowsTheSearchRule) {
  struct Case {
    const char* name;
    Text text, sought;
    int start;
    bool ignoreCase;
    int expected;
  };
  const Case cases[] = {
      {"first occurrence", "abcabc", "bc", 1, false, 2},
      {"start 0 is start 1", "abcabc", "bc", 0, false, 2},
      {"negative start searches from the first byte", "abcabc", "bc", -5, false, 2},
      {"start skips an earlier hit", "abcabc", "bc", 3, false, 5},
      {"start beyond the end", "abc", "a", 4, false, -1},
      {"empty sought gives 1", "abc", "", 3, false, 1},
      {"empty sought in empty text", "", "", 1, false, -1},
      {"never from a trail byte", "\x81\x40", "\x40", 1, false, -1},
      {"trail byte then a real hit", "\x81\x40\x40", "\x40", 1, false, 3},
      {"case folds only ASCII", "xABC", "abc", 1, true, 2},
      {"case kept without the flag", "xABC", "abc", 1, false, -1},
      {"trail bytes fold too", "\x81\x41", "\x81\x61", 1, true, 1},
      {"lone lead byte at the end ends the search", "a\x81", "b", 1, false, -1},
      {"lone lead byte at the end can still match itself", "a\x81", "\x81", 1, false, 2},
      {"sought longer than text", "ab", "abc", 1, false, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindText(c.text, c.sought, c.start, c.ignoreCase), c.expected) << c.name;
  }
}

// The exact search skips long ASCII runs a word at a time; it must still land on the same
// character boundaries as a walk of one character at a time.
TEST(FindText, AgreesWithACharacterWalkOnLongTexts) {
  auto reference = [](const Text& text, const Text& sought, std::size_t from) -> int {
    for (std::size_t i = from; i + sought.size() <= text.size();) {
      if (text.compare(i, sought.size(), sought) == 0) return static_cast<int>(i + 1);
      i += IsLeadByte(text[i]) ? 2 : 1;
    }
    return -1;
  };
  const char ascii[] = {'1', '2', '\r', '\n', '\x40'};
  const char any[] = {'1', '\n', '\x40', '\x81', '\xA1'};
  unsigned state = 7;
  auto next = [&state]() {
    state = state * 1103515245u + 12345u;
    return state >> 16;
  };
  for (int round = 0; round < 2000; ++round) {
    // ASCII runs, long enough to be skipped a word at a time, between two-byte characters
    // whose second byte may look like ASCII or like another lead byte.
    Text text;
    while (text.size() < static_cast<std::size_t>(8 + round % 100)) {
      for (unsigned run = next() % (round % 3 ? 20 : 3); run > 0; --run) text += ascii[next() % 5];
      text += '\x81';
      text += any[next() % 5];
    }
    const std::size_t at = next() % text.size();
    const Text sought = text.substr(at, 1 + next() % 4);
    const std::size_t from = next() % 3 == 0 ? 0 : at / 2;
    // Both walks must start on a boundary for the comparison to mean anything.
    std::size_t start = 0;
    while (start < from) start += IsLeadByte(text[start]) ? 2 : 1;
    EXPECT_EQ(FindText(text, sought, static_cast<int>(start) + 1), reference(text, sought, start))
        << "round " << round;
  }
}

TEST(TextBetween, CutsBetweenMarkers) {
  struct Case {
    const char* name;
    Text text, left, right, expected;
  };
  const Case cases[] = {
      {"simple", "k=v; x=12; y=3", "x=", "; ", "12"},
      {"missing left", "k=v", "x=", ";", ""},
      {"missing right", "x=12", "x=", ";", ""},
      {"right only before left", "; x=12", "x=", "; ", ""},
      {"left at the very end", "abx=", "x=", ";", ""},
      {"adjacent markers", "x=;", "x=", ";", ""},
      {"first left counts inside a longer name", "p_x=1; x=2; ", "x=", "; ", "1"},
      {"empty left runs from the start", "ab;cd", "", ";", "ab"},
      {"empty right gives nothing", "ab;cd", "a", "", ""},
      {"quote placeholder", "a=\"x\"", "a=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", "x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.left, c.right), c.expected) << c.name;
  }
}

TEST(TextBetween, HonoursStartAndIgnoreCase) {
  EXPECT_EQ(TextBetween("a=1; a=2;", "a=", ";", 3), "2");
  EXPECT_EQ(TextBetween("A=1;", "a=", ";", 0, true), "1");
  EXPECT_EQ(TextBetween("A=1;", "a=", ";"), "");
  // The left marker's bytes inside a two-byte character do not count.
  EXPECT_EQ(TextBetween("\x81x=9;x=1;", "x=", ";"), "1");
}

TEST(ReplaceAll, ReplacesWholeCharactersWithoutOverlap) {
  struct Case {
    const char* name;
    Text text, from, to, expected;
  };
  const Case cases[] = {
      {"every occurrence", "a?b?", "?", "\\?", "a\\?b\\?"},
      {"no overlap", "aaa", "aa", "b", "ba"},
      {"inserted text not searched again", "ab", "a", "aa", "aab"},
      {"second byte of a character left alone", "\x81?x?", "?", "!", "\x81?x!"},
      {"empty pattern changes nothing", "abc", "", "x", "abc"},
      {"pattern at the very end", "xy\r\n", "\r\n", "\\n", "xy\\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, c.from, c.to), c.expected) << c.name;
  }
}

TEST(Spaces, TrimAndRemoveOnlyRealSpaces) {
  const Text wide = "\xA1\xA1";
  EXPECT_EQ(TrimSpaces("  a b " + wide), "a b");
  EXPECT_EQ(TrimSpaces("\ta\t"), "\ta\t");
  EXPECT_EQ(TrimSpaces(wide + " " + wide), "");
  EXPECT_EQ(TrimLeadingSpaces(wide + "\xA1\xA2 "), "\xA1\xA2 ");
  // 0xB0 0xA1 then 0xA1 0x41: the middle A1 A1 straddles two characters and is no space.
  EXPECT_EQ(TrimTrailingSpaces("\xB0\xA1\xA1\x41"), "\xB0\xA1\xA1\x41");
  EXPECT_EQ(RemoveSpaces("a = x y" + wide + "z"), "a=xyz");
  EXPECT_EQ(RemoveSpaces("ab\x81"), "ab");
  EXPECT_EQ(RemoveSpaces("\xB0\xA1\xA1\x41"), "\xB0\xA1\xA1\x41");
}

TEST(SplitText, KeepsEmptyPiecesButNoTrailingOne) {
  EXPECT_EQ(SplitText("", ";"), TextList{});
  EXPECT_EQ(SplitText("a;b", ";"), (TextList{"a", "b"}));
  EXPECT_EQ(SplitText(";a;;b;", ";"), (TextList{"", "a", "", "b"}));
  EXPECT_EQ(SplitText("a\r\nb\r\n", "\r\n"), (TextList{"a", "b"}));
}

TEST(TextFunctions, HoldOnBinaryInput) {
  // Random bytes, NUL and cut characters included: the functions must stay in bounds and keep
  // their laws.
  unsigned state = 3;
  auto next = [&state]() {
    state = state * 1103515245u + 12345u;
    return static_cast<char>(state >> 16);
  };
  const Text separators[] = {";", "; ", "\xA1\xA1", std::string(1, '\0'), "\x81"};
  for (int round = 0; round < 500; ++round) {
    Text text;
    for (int i = round % 64; i > 0; --i) text += (i % 5 == 0) ? ';' : next();
    for (const Text& sep : separators) {
      const TextList pieces = SplitText(text, sep);
      Text joined;
      for (std::size_t i = 0; i < pieces.size(); ++i) joined += (i ? sep : "") + pieces[i];
      const bool trailing = joined.size() + sep.size() == text.size();
      EXPECT_EQ(trailing ? joined + sep : joined, text) << "round " << round;
      const int at = FindText(text, sep, round % 7);
      if (at != -1) {
        ASSERT_LE(static_cast<std::size_t>(at - 1) + sep.size(), text.size());
        EXPECT_EQ(text.compare(static_cast<std::size_t>(at - 1), sep.size(), sep), 0);
      }
      EXPECT_LE(TextBetween(text, sep, sep).size(), text.size());
    }
    const Text removed = RemoveSpaces(text);
    EXPECT_EQ(RemoveSpaces(removed), removed) << "round " << round;
    const Text trimmed = TrimSpaces(text);
    EXPECT_EQ(TrimSpaces(trimmed), trimmed) << "round " << round;
    EXPECT_NE(text.find(trimmed), Text::npos);
  }
}

TEST(TextFromBytes, StopsAtTheFirstNul) {
  EXPECT_EQ(TextFromBytes(Bytes{'a', 'b', 0, 'c'}), "ab");
  EXPECT_EQ(TextFromBytes(Bytes{}), "");
}

}  // namespace
}  // namespace lumirack
