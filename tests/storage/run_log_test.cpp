#include "storage/run_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixed_clock.h"
#include "monitor_fixture.h"
#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

using testing::FixedClock;
using testing::Listing;

class RunLog : public testing::MonitorFixture {
 protected:
  std::vector<std::string> RunLogs() const {
    std::vector<std::string> logs;
    for (const std::string& name : Listing(data_)) {
      if (name.starts_with(texts::kRunLogPrefix)) logs.push_back(name);
    }
    return logs;
  }
};

TEST_F(RunLog, EmptyResultsBoxWritesNoLog) {
  FixedClock clock;
  SaveWith({});
  EXPECT_TRUE(RunLogs().empty());
}

struct NameCase {
  bool hours24;
  const char* name;
};

TEST_F(RunLog, WritesTheResultsBoxToAFileNamedByTheClosingTime) {
  const Text results = Gbk("同意QQ：10001加入QQ群：123456成功\r\nQQ：10002退出QQ群：123456\r\n");
  const std::vector<NameCase> cases = {
      {true, "运行记录2024年05月06日 13时05分09秒.ini"},
      {false, "运行记录2024年05月06日 01时05分09秒.ini"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(data_);
    std::filesystem::create_directories(data_);
    FixedClock clock({2024, 5, 6, 13, 5, 9}, c.hours24);
    SaveWith({{monitor::kResultsBox, results}});
    EXPECT_EQ(RunLogs(), std::vector<std::string>{c.name});
    EXPECT_EQ(Read(c.name), results);
  }
}

TEST_F(RunLog, TwoClosingsInOneSecondReplaceTheLog) {
  FixedClock clock;
  SaveWith({{monitor::kResultsBox, "first\r\nrun\r\n"}});
  SaveWith({{monitor::kResultsBox, "second"}});
  ASSERT_EQ(RunLogs().size(), 1u);
  EXPECT_EQ(Read(RunLogs().front()), "second");
}

}  // namespace
}  // namespace lumirack
