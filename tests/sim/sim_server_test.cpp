#include "sim/sim_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "login/bkn.h"
#include "raw_client.h"
#include "sim/scenario.h"
#include "support/charset.h"
#include "support/text.h"
#include "support/texts.h"

namespace lumirack::sim {
namespace {

using testing::Exchange;
using testing::ExchangeInParts;
using testing::RawReply;
using testing::Request;

constexpr const char* kGetMsg = "/cgi-bin/sys_msg/getmsg?ver=5521&filter=2";
constexpr const char* kDecide = "/cgi-bin/sys_msg/set_msgstate";

// A message as the program reads it from a block: converted to GBK, fields between the first
// left marker and the next right marker.
struct ReadMessage {
  std::string unread, seq, uin, group, answer, qaAnswer;
  bool quit = false;
};

std::vector<ReadMessage> ReadPage(const std::string& utf8Page, const std::string& question = "") {
  const Text page = Utf8ToAnsi(utf8Page);
  const Text left = Gbk(texts::kBlockLeft);
  const Text right = Gbk(texts::kBlockRight);
  std::vector<ReadMessage> out;
  for (std::size_t at = FindTextOffset(page, left, 0, true); at != std::string::npos;) {
    const std::size_t from = at + left.size();
    const std::size_t end = FindTextOffset(page, right, from, true);
    if (end == std::string::npos) break;
    const Text block = page.substr(from, end - from);
    ReadMessage m;
    m.unread = block.substr(0, 1);
    m.seq = TextBetween(block, Gbk(texts::kSeqLeft), Gbk(texts::kSeqRight));
    m.uin = TextBetween(block, Gbk(texts::kUinLeft), Gbk(texts::kUinRight));
    m.group = TextBetween(block, Gbk(texts::kGroupLeft), Gbk(texts::kGroupRight));
    m.answer = AnsiToUtf8(TextBetween(block, Gbk(texts::kAnswerLeft), Gbk(texts::kAnswerRight)));
    m.qaAnswer = AnsiToUtf8(TextBetween(
        block, Gbk(texts::kQuestionAnswerLeft) + Gbk(question) + Gbk(texts::kQuestionAnswerMiddle),
        Gbk(texts::kAnswerRight)));
    m.quit = FindTextOffset(block, Gbk(texts::kQuitMark)) != std::string::npos;
    out.push_back(m);
    at = FindTextOffset(page, left, end + right.size(), true);
  }
  return out;
}

std::string ApproveBody(const Message& m, const std::string& bkn) {
  return "seq=" + m.seq + "&t=1&gc=" + m.group + "&cmd=1&uin=" + m.uin +
         "&ver=5521&from=2&bkn=" + bkn;
}

std::string RejectBody(const Message& m, const std::string& encodedReason, const std::string& bkn) {
  return "seq=" + m.seq + "&t=1&gc=" + m.group + "&cmd=2&uin=" + m.uin + "&msg=" + encodedReason +
         "&flag=0&ver=5521&from=2&bkn=" + bkn;
}

std::string SkeyOf(const std::string& cookies) { return TextBetween(cookies, "skey=", "; "); }

class SimServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    server_.SetMessages(Fixture());
    cookies_ = server_.SignIn("10001");
    bkn_ = ComputeBkn(SkeyOf(cookies_));
  }

  static std::vector<Message> Fixture() {
    Message join{.seq = "1003", .uin = "20001", .group = "555001", .answer = "朋友介绍"};
    Message qa{.seq = "1002",
               .uin = "20002",
               .group = "555002",
               .question = "暗号？",
               .answer = "芝麻 & <开门>",
               .unread = false};
    Message quit{.seq = "1001", .type = "13", .uin = "20003", .group = "555001", .quit = true};
    return {join, qa, quit};
  }

  RawReply Get(const std::string& target, const std::string& cookies = {}) {
    return Exchange(server_.Port(), Request("GET", target, cookies, {}, server_.HostPort()));
  }
  RawReply Post(const std::string& target, const std::string& body,
                const std::string& cookies = {}) {
    return Exchange(server_.Port(), Request("POST", target, cookies, body, server_.HostPort()));
  }

  SimServer server_;
  std::string cookies_;
  std::string bkn_;
};

TEST_F(SimServerTest, LoginPageOffersTheFormAndTheQuickLogin) {
  const RawReply page = Get(server_.LoginUrl().substr(server_.BaseUrl().size()));
  ASSERT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("action=\"/cgi-bin/login\""), std::string::npos);
  EXPECT_NE(page.body.find(">登录</button>"), std::string::npos);
  EXPECT_NE(page.body.find(">快速登录</a>"), std::string::npos);
  EXPECT_NE(page.body.find("type=\"password\""), std::string::npos);
}

TEST_F(SimServerTest, SigningInSetsTheSessionCookiesAndLeadsHome) {
  struct Case {
    const char* name;
    RawReply reply;
  };
  const Case cases[] = {
      {"form", Post("/cgi-bin/login", "u=123456&p=secret&s_url=https%3A%2F%2Fqun.qq.com%2F")},
      {"quick link", Get("/cgi-bin/quick_login?uin=123456&s_url=https%3A%2F%2Fqun.qq.com%2F")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.reply.status, 302);
    EXPECT_EQ(c.reply.Header("Location"), server_.BaseUrl() + "/");
    const std::vector<std::string> set = c.reply.Headers("Set-Cookie");
    ASSERT_GE(set.size(), 4u);
    EXPECT_EQ(set[0], "uin=o123456; Path=/");
    ASSERT_EQ(set[1].rfind("skey=@", 0), 0u);
    EXPECT_EQ(set[1].find(';'), 16u);  // "skey=@" and 10 characters
    EXPECT_EQ(set[1].find("HttpOnly"), std::string::npos);
    bool pSkeyHttpOnly = false;
    for (const std::string& line : set) {
      EXPECT_NE(line.find("Path=/"), std::string::npos) << line;
      if (line.rfind("p_skey=", 0) == 0) {
        pSkeyHttpOnly = line.find("; HttpOnly") != std::string::npos;
      } else {
        EXPECT_EQ(line.find("HttpOnly"), std::string::npos) << line;
      }
    }
    EXPECT_TRUE(pSkeyHttpOnly);

    // The cookies as a page would show them open the message list.
    std::string pageCookies;
    for (const std::string& line : set) {
      if (line.find("HttpOnly") != std::string::npos) continue;
      pageCookies += (pageCookies.empty() ? "" : "; ") + line.substr(0, line.find(';'));
    }
    EXPECT_EQ(ReadPage(Get(kGetMsg, pageCookies).body).size(), 3u);
    const RawReply home = Get("/", pageCookies);
    EXPECT_EQ(home.status, 200);
    EXPECT_NE(home.body.find("群管理"), std::string::npos);
  }
}

TEST_F(SimServerTest, SignInGivesThePageCookieStringWithSkeyFollowedBySeparator) {
  const std::string cookies = server_.SignIn("10002");
  EXPECT_EQ(cookies.rfind("uin=o10002; skey=@", 0), 0u);
  EXPECT_EQ(SkeyOf(cookies).size(), 11u);
  EXPECT_EQ(cookies.find("p_skey"), std::string::npos);
  EXPECT_NE(SkeyOf(cookies), SkeyOf(server_.SignIn("10002")));
}

TEST_F(SimServerTest, RefusesABadSignIn) {
  const char* bodies[] = {"u=abc&p=x", "u=123456&p=", "u=0123456&p=x", "p=x", "%zz"};
  for (const char* body : bodies) {
    const RawReply reply = Post("/cgi-bin/login", body);
    EXPECT_EQ(reply.status, 400) << body;
    EXPECT_TRUE(reply.Headers("Set-Cookie").empty()) << body;
  }
}

TEST_F(SimServerTest, MessageListCarriesEachFieldBetweenItsMarkers) {
  const RawReply reply = Get(kGetMsg, cookies_);
  ASSERT_EQ(reply.status, 200);
  EXPECT_EQ(reply.Header("Content-Type"), "text/html; charset=utf-8");
  const std::vector<ReadMessage> read = ReadPage(reply.body, "暗号？");
  ASSERT_EQ(read.size(), 3u);
  // Newest first, as set.
  EXPECT_EQ(read[0].seq, "1003");
  EXPECT_EQ(read[0].uin, "20001");
  EXPECT_EQ(read[0].group, "555001");
  EXPECT_EQ(read[0].answer, "朋友介绍");
  EXPECT_EQ(read[0].unread, "1");
  EXPECT_FALSE(read[0].quit);

  EXPECT_EQ(read[1].seq, "1002");
  EXPECT_EQ(read[1].unread, "0");
  EXPECT_EQ(read[1].answer, "问题：暗号？<br>答案：芝麻 &amp; &lt;开门&gt;");
  EXPECT_EQ(read[1].qaAnswer, "芝麻 &amp; &lt;开门&gt;");

  EXPECT_EQ(read[2].seq, "1001");
  EXPECT_EQ(read[2].uin, "20003");
  EXPECT_EQ(read[2].group, "555001");
  EXPECT_TRUE(read[2].quit);
  EXPECT_EQ(read[0].quit || read[1].quit, false);
}

TEST_F(SimServerTest, MessagePageMisleadsAReaderThatIgnoresTheBlocks) {
  const Text page = Utf8ToAnsi(Get(kGetMsg, cookies_).body);
  // Searching the whole page instead of the first block finds none of its fields.
  EXPECT_NE(TextBetween(page, Gbk(texts::kSeqLeft), Gbk(texts::kSeqRight)), "1003");
  EXPECT_NE(TextBetween(page, Gbk(texts::kUinLeft), Gbk(texts::kUinRight)), "20001");
  EXPECT_NE(TextBetween(page, Gbk(texts::kGroupLeft), Gbk(texts::kGroupRight)), "555001");
  EXPECT_NE(TextBetween(page, Gbk(texts::kAnswerLeft), Gbk(texts::kAnswerRight)), Gbk("朋友介绍"));
  // Blocks span lines, and other dl elements end before the first block starts.
  const std::size_t block = page.find(Gbk(texts::kBlockLeft));
  ASSERT_NE(block, std::string::npos);
  EXPECT_LT(page.find('\n', block), page.find("</dl>", block));
  EXPECT_NE(page.rfind("</dl>", block), std::string::npos);
}

TEST_F(SimServerTest, MessageListNeedsASignedInSession) {
  const std::string wrongSkey = "uin=o10001; skey=@AAAAAAAAAA; RK=x";
  const std::string otherUin = "uin=o99999; skey=" + SkeyOf(cookies_) + "; RK=x";
  for (const std::string& cookies : {std::string(), wrongSkey, otherUin}) {
    const RawReply reply = Get(kGetMsg, cookies);
    EXPECT_EQ(reply.status, 401) << cookies;
    EXPECT_NE(reply.body.find("<html"), std::string::npos);
    EXPECT_TRUE(ReadPage(reply.body).empty()) << cookies;
  }
  // The client's merged form, without spaces, is a signed-in session too.
  std::string merged = cookies_;
  merged.erase(std::remove(merged.begin(), merged.end(), ' '), merged.end());
  EXPECT_EQ(ReadPage(Get(kGetMsg, merged).body).size(), 3u);
}

TEST_F(SimServerTest, MessageListChecksItsQuery) {
  EXPECT_EQ(Get("/cgi-bin/sys_msg/getmsg?ver=5520&filter=2", cookies_).status, 400);
  EXPECT_EQ(Get("/cgi-bin/sys_msg/getmsg", cookies_).status, 400);
}

TEST_F(SimServerTest, ApprovalWithTheRightBknIsTakenAndLeavesTheList) {
  const Message join = Fixture()[0];
  const RawReply reply = Post(kDecide, ApproveBody(join, bkn_), cookies_);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "{\"ec\":0}");
  ASSERT_EQ(server_.Pending().size(), 2u);
  EXPECT_EQ(server_.Pending()[0].seq, "1002");
  EXPECT_EQ(ReadPage(Get(kGetMsg, cookies_).body)[0].seq, "1002");

  const std::vector<Decision> decisions = server_.Decisions();
  ASSERT_EQ(decisions.size(), 1u);
  EXPECT_EQ(decisions[0].seq, "1003");
  EXPECT_EQ(decisions[0].group, "555001");
  EXPECT_EQ(decisions[0].uin, "20001");
  EXPECT_EQ(decisions[0].cmd, 1);
  EXPECT_EQ(decisions[0].ec, 0);
  EXPECT_EQ(decisions[0].body, ApproveBody(join, bkn_));
}

TEST_F(SimServerTest, RejectionStoresTheDecodedReason) {
  struct Case {
    const char* name;
    const char* encoded;
    const char* reason;
  };
  const Case cases[] = {
      {"chinese", "%E4%B8%8D%E7%AC%A6%E5%90%88", "不符合"},
      {"every byte encoded", "%6F%6B", "ok"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_.SetMessages(Fixture());
    server_.ClearRecords();
    const RawReply reply = Post(kDecide, RejectBody(Fixture()[1], c.encoded, bkn_), cookies_);
    EXPECT_EQ(reply.body, "{\"ec\":0}");
    ASSERT_EQ(server_.Decisions().size(), 1u);
    EXPECT_EQ(server_.Decisions()[0].cmd, 2);
    EXPECT_EQ(server_.Decisions()[0].reason, c.reason);
    EXPECT_EQ(server_.Pending().size(), 2u);
  }
}

TEST_F(SimServerTest, RefusesADecisionThatIsNotSound) {
  const Message join = Fixture()[0];
  const Message quit = Fixture()[2];
  const std::string good = ApproveBody(join, bkn_);
  auto replace = [](std::string body, const std::string& from, const std::string& to) {
    return body.replace(body.find(from), from.size(), to);
  };
  struct Case {
    const char* name;
    std::string body;
    std::string cookies;
    int status;
    int ec;
  };
  const std::vector<Case> cases = {
      {"wrong bkn", ApproveBody(join, "12345"), cookies_, 403, 7},
      {"bkn of the empty skey", ApproveBody(join, "5381"), cookies_, 403, 7},
      {"not signed in", good, "", 401, 4},
      {"unknown seq", replace(good, "seq=1003", "seq=999"), cookies_, 200, 10},
      {"another group", replace(good, "gc=555001", "gc=555002"), cookies_, 200, 10},
      {"another applicant", replace(good, "uin=20001", "uin=20002"), cookies_, 200, 10},
      {"a quit notice", ApproveBody(quit, bkn_), cookies_, 200, 10},
      {"missing bkn", replace(good, "&bkn=" + bkn_, ""), cookies_, 400, 1},
      {"bad cmd", replace(good, "cmd=1", "cmd=3"), cookies_, 400, 1},
      {"bad ver", replace(good, "ver=5521", "ver=1"), cookies_, 400, 1},
      {"rejection without msg", replace(good, "cmd=1", "cmd=2"), cookies_, 400, 1},
      {"broken escape", good + "&msg=%E4%B", cookies_, 400, 1},
      {"not a form", "hello", cookies_, 400, 1},
      {"empty body", "", cookies_, 400, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_.ClearRecords();
    const RawReply reply = Post(kDecide, c.body, c.cookies);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.body.rfind("{\"ec\":" + std::to_string(c.ec) + ",", 0), 0u) << reply.body;
    ASSERT_EQ(server_.Decisions().size(), 1u);
    EXPECT_EQ(server_.Decisions()[0].ec, c.ec);
    EXPECT_EQ(server_.Pending().size(), 3u);
  }
}

TEST_F(SimServerTest, AHandledMessageIsRefusedUnlessDecidedMessagesStay) {
  const std::string body = ApproveBody(Fixture()[0], bkn_);
  EXPECT_EQ(Post(kDecide, body, cookies_).body, "{\"ec\":0}");
  EXPECT_NE(Post(kDecide, body, cookies_).body, "{\"ec\":0}");

  // Offered again: the same message is listed and decided again.
  server_.SetMessages(Fixture());
  server_.SetKeepDecided(true);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(ReadPage(Get(kGetMsg, cookies_).body)[0].seq, "1003");
    EXPECT_EQ(Post(kDecide, body, cookies_).body, "{\"ec\":0}");
  }
  EXPECT_EQ(server_.Pending().size(), 3u);
}

// What a client saw of a reply, checked per fault.
struct FaultCase {
  const char* name;
  Fault fault;
  std::function<void(const RawReply&, const std::string& target)> check;
};

TEST_F(SimServerTest, EachFaultDoesWhatItSays) {
  const auto normal = [](const RawReply& r, const std::string&) {
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(ReadPage(r.body).size(), 3u);
  };
  const std::vector<FaultCase> cases = {
      {"delay", {.kind = FaultKind::kDelay, .delayMs = 300}, normal},
      {"close before reply",
       {.kind = FaultKind::kCloseBeforeReply},
       [](const RawReply& r, const std::string&) {
         EXPECT_TRUE(r.connected);
         EXPECT_EQ(r.received, 0u);
       }},
      {"close mid body",
       {.kind = FaultKind::kCloseMidBody},
       [](const RawReply& r, const std::string&) {
         EXPECT_EQ(r.status, 200);
         const std::size_t announced = std::stoul(r.Header("Content-Length"));
         EXPECT_GT(announced, 1000u);
         EXPECT_EQ(r.body.size(), announced / 2);
       }},
      {"http 500",
       {.kind = FaultKind::kHttp500},
       [](const RawReply& r, const std::string&) {
         EXPECT_EQ(r.status, 500);
         EXPECT_NE(r.body.find("<html>"), std::string::npos);
         EXPECT_TRUE(ReadPage(r.body).empty());
       }},
      {"large body",
       {.kind = FaultKind::kLargeBody, .sizeBytes = 3 * 1024 * 1024 + 7},
       [](const RawReply& r, const std::string&) {
         EXPECT_EQ(r.status, 200);
         EXPECT_EQ(r.Header("Content-Length"), std::to_string(3 * 1024 * 1024 + 7));
         EXPECT_EQ(r.body.size(), 3u * 1024 * 1024 + 7);
       }},
      {"invalid utf-8",
       {.kind = FaultKind::kInvalidUtf8},
       [](const RawReply& r, const std::string&) {
         EXPECT_NE(r.body.find("\xC3\x28"), std::string::npos);
         EXPECT_EQ(r.body.back(), '\xFF');
         // Outside the blocks: the messages still read whole.
         EXPECT_EQ(ReadPage(r.body).size(), 3u);
         EXPECT_EQ(ReadPage(r.body)[0].answer, "朋友介绍");
       }},
      {"nul bytes",
       {.kind = FaultKind::kNulBytes},
       [](const RawReply& r, const std::string&) {
         const std::size_t nul = r.body.find('\0');
         ASSERT_NE(nul, std::string::npos);
         EXPECT_EQ(r.body.compare(nul + 1, 20, "<dl class=\"msg_list\""), 0);
         EXPECT_EQ(r.body.back(), '\0');
         EXPECT_TRUE(ReadPage(r.body.substr(0, nul)).empty());
       }},
      {"redirect",
       {.kind = FaultKind::kRedirect, .location = "http://127.0.0.1:1/elsewhere"},
       [](const RawReply& r, const std::string&) {
         EXPECT_EQ(r.status, 302);
         EXPECT_EQ(r.Header("Location"), "http://127.0.0.1:1/elsewhere");
       }},
      {"redirect loop",
       {.kind = FaultKind::kRedirect},
       [this](const RawReply& r, const std::string& target) {
         EXPECT_EQ(r.status, 302);
         EXPECT_EQ(r.Header("Location"), server_.BaseUrl() + target);
       }},
      {"empty 200",
       {.kind = FaultKind::kEmpty200},
       [](const RawReply& r, const std::string&) {
         EXPECT_EQ(r.status, 200);
         EXPECT_EQ(r.Header("Content-Length"), "0");
         EXPECT_EQ(r.body, "");
       }},
      {"custom body",
       {.kind = FaultKind::kCustomBody, .body = "{\"ec\":0}\n"},
       [](const RawReply& r, const std::string&) {
         EXPECT_EQ(r.status, 200);
         EXPECT_EQ(r.body, "{\"ec\":0}\n");
       }},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    Fault once = c.fault;
    once.times = 1;
    server_.SetFault(kGetMsgEndpoint, once);
    const auto started = std::chrono::steady_clock::now();
    c.check(Get(kGetMsg, cookies_), kGetMsg);
    if (c.fault.kind == FaultKind::kDelay) {
      EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    }
    // Used up after one request; other endpoints were never touched.
    normal(Get(kGetMsg, cookies_), kGetMsg);
  }
}

TEST_F(SimServerTest, FaultsStayUntilClearedAndKeepToTheirEndpoint) {
  server_.SetFault(kGetMsgEndpoint, {.kind = FaultKind::kHttp500});
  EXPECT_EQ(Get(kGetMsg, cookies_).status, 500);
  EXPECT_EQ(Get(kGetMsg, cookies_).status, 500);
  EXPECT_EQ(Get("/", cookies_).status, 200);
  server_.ClearFaults();
  EXPECT_EQ(Get(kGetMsg, cookies_).status, 200);
}

TEST_F(SimServerTest, AFaultyDecisionReplyTakesNoDecision) {
  const std::string body = ApproveBody(Fixture()[0], bkn_);
  for (FaultKind kind : {FaultKind::kCustomBody, FaultKind::kCloseBeforeReply}) {
    server_.ClearRecords();
    server_.SetFault(kDecideEndpoint, {.kind = kind, .body = "{\"ec\":0}\n", .times = 1});
    const RawReply reply = Post(kDecide, body, cookies_);
    EXPECT_NE(reply.body, "{\"ec\":0}");
    ASSERT_EQ(server_.Decisions().size(), 1u);
    EXPECT_EQ(server_.Decisions()[0].ec, -1);
    EXPECT_EQ(server_.Decisions()[0].seq, "1003");
    EXPECT_EQ(server_.Pending().size(), 3u);
  }
  // A reply cut after the decision was taken: the service did take it.
  server_.SetFault(kDecideEndpoint, {.kind = FaultKind::kCloseMidBody, .times = 1});
  EXPECT_EQ(Post(kDecide, body, cookies_).body, "{\"ec");
  EXPECT_EQ(server_.Pending().size(), 2u);
}

TEST_F(SimServerTest, StreamsAHundredMegabyteBody) {
  const std::uint64_t size = 100ull * 1024 * 1024;
  server_.SetFault(kGetMsgEndpoint, {.kind = FaultKind::kLargeBody, .sizeBytes = size});
  const RawReply reply = Exchange(server_.Port(), Request("GET", kGetMsg, cookies_), 15000, 4096);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.Header("Content-Length"), std::to_string(size));
  EXPECT_EQ(reply.received - reply.head.size() - 4, size);
}

TEST_F(SimServerTest, SendsExtraHeaderLinesInOrder) {
  HeaderLines lines = {{"set-cookie", "low=1; Path=/"}, {"X-Note", "备注"}};
  for (auto& line : CookieStorm(300)) lines.push_back(line);
  server_.SetExtraHeaders(kGetMsgEndpoint, lines);
  const RawReply reply = Get(kGetMsg, cookies_);
  EXPECT_EQ(reply.status, 200);
  EXPECT_GT(reply.head.size(), 5000u);
  EXPECT_NE(reply.head.find("\r\nset-cookie: low=1; Path=/\r\n"), std::string::npos);
  const std::vector<std::string> storm = reply.Headers("Set-Cookie");
  ASSERT_EQ(storm.size(), 301u);
  EXPECT_EQ(storm[1].rfind("storm0=", 0), 0u);
  EXPECT_EQ(storm[300].rfind("storm299=", 0), 0u);
  EXPECT_EQ(ReadPage(reply.body).size(), 3u);
}

TEST_F(SimServerTest, RefreshesACookieOnServiceReplies) {
  struct Case {
    const char* name;
    CookieRefresh refresh;
    const char* headerName;
    const char* valueStart;
  };
  const Case cases[] = {
      {"another cookie", {.enabled = true, .name = "ptcz"}, "Set-Cookie", "ptcz="},
      {"lower-case header name",
       {.enabled = true, .name = "RK", .lowerCaseHeader = true},
       "set-cookie",
       "RK="},
      {"deletion",
       {.enabled = true, .name = "RK", .deletion = true},
       "Set-Cookie",
       "RK=deleted; Expires="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_.SetCookieRefresh(c.refresh);
    const RawReply reply = Get(kGetMsg, cookies_);
    const std::string line = std::string("\r\n") + c.headerName + ": " + c.valueStart;
    EXPECT_NE(reply.head.find(line), std::string::npos) << reply.head;
  }
}

TEST_F(SimServerTest, ARenewedSkeyKeepsTheFirstBknValid) {
  server_.SetCookieRefresh({.enabled = true, .name = "skey"});
  const RawReply reply = Get(kGetMsg, cookies_);
  const std::vector<std::string> set = reply.Headers("Set-Cookie");
  ASSERT_EQ(set.size(), 1u);
  const std::string newSkey = set[0].substr(5, set[0].find(';') - 5);
  ASSERT_NE(newSkey, SkeyOf(cookies_));
  const std::string renewed = "uin=o10001; skey=" + newSkey + "; RK=x";
  EXPECT_EQ(ReadPage(Get(kGetMsg, renewed).body).size(), 3u);
  EXPECT_EQ(Post(kDecide, ApproveBody(Fixture()[0], bkn_), renewed).body, "{\"ec\":0}");
}

TEST_F(SimServerTest, EchoReturnsTheExactRequestBytes) {
  const std::string requests[] = {
      "GET /sim/echo?a=1 HTTP/1.1\r\nhost: x\r\nX-B:  two spaces\r\nAccept: */*\r\n"
      "accept: again\r\nConnection: close\r\n\r\n",
      std::string("POST /sim/echo HTTP/1.1\r\nHost: x\r\nContent-Length: 8\r\n"
                  "Connection: close\r\n\r\n") +
          std::string("ab\0\xFF\r\ncd", 8),
      "PUT /sim/echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n"
      "\r\n3\r\nabc\r\n2;ext=1\r\nde\r\n0\r\n\r\n",
  };
  for (const std::string& request : requests) {
    server_.ClearRecords();
    const RawReply reply = Exchange(server_.Port(), request);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, request);
    ASSERT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(server_.Requests()[0].raw, request);
  }
  // Header lines in order and spelling as they came.
  server_.ClearRecords();
  Exchange(server_.Port(), requests[0]);
  const RecordedRequest recorded = server_.Requests()[0];
  EXPECT_EQ(recorded.method, "GET");
  EXPECT_EQ(recorded.target, "/sim/echo?a=1");
  const std::vector<std::pair<std::string, std::string>> expected = {{"host", "x"},
                                                                     {"X-B", "two spaces"},
                                                                     {"Accept", "*/*"},
                                                                     {"accept", "again"},
                                                                     {"Connection", "close"}};
  EXPECT_EQ(recorded.headers, expected);
}

TEST_F(SimServerTest, RecordsEveryRequestOfAKeptAliveConnection) {
  const std::string one = "GET /sim/echo HTTP/1.1\r\nHost: x\r\n\r\n";
  const std::string two =
      "POST /sim/echo HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n"
      "Connection: close\r\n\r\nhi";
  const RawReply reply = Exchange(server_.Port(), one + two);
  EXPECT_NE(reply.bytes.find(one), std::string::npos);
  EXPECT_NE(reply.bytes.find(two), std::string::npos);
  const std::vector<RecordedRequest> recorded = server_.Requests();
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].raw, one);
  EXPECT_EQ(recorded[1].raw, two);
  EXPECT_EQ(recorded[1].body, "hi");
}

TEST_F(SimServerTest, KeepsOnlyTheLastTenThousandRequests) {
  std::string pipelined;
  const int total = 10050;
  for (int i = 0; i < total; ++i) {
    pipelined += "GET /n" + std::to_string(i) + " HTTP/1.1\r\nHost: x\r\n" +
                 (i + 1 == total ? "Connection: close\r\n" : "") + "\r\n";
  }
  const RawReply reply = Exchange(server_.Port(), pipelined, 15000);
  EXPECT_EQ(reply.status, 404);
  const std::vector<RecordedRequest> recorded = server_.Requests();
  ASSERT_EQ(recorded.size(), 10000u);
  EXPECT_EQ(recorded.front().target, "/n50");
  EXPECT_EQ(recorded.back().target, "/n10049");
}

TEST_F(SimServerTest, AnswersExpectContinueAndThenTheRequest) {
  const std::string head =
      "POST /sim/echo HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n"
      "Content-Length: 3\r\nConnection: close\r\n\r\n";
  const RawReply reply = ExchangeInParts(server_.Port(), {head, "abc"});
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, head + "abc");
}

TEST_F(SimServerTest, AnswersBadInputWithAShortJsonErrorAndKeepsServing) {
  struct Case {
    const char* name;
    std::string request;
    int status;
  };
  const std::vector<Case> cases = {
      {"unknown path", Request("GET", "/nowhere"), 404},
      {"body over 1 MB",
       "POST /cgi-bin/sys_msg/set_msgstate HTTP/1.1\r\nHost: x\r\nContent-Length: 1048577\r\n\r\n",
       413},
      {"chunked body over 1 MB",
       "POST /sim/echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n100001\r\n", 413},
      {"header block over 64 KB",
       "GET / HTTP/1.1\r\nX-Big: " + std::string(70000, 'a') + "\r\n\r\n", 431},
      {"no request line", "hello\r\n\r\n", 400},
      {"header without colon", "GET / HTTP/1.1\r\nbroken\r\n\r\n", 400},
      {"bad content length", "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
      {"unknown version", "GET / HTTP/2.0\r\n\r\n", 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RawReply reply = Exchange(server_.Port(), c.request);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.Header("Content-Type").rfind("application/json", 0), 0u);
    EXPECT_EQ(reply.body.rfind("{\"ec\":", 0), 0u) << reply.body;
    EXPECT_LT(reply.body.size(), 200u);
  }
  EXPECT_EQ(ReadPage(Get(kGetMsg, cookies_).body).size(), 3u);
}

TEST_F(SimServerTest, InspectionEndpointsServeTheCommandLine) {
  EXPECT_EQ(Post("/sim/fault", R"({"endpoint":"getmsg","kind":"http500","times":1})").status, 200);
  EXPECT_EQ(Get(kGetMsg, cookies_).status, 500);
  EXPECT_EQ(Post("/sim/fault", R"({"endpoint":"getmsg","kind":"melt"})").status, 400);

  EXPECT_EQ(Post(kDecide, ApproveBody(Fixture()[0], bkn_), cookies_).body, "{\"ec\":0}");
  const RawReply decisions = Get("/sim/decisions");
  EXPECT_NE(decisions.body.find("\"seq\": \"1003\""), std::string::npos);
  EXPECT_NE(Get("/sim/pending").body.find("\"seq\": \"1002\""), std::string::npos);
  EXPECT_NE(Get("/sim/requests").body.find("/cgi-bin/sys_msg/set_msgstate"), std::string::npos);

  EXPECT_EQ(Post("/sim/scenario", R"({"messages":[{"uin":"7","group":"8","answer":"a"}]})").status,
            200);
  ASSERT_EQ(server_.Pending().size(), 1u);
  EXPECT_EQ(server_.Pending()[0].uin, "7");
  EXPECT_FALSE(server_.Pending()[0].seq.empty());
  EXPECT_EQ(Post("/sim/scenario", "{").status, 400);

  EXPECT_EQ(Post("/sim/headers", R"({"endpoint":"home","cookieStorm":200})").status, 200);
  EXPECT_EQ(Get("/").Headers("Set-Cookie").size(), 200u);
  EXPECT_EQ(Post("/sim/reset", "").status, 200);
  EXPECT_TRUE(Get("/").Headers("Set-Cookie").empty());
}

TEST(SimScenario, LoadsMessagesFromJson) {
  SimServer server;
  std::string error;
  ASSERT_TRUE(server.LoadScenarioJson(
      R"({"keepDecided": true, "messages": [
            {"seq": "5", "uin": "123", "group": 456, "question": "Q", "answer": "A",
             "unread": false},
            {"uin": "9", "group": "8", "quit": true, "type": "13"}]})",
      &error))
      << error;
  const std::vector<Message> pending = server.Pending();
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].seq, "5");
  EXPECT_EQ(pending[0].group, "456");
  EXPECT_EQ(pending[0].question, "Q");
  EXPECT_FALSE(pending[0].unread);
  EXPECT_TRUE(pending[1].quit);
  EXPECT_FALSE(pending[1].seq.empty());
  EXPECT_TRUE(server.LoadScenarioJson(R"([{"uin": "1", "group": "2"}])"));
  EXPECT_EQ(server.Pending().size(), 1u);
}

TEST(SimScenario, RefusesABadScenarioAndKeepsTheOldOne) {
  const char* bad[] = {
      "{",
      "{}",
      R"({"messages": {}})",
      R"([{"group": "2"}])",
      R"([{"uin": "1", "group": []}])",
      R"([{"uin": "1", "group": "2", "quit": "yes"}])",
      R"([7])",
  };
  SimServer server;
  server.SetMessages({{.seq = "1", .uin = "2", .group = "3"}});
  for (const char* json : bad) {
    std::string error;
    EXPECT_FALSE(server.LoadScenarioJson(json, &error)) << json;
    EXPECT_FALSE(error.empty()) << json;
  }
  EXPECT_EQ(server.Pending().size(), 1u);
  SimServer fromMissingFile(Options{.scenarioFile = "/nonexistent/scenario.json"});
  EXPECT_FALSE(fromMissingFile.Start());
  EXPECT_NE(fromMissingFile.LastError().find("/nonexistent/scenario.json"), std::string::npos);
}

TEST(SimScenario, GeneratedMessagesDependOnlyOnTheSeed) {
  const auto seqs = [](std::uint64_t seed) {
    std::vector<std::string> out;
    for (const Message& m : SimServer(Options{.seed = seed}).Pending())
      out.push_back(m.seq + m.uin);
    return out;
  };
  EXPECT_EQ(seqs(1), seqs(1));
  EXPECT_NE(seqs(1), seqs(2));

  // A larger run holds every kind, for several groups, newest first.
  const std::vector<Message> all = MessageGenerator(3).Batch(60);
  bool quit = false, qa = false, free = false;
  std::set<std::string> groups;
  for (const Message& m : all) {
    quit |= m.quit;
    qa |= !m.quit && !m.question.empty();
    free |= !m.quit && m.question.empty();
    groups.insert(m.group);
  }
  EXPECT_TRUE(quit);
  EXPECT_TRUE(qa);
  EXPECT_TRUE(free);
  EXPECT_GE(groups.size(), 2u);
  for (std::size_t i = 1; i < all.size(); ++i)
    EXPECT_GT(std::stoull(all[i - 1].seq), std::stoull(all[i].seq));
}

TEST(SimArrivals, NewRequestsArriveByThemselves) {
  SimServer server(Options{.arrivalMs = 20});
  ASSERT_TRUE(server.Start());
  const std::size_t before = server.Pending().size();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (server.Pending().size() < before + 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::vector<Message> pending = server.Pending();
  ASSERT_GE(pending.size(), before + 2);
  EXPECT_GT(std::stoull(pending[0].seq), std::stoull(pending[1].seq));
  server.Stop();
}

TEST(SimLifecycle, StopsPromptlyWhileARequestWaits) {
  SimServer server;
  ASSERT_TRUE(server.Start());
  server.SetFault(kEchoEndpoint, {.kind = FaultKind::kDelay, .delayMs = 60000});
  std::thread client([&] { Exchange(server.Port(), Request("GET", "/sim/echo"), 10000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto started = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  client.join();
}

}  // namespace
}  // namespace lumirack::sim
