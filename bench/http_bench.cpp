// HttpRequest against a bare libcurl easy-handle request doing the same exchange, each on a fresh
// connection to the stand-in service on loopback. The pairs should stay within 1.10 of each other.
// Loopback timings drift with the load of the machine, so compare them interleaved:
//   http_bench --benchmark_enable_random_interleaving=true --benchmark_repetitions=12

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdlib>
#include <string>

#include "sim/sim_server.h"
#include "support/http.h"

namespace {

using lumirack::Bytes;
using lumirack::Text;

constexpr std::size_t kBigBody = 100 * 1024;

// One stand-in for the whole run: getmsg serves a 100 KB body, echo answers the small POST.
lumirack::sim::SimServer& Server() {
  static lumirack::sim::SimServer* server = [] {
    auto* s = new lumirack::sim::SimServer();
    if (!s->Start(0)) std::abort();
    lumirack::sim::Fault big;
    big.kind = lumirack::sim::FaultKind::kCustomBody;
    big.body = std::string(kBigBody, 'x');
    s->SetFault(lumirack::sim::kGetMsgEndpoint, big);
    return s;
  }();
  return *server;
}

Text GetUrl() { return Server().BaseUrl() + "/cgi-bin/sys_msg/getmsg?ver=5521&filter=2"; }
Text PostUrl() { return Server().BaseUrl() + "/sim/echo"; }
const Text kForm = "seq=1&t=1&gc=2&cmd=1&uin=3&ver=false&bkn=5";
const Text kCookies = "uin=o10001; skey=@aBcDeFgHiJ; p_uin=o10001; pt4_token=abcdefghij";

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  auto* body = static_cast<Bytes*>(user);
  body->insert(body->end(), data, data + size * count);
  return size * count;
}
std::size_t Ignore(char*, std::size_t size, std::size_t count, void*) { return size * count; }

// The same request with nothing but libcurl: the same lines on the wire, a fresh connection.
Bytes BareRequest(const Text& url, const Text* form) {
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  for (const Text& line :
       {Text("Accept: */*"), "Referer: " + url, Text("Accept-Language: zh-cn"),
        Text("Content-Type: application/x-www-form-urlencoded"), "Cookie: " + kCookies}) {
    headers = curl_slist_append(headers, line.c_str());
  }
  Bytes body;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, lumirack::kDefaultUserAgent);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Ignore);
  if (form != nullptr) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(form->size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, form->c_str());
  }
  curl_easy_perform(curl);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return body;
}

void CheckSize(benchmark::State& state, std::size_t got, std::size_t least) {
  if (got < least) state.SkipWithError("short body");
}

void BM_HttpRequestGet100K(benchmark::State& state) {
  const Text url = GetUrl();
  for (auto _ : state) {
    Text cookies = kCookies;
    const Bytes body = lumirack::HttpRequest(url, 0, {}, &cookies);
    CheckSize(state, body.size(), kBigBody);
  }
}

void BM_BareCurlGet100K(benchmark::State& state) {
  const Text url = GetUrl();
  for (auto _ : state) CheckSize(state, BareRequest(url, nullptr).size(), kBigBody);
}

void BM_HttpRequestPostSmall(benchmark::State& state) {
  const Text url = PostUrl();
  for (auto _ : state) {
    Text cookies = kCookies;
    const Bytes body = lumirack::HttpRequest(url, 1, kForm, &cookies);
    CheckSize(state, body.size(), kForm.size());
  }
}

void BM_BareCurlPostSmall(benchmark::State& state) {
  const Text url = PostUrl();
  for (auto _ : state) CheckSize(state, BareRequest(url, &kForm).size(), kForm.size());
}

// The time goes to the network and the server's threads, so wall time is what counts.
BENCHMARK(BM_HttpRequestGet100K)->UseRealTime();
BENCHMARK(BM_BareCurlGet100K)->UseRealTime();
BENCHMARK(BM_HttpRequestPostSmall)->UseRealTime();
BENCHMARK(BM_BareCurlPostSmall)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
