#include "support/http.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "common/refused_port.h"
#include "sim/sim_server.h"

namespace lumirack {
namespace {

using namespace std::string_literals;

// --- Taking a URL apart -------------------------------------------------------------------------

struct UrlCase {
  const char* name;
  Text url;
  Text host;
  Text hostWithPort;
  int port;
  Text path;
};

class UrlParts : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlParts, GiveHostPortAndPath) {
  const UrlCase& c = GetParam();
  EXPECT_EQ(HostFromUrl(c.url), c.host);
  EXPECT_EQ(HostFromUrl(c.url, true), c.hostWithPort);
  EXPECT_EQ(PortFromUrl(c.url), c.port);
  EXPECT_EQ(PathFromUrl(c.url), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Http, UrlParts,
    ::testing::Values(
        UrlCase{"ProgramFetch", "http://qun.qq.com/cgi-bin/sys_msg/getmsg?ver=5521&filter=2",
                "qun.qq.com", "qun.qq.com", 80, "/cgi-bin/sys_msg/getmsg?ver=5521&filter=2"},
        UrlCase{"SecureWithCapitals", "https://WWW.Example.COM/P?q=1", "www.example.com",
                "www.example.com", 443, "/P?q=1"},
        UrlCase{"SchemeInCapitals", "HTTPS://A.b", "a.b", "a.b", 443, "/"},
        UrlCase{"WithPort", "http://Qun.qq.com:8080/a/B?x=1", "qun.qq.com", "qun.qq.com:8080", 8080,
                "/a/B?x=1"},
        UrlCase{"SecureWithPort", "https://h.example:8443/x", "h.example", "h.example:8443", 8443,
                "/x"},
        UrlCase{"NoScheme", "qun.qq.com/cgi-bin/X", "qun.qq.com", "qun.qq.com", 80, "/cgi-bin/X"},
        UrlCase{"NoSchemeNoPathWithPort", "127.0.0.1:81", "127.0.0.1", "127.0.0.1:81", 81, "/"},
        UrlCase{"NoPath", "http://qun.qq.com", "qun.qq.com", "qun.qq.com", 80, "/"},
        UrlCase{"PortWithoutDigits", "http://a.b:x/", "a.b", "a.b:x", 0, "/"},
        UrlCase{"PortWithBlankAndSign", "http://a.b: +81/p", "a.b", "a.b: +81", 81, "/p"},
        // The host "h" also occurs in the scheme; the path must still start after the host.
        UrlCase{"HostInsideScheme", "http://h/x/Y", "h", "h", 80, "/x/Y"},
        UrlCase{"HostNamedHttp", "http://http:8000/a", "http", "http:8000", 8000, "/a"}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

struct ColonCase {
  const char* name;
  Text text;
  Text after;
};

TEST(Http, TextAfterFirstColonTrimsOnlySpaces) {
  const ColonCase cases[] = {
      {"Plain", "User-Agent:  Bot/1  ", "Bot/1"},
      {"NoColon", "User-Agent Bot", ""},
      {"SecondColonKept", "a: b:c ", "b:c"},
      {"IdeographicSpace", "a:\xA1\xA1x\xA1\xA1", "x"},
      {"TabAndLineBreakStay", "a:\tx\r\n", "\tx\r\n"},
  };
  for (const ColonCase& c : cases) EXPECT_EQ(TextAfterFirstColon(c.text), c.after) << c.name;
}

// --- The request the program builds -------------------------------------------------------------

TEST(Http, AgentComesFromTheHeaderTextOrTheDefault) {
  const ColonCase cases[] = {
      {"NoAgentLine", "Referer: r", kDefaultUserAgent},
      {"Empty", "", kDefaultUserAgent},
      {"OwnLine", "Referer: r\r\nUser-Agent:  Bot/2 \r\nX: y", "Bot/2"},
      {"SingleLineWithoutCrLf", "User-Agent: X", "X"},
      // Found without regard to case, but cut out with the exact-case search, which fails:
      // the agent is then everything after the first colon of the whole text.
      {"LowerCaseLine", "Referer: r\r\nuser-agent: Bot/2", "r\r\nuser-agent: Bot/2"},
  };
  for (const ColonCase& c : cases) EXPECT_EQ(AgentFromHeaders(c.text), c.after) << c.name;
}

struct HeaderCase {
  const char* name;
  Text given;
  Text cookies;
  Text completed;
};

TEST(Http, CompletesTheHeaderText) {
  const Text url = "http://qun.qq.com/cgi-bin/x?a=1";
  const Text defaults =
      "Referer: http://qun.qq.com/cgi-bin/x?a=1\r\nAccept-Language: zh-cn\r\n"
      "Content-Type: application/x-www-form-urlencoded";
  const HeaderCase cases[] = {
      {"EmptyGivesExactlyFourLines", "", "", "Accept: */*\r\n" + defaults},
      {"CookieLineLast", "", "a=1; b=2", "Accept: */*\r\n" + defaults + "\r\nCookie: a=1; b=2"},
      {"OwnRefererKept", "Referer: mine", "",
       "Referer: mine\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
       "Content-Type: application/x-www-form-urlencoded"},
      {"OwnAcceptAndType", "Accept: text/html\r\nContent-Type: text/plain", "",
       "Accept: text/html\r\nContent-Type: text/plain\r\nReferer: " + url +
           "\r\nAccept-Language: zh-cn"},
      // Additions go at the very end, whatever the text ends with.
      {"TrailingCrLfKept", "X: 1\r\n", "", "X: 1\r\n\r\nAccept: */*\r\n" + defaults},
      // The searches are exact-case substring searches.
      {"LowerCaseNamesDoNotCount", "accept: a\r\nreferer: b", "",
       "accept: a\r\nreferer: b\r\nAccept: */*\r\n" + defaults},
      {"CookieLineAddedEvenWhenPresent", "Cookie: old", "n=1",
       "Cookie: old\r\nAccept: */*\r\n" + defaults + "\r\nCookie: n=1"},
  };
  for (const HeaderCase& c : cases) {
    Text headers = c.given;
    CompleteRequestHeaders(headers, url, c.cookies);
    EXPECT_EQ(headers, c.completed) << c.name;
  }
}

struct ProxyCase {
  const char* name;
  Text list;
  Text scheme;
  Text proxy;
};

TEST(Http, ProxyListNamesAProxyPerScheme) {
  const ProxyCase cases[] = {
      {"Direct", "", "http", ""},
      {"ForHttpOnly", "http=10.0.0.1:3128", "http", "10.0.0.1:3128"},
      {"HttpEntryNotForHttps", "http=10.0.0.1:3128", "https", ""},
      {"PlainNameForEveryScheme", "10.0.0.1:3128", "https", "10.0.0.1:3128"},
      {"SchemeEntryBeatsPlainName", "p:1 https=s:2", "https", "s:2"},
      {"SemicolonSeparated", "http=a:1;https=b:2", "https", "b:2"},
      {"LabelInCapitals", "HTTPS=b:2", "https", "b:2"},
  };
  for (const ProxyCase& c : cases) EXPECT_EQ(ProxyForScheme(c.list, c.scheme), c.proxy) << c.name;
}

// --- The response's header block ----------------------------------------------------------------

struct BlockCase {
  const char* name;
  Text block;
  Text cookies;
};

TEST(Http, CollectsTheCookiesOfTheHeaderBlock) {
  const Text status = "HTTP/1.1 200 OK\r\n";
  const BlockCase cases[] = {
      {"None", status + "Content-Length: 0\r\n\r\n", ""},
      {"AttributesDropped", status + "Set-Cookie: a=1; Path=/; HttpOnly\r\n\r\n", "a=1"},
      {"InOrder", status + "Set-Cookie: a=1; Path=/\r\nX: y\r\nSet-Cookie: b=2; Path=/\r\n\r\n",
       "a=1; b=2"},
      {"LowerCaseName", status + "set-cookie: a=1; path=/\r\n\r\n", "a=1"},
      {"MixedCaseName", status + "SET-COOKIE: a=1\r\n\r\n", "a=1"},
      {"WithoutSemicolon", status + "Set-Cookie:   skey=@x y  \r\n\r\n", "skey=@x y"},
      {"Deleted", status + "Set-Cookie: a=deleted; expires=Thu, 01 Jan 1970\r\n\r\n", "a=deleted"},
      // Only lines that name the header exactly take part; the value needs "Set-Cookie:".
      {"NameWithoutColon", status + "Set-Cookie2 a=1; x\r\n\r\n", ""},
  };
  for (const BlockCase& c : cases) {
    const ResponseHeaders got = ReadResponseHeaders(c.block);
    EXPECT_EQ(got.returnedCookies, c.cookies) << c.name;
    EXPECT_EQ(got.returnedHeaders.size(), c.block.size()) << c.name;
  }
}

TEST(Http, HeaderBlockSpellsSetCookieOneWay) {
  const ResponseHeaders got =
      ReadResponseHeaders(Text("HTTP/1.1 200 OK\r\nset-COOKIE: a=1\r\nX: no-set-cookie\r\n\r\n"));
  EXPECT_EQ(got.returnedHeaders, "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nX: no-Set-Cookie\r\n\r\n");
}

TEST(Http, HeaderBlockMustFitTheAreaWithItsTerminator) {
  const Text head = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nX: ";
  const Text tail = "\r\n\r\n";
  const Text spaces(kHeaderAreaBytes, ' ');
  const auto blockOf = [&](std::size_t size) {
    return head + Text(size - head.size() - tail.size(), 'v') + tail;
  };

  const ResponseHeaders fits = ReadResponseHeaders(blockOf(kHeaderAreaBytes - 1));
  EXPECT_EQ(fits.returnedHeaders, blockOf(kHeaderAreaBytes - 1));
  EXPECT_EQ(fits.returnedCookies, "a=1");

  for (const std::size_t size : {kHeaderAreaBytes, kHeaderAreaBytes + 1, 3 * kHeaderAreaBytes}) {
    const ResponseHeaders over = ReadResponseHeaders(blockOf(size));
    EXPECT_EQ(over.returnedHeaders, spaces) << size;
    EXPECT_EQ(over.returnedCookies, "") << size;
  }

  const ResponseHeaders none = ReadResponseHeaders(std::nullopt);
  EXPECT_EQ(none.returnedHeaders, spaces);
  EXPECT_EQ(none.returnedCookies, "");
}

TEST(Http, HeaderBlockEndsAtANul) {
  const ResponseHeaders got =
      ReadResponseHeaders("HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\n\0Set-Cookie: b=2\r\n\r\n"s);
  EXPECT_EQ(got.returnedHeaders, "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\n");
  EXPECT_EQ(got.returnedCookies, "a=1");
}

// --- On the wire, against the stand-in service ---------------------------------------------------

Text Str(const Bytes& bytes) { return Text(bytes.begin(), bytes.end()); }

// Restores the limits a test lowered.
class LimitsGuard {
 public:
  LimitsGuard() : saved_(HttpLimitsForTesting()) {}
  ~LimitsGuard() { HttpLimitsForTesting() = saved_; }

 private:
  HttpLimits saved_;
};

class HttpWire : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start(0)) << sim_.LastError();
    base_ = sim_.BaseUrl();
    HttpLimitsForTesting().totalTimeoutMs = 10000;  // a fault here never freezes the suite
  }

  // The request line, Host and User-Agent of a request to this server.
  Text Head(const Text& requestLine, const Text& agentLine) const {
    return requestLine + " HTTP/1.1\r\nHost: " + sim_.HostPort() + "\r\n" + agentLine;
  }
  Text Raw() const {
    const auto requests = sim_.Requests();
    return requests.empty() ? Text{} : requests.back().raw;
  }

  LimitsGuard limits_;
  sim::SimServer sim_;
  Text base_;
};

const Text kAgentLine = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n";
const Text kDefaultLines =
    "Accept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded\r\n";

TEST_F(HttpWire, SendsTheProgramsFetchByteForByte) {
  const Text url = base_ + "/cgi-bin/sys_msg/getmsg?ver=5521&filter=2";
  Text cookies = "uin=o10001; skey=@aBc";
  HttpRequest(url, 0, {}, &cookies);
  EXPECT_EQ(Raw(), Head("GET /cgi-bin/sys_msg/getmsg?ver=5521&filter=2", kAgentLine) +
                       "Accept: */*\r\nReferer: " + url + "\r\n" + kDefaultLines +
                       "Cookie: uin=o10001; skey=@aBc\r\n\r\n");
}

TEST_F(HttpWire, SendsTheProgramsDecisionByteForByte) {
  const Text url = base_ + "/cgi-bin/sys_msg/set_msgstate";
  const Text form = "seq=1&t=1&gc=2&cmd=1&uin=3&ver=false&msg=%E6%88%91&bkn=5";
  Text cookies = "uin=o10001; skey=@aBc";
  HttpRequest(url, 1, form, &cookies);
  EXPECT_EQ(Raw(), Head("POST /cgi-bin/sys_msg/set_msgstate", kAgentLine) +
                       "Accept: */*\r\nReferer: " + url + "\r\n" + kDefaultLines +
                       "Cookie: uin=o10001; skey=@aBc\r\nContent-Length: " +
                       DecimalText(static_cast<long long>(form.size())) + "\r\n\r\n" + form);
}

TEST_F(HttpWire, MethodChoosesTheVerbAndTheBody) {
  struct Case {
    int method;
    Text requestStart;
  };
  const Case cases[] = {
      {0, "GET /sim/echo?Q=a HTTP/1.1\r\n"},  {3, "GET /sim/echo?Q=a HTTP/1.1\r\n"},
      {-1, "GET /sim/echo?Q=a HTTP/1.1\r\n"}, {1, "POST /sim/echo?Q=a HTTP/1.1\r\n"},
      {2, "HEAD /sim/echo?Q=a HTTP/1.1\r\n"},
  };
  for (const Case& c : cases) {
    Bytes formBytes;
    HttpRequest(base_ + "/sim/echo?Q=a", c.method, "x=1", nullptr, nullptr, nullptr, nullptr, false,
                &formBytes);
    const Text raw = Raw();
    EXPECT_EQ(raw.substr(0, c.requestStart.size()), c.requestStart) << c.method;
    const bool post = c.method == 1;
    EXPECT_EQ(raw.ends_with("\r\n\r\nx=1"), post) << c.method;
    EXPECT_EQ(raw.find("Content-Length:") != Text::npos, post) << c.method;
    // The body bytes are handed back for every method but GET.
    EXPECT_EQ(Str(formBytes), c.method == 1 || c.method == 2 ? "x=1" : "") << c.method;
  }
}

TEST_F(HttpWire, FormBytesWinOverFormText) {
  Bytes formBytes = {'b', '=', 0, '1'};
  HttpRequest(base_ + "/sim/echo", 1, "a=1", nullptr, nullptr, nullptr, nullptr, false, &formBytes);
  EXPECT_TRUE(
      Raw().ends_with(std::string("Content-Length: 4\r\n\r\nb=\0"
                                  "1",
                                  25)));
}

TEST_F(HttpWire, CarriesTheCallersHeaderTextAsCompleted) {
  struct Case {
    const char* name;
    int method;
    Text extra;
    Text agentLine;  // what precedes the header text
    Text lines;      // the header text as sent
  };
  const Text url = base_ + "/sim/echo";
  const Case cases[] = {
      {"OwnReferer", 0, "Referer: http://elsewhere/", kAgentLine,
       "Referer: http://elsewhere/\r\nAccept: */*\r\n" + kDefaultLines},
      {"OwnAgent", 0, "User-Agent: Bot/1\r\nX-A: 1", "",
       "User-Agent: Bot/1\r\nX-A: 1\r\nAccept: */*\r\nReferer: " + url + "\r\n" + kDefaultLines},
      // The agent found is the text after the first colon, not the default; the caller's own
      // line is the only agent line on the wire.
      {"LowerCaseAgent", 0, "X-A: 1\r\nuser-agent: Bot/2", "",
       "X-A: 1\r\nuser-agent: Bot/2\r\nAccept: */*\r\nReferer: " + url + "\r\n" + kDefaultLines},
      // Empty lines never reach the wire, where they would end the head.
      {"TrailingCrLf", 0, "X-A: 1\r\n", kAgentLine,
       "X-A: 1\r\nAccept: */*\r\nReferer: " + url + "\r\n" + kDefaultLines},
      // The substring searches find these names inside others, so no Accept or Content-Type line
      // is added, and the client adds none of its own either.
      {"PostWithLookalikeNames", 1, "X-Accept: a\r\nX-Content-Type: b", kAgentLine,
       "X-Accept: a\r\nX-Content-Type: b\r\nReferer: " + url +
           "\r\nAccept-Language: zh-cn\r\nContent-Length: 0\r\n"},
  };
  for (const Case& c : cases) {
    Text extra = c.extra;
    HttpRequest(url, c.method, {}, nullptr, nullptr, &extra);
    EXPECT_EQ(Raw(), Head(c.method == 1 ? "POST /sim/echo" : "GET /sim/echo", c.agentLine) +
                         c.lines + "\r\n")
        << c.name;
    Text completed = c.extra;
    CompleteRequestHeaders(completed, url, {});
    EXPECT_EQ(extra, completed) << c.name;
  }
}

TEST_F(HttpWire, UrlCannotBendTheRequestLine) {
  // "x@127.0.0.1" is the host HostFromUrl gives; libcurl would read a user name and contact
  // 127.0.0.1 instead, so nothing is sent at all.
  HttpRequest("http://x@" + sim_.HostPort() + "/sim/echo");
  EXPECT_TRUE(sim_.Requests().empty());

  // Bytes that cannot stand in a request line go as %XX; the rest is kept as written.
  HttpRequest(base_ + "/sim/echo?Q=a b\xB0\xA1\r\n");
  EXPECT_TRUE(Raw().starts_with("GET /sim/echo?Q=a%20b%B0%A1%0D%0A HTTP/1.1\r\n")) << Raw();
}

TEST_F(HttpWire, LineBreakInsideACookieCannotAddAHeaderLine) {
  Text cookies = "a=1\rX-Injected: 1";
  HttpRequest(base_ + "/sim/echo", 0, {}, &cookies);
  EXPECT_NE(Raw().find("\r\nCookie: a=1 X-Injected: 1\r\n"), Text::npos) << Raw();
}

TEST_F(HttpWire, CollectsAndMergesTheCookiesTheReplySets) {
  sim_.SetExtraHeaders(sim::kEchoEndpoint, {{"set-cookie", "lc=1; Path=/"},
                                            {"Set-Cookie", "skey=@new"},
                                            {"Set-Cookie", "gone=deleted; Path=/"}});
  Text cookies = "skey=@old; gone=x; keep=2";
  Text returnedCookies;
  Text returnedHeaders;
  HttpRequest(base_ + "/sim/echo", 0, {}, &cookies, &returnedCookies, nullptr, &returnedHeaders);
  EXPECT_EQ(cookies, "lc=1; skey=@new; keep=2");
  EXPECT_EQ(returnedCookies, "lc=1;skey=@new;gone=deleted");
  EXPECT_TRUE(returnedHeaders.starts_with("HTTP/1.1 200 OK\r\n")) << returnedHeaders;
  EXPECT_TRUE(returnedHeaders.ends_with("\r\n\r\n")) << returnedHeaders;
  EXPECT_NE(returnedHeaders.find("\r\nSet-Cookie: lc=1; Path=/\r\n"), Text::npos);

  // Without a cookie variable the items keep their "; ".
  HttpRequest(base_ + "/sim/echo", 0, {}, nullptr, &returnedCookies);
  EXPECT_EQ(returnedCookies, "lc=1; skey=@new; gone=deleted");
}

TEST_F(HttpWire, EmptyCookieTextSendsNoCookieLineButIsMerged) {
  sim_.SetExtraHeaders(sim::kEchoEndpoint, {{"Set-Cookie", "n=1"}});
  Text cookies;
  HttpRequest(base_ + "/sim/echo", 0, {}, &cookies);
  EXPECT_EQ(Raw().find("Cookie"), Text::npos) << Raw();
  EXPECT_EQ(cookies, "n=1");
}

TEST_F(HttpWire, OversizedHeaderBlockGivesSpacesAndNoCookies) {
  sim_.SetExtraHeaders(sim::kEchoEndpoint, sim::CookieStorm(300));
  Text cookies = "a=1";
  Text returnedHeaders;
  const Bytes body =
      HttpRequest(base_ + "/sim/echo", 0, {}, &cookies, nullptr, nullptr, &returnedHeaders);
  EXPECT_EQ(returnedHeaders, Text(kHeaderAreaBytes, ' '));
  EXPECT_EQ(cookies, "a=1");
  EXPECT_TRUE(Str(body).starts_with("GET /sim/echo HTTP/1.1\r\n"));  // the body still comes
}

TEST_F(HttpWire, RedirectIsFollowedUnlessTurnedOff) {
  sim::Fault redirect;
  redirect.kind = sim::FaultKind::kRedirect;
  redirect.location = "echo?after=1";  // relative, and twice in a row
  redirect.times = 2;

  sim_.SetFault(sim::kEchoEndpoint, redirect);
  Text headers;
  Text cookies = "s=1";
  Bytes body =
      HttpRequest(base_ + "/sim/echo?before=1", 1, "f=1", &cookies, nullptr, nullptr, &headers);
  // A 302 after a POST fetches the new address; the header text goes along.
  EXPECT_TRUE(Str(body).starts_with("GET /sim/echo?after=1 HTTP/1.1\r\n")) << Str(body);
  EXPECT_NE(Str(body).find("\r\nCookie: s=1\r\n"), Text::npos) << Str(body);
  EXPECT_EQ(Str(body).find("f=1"), Text::npos);
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n")) << headers;
  EXPECT_EQ(headers.find("Location"), Text::npos) << "only the final response's block";

  sim_.SetFault(sim::kEchoEndpoint, redirect);
  body =
      HttpRequest(base_ + "/sim/echo?before=1", 0, {}, &cookies, nullptr, nullptr, &headers, true);
  EXPECT_EQ(Str(body), "<html><body>Moved</body></html>\n");
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 302 ")) << headers;
  EXPECT_NE(headers.find("\r\nLocation: echo?after=1\r\n"), Text::npos) << headers;
  EXPECT_EQ(sim_.Requests().back().target, "/sim/echo?before=1");
}

TEST_F(HttpWire, RedirectToAnotherServerLeavesTheCookiesBehind) {
  sim::SimServer other;
  ASSERT_TRUE(other.Start(0));
  sim::Fault redirect;
  redirect.kind = sim::FaultKind::kRedirect;
  redirect.location = other.BaseUrl() + "/sim/echo";
  sim_.SetFault(sim::kEchoEndpoint, redirect);
  Text cookies = "skey=@secret";
  const Bytes body = HttpRequest(base_ + "/sim/echo", 0, {}, &cookies);
  EXPECT_TRUE(Str(body).starts_with("GET /sim/echo HTTP/1.1\r\nHost: " + other.HostPort()))
      << Str(body);
  EXPECT_EQ(Str(body).find("secret"), Text::npos) << Str(body);
}

// What a failed request leaves: no body, the empty header area, and the held cookies merged with
// nothing (normalised).
void ExpectFailed(const Bytes& body, const Text& returnedHeaders, const Text& returnedCookies,
                  const Text& cookies, const char* name) {
  EXPECT_TRUE(body.empty()) << name;
  EXPECT_EQ(returnedHeaders, Text(kHeaderAreaBytes, ' ')) << name;
  EXPECT_EQ(returnedCookies, "") << name;
  EXPECT_EQ(cookies, "a=1") << name;
}

TEST_F(HttpWire, FailuresGiveAnEmptyResult) {
  struct Case {
    const char* name;
    sim::Fault fault;
    HttpLimits limits;
  };
  HttpLimits shortWait;
  shortWait.totalTimeoutMs = 300;
  HttpLimits smallBody;
  smallBody.maxBodyBytes = 64 * 1024;
  const Case cases[] = {
      {"ClosedBeforeReply", {.kind = sim::FaultKind::kCloseBeforeReply}, {}},
      {"SlowerThanTheTimeLimit", {.kind = sim::FaultKind::kDelay, .delayMs = 3000}, shortWait},
      {"BodyOverTheLimit", {.kind = sim::FaultKind::kLargeBody, .sizeBytes = 1 << 20}, smallBody},
  };
  for (const Case& c : cases) {
    HttpLimitsForTesting() = c.limits;
    sim_.SetFault(sim::kEchoEndpoint, c.fault);
    Text cookies = "a=1; a=2; x=deleted";
    Text returnedHeaders;
    Text returnedCookies;
    const Bytes body = HttpRequest(base_ + "/sim/echo", 0, {}, &cookies, &returnedCookies, nullptr,
                                   &returnedHeaders);
    ExpectFailed(body, returnedHeaders, returnedCookies, cookies, c.name);
  }
}

TEST_F(HttpWire, BodyAtTheLimitArrivesWhole) {
  HttpLimitsForTesting().maxBodyBytes = 64 * 1024;
  sim_.SetFault(sim::kEchoEndpoint, {.kind = sim::FaultKind::kLargeBody, .sizeBytes = 64 * 1024});
  EXPECT_EQ(HttpRequest(base_ + "/sim/echo").size(), 64u * 1024);
}

TEST_F(HttpWire, BodyCutShortIsAFailureButItsHeadersCount) {
  sim_.SetFault(sim::kEchoEndpoint, {.kind = sim::FaultKind::kCloseMidBody});
  sim_.SetExtraHeaders(sim::kEchoEndpoint, {{"Set-Cookie", "n=1"}});
  Text cookies = "a=1";
  Text returnedHeaders;
  const Bytes body =
      HttpRequest(base_ + "/sim/echo", 0, {}, &cookies, nullptr, nullptr, &returnedHeaders);
  EXPECT_TRUE(body.empty());
  EXPECT_TRUE(returnedHeaders.starts_with("HTTP/1.1 200 OK\r\n")) << returnedHeaders;
  EXPECT_EQ(cookies, "n=1; a=1");
}

TEST(HttpNoServer, NothingListeningGivesTheEmptyResult) {
  testing::RefusedPort refused;
  Text cookies = "a=1; a=2; x=deleted";
  Text returnedHeaders;
  Text returnedCookies;
  Text extra;
  const Bytes body = HttpRequest("http://" + refused.HostPort() + "/x", 1, "f=1", &cookies,
                                 &returnedCookies, &extra, &returnedHeaders);
  ExpectFailed(body, returnedHeaders, returnedCookies, cookies, "Refused");
  EXPECT_TRUE(extra.starts_with("Accept: */*\r\n")) << "the header text is completed anyway";
}

TEST_F(HttpWire, ProxyServesHttpAndIsHandedOnForHttps) {
  // The stand-in plays the proxy; the addresses behind it are never looked up.
  HttpRequest("http://example.invalid:81/sim/echo?x=1", 0, {}, nullptr, nullptr, nullptr, nullptr,
              false, nullptr, sim_.HostPort());
  EXPECT_TRUE(Raw().starts_with(
      "GET http://example.invalid:81/sim/echo?x=1 HTTP/1.1\r\nHost: example.invalid:81\r\n"))
      << Raw();

  HttpRequest("https://example.invalid/x", 0, {}, nullptr, nullptr, nullptr, nullptr, false,
              nullptr, sim_.HostPort());
  EXPECT_TRUE(Raw().starts_with("CONNECT example.invalid:443 HTTP/1.1\r\n")) << Raw();

  // "http=" names a proxy for http only, so an https address goes direct.
  testing::RefusedPort refused;
  sim_.ClearRecords();
  HttpRequest("https://" + refused.HostPort() + "/x", 0, {}, nullptr, nullptr, nullptr, nullptr,
              false, nullptr, "http=" + sim_.HostPort());
  EXPECT_TRUE(sim_.Requests().empty());
}

// A server that answers one connection with fixed bytes, for replies the stand-in does not give.
class OneShotServer {
 public:
  explicit OneShotServer(Text reply) : reply_(std::move(reply)) {
    listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listenFd_, 1);
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    thread_.join();
    close(listenFd_);
  }
  Text Url() const { return "http://127.0.0.1:" + DecimalText(port_) + "/"; }

 private:
  void Serve() {
    pollfd p{listenFd_, POLLIN, 0};
    if (poll(&p, 1, 5000) != 1) return;
    const int fd = accept(listenFd_, nullptr, nullptr);
    if (fd < 0) return;
    Text head;
    char buf[4096];
    while (head.find("\r\n\r\n") == Text::npos) {
      pollfd q{fd, POLLIN, 0};
      if (poll(&q, 1, 5000) != 1) break;
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      head.append(buf, static_cast<std::size_t>(n));
    }
    for (std::size_t done = 0; done < reply_.size();) {
      const ssize_t n = send(fd, reply_.data() + done, reply_.size() - done, MSG_NOSIGNAL);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    close(fd);
  }

  Text reply_;
  int listenFd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(HttpRawReply, ChunkedBodyOverTheLimitIsAFailure) {
  // No length is announced, so only the count of bytes received can stop it.
  LimitsGuard limits;
  HttpLimitsForTesting().maxBodyBytes = 1000;
  for (const std::size_t size : {std::size_t{1000}, std::size_t{1001}}) {
    char chunkSize[16];
    std::snprintf(chunkSize, sizeof chunkSize, "%zx", size);
    OneShotServer server("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Text(chunkSize) +
                         "\r\n" + Text(size, 'b') + "\r\n0\r\n\r\n");
    EXPECT_EQ(HttpRequest(server.Url()).size(), size == 1000 ? 1000u : 0u) << size;
  }
}

TEST(HttpRawReply, LineEndingsAndTrailersOfTheBlockAreTidied) {
  OneShotServer server(
      "HTTP/1.1 100 Continue\r\n\r\n"
      "HTTP/1.1 200 OK\nSet-Cookie: a=1\nTransfer-Encoding: chunked\n\n"
      "2\r\nhi\r\n0\r\nX-Trailer: t\r\n\r\n");
  Text headers;
  const Bytes body = HttpRequest(server.Url(), 0, {}, nullptr, nullptr, nullptr, &headers);
  EXPECT_EQ(Str(body), "hi");
  EXPECT_EQ(headers, "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nTransfer-Encoding: chunked\r\n\r\n");
}

}  // namespace
}  // namespace lumirack
