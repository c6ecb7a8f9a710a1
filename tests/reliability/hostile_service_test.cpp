// The poll cycle against a service that misbehaves: the monitor window on the headless toolkit,
// real HTTP to the stand-in on 127.0.0.1, one fault per tick. Whatever the fault, the window
// keeps polling, shows no dialog, keeps every line it had and leaves the data files alone; the
// faulted tick shows the outcome the program defines and the next tick works again.

#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/session_state.h"
#include "common/temp_dir.h"
#include "login/bkn.h"
#include "monitor/monitor_controls.h"
#include "monitor/monitor_window.h"
#include "sim/sim_server.h"
#include "storage/data_dir.h"
#include "support/charset.h"
#include "support/http.h"
#include "support/texts.h"
#include "ui/headless.h"

namespace lumirack {
namespace {

namespace fs = std::filesystem;
using sim::Fault;
using sim::FaultKind;

// A field of /proc/self/status (VmRSS, VmHWM), in kB.
// A sanitizer's allocator keeps freed memory in quarantine and bypasses the arenas, so the
// memory bounds are checked only in a plain build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasured = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryMeasured = false;
#else
constexpr bool kMemoryMeasured = true;
#endif
#else
constexpr bool kMemoryMeasured = true;
#endif

// From now on VmHWM counts from the present resident size.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

long StatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// Bytes the heap of the main arena holds in use, large blocks included: what the window thread
// has allocated. The stand-in's threads allocate from arenas of their own, so their copies of a
// large reply, and the fragmentation these leave, do not count here as they do in VmRSS.
long HeapInUseKb() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

// The one pending request every tick sees, and the line its approval gives.
constexpr const char* kSeq = "7001";
constexpr const char* kUin = "20001";
constexpr const char* kGroup = "30001";
constexpr const char* kApproved = "同意QQ：20001加入QQ群：30001成功\r\n";
constexpr const char* kApprovalFailed = "同意QQ：20001加入QQ群：30001失败\r\n";

// A reply block as the service writes it, for the bodies that replace the whole page.
std::string Block(const std::string& seq, const std::string& uin, const std::string& group) {
  return "<dl class=\"msg_list\" unread=\"1\">\n  <dd seq=\"" + seq +
         "\" type=\"1\" class=\"msg_body\">\n    <a uin=\"" + uin + "\" qid=\"" + group +
         "\" qaid=\"0\" title=\"查看资料\">" + uin +
         "</a>\n    <span title=\"附加消息：你好\"><label>附加消息：</label>你好</span>\n  </dd>\n"
         "</dl>\n";
}

std::string ManyBlocks(int count) {
  std::string body = "<html><body>\n";
  const std::string block = Block(kSeq, kUin, kGroup);
  body.reserve(body.size() + block.size() * count + 20);
  for (int i = 0; i < count; ++i) body += block;
  return body + "</body></html>\n";
}

struct FaultCase {
  const char* name;
  const char* endpoint;  // where the fault goes
  Fault fault;
  std::optional<sim::HeaderLines> extraHeaders;  // instead of a fault
  const char* line;  // what the faulted tick appends (UTF-8); "" for nothing
  HttpLimits limits{};
  long growthKb = 16 * 1024;  // resident memory the faulted tick may keep
  long peakKb = 0;            // resident memory it may take meanwhile; 0: not checked
  bool stormKept = false;     // the storm's cookies join the held ones
};

// By name: gtest would otherwise print the case's bytes, padding included.
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

Fault Make(FaultKind kind, int delayMs = 0, std::uint64_t sizeBytes = 0, std::string body = {}) {
  Fault f;
  f.kind = kind;
  f.delayMs = delayMs;
  f.sizeBytes = sizeBytes;
  f.body = std::move(body);
  return f;
}

// The most Set-Cookie lines of CookieStorm whose header block stays under 5000 bytes.
constexpr int kStormFits = 80;

// What a reply over the body limit may take while it is refused: its announced length is
// refused before the body is read, a streamed one where the limit is passed.
constexpr long kPeakKb = 16 * 1024;

HttpLimits ShortLimits() {
  HttpLimits limits;
  limits.connectTimeoutMs = 300;
  limits.totalTimeoutMs = 300;
  return limits;
}

std::vector<FaultCase> Cases() {
  using enum FaultKind;
  const char* getmsg = sim::kGetMsgEndpoint;
  const char* decide = sim::kDecideEndpoint;
  return {
      {"FetchBeyondTheTimeLimit", getmsg, Make(kDelay, 1500), {}, "", ShortLimits()},
      {"DecisionBeyondTheTimeLimit",
       decide,
       Make(kDelay, 1500),
       {},
       kApprovalFailed,
       ShortLimits()},
      {"FetchClosedBeforeTheReply", getmsg, Make(kCloseBeforeReply), {}, ""},
      {"DecisionClosedBeforeTheReply", decide, Make(kCloseBeforeReply), {}, kApprovalFailed},
      {"FetchClosedDuringTheBody", getmsg, Make(kCloseMidBody), {}, ""},
      {"DecisionClosedDuringTheBody", decide, Make(kCloseMidBody), {}, kApprovalFailed},
      {"FetchAnswers500", getmsg, Make(kHttp500), {}, ""},
      {"DecisionAnswers500", decide, Make(kHttp500), {}, kApprovalFailed},
      // Refused by the body limit: never all of it in memory, let alone its copies.
      {"FetchOf100MB", getmsg, Make(kLargeBody, 0, 100'000'000), {}, "", {}, 16 * 1024, kPeakKb},
      {"DecisionReplyOf100MB",
       decide,
       Make(kLargeBody, 0, 100'000'000),
       {},
       kApprovalFailed,
       {},
       16 * 1024,
       kPeakKb},
      {"FetchWithInvalidUtf8", getmsg, Make(kInvalidUtf8), {}, kApproved},
      // The NUL before the first block ends the text the program reads.
      {"FetchWithNulBytes", getmsg, Make(kNulBytes), {}, ""},
      {"FetchRedirectLoop", getmsg, Make(kRedirect), {}, ""},
      {"DecisionRedirectLoop", decide, Make(kRedirect), {}, kApprovalFailed},
      {"FetchEmpty", getmsg, Make(kEmpty200), {}, ""},
      // A header block over 5000 bytes gives no cookies at all.
      {"FetchWithHundredsOfCookies", getmsg, {}, sim::CookieStorm(400), kApproved},
      {"DecisionWithHundredsOfCookies", decide, {}, sim::CookieStorm(400), kApproved},
      // A header block of some 4,500 bytes, under the 5000-byte area: its cookies are merged,
      // once.
      {"FetchWithA5000ByteHeaderBlock",
       getmsg,
       {},
       sim::CookieStorm(kStormFits),
       kApproved,
       {},
       16 * 1024,
       0,
       true},
      // The blocks of the last reply are kept until the next poll: some 30 MB here, but no more
      // when it comes again.
      {"FetchOf100000Blocks",
       getmsg,
       Make(kCustomBody, 0, 0, ManyBlocks(100'000)),
       {},
       kApproved,
       {},
       96 * 1024},
      // Every field empty: the service refuses such a decision.
      {"FetchOfABlockWithoutFields",
       getmsg,
       Make(kCustomBody, 0, 0, "<dl class=\"msg_list\" unread=\"1\"></dl>"),
       {},
       "同意QQ：加入QQ群：失败\r\n"},
      {"DecisionReplyWithALineBreak",
       decide,
       Make(kCustomBody, 0, 0, "{\"ec\":0}\r\n"),
       {},
       kApprovalFailed},
      {"DecisionReplyWithMoreKeys",
       decide,
       Make(kCustomBody, 0, 0, "{\"ec\":0,\"em\":\"\"}"),
       {},
       kApprovalFailed},
  };
}

class HostileServiceTest : public ::testing::TestWithParam<FaultCase> {
 protected:
  void SetUp() override {
    saved_ = HttpLimitsForTesting();
    ASSERT_TRUE(sim_.Start(0)) << sim_.LastError();
    sim::Message m;
    m.seq = kSeq;
    m.uin = kUin;
    m.group = kGroup;
    m.answer = "你好";
    sim_.SetMessages({m});
    sim_.SetKeepDecided(true);

    Session() = SessionState{};
    Session().serviceHost = sim_.HostPort();
    Session().cookies = sim_.SignIn("10001");
    Session().bkn = ComputeBkn(TextBetween(Session().cookies + "; ", "skey=", "; "));
    SetDataDirectory(dir_.path());
    SetUi(&ui_);

    // A profile saved earlier and a run log of an earlier session: neither may change.
    Open();
    window_->SetText(monitor::kReasonBox, Gbk("不符合"));
    window_->SetText(monitor::kResultsBox, Gbk("同意QQ：1加入QQ群：2成功\r\n"));
    ui_.Escape(*window_);
    files_ = Files();
    ASSERT_GE(files_.size(), 2u);

    Open();
    ui_.OnNextModal([this](HeadlessWindow& dialog) {
      ui_.Paste(dialog, "编辑框频率", "1000");
      ui_.Click(dialog, "按钮1");
    });
    ui_.Click(*window_, "按钮1");
    ASSERT_EQ(window_->TimerPeriod("时钟1"), 1000);
  }
  void TearDown() override {
    HttpLimitsForTesting() = saved_;
    SetUi(nullptr);
    SetDataDirectory(std::nullopt);
  }

  void Open() {
    window_ = static_cast<HeadlessWindow*>(ui_.Load(MonitorWindowDefinition(), false));
    ASSERT_NE(window_, nullptr);
  }
  Text Results() const { return window_->GetText(monitor::kResultsBox); }
  // Every file of the data folder with its bytes, the folders' contents included.
  std::map<fs::path, std::string> Files() const {
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
      if (entry.is_regular_file()) files[entry.path()] = *testing::ReadBytes(entry.path());
    }
    return files;
  }
  void Tick() { ASSERT_TRUE(ui_.Fire(*window_, "时钟1")); }

  HttpLimits saved_;
  sim::SimServer sim_;
  testing::TempDir dir_;
  HeadlessToolkit ui_;
  HeadlessWindow* window_ = nullptr;
  std::map<fs::path, std::string> files_;
};

TEST_P(HostileServiceTest, KeepsPollingAndShowsTheDefinedOutcome) {
  const FaultCase& c = GetParam();
  Tick();
  const Text before = Results();
  ASSERT_EQ(before, Gbk(kApproved));
  const Text cookiesBefore = Session().cookies;

  HttpLimitsForTesting() = c.limits;
  if (c.extraHeaders) {
    sim_.SetExtraHeaders(c.endpoint, *c.extraHeaders);
  } else {
    sim_.SetFault(c.endpoint, c.fault);
  }
  // Twice: the second time shows that nothing piles up from one fault to the next.
  ResetPeak();
  const long rssBefore = StatusKb("VmRSS");
  const auto started = std::chrono::steady_clock::now();
  Tick();
  const auto took = std::chrono::steady_clock::now() - started;
  const long rssOnce = StatusKb("VmRSS");
  const long peak = StatusKb("VmHWM");
  const long heapOnce = HeapInUseKb();
  const Text cookiesOnce = Session().cookies;
  Tick();
  const long heapTwice = HeapInUseKb();
  EXPECT_EQ(Results(), before + Gbk(c.line) + Gbk(c.line));
  if (c.fault.delayMs > 0) {
    // It gave up at the limit instead of waiting for the slow reply.
    EXPECT_LT(took, std::chrono::milliseconds(c.fault.delayMs));
  }
  // A refused reply, however large, leaves no memory behind.
  if (kMemoryMeasured) {
    EXPECT_LT(rssOnce - rssBefore, c.growthKb) << "kB";
    if (c.peakKb > 0) {
      EXPECT_LT(peak - rssBefore, c.peakKb) << "kB";
    }
    EXPECT_LT(heapTwice - heapOnce, 1024) << "kB";
  }
  EXPECT_EQ(cookiesOnce.find("storm0=") != Text::npos, c.stormKept) << cookiesOnce;
  EXPECT_EQ(Session().cookies, cookiesOnce);
  EXPECT_LE(cookiesOnce.size(), cookiesBefore.size() + kHeaderAreaBytes);

  sim_.ClearFaults();
  HttpLimitsForTesting() = saved_;
  Tick();
  EXPECT_EQ(Results(), before + Gbk(c.line) + Gbk(c.line) + Gbk(kApproved));
  EXPECT_EQ(window_->TimerPeriod("时钟1"), 1000);
  EXPECT_TRUE(ui_.messages().empty());
  EXPECT_EQ(Files(), files_);
  EXPECT_TRUE(ui_.unknownControls().empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileServiceTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumirack
