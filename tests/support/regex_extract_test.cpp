#include "support/regex_extract.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

const Text kLeft(texts::kBlockLeft);
const Text kRight(texts::kBlockRight);

TEST(EscapeMarker, EscapesEverythingButTheKeptMetacharacters) {
  struct Case {
    const char* name;
    Text marker, expected;
  };
  const Case cases[] = {
      {"groups and quantifiers", "a(b)*c?", "a\\(b\\)\\*c\\?"},
      {"kept metacharacters", "x.y|z", "x.y|z"},
      {"every escaped character",
       "?*+[]()"
       "{}",
       "\\?\\*\\+\\[\\]\\(\\)\\{\\}"},
      {"backslash is not doubled", "a\\d", "a\\d"},
      {"CR LF becomes \\n", "p\r\nq", "p\\nq"},
      {"lone CR and LF stay", "a\rb\nc", "a\rb\nc"},
      {"quote placeholder", "x" + Gbk(texts::kQuotePlaceholder) + "y", "x\"y"},
      {"second byte of a character is never escaped", "\x81(\x81[", "\x81(\x81["},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeMarker(c.marker), c.expected) << c.name;
  }
}

// One row: the arguments of ExtractAllBetween and the texts it must give.
struct ExtractCase {
  const char* name;
  Text text, left, right;
  TextList expected;
  int maxLength = 0;
};

void ExpectExtracts(const ExtractCase& c) {
  for (bool jit : {true, false}) {
    TextList results = {"left over"};
    const int count = detail::ExtractAllBetween(jit, c.text, c.left, c.right, results, c.maxLength,
                                                {}, {}, false, false);
    EXPECT_EQ(results, c.expected) << c.name << (jit ? " (JIT)" : " (interpreter)");
    EXPECT_EQ(count, static_cast<int>(results.size())) << c.name;
  }
}

TEST(ExtractAllBetween, CollectsEveryBlockBetweenMarkers) {
  const ExtractCase cases[] = {
      {"two blocks keep their line breaks",
       "<html>" + kLeft + "1\">\r\n<dd>a</dd>\r\n</dl>\r\n" + kLeft + "0\">b</dl>",
       kLeft,
       kRight,
       {"1\">\r\n<dd>a</dd>\r\n", "0\">b"}},
      {"markers in capitals match",
       "<DL CLASS=\"MSG_LIST\" UNREAD=\"1\">x</DL>",
       kLeft,
       kRight,
       {"1\">x"}},
      {"left without right", kLeft + "1\">x", kLeft, kRight, {}},
      {"a second left before the right is part of the first",
       kLeft + "1\">a" + kLeft + "0\">b</dl>",
       kLeft,
       kRight,
       {"1\">a" + kLeft + "0\">b"}},
      {"blocks after an unfinished one are still found", "[a]b[c", "[", "]", {"a"}},
      {"no markers, no results", "plain text", kLeft, kRight, {}},
      {"empty text", "", "[", "]", {}},
      {"max length drops longer texts", "[ab][abcd][abc]", "[", "]", {"ab", "abc"}, 3},
      {"negative max length drops everything", "[ab][]", "[", "]", {}, -1},
      {"quote placeholder matches a double quote",
       "a=\"x\" b=\"y\"",
       "a=" + Gbk(texts::kQuotePlaceholder),
       Gbk(texts::kQuotePlaceholder),
       {"x"}},
      {"escaped metacharacters are literal", "(*a?)(*b?)", "(*", "?)", {"a", "b"}},
      {"CR LF in a marker matches a line feed", "x\r\n1;x\n2;", "x\r\n", ";", {"2"}},
  };
  for (const ExtractCase& c : cases) ExpectExtracts(c);
}

TEST(ExtractAllBetween, KeepsToWholeTwoByteCharacters) {
  const ExtractCase cases[] = {
      {"no match from the second byte of a character", "\x81<a>x</a>", "<a>", "</a>", {}},
      {"a match right after a character", "\x81\x81<a>x</a>", "<a>", "</a>", {"x"}},
      {"right marker inside a character is passed over",
       "<a>\x81</a>z</a>",
       "<a>",
       "</a>",
       {"\x81</a>z"}},
      {"letters fold, second bytes do not", "\x81\x61x!\x81\x41y!", "\x81\x41", "!", {"y"}},
      {"ASCII letters fold", "ABx!", "ab", "!", {"x"}},
      {"right marker starting with a letter that is a second byte",
       "<\x81\x41!x\x41!",
       "<",
       "A!",
       {"\x81\x41!x"}},
      {"two-byte right marker straddling characters",
       "<\xB0\xD6\xD0\xB0\xD6\xD0",
       "<",
       "\xD6\xD0",
       {"\xB0\xD6\xD0\xB0"}},
      {"dot takes a whole character",
       "a\xD6"
       "cc!",
       "a.c",
       "!",
       {""}},
      {"dot takes a line break", "a\nc1!", "a.c", "!", {"1"}},
      {"cut character at the end matches a cut marker", "<a>x\x81", "<a>", "\x81", {"x"}},
      {"cut marker is no first byte of a whole character", "<a>x\x81y", "<a>", "\x81", {}},
      {"empty markers give one empty text per character",
       "\xD6\xD0"
       "a",
       "",
       "",
       {"", "", ""}},
  };
  for (const ExtractCase& c : cases) ExpectExtracts(c);
}

TEST(ExtractAllBetween, KeepsThePatternMeaningOfTheOtherMetacharacters) {
  const ExtractCase cases[] = {
      {"line anchors in multi-line mode", "<a>\r\n x<b>\r\n<c>", "^<", ">$", {"a", "c"}},
      {"alternation splits the whole pattern", "x y1!", "x|y", "!", {"", "1"}},
      {"class escape", "n5x;nyz;", "n\\d", ";", {"x"}},
      {"negated class escape takes a whole character", "n\xD6\xD0x;", "n\\D", ";", {"x"}},
      {"identity escape", "a.b:1;", "a\\.b:", ";", {"1"}},
      {"a group opened in a marker is capture 1", "\\ab\\;", "\\(", "\\)", {"ab\\"}},
      {"alternation in the right marker", "x1 y", "x", ">|y", {""}},
      {"a class made through an escaped backslash", "\\a1;\\b2;", "\\[a\\]", ";", {"1"}},
      {"a quantifier made through an escaped backslash", "a\\\\x;", "a\\*", ";", {"x"}},
      {"four-digit code point escape", "\xD6\xD0:1;a:2;", "\\u4E2D:", ";", {"1"}},
      {"two-digit code point escape ignores case", "\xD6\xD0:1;a:2;", "\\x41:", ";", {"2"}},
      {"a code point the page lacks never matches", "?:1;", "\\u1234:", ";", {}},
      {"a lone trailing backslash is rejected", "a\\(x)", "a\\", ")", {}},
      {"unbalanced group is rejected", "\\(x", "\\(", "", {}},
  };
  for (const ExtractCase& c : cases) ExpectExtracts(c);
}

TEST(ExtractAllBetween, PutsPrefixSuffixAndMarkersInOrder) {
  TextList results;
  EXPECT_EQ(ExtractAllBetween("<t><u>", "<", ">", results, 0, "p", "s", true, true), 2);
  EXPECT_EQ(results, (TextList{"<pts>", "<pus>"}));
  EXPECT_EQ(ExtractAllBetween("a.b", "a.", "", results, 0, "", "", true, false), 1);
  EXPECT_EQ(results, TextList{"a."}) << "the left marker goes in unescaped";
  EXPECT_EQ(ExtractAllBetween("[xy]", "[", "]", results, 0, "", "s", false, true), 1);
  EXPECT_EQ(results, TextList{"xys]"});
}

// The characters of a text under the program's rule, as byte strings.
std::vector<std::string_view> Chars(std::string_view text) {
  std::vector<std::string_view> chars;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t width =
        (static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size()) ? 2 : 1;
    chars.push_back(text.substr(i, width));
    i += width;
  }
  return chars;
}

// Whether the literal marker's characters match the text's characters from character `at`:
// ASCII letters without regard to case, everything else byte for byte and width for width.
bool MarkerMatchesAt(const std::vector<std::string_view>& text, std::size_t at,
                     const std::vector<std::string_view>& marker) {
  if (at + marker.size() > text.size()) return false;
  for (std::size_t k = 0; k < marker.size(); ++k) {
    const std::string_view a = text[at + k];
    const std::string_view b = marker[k];
    if (a.size() != b.size()) return false;
    if (a.size() == 1 ? FoldAscii(a[0]) != FoldAscii(b[0]) : a != b) return false;
  }
  return true;
}

// What ExtractAllBetween must give for literal markers, found the slow way: every start is
// tried, with no early end.
TextList ReferenceExtract(const Text& text, const Text& left, const Text& right) {
  const std::vector<std::string_view> chars = Chars(text);
  const std::vector<std::string_view> l = Chars(left);
  const std::vector<std::string_view> r = Chars(right);
  TextList results;
  std::size_t from = 0;
  for (;;) {
    bool found = false;
    for (std::size_t s = from; s <= chars.size() && !found; ++s) {
      if (!MarkerMatchesAt(chars, s, l)) continue;
      for (std::size_t q = s + l.size(); q <= chars.size() && !found; ++q) {
        if (!MarkerMatchesAt(chars, q, r)) continue;
        Text captured;
        for (std::size_t k = s + l.size(); k < q; ++k) captured += chars[k];
        results.push_back(captured);
        from = q + r.size();
        found = true;
      }
    }
    if (!found) return results;
  }
}

TEST(ExtractAllBetween, AgreesWithACharacterByCharacterSearch) {
  // Texts mix lead bytes with bytes that may be either a whole character or a second byte, so
  // markers fall across character boundaries in every way.
  const char alphabet[] = {'a', 'A', '<', '/', '\x81', '\xD6', '\xD0', '\xB0'};
  const Text pieces[] = {"a",
                         "A",
                         "<",
                         "/",
                         "\x81"
                         "a",
                         "\xD6\xD0",
                         "\xD0\xB0",
                         "\xB0"};
  unsigned state = 7;
  auto next = [&state](unsigned bound) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) % bound;
  };
  for (int round = 0; round < 3000; ++round) {
    Text text;
    const unsigned length = next(40);
    for (unsigned i = 0; i < length; ++i) text += alphabet[next(sizeof alphabet)];
    Text left;
    Text right;
    for (unsigned i = next(2) + 1; i > 0; --i) left += pieces[next(std::size(pieces))];
    for (unsigned i = next(3); i > 0; --i) right += pieces[next(std::size(pieces))];
    const TextList expected = ReferenceExtract(text, left, right);
    for (bool jit : {true, false}) {
      TextList results;
      detail::ExtractAllBetween(jit, text, left, right, results, 0, {}, {}, false, false);
      ASSERT_EQ(results, expected) << "round " << round << (jit ? " JIT" : " interpreter");
    }
  }
}

// A reply of `blocks` blocks of about 500 bytes each, Chinese text included.
Text LongReply(int blocks) {
  const Text body = "1\">\r\n<dd seq=\"123\" type=\"1\"><a uin=\"10001\" qid=\"20002\" qaid=1 " +
                    Gbk("title=\"附加消息：你好\"><label>附加消息：你好") + Text(380, 'x') +
                    "</label></dd>\r\n";
  Text reply = "<html>";
  for (int i = 0; i < blocks; ++i) reply += kLeft + body + kRight + "\r\n";
  return reply;
}

TEST(ExtractAllBetween, HandlesLongTextsWithinTheEngineLimits) {
  const Text reply = LongReply(20000);
  ASSERT_GT(reply.size(), 10'000'000u);
  for (bool jit : {true, false}) {
    TextList results;
    EXPECT_EQ(
        detail::ExtractAllBetween(jit, reply, kLeft, kRight, results, 0, {}, {}, false, false),
        20000);
    ASSERT_EQ(results.size(), 20000u);
    EXPECT_EQ(results.front(), results.back());
    EXPECT_EQ(results.front().substr(0, 3), "1\">");
  }
  // One block of 10 MB: the lazy group must run its whole length.
  const Text huge = kLeft + Text(10'000'000, 'y') + "\xD6\xD0" + kRight;
  for (bool jit : {true, false}) {
    TextList results;
    EXPECT_EQ(detail::ExtractAllBetween(jit, huge, kLeft, kRight, results, 0, {}, {}, false, false),
              1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].size(), 10'000'002u);
  }
}

TEST(ExtractAllBetween, LeftMarkersAfterTheLastRightOneGiveNothing) {
  // The search ends at the first left marker that no right marker follows.
  Text text = kLeft + "0\">first</dl>";
  for (int i = 0; i < 2000; ++i) text += kLeft + "1\">" + Text(180, 'z');
  for (bool jit : {true, false}) {
    TextList results;
    EXPECT_EQ(detail::ExtractAllBetween(jit, text, kLeft, kRight, results, 0, {}, {}, false, false),
              1);
    EXPECT_EQ(results, TextList{"0\">first"});
  }
}

TEST(ExtractAllBetween, BinaryInputStaysInBounds) {
  Text noise;
  unsigned state = 99;
  for (int i = 0; i < 50000; ++i) {
    state = state * 1103515245u + 12345u;
    noise += static_cast<char>(state >> 16);
  }
  const Text markers[] = {"<", "\x81", "", ".", "\\d", "a|b", "\xFF\xFF", std::string(1, '\0')};
  for (const Text& left : markers) {
    for (const Text& right : markers) {
      TextList results;
      const int count = ExtractAllBetween(noise, left, right, results);
      EXPECT_EQ(count, static_cast<int>(results.size()));
      for (const Text& r : results) ASSERT_LE(r.size(), noise.size());
    }
  }
}

}  // namespace
}  // namespace lumirack
