#include "sim/request_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace lumirack::sim {
namespace {

TEST(ParseRequest, CutsCompleteRequestsAndWaitsForTheRest) {
  struct Case {
    const char* name;
    std::string bytes;
    ParseStatus status;
    std::size_t consumed;
    std::string body;
    std::string raw;
  };
  const std::string get = "GET /a?b=1 HTTP/1.1\r\nHost: x\r\n\r\n";
  const std::string post = "POST /p HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello";
  const std::string chunked =
      "POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5;x=y\r\nhello\r\n1\r\n!\r\n0\r\n"
      "Trailer: t\r\n\r\n";
  const Case cases[] = {
      {"get", get, ParseStatus::kComplete, get.size(), "", get},
      {"pipelined: only the first", get + post, ParseStatus::kComplete, get.size(), "", get},
      {"post", post, ParseStatus::kComplete, post.size(), "hello", post},
      {"post missing body bytes", post.substr(0, post.size() - 1), ParseStatus::kNeedMore, 0, "",
       ""},
      {"head not finished", get.substr(0, get.size() - 2), ParseStatus::kNeedMore, 0, "", ""},
      {"chunked", chunked, ParseStatus::kComplete, chunked.size(), "hello!", chunked},
      {"chunked without trailer end", chunked.substr(0, chunked.size() - 2), ParseStatus::kNeedMore,
       0, "", ""},
      {"empty lines before", "\r\n\r\n" + get, ParseStatus::kComplete, get.size() + 4, "", get},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ParseResult r = ParseRequest(c.bytes);
    EXPECT_EQ(r.status, c.status);
    if (c.status != ParseStatus::kComplete) continue;
    EXPECT_EQ(r.consumed, c.consumed);
    EXPECT_EQ(r.request.body, c.body);
    EXPECT_EQ(r.request.raw, c.raw);
  }
}

TEST(ParseRequest, KeepsHeaderLinesInOrderAndSpelling) {
  const ParseResult r =
      ParseRequest("GET / HTTP/1.0\r\nhost: a\r\nX-Two:\t spaced \r\nHOST: b\r\nEmpty:\r\n\r\n");
  ASSERT_EQ(r.status, ParseStatus::kComplete);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"host", "a"}, {"X-Two", "spaced"}, {"HOST", "b"}, {"Empty", ""}};
  EXPECT_EQ(r.request.headers, expected);
  EXPECT_EQ(r.request.version, "HTTP/1.0");
  EXPECT_EQ(*FindHeader(r.request.headers, "Host"), "a");
}

TEST(ParseRequest, FlagsAnExpectedContinueOnceTheHeadIsIn) {
  const ParseResult r =
      ParseRequest("POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 4\r\n\r\nab");
  EXPECT_EQ(r.status, ParseStatus::kNeedMore);
  EXPECT_TRUE(r.headComplete);
  EXPECT_TRUE(r.request.expectContinue);
}

TEST(ParseRequest, RefusesMalformedAndOversizedRequests) {
  struct Case {
    const char* name;
    std::string bytes;
    ParseStatus status;
  };
  const Case cases[] = {
      {"one word", "GET\r\n\r\n", ParseStatus::kBad},
      {"extra space", "GET / x HTTP/1.1\r\n\r\n", ParseStatus::kBad},
      {"version", "GET / HTTP/9\r\n\r\n", ParseStatus::kBad},
      {"header without colon", "GET / HTTP/1.1\r\nnocolon\r\n\r\n", ParseStatus::kBad},
      {"folded header", "GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n", ParseStatus::kBad},
      {"space in name", "GET / HTTP/1.1\r\nA b: c\r\n\r\n", ParseStatus::kBad},
      {"negative length", "POST / HTTP/1.1\r\nContent-Length: -3\r\n\r\n", ParseStatus::kBad},
      {"two lengths", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab",
       ParseStatus::kBad},
      {"unknown coding", "POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", ParseStatus::kBad},
      {"bad chunk size", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
       ParseStatus::kBad},
      {"chunk without end", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nabc",
       ParseStatus::kBad},
      {"head too large", "GET / HTTP/1.1\r\nA: " + std::string(kMaxHeadBytes, 'a'),
       ParseStatus::kHeadTooLarge},
      {"body too large", "POST / HTTP/1.1\r\nContent-Length: 1048577\r\n\r\n",
       ParseStatus::kBodyTooLarge},
      {"chunks too large",
       "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n80000\r\n" +
           std::string(0x80000, 'a') + "\r\n80001\r\n",
       ParseStatus::kBodyTooLarge},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseRequest(c.bytes).status, c.status) << c.name;
  }
}

}  // namespace
}  // namespace lumirack::sim
