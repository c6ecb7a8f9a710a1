#include "storage/ini_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/charset.h"
#include "common/temp_dir.h"

namespace lumirack {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

struct ReadCase {
  const char* name;
  std::string content;
  Text section, key;
  Text expected;
};

TEST(IniFile, ReadsValuesAsThePrivateProfileCallsDo) {
  const std::string longValue(12000, 'a');
  const std::string wide(10400, '\xB0');  // 5200 two-byte characters
  const std::vector<ReadCase> cases = {
      {"CrLfLines", "[s]\r\na=1\r\nb=2\r\n", "s", "b", "2"},
      {"LfOnlyLines", "[s]\na=1\nb=2\n", "s", "b", "2"},
      {"NoFinalLineBreak", "[s]\r\nb=2", "s", "b", "2"},
      {"Utf8ByteOrderMark", "\xEF\xBB\xBF[\xE9\x85\x8D]\r\nk=\xE4\xB8\xAD\r\n", Gbk("配"), "k",
       Gbk("中")},
      {"NamesIgnoreAsciiCase", "[Settings]\r\nGroup=7\r\n", "SETTINGS", "group", "7"},
      {"MissingSection", "[s]\r\nk=1\r\n", "t", "k", ""},
      {"MissingKey", "[s]\r\nk=1\r\n", "s", "j", ""},
      {"KeyOfAnotherSection", "[s]\r\nk=1\r\n[t]\r\nj=2\r\n", "s", "j", ""},
      {"EmptyFile", "", "s", "k", ""},
      {"KeyWithoutEquals", "[s]\r\nk\r\n", "s", "k", ""},
      {"CommentIsNoKey", "[s]\r\n;k=1\r\n", "s", ";k", ""},
      {"FirstOfRepeatedKeys", "[s]\r\nk=1\r\nk=2\r\n", "s", "k", "1"},
      {"BlanksAroundNamesAndValue", "  [ s ]\r\n\t k \t=  v  w \t\r\n", "s", "k", "v  w"},
      {"DoubleQuotes", "[s]\r\nk=\" v \"\r\n", "s", "k", " v "},
      {"SingleQuotes", "[s]\r\nk='v'\r\n", "s", "k", "v"},
      {"OnlyOnePairOfQuotes", "[s]\r\nk=\"\"v\"\"\r\n", "s", "k", "\"v\""},
      {"UnmatchedQuotes", "[s]\r\nk=\"v'\r\n", "s", "k", "\"v'"},
      {"LoneQuote", "[s]\r\nk=\"\r\n", "s", "k", "\""},
      {"CutTo10239Bytes", "[s]\r\nk=" + longValue + "\r\n", "s", "k", longValue.substr(0, 10239)},
      {"CutAfterQuotes", "[s]\r\nk=\"" + longValue.substr(0, 10239) + "\"\r\n", "s", "k",
       longValue.substr(0, 10239)},
      {"CutNeverSplitsACharacter", "[s]\r\nk=" + wide + "\r\n", "s", "k", wide.substr(0, 10238)},
      // 0x81 0x5D is one character whose second byte is "]".
      {"BracketAsSecondByteEndsNoSection", "[s]\r\n[t\x81\x5D\r\nk=1\r\n", "s", "k", "1"},
      {"BracketAsSecondByteInsideName", "[t\x81\x5D]\r\nk=1\r\n", "t\x81\x5D", "k", "1"},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IniFile(c.content).Get(c.section, c.key), c.expected);
  }
}

struct Write {
  Text section, key, value;
};

struct WriteCase {
  const char* name;
  std::string before;
  std::vector<Write> writes;
  std::string after;
};

TEST(IniFile, WritesAsThePrivateProfileCallsDo) {
  const std::vector<WriteCase> cases = {
      {"NewFileKeepsOrderOfFirstWrites",
       "",
       {{"s", "b", "1"}, {"s", "a", "2"}, {"s", "b", "3"}},
       "[s]\r\nb=3\r\na=2\r\n"},
      {"EmptyValueKeepsTheKey", "[s]\r\nk=1\r\n", {{"s", "k", ""}}, "[s]\r\nk=\r\n"},
      {"ReplacesInPlace", "[s]\r\na=1\r\nb=2\r\n", {{"s", "a", "9"}}, "[s]\r\na=9\r\nb=2\r\n"},
      {"ReplaceKeepsLfLineEnds", "[s]\na=1\nb=2\n", {{"s", "a", "9"}}, "[s]\na=9\nb=2\n"},
      {"ReplaceIgnoresCaseAndKeepsSpelling",
       "[S]\r\nKey = 1\r\n",
       {{"s", "KEY", "2"}},
       "[S]\r\nKey=2\r\n"},
      {"AppendsToMiddleSection",
       "[a]\r\n;note\r\nx=1\r\n\r\n[b]\r\ny=2\r\n",
       {{"a", "z", "3"}},
       "[a]\r\n;note\r\nx=1\r\nz=3\r\n\r\n[b]\r\ny=2\r\n"},
      {"AppendsToSectionWithoutKeys", "[a]\r\n[b]\r\n", {{"a", "x", "1"}}, "[a]\r\nx=1\r\n[b]\r\n"},
      {"AppendsAfterFinalLineWithoutBreak",
       "[a]\r\nx=1",
       {{"a", "y", "2"}},
       "[a]\r\nx=1\r\ny=2\r\n"},
      {"AddsMissingSectionAtEnd",
       "[a]\r\nx=1\r\n",
       {{"b", "y", "2"}},
       "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
      {"AddsSectionAfterFinalLineWithoutBreak",
       "[a]\r\nx=1",
       {{"b", "y", "2"}},
       "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
      {"Utf8FileStaysUtf8",
       "\xEF\xBB\xBF[\xE9\x85\x8D]\r\n",
       {{Gbk("配"), "k", Gbk("中")}},
       "\xEF\xBB\xBF[\xE9\x85\x8D]\r\nk=\xE4\xB8\xAD\r\n"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    IniFile file(c.before);
    for (const Write& w : c.writes) EXPECT_TRUE(file.Set(w.section, w.key, w.value));
    EXPECT_EQ(file.Content(), c.after);
  }
}

TEST(IniFile, RefusesWritesThatWouldAddOrHideLines) {
  const std::vector<Write> refused = {
      {"s", "k", "a\r\nb=1"}, {"s", "k", "a\nb"}, {"s", "k", "a\rb"},  {"s", "a=b", "v"},
      {"s", "", "v"},         {"s]x", "k", "v"},  {"s\r\n", "k", "v"}, {"s", "k\n[t]", "v"},
  };
  for (const Write& w : refused) {
    SCOPED_TRACE(w.section + "/" + w.key + "/" + w.value);
    IniFile file("[s]\r\nk=1\r\n");
    EXPECT_FALSE(file.Set(w.section, w.key, w.value));
    EXPECT_EQ(file.Content(), "[s]\r\nk=1\r\n");
  }
}

TEST(IniFile, WritesFilesAndReadsThemBack) {
  TempDir dir;
  const auto path = dir.path() / "config.ini";
  EXPECT_EQ(ReadIniValue(path, "s", "k"), "");
  EXPECT_TRUE(WriteIniValue(path, "s", "k", "1"));
  EXPECT_TRUE(WriteIniValue(path, "t", "k", "2"));
  EXPECT_TRUE(WriteIniValue(path, "s", "k", "3"));
  EXPECT_EQ(ReadBytes(path), "[s]\r\nk=3\r\n[t]\r\nk=2\r\n");
  EXPECT_EQ(ReadIniValue(path, "t", "k"), "2");
}

TEST(IniFile, LeavesAPathThatIsNoFileAlone) {
  TempDir dir;
  const auto path = dir.path() / "config.ini";
  WriteBytes(path / "inside", "x");  // a folder where the file should be
  EXPECT_EQ(ReadIniValue(path, "s", "k"), "");
  EXPECT_FALSE(WriteIniValue(path, "s", "k", "1"));
  EXPECT_EQ(ReadBytes(path / "inside"), "x");
}

struct EscapeCase {
  const char* name;
  Text value;
  Text stored;
};

TEST(IniValueEscape, StoresLineBreaksOnOneLineAndGivesEveryValueBack) {
  const std::vector<EscapeCase> cases = {
      {"PlainTextAsIs", "no entry", "no entry"},
      {"UnknownBackslashPairAsIs", "C:\\dir\\x", "C:\\dir\\x"},
      {"LineBreaksEscaped", "one\r\ntwo", "one\\r\\ntwo"},
      {"LoneLineFeed", "one\ntwo", "one\\ntwo"},
      {"BackslashesOfAnEscapedValue", "a\\b\r\n", "a\\\\b\\r\\n"},
      {"EscapeLookalikeEscaped", "a\\nb", "a\\\\nb"},
      {"DoubleBackslashEscaped", "a\\\\b", "a\\\\\\\\b"},
      // 0x81 0x5C is one character whose second byte is "\".
      {"SecondByteBackslashIsNoEscape", "\x81\x5Cn", "\x81\x5Cn"},
      {"SecondByteBackslashBeforeBreak", "\x81\x5C\r\n", "\x81\x5C\\r\\n"},
      {"TrailingBackslash", "a\\", "a\\"},
  };
  for (const EscapeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EscapeIniValue(c.value), c.stored);
    EXPECT_EQ(UnescapeIniValue(c.stored), c.value);
  }
}

TEST(IniValueEscape, AnEscapedReasonAddsNoKey) {
  IniFile file;
  ASSERT_TRUE(file.Set("s", "reason", EscapeIniValue("bye\r\nanswer=x\r\n[t]\r\nk=1")));
  EXPECT_EQ(file.Content(), "[s]\r\nreason=bye\\r\\nanswer=x\\r\\n[t]\\r\\nk=1\r\n");
  EXPECT_EQ(file.Get("s", "answer"), "");
  EXPECT_EQ(file.Get("t", "k"), "");
  EXPECT_EQ(UnescapeIniValue(file.Get("s", "reason")), "bye\r\nanswer=x\r\n[t]\r\nk=1");
}

}  // namespace
}  // namespace lumirack
