// The CPU work of one poll tick with the network taken out, on realistic replies of 100 KiB,
// 1 MiB and 10 MiB: the reply turned into text and converted, the blocks extracted, the first
// block read on a headless monitor window whose group box names another group (so it stops
// before the decision), then the list rules' membership tests against a 100,000-entry blacklist
// that lacks the applicant and both form bodies, as the rest of the tick.
//
// At the end the program prints, from the medians of this run (or the single runs without
// --benchmark_repetitions), the tick against the conversion alone and the 10 MiB tick against the
// 1 MiB one. On a shared machine the load drifts between benchmarks, so interleave them:
//   processing_bench --benchmark_repetitions=12 --benchmark_enable_random_interleaving=true
//                    --benchmark_report_aggregates_only=true --benchmark_filter='Tick|Utf8ToAnsi'

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/session_state.h"
#include "monitor/monitor_controls.h"
#include "monitor/monitor_window.h"
#include "processing/decision_calls.h"
#include "processing/decision_rules.h"
#include "processing/poll.h"
#include "reply_fixture.h"
#include "support/charset.h"
#include "support/regex_extract.h"
#include "support/texts.h"
#include "ui/headless.h"

namespace lumirack {
namespace {

constexpr std::size_t kKiB = 1024;
constexpr int kLongBlacklist = 100'000;
// The first block of every reply names applicant 100000 and group 200000.
constexpr std::string_view kOtherGroup = "999999";

const Bytes& Reply(std::size_t kib) {
  static std::map<std::size_t, Bytes> replies;
  auto [it, inserted] = replies.try_emplace(kib);
  if (inserted) it->second = BytesFromText(bench::MakeReply(kib * kKiB));
  return it->second;
}

const Text& GbkReply(std::size_t kib) {
  static std::map<std::size_t, Text> replies;
  auto [it, inserted] = replies.try_emplace(kib);
  if (inserted) it->second = Utf8ToAnsi(TextFromBytes(Reply(kib)));
  return it->second;
}

// QQ numbers of 5 to 10 digits from a fixed sequence, each followed by CR LF, none of which ends
// in `applicant` (a listed number also lists every number it ends with).
Text Blacklist(const Text& applicant, int entries) {
  Text list;
  std::uint64_t x = 88172645463325252u;
  for (int n = 0; n < entries;) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const int digits = 5 + static_cast<int>(x % 6);
    std::uint64_t number = 1 + (x >> 8) % 9;
    for (int d = 1; d < digits; ++d) number = number * 10 + (x >> (8 + 4 * d)) % 10;
    const Text entry = std::to_string(number);
    if (entry.size() >= applicant.size() &&
        entry.compare(entry.size() - applicant.size(), applicant.size(), applicant) == 0) {
      continue;
    }
    list += entry + "\r\n";
    ++n;
  }
  return list;
}

// The monitor window's controls without its handlers: loading it touches no profile on disk.
struct Monitor {
  Monitor() {
    WindowDef def = MonitorWindowDefinition();
    def.handlers.clear();
    toolkit.Load(def, false);
    window = toolkit.Find(def.id);
    window->SetText(monitor::kGroupBox, Text(kOtherGroup));
    window->SetText(monitor::kReasonBox, Gbk("不符合本群要求，请勿重复申请"));
    window->SetText(monitor::kWhitelistBox, "100000\r\n123456789\r\n");
    Session().bkn = "1722392489";
  }
  HeadlessToolkit toolkit;
  HeadlessWindow* window = nullptr;
};

// Everything after the extraction: the first block read, then what the list rules and the
// decision calls compute before the request would go out.
std::size_t RestOfTick(Window& monitor) {
  SessionState& s = Session();
  HandleFirstMessage(monitor);
  const Text& uin = s.currentUin;
  std::size_t work = IsListed(monitor.GetText(monitor::kBlacklistBox), uin) ? 1 : 0;
  work += IsListed(monitor.GetText(monitor::kWhitelistBox), uin) ? 1 : 0;
  work += ApprovalBody().size();
  work += RejectionBody(PercentEncode(monitor.GetText(monitor::kReasonBox), false, true)).size();
  return work;
}

// Sets the blacklist from the applicant of the reply's first block; false when the fixture is
// not what this benchmark measures.
bool Prepare(benchmark::State& state, Monitor& m, std::size_t kib, int entries) {
  TextList blocks;
  ExtractAllBetween(GbkReply(kib), Gbk(texts::kBlockLeft), Gbk(texts::kBlockRight), blocks);
  if (blocks.empty()) {
    state.SkipWithError("the reply holds no block");
    return false;
  }
  Session().messageBlocks = blocks;
  HandleFirstMessage(*m.window);
  const Text applicant = Session().currentUin;
  static std::map<std::pair<Text, int>, Text> lists;
  auto [it, inserted] = lists.try_emplace({applicant, entries});
  if (inserted) it->second = Blacklist(applicant, entries);
  m.window->SetText(monitor::kBlacklistBox, it->second);
  if (applicant.empty() || IsListed(it->second, applicant) ||
      m.window->GetText(monitor::kResultsBox) != Text()) {
    state.SkipWithError("the first block is not a request of another group off the blacklist");
    return false;
  }
  return true;
}

void BM_Utf8ToAnsi(benchmark::State& state) {
  const Text reply = TextFromBytes(Reply(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(Utf8ToAnsi(reply));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_Utf8ToAnsi)
    ->ArgName("KiB")
    ->Arg(100)
    ->Arg(1024)
    ->Arg(10240)
    ->Unit(benchmark::kMillisecond);

void BM_ExtractBlocks(benchmark::State& state) {
  const Text& text = GbkReply(static_cast<std::size_t>(state.range(0)));
  const Text left = Gbk(texts::kBlockLeft);
  const Text right = Gbk(texts::kBlockRight);
  TextList blocks;
  for (auto _ : state) benchmark::DoNotOptimize(ExtractAllBetween(text, left, right, blocks));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["blocks"] = static_cast<double>(blocks.size());
}
BENCHMARK(BM_ExtractBlocks)
    ->ArgName("KiB")
    ->Arg(100)
    ->Arg(1024)
    ->Arg(10240)
    ->Unit(benchmark::kMillisecond);

// The blacklist search alone: the applicant is not listed, so all of it is read.
void BM_IsListed(benchmark::State& state) {
  const Text applicant = "100000";
  const Text list = Blacklist(applicant, kLongBlacklist);
  if (IsListed(list, applicant)) state.SkipWithError("the applicant is listed");
  for (auto _ : state) benchmark::DoNotOptimize(IsListed(list, applicant));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * list.size()));
}
BENCHMARK(BM_IsListed)->Unit(benchmark::kMicrosecond);

void BM_RestOfTick(benchmark::State& state) {
  Monitor m;
  if (!Prepare(state, m, 100, kLongBlacklist)) return;
  for (auto _ : state) benchmark::DoNotOptimize(RestOfTick(*m.window));
}
BENCHMARK(BM_RestOfTick)->Unit(benchmark::kMicrosecond);

void BM_Tick(benchmark::State& state) {
  const auto kib = static_cast<std::size_t>(state.range(0));
  Monitor m;
  if (!Prepare(state, m, kib, static_cast<int>(state.range(1)))) return;
  const Bytes& reply = Reply(kib);
  const Text left = Gbk(texts::kBlockLeft);
  const Text right = Gbk(texts::kBlockRight);
  SessionState& s = Session();
  for (auto _ : state) {
    const Text text = Utf8ToAnsi(TextFromBytes(reply));
    ExtractAllBetween(text, left, right, s.messageBlocks);
    if (!s.messageBlocks.empty()) benchmark::DoNotOptimize(RestOfTick(*m.window));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}
// The long blacklist as stated, and a list of a size people keep, on the 1 MiB reply.
BENCHMARK(BM_Tick)
    ->ArgNames({"KiB", "blacklist"})
    ->Args({100, kLongBlacklist})
    ->Args({1024, kLongBlacklist})
    ->Args({10240, kLongBlacklist})
    ->Args({1024, 100})
    ->Unit(benchmark::kMillisecond);

// The console output, plus the goals as ratios of CPU times from this run: medians where
// repetitions give them, the single run otherwise.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.run_name.str();
      const double ms = run.GetAdjustedCPUTime() * Scale(run.time_unit);
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") medians_[name] = ms;
      } else if (run.repetitions <= 1) {
        medians_[name] = ms;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::fflush(stdout);
    std::printf("\nCPU time, ms (median):\n");
    const std::string tick = "BM_Tick/KiB:";
    const std::string longList = "/blacklist:100000";
    Print("tick 100 KiB", tick + "100" + longList);
    Print("tick 1 MiB", tick + "1024" + longList);
    Print("tick 10 MiB", tick + "10240" + longList);
    Print("tick 1 MiB, 100-entry blacklist", tick + "1024/blacklist:100");
    Print("Utf8ToAnsi 1 MiB", "BM_Utf8ToAnsi/KiB:1024");
    Ratio("tick 1 MiB / Utf8ToAnsi 1 MiB", tick + "1024" + longList, "BM_Utf8ToAnsi/KiB:1024", 2.0);
    Ratio("same, 100-entry blacklist", tick + "1024/blacklist:100", "BM_Utf8ToAnsi/KiB:1024", 2.0);
    Ratio("tick 10 MiB / tick 1 MiB", tick + "10240" + longList, tick + "1024" + longList, 12.0);
    if (medians_.count(tick + "1024" + longList) != 0) {
      std::printf("  40 ms / tick 1 MiB: %.1f times faster (goal: well over 20)\n",
                  40.0 / medians_[tick + "1024" + longList]);
    }
  }

 private:
  static double Scale(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return 1e-6;
      case benchmark::kMicrosecond:
        return 1e-3;
      case benchmark::kMillisecond:
        return 1.0;
      case benchmark::kSecond:
        return 1e3;
    }
    return 1.0;
  }

  void Print(const char* label, const std::string& name) {
    if (medians_.count(name) != 0) std::printf("  %-32s %8.3f\n", label, medians_[name]);
  }

  void Ratio(const char* label, const std::string& a, const std::string& b, double goal) {
    if (medians_.count(a) == 0 || medians_.count(b) == 0) return;
    const double r = medians_[a] / medians_[b];
    std::printf("  %-32s %8.2f (goal: at most %.0f) %s\n", label, r, goal,
                r <= goal ? "met" : "MISSED");
  }

  std::map<std::string, double> medians_;
};

}  // namespace
}  // namespace lumirack

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  lumirack::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
