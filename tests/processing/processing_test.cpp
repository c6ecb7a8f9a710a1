// The poll cycle end to end: the monitor window on the headless toolkit, real HTTP to the
// stand-in service on 127.0.0.1, and what the service recorded.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/session_state.h"
#include "common/temp_dir.h"
#include "login/bkn.h"
#include "monitor/monitor_controls.h"
#include "monitor/monitor_window.h"
#include "processing/decision_calls.h"
#include "processing/decision_rules.h"
#include "processing/poll.h"
#include "sim/sim_server.h"
#include "storage/data_dir.h"
#include "support/charset.h"
#include "ui/headless.h"

namespace lumirack {
namespace {

using sim::Message;

class PollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start(0)) << sim_.LastError();
    Session() = SessionState{};
    Session().serviceHost = sim_.HostPort();
    Session().cookies = sim_.SignIn("10001");
    Session().bkn = ComputeBkn(TextBetween(Session().cookies + "; ", "skey=", "; "));
    SetDataDirectory(dir_.path());
    SetUi(&ui_);
    ui_.Load(MonitorWindowDefinition(), false);
    window_ = ui_.Find("MonitorWindow");
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    SetUi(nullptr);
    SetDataDirectory(std::nullopt);
  }

  void Box(std::string_view box, std::string_view utf8) { window_->SetText(box, Gbk(utf8)); }
  Text Results() const { return window_->GetText(monitor::kResultsBox); }

  static Message Request(std::string seq, std::string uin, std::string group,
                         std::string question = {}, std::string answer = {}) {
    Message m;
    m.seq = std::move(seq);
    m.uin = std::move(uin);
    m.group = std::move(group);
    m.question = std::move(question);
    m.answer = std::move(answer);
    return m;
  }

  sim::SimServer sim_;
  testing::TempDir dir_;
  HeadlessToolkit ui_;
  HeadlessWindow* window_ = nullptr;
};

struct RuleCase {
  const char* name;
  const char* group;
  const char* question;
  const char* answer;
  const char* blacklist;
  const char* whitelist;
  Message message;
  const char* line;  // UTF-8; empty: nothing logged
  int cmd;           // the decision sent; 0: none
};

Message Join(const char* uin, const char* group, const char* question = "",
             const char* answer = "") {
  Message m;
  m.seq = "7001";
  m.uin = uin;
  m.group = group;
  m.question = question;
  m.answer = answer;
  return m;
}

Message Quit(const char* uin, const char* group) {
  Message m = Join(uin, group);
  m.quit = true;
  return m;
}

TEST_F(PollTest, DecidesTheFirstMessageByTheRules) {
  const RuleCase cases[] = {
      {"nothing set approves", "", "", "", "", "", Join("555", "900"),
       "同意QQ：555加入QQ群：900成功\r\n", 1},
      {"blacklist before whitelist", "", "", "", "111\r\n222\r\n", "222\r\n", Join("222", "900"),
       "拒绝黑名单QQ：222加入QQ群：900成功\r\n", 2},
      {"a listed number lists its endings", "", "", "", "12345\r\n", "", Join("2345", "900"),
       "拒绝黑名单QQ：2345加入QQ群：900成功\r\n", 2},
      {"a trailing space unlists", "", "", "", "333 \r\n", "", Join("333", "900"),
       "同意QQ：333加入QQ群：900成功\r\n", 1},
      {"outside the whitelist", "", "", "", "", "333\r\n", Join("444", "900"),
       "拒绝白名单以外的QQ：444加入QQ群：900成功\r\n", 2},
      {"whitelisted goes on to the answer", "", "", "abc", "", "333\r\n",
       Join("333", "900", "", "abc"), "同意QQ：333加入QQ群：900成功\r\n", 1},
      {"answer case counts", "", "", "abc", "", "", Join("333", "900", "", "ABC"),
       "拒绝答案错误QQ：333加入QQ群：900成功\r\n", 2},
      {"question and answer", "", "你的城市", "北京", "", "",
       Join("333", "900", "你的城市", "北京"), "同意QQ：333加入QQ群：900成功\r\n", 1},
      {"another question leaves the answer empty", "", "别的问题", "北京", "", "",
       Join("333", "900", "你的城市", "北京"), "拒绝答案错误QQ：333加入QQ群：900成功\r\n", 2},
      {"no question box takes the whole message", "", "", "北京", "", "",
       Join("333", "900", "你的城市", "北京"), "拒绝答案错误QQ：333加入QQ群：900成功\r\n", 2},
      {"the group filter skips another group", "111", "", "", "", "", Join("333", "222"), "", 0},
      {"the group filter passes its group", "222", "", "", "", "", Join("333", "222"),
       "同意QQ：333加入QQ群：222成功\r\n", 1},
      {"a quit notice is logged whatever the group box", "111", "", "", "", "", Quit("333", "222"),
       "QQ：333退出QQ群：222\r\n", 0},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.ClearRecords();
    sim_.SetMessages({c.message});
    Box(monitor::kGroupBox, c.group);
    Box(monitor::kQuestionBox, c.question);
    Box(monitor::kAnswerBox, c.answer);
    Box(monitor::kBlacklistBox, c.blacklist);
    Box(monitor::kWhitelistBox, c.whitelist);
    Box(monitor::kResultsBox, "");
    PollOnce(*window_);
    EXPECT_EQ(Results(), Gbk(c.line));
    const std::vector<sim::Decision> decisions = sim_.Decisions();
    if (c.cmd == 0) {
      EXPECT_TRUE(decisions.empty());
    } else {
      ASSERT_EQ(decisions.size(), 1u);
      EXPECT_EQ(decisions[0].cmd, c.cmd);
      EXPECT_EQ(decisions[0].seq, "7001");
      EXPECT_EQ(decisions[0].ec, 0);
    }
  }
  EXPECT_TRUE(ui_.messages().empty());
  EXPECT_TRUE(ui_.unknownControls().empty());
}

TEST_F(PollTest, HandlesOnlyTheFirstOfSeveralBlocks) {
  sim_.SetMessages(
      {Request("1", "101", "900"), Request("2", "102", "900"), Request("3", "103", "900")});
  PollOnce(*window_);
  ASSERT_EQ(sim_.Decisions().size(), 1u);
  EXPECT_EQ(sim_.Decisions()[0].seq, "1");
  EXPECT_EQ(Results(), Gbk("同意QQ：101加入QQ群：900成功\r\n"));
  EXPECT_EQ(Session().messageBlocks.size(), 3u);
}

TEST_F(PollTest, AReplyWithoutBlocksKeepsTheCurrentFields) {
  sim_.SetMessages({Request("1", "101", "900", "", "hi")});
  PollOnce(*window_);
  const Text before = Results();
  ASSERT_FALSE(before.empty());

  struct Case {
    const char* name;
    sim::Fault fault;
  };
  sim::Fault closed;
  closed.kind = sim::FaultKind::kCloseBeforeReply;
  sim::Fault empty;
  empty.kind = sim::FaultKind::kEmpty200;
  sim::Fault error;
  error.kind = sim::FaultKind::kHttp500;
  const Case cases[] = {{"no messages", {}},
                        {"connection closed", closed},
                        {"empty reply", empty},
                        {"error page", error}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.SetMessages({});
    sim_.ClearFaults();
    sim_.SetFault(sim::kGetMsgEndpoint, c.fault);
    PollOnce(*window_);
    EXPECT_TRUE(Session().messageBlocks.empty());
    EXPECT_EQ(Session().currentSeq, "1");
    EXPECT_EQ(Session().currentUin, "101");
    EXPECT_EQ(Session().currentGroup, "900");
    EXPECT_EQ(Session().currentAnswer, "hi");
    EXPECT_EQ(Results(), before);
  }
  EXPECT_EQ(sim_.Decisions().size(), 1u);
}

TEST_F(PollTest, DecidesTheSameMessageAgainWhileItIsOffered) {
  sim_.SetKeepDecided(true);
  sim_.SetMessages({Request("1", "101", "900")});
  PollOnce(*window_);
  PollOnce(*window_);
  EXPECT_EQ(sim_.Decisions().size(), 2u);
  EXPECT_EQ(Results(), Gbk("同意QQ：101加入QQ群：900成功\r\n同意QQ：101加入QQ群：900成功\r\n"));
}

TEST_F(PollTest, OnlyTheExactTakenReplyIsSuccess) {
  struct Case {
    const char* name;
    std::string body;
    const char* word;
  };
  const Case cases[] = {
      {"taken", "{\"ec\":0}", "成功"},
      {"a line break after it", "{\"ec\":0}\n", "失败"},
      {"a space after the colon", "{\"ec\": 0}", "失败"},
      {"another code", "{\"ec\":1}", "失败"},
      {"empty", "", "失败"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.SetMessages({Request("1", "101", "900")});
    sim::Fault reply;
    reply.kind = sim::FaultKind::kCustomBody;
    reply.body = c.body;
    sim_.ClearFaults();
    sim_.SetFault(sim::kDecideEndpoint, reply);
    Box(monitor::kResultsBox, "");
    PollOnce(*window_);
    EXPECT_EQ(Results(), Gbk(std::string("同意QQ：101加入QQ群：900") + c.word + "\r\n"));
  }
}

TEST_F(PollTest, SendsTheReasonAsPercentEncodedUtf8) {
  struct Case {
    const char* name;
    const char* reason;
    const char* encoded;
  };
  const Case cases[] = {
      {"Chinese", "不符合", "%E4%B8%8D%E7%AC%A6%E5%90%88"},
      {"letters are escaped too", "ok", "%6F%6B"},
      {"empty", "", ""},
      {"two lines", "a\r\nb", "%61%0D%0A%62"},
  };
  Box(monitor::kBlacklistBox, "101\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.ClearRecords();
    sim_.SetMessages({Request("1", "101", "900")});
    Box(monitor::kReasonBox, c.reason);
    PollOnce(*window_);
    ASSERT_EQ(sim_.Decisions().size(), 1u);
    const sim::Decision d = sim_.Decisions()[0];
    EXPECT_EQ(d.body, "seq=1&t=1&gc=900&cmd=2&uin=101&msg=" + std::string(c.encoded) +
                          "&flag=0&ver=5521&from=2&bkn=" + Session().bkn);
    EXPECT_EQ(d.reason, std::string(c.reason));
  }
}

TEST_F(PollTest, SendsCookiesTheServiceRefreshedOnTheNextTick) {
  sim::CookieRefresh refresh;
  refresh.enabled = true;
  refresh.name = "ptcz";
  sim_.SetCookieRefresh(refresh);
  PollOnce(*window_);
  const Text value = TextBetween(Session().cookies + "; ", "ptcz=", "; ");
  ASSERT_FALSE(value.empty()) << Session().cookies;

  sim_.ClearRecords();
  PollOnce(*window_);
  const std::vector<sim::RecordedRequest> requests = sim_.Requests();
  ASSERT_FALSE(requests.empty());
  std::string cookieLine;
  for (const auto& [name, text] : requests.back().headers) {
    if (name == "Cookie") cookieLine = text;
  }
  EXPECT_NE(cookieLine.find("ptcz=" + value), std::string::npos) << cookieLine;
  EXPECT_NE(cookieLine.find("skey="), std::string::npos) << cookieLine;
}

// Fields read straight from blocks, without the network: the group box names another group, so
// the handling stops after reading them.
TEST(HandleFirstMessage, ReadsTheFieldsByTheirExactMarkers) {
  struct Case {
    const char* name;
    const char* question;
    const char* block;  // UTF-8
    const char* seq;
    const char* uin;
    const char* group;
    const char* answer;
  };
  const Case cases[] = {
      {"all fields", "",
       "1\"><dd seq=\"42\" type=\"1\"><a uin=\"7\" qid=\"8\" qaid=\"0\">"
       "<div title=\"附加消息：你好\"><label>附加消息：你好</label>",
       "42", "7", "8", "你好"},
      {"seq attribute in capitals is not read", "",
       "1\"><DD SEQ=\"42\" type=\"1\"><a uin=\"7\" qid=\"8\" qaid", "", "7", "8", ""},
      {"every field missing", "", "0\"><dd>nothing here</dd>", "", "", "", ""},
      {"a quoted question matches through the placeholder", "说#引号好#引号",
       "1\"><dd seq=\"1\" type=\"1\"><div title=\"附加消息：问题：说\"好\"<br>答案：是\">"
       "<label>附加消息：",
       "1", "", "", "是"},
  };
  HeadlessToolkit ui;
  SetUi(&ui);
  WindowDef def;
  def.id = "MonitorWindow";
  for (std::string_view name : {monitor::kGroupBox, monitor::kQuestionBox, monitor::kResultsBox}) {
    ControlDef c;
    c.kind = ControlKind::kEdit;
    c.name = name;
    def.controls.push_back(c);
  }
  ui.Load(def, false);
  HeadlessWindow& window = *ui.Find("MonitorWindow");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session() = SessionState{};
    window.SetText(monitor::kGroupBox, "no such group");
    window.SetText(monitor::kQuestionBox, Gbk(c.question));
    Session().messageBlocks = {Gbk(c.block)};
    HandleFirstMessage(window);
    EXPECT_EQ(Session().currentSeq, Gbk(c.seq));
    EXPECT_EQ(Session().currentUin, Gbk(c.uin));
    EXPECT_EQ(Session().currentGroup, Gbk(c.group));
    EXPECT_EQ(Session().currentAnswer, Gbk(c.answer));
    EXPECT_FALSE(Session().quitNotice);
    EXPECT_TRUE(window.GetText(monitor::kResultsBox).empty());
  }
  SetUi(nullptr);
}

TEST(DecisionBodies, KeepRealValuesAndEscapeFieldBreakers) {
  Session() = SessionState{};
  Session().currentSeq = "10";
  Session().currentGroup = "20";
  Session().currentUin = "30";
  Session().bkn = "40";
  EXPECT_EQ(ApprovalBody(), "seq=10&t=1&gc=20&cmd=1&uin=30&ver=5521&from=2&bkn=40");
  EXPECT_EQ(RejectionBody(""), "seq=10&t=1&gc=20&cmd=2&uin=30&msg=&flag=0&ver=5521&from=2&bkn=40");

  // A hostile seq must not turn a rejection into an approval or add fields.
  Session().currentSeq = "1&cmd=1";
  Session().currentGroup = "2#3 4";
  Session().currentUin = "5%\r\n+=";
  EXPECT_EQ(RejectionBody("%61"),
            "seq=1%26cmd%3D1&t=1&gc=2%233%204&cmd=2&uin=5%25%0D%0A%2B%3D&msg=%61"
            "&flag=0&ver=5521&from=2&bkn=40");
}

TEST(IsListed, NeedsTheLineEndRightAfterTheNumber) {
  struct Case {
    const char* name;
    Text list, uin;
    bool listed;
  };
  const Case cases[] = {
      {"whole line", "111\r\n222\r\n", "222", true},
      {"ending of a longer number", "12345\r\n", "2345", true},
      {"no line end after the last", "111\r\n222", "222", false},
      {"space before the line end", "333 \r\n", "333", false},
      {"empty applicant is any line end", "1\r\n", "", true},
      {"empty list", "", "", false},
      {"never from a trail byte",
       "\x81"
       "1\r\n",
       "1", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsListed(c.list, c.uin), c.listed) << c.name;
}

}  // namespace
}  // namespace lumirack
