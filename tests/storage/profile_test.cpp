#include "storage/profile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "monitor_fixture.h"
#include "storage/ini_file.h"
#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

using testing::Boxes;
using testing::Listing;
using testing::ReadBytes;
using testing::WriteBytes;
namespace m = monitor;

std::string PointerBytes(const Text& folder) {
  return "[" + Gbk(texts::kPointerSection) + "]\r\n" + Gbk(texts::kPointerKey) + "=" + folder +
         "\r\n";
}

std::string SettingsBytes(const Text& group, const Text& question, const Text& answer,
                          const Text& reason) {
  return "[" + Gbk(texts::kSettingsSection) + "]\r\n" + Gbk(texts::kGroupKey) + "=" + group +
         "\r\n" + Gbk(texts::kQuestionKey) + "=" + question + "\r\n" + Gbk(texts::kAnswerKey) +
         "=" + answer + "\r\n" + Gbk(texts::kReasonKey) + "=" + reason + "\r\n";
}

std::string Join(std::string_view folder, std::string_view file) {
  return std::string(folder) + "/" + std::string(file);
}

Boxes AllEmpty() {
  Boxes boxes;
  for (const std::string_view box : testing::MonitorFixture::kProfileBoxes) boxes[box] = "";
  return boxes;
}

// `boxes` over all-empty boxes.
Boxes Filled(const Boxes& boxes) {
  Boxes all = AllEmpty();
  for (const auto& [box, text] : boxes) all[box] = text;
  return all;
}

class Profile : public testing::MonitorFixture {};

TEST_F(Profile, FirstStartKeepsTheBoxesAndClosingCreatesEveryFile) {
  HeadlessWindow& w = Open();
  for (const std::string_view box : kProfileBoxes) {
    EXPECT_EQ(w.GetText(box), "");
    w.SetText(box, "keep");
  }
  LoadProfile(w);  // still no pointer file
  for (const std::string_view box : kProfileBoxes) EXPECT_EQ(w.GetText(box), "keep");
  for (const std::string_view box : kProfileBoxes) w.SetText(box, "");
  toolkit_.Escape(w);

  const std::string shared(texts::kSharedProfile);
  EXPECT_EQ(Listing(data_), (std::set<std::string>{std::string(texts::kPointerFile), shared}));
  EXPECT_EQ(Listing(Path(shared)), (std::set<std::string>{std::string(texts::kSettingsFile),
                                                          std::string(texts::kBlacklistFile),
                                                          std::string(texts::kWhitelistFile)}));
  EXPECT_EQ(Read(texts::kPointerFile), PointerBytes(Gbk(texts::kSharedProfile)));
  EXPECT_EQ(Read(Join(shared, texts::kSettingsFile)), SettingsBytes("", "", "", ""));
  EXPECT_EQ(Read(Join(shared, texts::kBlacklistFile)), "");
  EXPECT_EQ(Read(Join(shared, texts::kWhitelistFile)), "");
}

TEST_F(Profile, GroupNumberNamesTheFolderThePointerAndTheKey) {
  const Boxes saved = {{m::kGroupBox, "123456"},         {m::kQuestionBox, Gbk("暗号")},
                       {m::kAnswerBox, Gbk("芝麻开门")}, {m::kReasonBox, Gbk("答案错误")},
                       {m::kBlacklistBox, "10001\r\n"},  {m::kWhitelistBox, "20002"}};
  SaveWith(saved);
  EXPECT_EQ(Read(texts::kPointerFile), PointerBytes("123456"));
  EXPECT_EQ(Read(Join("123456", texts::kSettingsFile)),
            SettingsBytes("123456", Gbk("暗号"), Gbk("芝麻开门"), Gbk("答案错误")));
  EXPECT_EQ(Read(Join("123456", texts::kBlacklistFile)), "10001\r\n");
  EXPECT_EQ(Read(Join("123456", texts::kWhitelistFile)), "20002");
  EXPECT_EQ(Reload(), saved);
}

struct RoundTripCase {
  const char* name;
  Boxes saved;
  Boxes loaded;  // the boxes that come back different
};

TEST_F(Profile, BoxesComeBackAfterARestart) {
  const std::string longText(12000, 'x');
  const std::vector<RoundTripCase> cases = {
      {"SharedProfileKeepsGroupEmpty", {{m::kQuestionBox, "q"}}, {}},
      {"ThreeLineListWithoutFinalBreak",
       {{m::kBlacklistBox, "1\r\n2\r\n3"}, {m::kWhitelistBox, "4\r\n\r\n"}},
       {}},
      {"BlanksAroundValuesDropped",
       {{m::kQuestionBox, "  q "}, {m::kAnswerBox, "\ta\t"}, {m::kReasonBox, " r  s "}},
       {{m::kQuestionBox, "q"}, {m::kAnswerBox, "a"}, {m::kReasonBox, "r  s"}}},
      {"EnclosingQuotesDropped",
       {{m::kQuestionBox, "\"q\""}, {m::kAnswerBox, "'a'"}, {m::kReasonBox, "\"r'"}},
       {{m::kQuestionBox, "q"}, {m::kAnswerBox, "a"}}},
      {"LongValueCutTo10239Bytes",
       {{m::kReasonBox, longText}},
       {{m::kReasonBox, longText.substr(0, 10239)}}},
      {"MultiLineReasonKeptWholeWithoutAddingAKey",
       {{m::kReasonBox, Gbk("请先改名\r\n答案=x\r\n[配置]\r\n群号=1")}},
       {}},
      {"BackslashesKept", {{m::kReasonBox, "a\\nb\\"}, {m::kAnswerBox, "C:\\r"}}, {}},
  };
  for (const RoundTripCase& c : cases) {
    SCOPED_TRACE(c.name);
    SaveWith(c.saved);
    Boxes expected = Filled(c.saved);
    for (const auto& [box, text] : c.loaded) expected[box] = text;
    EXPECT_EQ(Reload(), expected);
  }
}

TEST_F(Profile, SavingUnderAnotherGroupLeavesTheEarlierFolder) {
  SaveWith({{m::kGroupBox, "111"}, {m::kQuestionBox, "qa"}, {m::kBlacklistBox, "1"}});
  const auto settingsA = Read(Join("111", texts::kSettingsFile));
  ASSERT_TRUE(settingsA);
  SaveWith({{m::kGroupBox, "222"}, {m::kQuestionBox, "qb"}});

  EXPECT_EQ(Read(texts::kPointerFile), PointerBytes("222"));
  EXPECT_EQ(Read(Join("111", texts::kSettingsFile)), settingsA);
  EXPECT_EQ(Read(Join("111", texts::kBlacklistFile)), "1");
  EXPECT_EQ(Reload(), Filled({{m::kGroupBox, "222"}, {m::kQuestionBox, "qb"}}));
}

TEST_F(Profile, LoadsFilesTheWindowsProgramWrote) {
  // The group box takes the stored value, not the folder name; lists end at a NUL.
  WriteBytes(Path(texts::kPointerFile), PointerBytes("777"));
  WriteBytes(Path(Join("777", texts::kSettingsFile)),
             "[" + Gbk(texts::kSettingsSection) + "]\r\n" + Gbk(texts::kGroupKey) + "=778\r\n" +
                 Gbk(texts::kReasonKey) + "= \"" + Gbk("不收") + " \" \r\n");
  WriteBytes(Path(Join("777", texts::kBlacklistFile)), std::string("1\r\n2\0\r\n3", 8));
  EXPECT_EQ(Reload(), Filled({{m::kGroupBox, "778"},
                              {m::kReasonBox, Gbk("不收") + " "},
                              {m::kBlacklistBox, "1\r\n2"}}));
}

TEST_F(Profile, EmptyPointerValueReadsTheDataDirectoryItself) {
  WriteBytes(Path(texts::kPointerFile), PointerBytes(""));
  WriteBytes(Path(texts::kSettingsFile),
             SettingsBytes("5", "q", "", "") /* written with every key */);
  WriteBytes(Path(texts::kWhitelistFile), "9\r\n");
  EXPECT_EQ(Reload(),
            Filled({{m::kGroupBox, "5"}, {m::kQuestionBox, "q"}, {m::kWhitelistBox, "9\r\n"}}));
}

struct PointerCase {
  const char* name;
  Text folder;  // as the pointer file holds it
};

TEST_F(Profile, PointerToAMissingOrUnsafeFolderEmptiesTheBoxes) {
  // A profile the unsafe names would reach if they were followed.
  const std::string decoy = SettingsBytes("666", "decoy", "", "");
  WriteBytes(sandbox_.path() / texts::kSettingsFile, decoy);
  WriteBytes(sandbox_.path() / "outside" / texts::kSettingsFile, decoy);
  WriteBytes(Path(Join("a", "b")) / texts::kSettingsFile, decoy);
  WriteBytes(Path(texts::kSettingsFile), decoy);
  const std::vector<PointerCase> cases = {
      {"MissingFolder", "404"}, {"Parent", ".."},        {"OutsideTheData", "../outside"},
      {"Slash", "a/b"},         {"Absolute", "/tmp"},    {"Dot", "."},
      {"Backslash", "a\\b"},    {"ControlByte", "a\tb"},
  };
  for (const PointerCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Path(texts::kPointerFile), PointerBytes(c.folder));
    HeadlessWindow& w = Open(false);
    for (const std::string_view box : kProfileBoxes) w.SetText(box, "keep");
    LoadProfile(w);
    for (const std::string_view box : kProfileBoxes) EXPECT_EQ(w.GetText(box), "") << box;
    toolkit_.Escape(w);
  }
}

TEST_F(Profile, UnsafeGroupNumberWritesOnlyThePointer) {
  const std::vector<Text> groups = {
      "../x", "..",   ".",    "a/b",
      "/abs", "a\\b", "1\t2", "1\r\n[" + Gbk(texts::kPointerSection) + "]",
  };
  for (const Text& group : groups) {
    SCOPED_TRACE(group);
    std::filesystem::remove_all(data_);
    std::filesystem::create_directories(data_);
    SaveWith({{m::kGroupBox, group}, {m::kQuestionBox, "q"}, {m::kBlacklistBox, "1"}});

    EXPECT_EQ(Listing(sandbox_.path()), std::set<std::string>{"data"});
    EXPECT_EQ(Listing(data_), std::set<std::string>{std::string(texts::kPointerFile)});
    const IniFile pointer(Read(texts::kPointerFile).value_or(""));
    EXPECT_EQ(UnescapeIniValue(pointer.Get(Gbk(texts::kPointerSection), Gbk(texts::kPointerKey))),
              group);
    EXPECT_EQ(Reload(), AllEmpty());
  }
}

TEST_F(Profile, UnwritableDataDirectoryBreaksNothing) {
  WriteBytes(sandbox_.path() / "file", "x");
  SetDataDirectory(sandbox_.path() / "file" / "data");  // a file where a folder is expected
  SaveWith({{m::kGroupBox, "1"}, {m::kQuestionBox, "q"}, {m::kResultsBox, "line\r\n"}});
  EXPECT_EQ(Reload(), AllEmpty());
  EXPECT_EQ(ReadBytes(sandbox_.path() / "file"), "x");
}

TEST_F(Profile, FileWhereTheProfileFolderShouldBeStaysAsItWas) {
  WriteBytes(Path("123456"), "x");
  SaveWith({{m::kGroupBox, "123456"}, {m::kQuestionBox, "q"}});
  EXPECT_EQ(Read("123456"), "x");
  EXPECT_EQ(Read(texts::kPointerFile), PointerBytes("123456"));
  EXPECT_EQ(Reload(), AllEmpty());
}

// Limits the size of files this process may write, so a write fails midway as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  void (*previousHandler_)(int);
};

TEST_F(Profile, FailedWritesLeaveTheOldFilesWhole) {
  SaveWith({{m::kGroupBox, "1"}, {m::kQuestionBox, "old"}, {m::kBlacklistBox, "old\r\n"}});
  const auto settings = Read(Join("1", texts::kSettingsFile));
  {
    FileSizeLimit limit(64);
    SaveWith({{m::kGroupBox, "1"},
              {m::kQuestionBox, std::string(100, 'q')},
              {m::kBlacklistBox, std::string(4096, '9')}});
  }
  EXPECT_EQ(Read(Join("1", texts::kSettingsFile)), settings);
  EXPECT_EQ(Read(Join("1", texts::kBlacklistFile)), "old\r\n");
  EXPECT_EQ(Listing(Path("1")).size(), 3u) << "a temporary file was left behind";
  EXPECT_EQ(Reload(),
            Filled({{m::kGroupBox, "1"}, {m::kQuestionBox, "old"}, {m::kBlacklistBox, "old\r\n"}}));
}

}  // namespace
}  // namespace lumirack
