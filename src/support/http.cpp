#include "support/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string_view>

#include "support/charset.h"
#include "support/cookies.h"

namespace lumirack {
namespace {

constexpr std::string_view kCrLf = "\r\n";

void EnsureCurlInitialised() {
  // A function-local static: initialised once, thread-safe, before the first handle.
  struct Global {
    Global() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~Global() { curl_global_cleanup(); }
  };
  static Global global;
}

bool IsSecure(const Text& url) {
  return url.size() >= 5 && EqualsIgnoreAsciiCase(std::string_view(url).substr(0, 5), "https");
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

// The number at the start of a text: leading blanks and a sign allowed, 0 without digits, and
// clamped rather than overflowing.
int LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<long long>(value * 10 + (text[i] - '0'), 1LL << 31);
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

// Only a plain host name or address goes into the URL handed to libcurl; anything else ("@",
// "?", spaces...) would be read as a different host than the one HostFromUrl gave.
bool IsPlainHost(const Text& host) {
  if (host.empty()) return false;
  return std::all_of(host.begin(), host.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
  });
}

// The request target exactly as PathFromUrl gave it, except that bytes which cannot stand in a
// request line (controls, space, DEL, bytes of 0x80 and above) go as %XX.
Text RequestTarget(const Text& path) {
  return PercentEscape(path, [](unsigned char b) { return b <= 0x20 || b >= 0x7F; });
}

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

bool Append(HeaderList& list, const char* line) {
  curl_slist* grown = curl_slist_append(list.get(), line);
  if (grown == nullptr) return false;
  list.release();
  list.reset(grown);
  return true;
}

// The header text as libcurl's list, line by line. A CR or LF inside a line (a cookie value, say)
// becomes a space so that it can never start a header line of its own. The empty-valued entries
// at the end remove the lines libcurl would add by itself.
HeaderList BuildHeaderList(const Text& headers, bool withCookies) {
  HeaderList list;
  for (Text line : SplitText(headers, Text(kCrLf))) {
    if (line.empty()) continue;
    if (!withCookies && StartsWithIgnoreCase(line, "Cookie:")) continue;
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    if (!Append(list, line.c_str())) return {};
  }
  for (const char* removal : {"Accept:", "Expect:", "Content-Type:", "Proxy-Connection:"}) {
    if (!Append(list, removal)) return {};
  }
  return list;
}

// One request and its response, as the callbacks see them.
struct Exchange {
  std::size_t maxBody = 0;
  Bytes body;
  Text block;  // the header block being read; stops growing once it cannot fit the area
  bool inBlock = false;
  bool blockDone = false;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& ex = *static_cast<Exchange*>(user);
  const std::size_t n = size * count;
  // Returning less than n aborts the transfer at once, so memory stays bounded.
  if (n > ex.maxBody - ex.body.size()) return 0;
  ex.body.insert(ex.body.end(), data, data + n);
  return n;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& ex = *static_cast<Exchange*>(user);
  const std::size_t n = size * count;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (!ex.inBlock || ex.blockDone) {
    // A new status line starts a new block (after a 1xx); anything else here is a trailer.
    if (!line.starts_with("HTTP/")) return n;
    ex.block.clear();
    ex.inBlock = true;
    ex.blockDone = false;
  }
  if (ex.block.size() <= kHeaderAreaBytes) {
    ex.block.append(line);
    ex.block.append(kCrLf);
  }
  if (line.empty()) ex.blockDone = true;
  return n;
}

enum class Verb { kGet, kPost, kHead };

// Where one request of a call goes and what it carries.
struct Hop {
  Text scheme;  // "http" or "https"
  Text url;     // what libcurl is given
  Text target;  // the request target when libcurl must not derive it from the URL
  Text host;
  long port = 0;
  Verb verb = Verb::kGet;
  bool withBody = false;
};

long DefaultPort(const Text& scheme) { return scheme == "https" ? 443 : 80; }

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// The request a redirect response leads to, or nullopt when it is not to be followed.
std::optional<Hop> NextHop(CURL* curl, const Hop& hop) {
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) {
    return std::nullopt;
  }
  curl_header* location = nullptr;
  if (curl_easy_header(curl, "Location", 0, CURLH_HEADER, -1, &location) != CURLHE_OK ||
      location->value == nullptr || *location->value == '\0') {
    return std::nullopt;
  }
  std::unique_ptr<CURLU, UrlDeleter> resolved(curl_url());
  if (!resolved) return std::nullopt;
  // A relative address is taken against the address this request went to.
  const Text origin = hop.scheme + "://" + hop.host + ":" + DecimalText(hop.port);
  const Text base = hop.target.empty() ? hop.url : origin + hop.target;
  if (curl_url_set(resolved.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK &&
      curl_url_set(resolved.get(), CURLUPART_URL, (origin + "/").c_str(), 0) != CURLUE_OK) {
    return std::nullopt;
  }
  if (curl_url_set(resolved.get(), CURLUPART_URL, location->value,
                   CURLU_URLENCODE | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return std::nullopt;
  }
  auto part = [&](CURLUPart which, unsigned flags) -> std::optional<Text> {
    char* text = nullptr;
    if (curl_url_get(resolved.get(), which, &text, flags) != CURLUE_OK) return std::nullopt;
    Text out(text);
    curl_free(text);
    return out;
  };
  const auto url = part(CURLUPART_URL, 0);
  const auto scheme = part(CURLUPART_SCHEME, 0);
  const auto host = part(CURLUPART_HOST, 0);
  const auto port = part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
  if (!url || !scheme || !host || !port) return std::nullopt;
  // An http address may lead to https; a secure exchange never falls back to plain http.
  if (*scheme != "https" && (*scheme != "http" || hop.scheme == "https")) return std::nullopt;
  Hop next;
  next.scheme = *scheme;
  next.url = *url;
  next.host = LowerAscii(*host);
  next.port = LeadingNumber(*port);
  // 307 and 308 repeat the request as it was; the others fetch the new address, as browsers do.
  if (status == 307 || status == 308) {
    next.verb = hop.verb;
    next.withBody = hop.withBody;
  } else {
    next.verb = hop.verb == Verb::kHead ? Verb::kHead : Verb::kGet;
  }
  return next;
}

// Runs one request of the call on the handle, with what is left of the call's time.
CURLcode RunHop(CURL* curl, const Hop& hop, const Text& agent, const Text& headers,
                bool withCookies, const Bytes& body, const Text& proxyList,
                std::chrono::steady_clock::time_point deadline, Exchange& ex) {
  const HttpLimits& limits = HttpLimitsForTesting();
  const long left = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          deadline - std::chrono::steady_clock::now())
                                          .count());
  if (left <= 0) return CURLE_OPERATION_TIMEDOUT;
  HeaderList list = BuildHeaderList(headers, withCookies);
  if (!list) return CURLE_OUT_OF_MEMORY;
  ex.maxBody = limits.maxBodyBytes;

  const Text proxyName = ProxyForScheme(proxyList, hop.scheme);
  // A proxy that is not tunnelled through needs the whole address in the request line.
  Text target = hop.target;
  if (!target.empty() && !proxyName.empty() && hop.scheme == "http") {
    target = "http://" + hop.host + (hop.port == 80 ? "" : ":" + DecimalText(hop.port)) + target;
  }

  curl_easy_reset(curl);
  curl_easy_setopt(curl, CURLOPT_URL, hop.url.c_str());
  if (!target.empty()) curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, target.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, left);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, std::min(limits.connectTimeoutMs, left));
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(std::min<std::size_t>(limits.maxBodyBytes, INT64_MAX)));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  // An empty proxy also keeps libcurl from taking one from the environment.
  curl_easy_setopt(curl, CURLOPT_PROXY, proxyName.c_str());
  curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &ex);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &ex);
  // HEAD reads no response body; NOBODY must come before the body options, which would turn the
  // request back into a POST for libcurl.
  if (hop.verb == Verb::kHead) curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  if (hop.withBody) {
    static const char kNoBytes = 0;
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS,
                     body.empty() ? &kNoBytes : reinterpret_cast<const char*>(body.data()));
  }
  if (hop.verb == Verb::kHead) curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "HEAD");
  return curl_easy_perform(curl);
}

}  // namespace

Text HostFromUrl(const Text& url, bool keepPort) {
  Text t = LowerAscii(url);
  if (t.empty() || t.back() != '/') t += '/';
  Text host;
  if (t.compare(0, 8, "https://") == 0) {
    host = TextBetween(t, "https://", "/");
  } else {
    if (FindText(t, "http://") == -1) t = "http://" + t;
    host = TextBetween(t, "http://", "/");
  }
  if (!keepPort) {
    const int colon = FindText(host, ":");
    if (colon != -1) host.resize(static_cast<std::size_t>(colon - 1));
  }
  return host;
}

int PortFromUrl(const Text& url) {
  const Text hostPort = HostFromUrl(url, true);
  const std::size_t colon = hostPort.rfind(':');  // ':' is never the second byte of a character
  if (colon != Text::npos) return LeadingNumber(std::string_view(hostPort).substr(colon + 1));
  return IsSecure(url) ? 443 : 80;
}

Text PathFromUrl(const Text& url) {
  const Text host = HostFromUrl(url);
  // The host is looked for after the scheme, where HostFromUrl took it from: a host such as "h"
  // or "tp" also occurs inside "http://" itself.
  const Text lower = LowerAscii(url);
  int from = 1;
  if (lower.compare(0, 8, "https://") == 0) {
    from = 9;
  } else if (const int scheme = FindText(lower, "http://"); scheme != -1) {
    from = scheme + 7;
  }
  const int a = FindText(url, host, from, true);
  const int b = FindText(url, "/", a);
  if (b == -1) return "/";
  return url.substr(static_cast<std::size_t>(b - 1));
}

Text TextAfterFirstColon(const Text& text) {
  const int colon = FindText(text, ":");
  if (colon == -1) return {};
  return TrimSpaces(text.substr(static_cast<std::size_t>(colon)));
}

Text AgentFromHeaders(const Text& extraHeaders) {
  if (FindText(extraHeaders, "User-Agent:", 1, true) == -1) return kDefaultUserAgent;
  const Text agent = TrimSpaces(TextBetween(extraHeaders, "User-Agent:", Text(kCrLf)));
  return agent.empty() ? TextAfterFirstColon(extraHeaders) : agent;
}

void CompleteRequestHeaders(Text& headers, const Text& url, const Text& cookies) {
  auto addLine = [&headers](const Text& line) {
    headers.append(kCrLf);
    headers += line;
  };
  if (headers.empty()) {
    headers = "Accept: */*";
  } else if (FindText(headers, "Accept:") == -1) {
    addLine("Accept: */*");
  }
  if (FindText(headers, "Referer:") == -1) addLine("Referer: " + url);
  if (FindText(headers, "Accept-Language:") == -1) addLine("Accept-Language: zh-cn");
  if (FindText(headers, "Content-Type:") == -1) {
    addLine("Content-Type: application/x-www-form-urlencoded");
  }
  if (!cookies.empty()) addLine("Cookie: " + cookies);
}

Text ProxyForScheme(const Text& proxyList, const Text& scheme) {
  std::optional<Text> forAll;
  Text entry;
  auto take = [&](const Text& piece) -> std::optional<Text> {
    if (piece.empty()) return std::nullopt;
    const std::size_t eq = piece.find('=');
    const bool labelled =
        eq != Text::npos && eq > 0 && std::all_of(piece.begin(), piece.begin() + eq, [](char c) {
          return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        });
    if (!labelled) {
      if (!forAll) forAll = piece;
      return std::nullopt;
    }
    if (EqualsIgnoreAsciiCase(std::string_view(piece).substr(0, eq), scheme)) {
      return piece.substr(eq + 1);
    }
    return std::nullopt;
  };
  for (char c : proxyList + " ") {
    if (c == ' ' || c == ';' || c == '\t') {
      if (auto named = take(entry)) return *named;
      entry.clear();
    } else {
      entry += c;
    }
  }
  return forAll.value_or(Text{});
}

Text CollectCookies(const Text& headerText) {
  Text cookies;
  for (const Text& line : SplitText(headerText, Text(kCrLf))) {
    if (FindText(line, "Set-Cookie") == -1) continue;
    const Text value = FindText(line, ";") != -1 ? TextBetween(line, "Set-Cookie:", ";")
                                                 : ReplaceAll(line, "Set-Cookie:", "", true);
    cookies += TrimSpaces(value);
    cookies += "; ";
  }
  if (!cookies.empty()) cookies.resize(cookies.size() - 2);
  return cookies;
}

ResponseHeaders ReadResponseHeaders(const std::optional<Text>& block) {
  ResponseHeaders out;
  // The block must fit the area with its terminating NUL; a NUL inside ends the text there.
  if (!block || block->size() + 1 > kHeaderAreaBytes) {
    out.returnedHeaders.assign(kHeaderAreaBytes, ' ');
    return out;
  }
  const Text text = block->substr(0, block->find('\0'));
  out.returnedHeaders = ReplaceAll(text, "Set-Cookie", "Set-Cookie", true);
  out.returnedCookies = CollectCookies(out.returnedHeaders);
  return out;
}

HttpLimits& HttpLimitsForTesting() {
  static HttpLimits limits;
  return limits;
}

Bytes HttpRequest(const Text& url, int method, const Text& formText, Text* requestCookies,
                  Text* returnedCookies, Text* extraHeaders, Text* returnedHeaders, bool noRedirect,
                  Bytes* formBytes, const Text& proxy) {
  EnsureCurlInitialised();
  if (method < 0 || method > 2) method = 0;
  const bool secure = IsSecure(url);
  Text ownHeaders;
  Text& headers = extraHeaders != nullptr ? *extraHeaders : ownHeaders;
  const Text agentAsked = AgentFromHeaders(headers);
  // The agent goes into a header line of its own; it must not be able to end that line.
  const Text agent = agentAsked.substr(0, agentAsked.find_first_of("\r\n"));

  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return {};

  const Text proxyList = proxy.empty() ? Text{} : secure ? proxy : "http=" + proxy;
  CompleteRequestHeaders(headers, url, requestCookies != nullptr ? *requestCookies : Text{});
  Bytes ownForm;
  Bytes& form = formBytes != nullptr ? *formBytes : ownForm;
  if (method != 0 && form.empty()) form = BytesFromText(formText);

  Hop hop;
  hop.scheme = secure ? "https" : "http";
  hop.host = HostFromUrl(url);
  hop.port = PortFromUrl(url);
  if (hop.port == 0) hop.port = DefaultPort(hop.scheme);
  hop.target = RequestTarget(PathFromUrl(url));
  hop.url = hop.scheme + "://" + hop.host + ":" + DecimalText(hop.port) + "/";
  hop.verb = method == 1 ? Verb::kPost : method == 2 ? Verb::kHead : Verb::kGet;
  hop.withBody = method != 0;
  const Text firstHost = hop.host;
  const long firstPort = hop.port;

  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(HttpLimitsForTesting().totalTimeoutMs);
  Exchange ex;
  CURLcode rc = CURLE_URL_MALFORMAT;
  if (IsPlainHost(hop.host) && hop.port > 0 && hop.port <= 65535) {
    for (int redirects = 0;; ++redirects) {
      ex = Exchange{};
      // Session cookies go only to the host and port the caller addressed.
      const bool withCookies = hop.host == firstHost && hop.port == firstPort;
      rc = RunHop(curl.get(), hop, agent, headers, withCookies, form, proxyList, deadline, ex);
      if (rc != CURLE_OK || noRedirect || redirects >= HttpLimitsForTesting().maxRedirects) break;
      std::optional<Hop> next = NextHop(curl.get(), hop);
      if (!next) break;
      hop = std::move(*next);
    }
  }
  curl.reset();

  Bytes body = rc == CURLE_OK ? std::move(ex.body) : Bytes{};
  ResponseHeaders got =
      ReadResponseHeaders(ex.blockDone ? std::optional<Text>(ex.block) : std::nullopt);
  if (requestCookies != nullptr) MergeCookies(*requestCookies, got.returnedCookies);
  if (returnedHeaders != nullptr) *returnedHeaders = std::move(got.returnedHeaders);
  if (returnedCookies != nullptr) *returnedCookies = std::move(got.returnedCookies);
  return body;
}

}  // namespace lumirack
