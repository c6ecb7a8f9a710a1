// Throughput of the text work of one poll on a realistic reply: the UTF-8 to GBK conversion and
// the block extraction, on 1 MB and 10 MB, and on 100 MB to show they hold at that size.

#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "reply_fixture.h"
#include "support/charset.h"
#include "support/regex_extract.h"
#include "support/texts.h"

namespace lumirack {
namespace {

constexpr std::size_t kMb = 1024 * 1024;

const std::string& Reply(std::size_t bytes) {
  static std::map<std::size_t, std::string> replies;
  auto [it, inserted] = replies.try_emplace(bytes);
  if (inserted) it->second = bench::MakeReply(bytes);
  return it->second;
}

const Text& GbkReply(std::size_t bytes) {
  static std::map<std::size_t, Text> replies;
  auto [it, inserted] = replies.try_emplace(bytes);
  if (inserted) it->second = Utf8ToAnsi(Reply(bytes));
  return it->second;
}

void BM_Utf8ToAnsi(benchmark::State& state) {
  const std::string& reply = Reply(static_cast<std::size_t>(state.range(0)) * kMb);
  for (auto _ : state) benchmark::DoNotOptimize(Utf8ToAnsi(reply));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_Utf8ToAnsi)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_AnsiToUtf8(benchmark::State& state) {
  const Text& reply = GbkReply(static_cast<std::size_t>(state.range(0)) * kMb);
  for (auto _ : state) benchmark::DoNotOptimize(AnsiToUtf8(reply));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_AnsiToUtf8)->Arg(1)->Unit(benchmark::kMillisecond);

void Extract(benchmark::State& state, bool allowJit) {
  const Text& reply = GbkReply(static_cast<std::size_t>(state.range(0)) * kMb);
  const Text left(texts::kBlockLeft);
  const Text right(texts::kBlockRight);
  TextList blocks;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        detail::ExtractAllBetween(allowJit, reply, left, right, blocks, 0, {}, {}, false, false));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
  state.counters["blocks"] = static_cast<double>(blocks.size());
}

void BM_ExtractAllBetween(benchmark::State& state) { Extract(state, true); }
BENCHMARK(BM_ExtractAllBetween)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_ExtractAllBetweenInterpreter(benchmark::State& state) { Extract(state, false); }
BENCHMARK(BM_ExtractAllBetweenInterpreter)->Arg(1)->Unit(benchmark::kMillisecond);

// A hostile reply: left markers only. The search must end at the first one, not rescan.
void BM_ExtractAllBetweenNoRightMarker(benchmark::State& state) {
  const Text left(texts::kBlockLeft);
  Text text;
  while (text.size() < kMb) text += left + "1\">" + std::string(200, 'z');
  TextList blocks;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ExtractAllBetween(text, left, Text(texts::kBlockRight), blocks));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ExtractAllBetweenNoRightMarker)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumirack

BENCHMARK_MAIN();
