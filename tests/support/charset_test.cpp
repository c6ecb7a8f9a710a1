#include "support/charset.h"

#include <gtest/gtest.h>

#include <string>

namespace lumirack {
namespace {

// The UTF-8 form of one code point.
Text Utf8(char32_t c) {
  Text out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

TEST(Utf8ToAnsi, UsesTheWindowsTableWithBestFit) {
  struct Case {
    const char* name;
    Text utf8, gbk;
  };
  const Case cases[] = {
      {"two Chinese characters", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
      {"ASCII unchanged", "<dl class=\"x\">\r\n", "<dl class=\"x\">\r\n"},
      {"empty", "", ""},
      {"euro sign is the single byte 0x80", Utf8(0x20AC), "\x80"},
      {"middle dot is A1A4", Utf8(0x00B7), "\xA1\xA4"},
      {"em dash is A1AA", Utf8(0x2014), "\xA1\xAA"},
      {"horizontal bar is A844", Utf8(0x2015), "\xA8\x44"},
      {"private use maps to the user-defined area", Utf8(0xE000), "\xAA\xA1"},
      {"private use to a low user-defined code", Utf8(0xE4C6), "\xA1\x40"},
      {"private use to the single byte 0xFF", Utf8(0xF8F5), "\xFF"},
      {"ideographic space", Utf8(0x3000), "\xA1\xA1"},
      {"best fit: A grave becomes the GBK a grave", Utf8(0x00C0), "\xA8\xA4"},
      {"best fit: cent sign", Utf8(0x00A2), "\xA1\xE9"},
      {"best fit: superscript two", Utf8(0x00B2), "2"},
      {"a character the page lacks", Utf8(0x1F600), "?"},
      {"mixed runs", "a" + Utf8(0x4E2D) + "b" + Utf8(0x20AC) + "c",
       "a\xD6\xD0"
       "b\x80"
       "c"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.gbk) << c.name;
  }
}

TEST(Utf8ToAnsi, MalformedInputBecomesQuestionMarks) {
  struct Case {
    const char* name;
    Text utf8, gbk;
  };
  const Case cases[] = {
      {"stray continuation", "a\x80z", "a?z"},
      {"cut sequence at the end", "ab\xE4\xB8", "ab?"},
      {"cut sequence before ASCII", "\xE4\xB8<", "?<"},
      {"overlong slash", "\xC0\xAF", "??"},
      {"encoded surrogate", "\xED\xA0\x80", "???"},
      {"invalid lead bytes", "\xFE\xFF", "??"},
      {"stops at the first NUL", std::string("ab\0\xE4\xB8\xAD", 6), "ab"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.gbk) << c.name;
  }
}

TEST(Utf8ToAnsi, LongTextsConvertWholeAcrossPieceBoundaries) {
  // A non-ASCII run longer than the converter's piece size, with the piece boundary falling at
  // every offset inside a three-byte sequence; and binary noise, which must stay in bounds.
  const Text zhong = "\xE4\xB8\xAD";
  for (int shift = 0; shift < 3; ++shift) {
    Text utf8(static_cast<std::size_t>(shift), 'x');
    Text expected = utf8;
    for (int i = 0; i < 400000; ++i) {
      utf8 += zhong;
      expected += "\xD6\xD0";
    }
    EXPECT_EQ(Utf8ToAnsi(utf8), expected) << "shift " << shift;
  }
  Text noise;
  unsigned state = 12345;
  for (int i = 0; i < 1200000; ++i) {
    state = state * 1103515245u + 12345u;
    noise += static_cast<char>((state >> 16) | 1);  // no NUL, so the whole text is converted
  }
  const Text converted = Utf8ToAnsi(noise);
  EXPECT_FALSE(converted.empty());
  EXPECT_LE(converted.size(), noise.size() * 2);
  EXPECT_EQ(converted.find('\0'), Text::npos);
}

TEST(AnsiToUtf8, ConvertsBackAndRoundTrips) {
  EXPECT_EQ(AnsiToUtf8("\xB2\xBB"), "\xE4\xB8\x8D");
  EXPECT_EQ(AnsiToUtf8(""), "");
  EXPECT_EQ(AnsiToUtf8("plain"), "plain");
  EXPECT_EQ(AnsiToUtf8("\x80"), Utf8(0x20AC));
  EXPECT_EQ(AnsiToUtf8("\xA1\xA4"), Utf8(0x00B7));
  EXPECT_EQ(AnsiToUtf8("\xA1\xAA"), Utf8(0x2014));
  EXPECT_EQ(AnsiToUtf8("\xFF"), Utf8(0xF8F5));
  EXPECT_EQ(AnsiToUtf8("\xAA\xA1"), Utf8(0xE000));
  // A lead byte cut off at the end or before a byte that cannot follow it.
  EXPECT_EQ(AnsiToUtf8("a\x81"), "a" + Utf8(0xFFFD));
  EXPECT_EQ(AnsiToUtf8("\x81 "), Utf8(0xFFFD) + " ");
  EXPECT_EQ(AnsiToUtf8(std::string("\xB2\xBB\0\xB2\xBB", 5)), "\xE4\xB8\x8D");

  // Every valid two-byte code of the first GBK rows survives the round trip.
  Text gbk;
  for (int lead = 0xB0; lead <= 0xB7; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      gbk += static_cast<char>(lead);
      gbk += static_cast<char>(trail);
    }
  }
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(gbk)), gbk);
  // Texts far longer than the internal buffers come out whole.
  Text longGbk;
  for (int i = 0; i < 200000; ++i)
    longGbk +=
        "\xB2\xBB"
        "a";
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(longGbk)), longGbk);
}

TEST(PercentEncode, EscapesEveryByteButTheSafeOnes) {
  struct Case {
    const char* name;
    Text text;
    bool keepSafe, asUtf8;
    Text expected;
  };
  const Case cases[] = {
      {"plain", "abc", false, false, "%61%62%63"},
      {"two digits always", "\n", false, false, "%0A"},
      {"keep safe", "a-b.c/d_e~f g", true, false, "a-b.c%2Fd%5Fe%7Ef%20g"},
      {"keep safe edges", "+,-9:@AZ[`az{", true, false, "%2B%2C-9%3A%40AZ%5B%60az%7B"},
      {"UTF-8 form", "\xB2\xBB\xB7\xFB\xBA\xCF", false, true, "%E4%B8%8D%E7%AC%A6%E5%90%88"},
      {"GBK form", "\xB2\xBB", false, false, "%B2%BB"},
      {"high bytes escaped even when safe", "\xB2\xBB", true, false, "%B2%BB"},
      {"empty", "", false, false, ""},
      {"empty as UTF-8", "", true, true, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PercentEncode(c.text, c.keepSafe, c.asUtf8), c.expected) << c.name;
  }
}

TEST(Gbk, TurnsSourceLiteralsIntoGbk) { EXPECT_EQ(Gbk("不符合"), "\xB2\xBB\xB7\xFB\xBA\xCF"); }

}  // namespace
}  // namespace lumirack
