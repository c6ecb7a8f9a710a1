#pragma once

// One HTTP request per call, on a fresh connection, with the program's fixed header defaults and
// the cookie text it keeps current. Failure shows only in the results: an empty body, a header
// text of 5000 spaces, no cookies.

#include <cstddef>
#include <optional>

#include "support/text.h"

namespace lumirack {

// Sends one request and returns the body of the final response (empty on any failure: no
// connection, a time limit passed, a cut or oversized body).
// - method: 0 GET, 1 POST, 2 HEAD; any other value is GET.
// - requestCookies, when given: its text goes on the "Cookie: " line, no other cookie is sent, and
//   afterwards it holds the merged cookies (MergeCookies), even when nothing was received.
// - returnedCookies: the name=value items the final response set.
// - extraHeaders: header lines joined by CR LF; receives the completed header text that was sent.
// - returnedHeaders: the raw header block of the final response, or 5000 spaces when none was
//   received or it did not fit.
// - noRedirect: return a redirect response instead of following it.
// - formBytes: the body, preferred over formText; when empty and the method is not GET it
//   receives the bytes of formText.
// - proxy: empty for a direct connection.
Bytes HttpRequest(const Text& url, int method = 0, const Text& formText = {},
                  Text* requestCookies = nullptr, Text* returnedCookies = nullptr,
                  Text* extraHeaders = nullptr, Text* returnedHeaders = nullptr,
                  bool noRedirect = false, Bytes* formBytes = nullptr, const Text& proxy = {});

// The host of a URL in lower case ("http://" assumed without a scheme), cut before its port
// unless keepPort.
Text HostFromUrl(const Text& url, bool keepPort = false);
// The port written in the URL, else 443 for https and 80 otherwise.
int PortFromUrl(const Text& url);
// The path with its query, in the caller's letter case; "/" when the URL has none.
Text PathFromUrl(const Text& url);
// The bytes after the first ":", trimmed of spaces; empty without a ":".
Text TextAfterFirstColon(const Text& text);

// The pieces of a request that HttpRequest works out before it sends anything; pure, so the
// header rules can be checked without a server.
inline constexpr const char* kDefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
// The agent that a caller's header text asks for, or the default one.
Text AgentFromHeaders(const Text& extraHeaders);
// Completes the header text in place: Accept, Referer, Accept-Language and Content-Type when the
// text lacks them, and a Cookie line when the cookie text is not empty.
void CompleteRequestHeaders(Text& headers, const Text& url, const Text& cookies);
// The proxy a list ("name" for every scheme, "scheme=name" for one, entries split by spaces or
// ";") names for a scheme; empty for a direct connection.
Text ProxyForScheme(const Text& proxyList, const Text& scheme);

// What a response's raw header block gives the caller. The block is the status line and header
// lines, each ending CR LF, then the empty line; nullopt when none was received.
inline constexpr std::size_t kHeaderAreaBytes = 5000;
struct ResponseHeaders {
  Text returnedHeaders;  // the block with "Set-Cookie" spelled so, or 5000 spaces
  Text returnedCookies;  // the name=value items of its Set-Cookie lines, joined by "; "
};
ResponseHeaders ReadResponseHeaders(const std::optional<Text>& block);
// The name=value item of every Set-Cookie line of a header text, joined by "; ".
Text CollectCookies(const Text& headerText);

// The bounds every call keeps, so that a silent or hostile server can neither freeze the window
// thread nor exhaust memory. A body over maxBodyBytes is a failed request.
struct HttpLimits {
  long connectTimeoutMs = 10000;
  long totalTimeoutMs = 30000;
  std::size_t maxBodyBytes = std::size_t{64} << 20;
  int maxRedirects = 20;
};
// The limits in force. Only tests change them, to make a fault show quickly.
HttpLimits& HttpLimitsForTesting();

}  // namespace lumirack
