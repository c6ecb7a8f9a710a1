#include "support/http.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

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

class UrlParts : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlParts, GiveHostPortAndPath) {
  const UrlCase& c = GetParam();
  EXPECT_EQ(HostFromUrl(c.url), c.host);
  EXPECT_EQ(HostFromUrl(c.url, true), c.hostWithPort);
  EXPECT_EQ(PortFromUrl(c.url), c.port);
  EXPECT_EQ(PathFromUrl(c.url), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Http, UrlParts,
    testing::Values(
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
    [](const testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

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

}  // namespace
}  // namespace lumirack
