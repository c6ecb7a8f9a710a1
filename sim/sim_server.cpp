#include "sim/sim_server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "login/bkn.h"
#include "sim/pages.h"
#include "sim/raw_front.h"
#include "sim/request_parser.h"
#include "sim/scenario.h"

namespace lumirack::sim {
namespace {

constexpr std::size_t kMaxRecordedRequests = 10000;
constexpr std::size_t kMaxRecordedBytes = 64 * 1024 * 1024;
constexpr std::size_t kMaxDecisions = 10000;
constexpr std::size_t kMaxSessions = 10000;
constexpr std::size_t kMaxPending = 1000;
constexpr int kInitialMessages = 6;
constexpr std::uint64_t kMaxLargeBody = 100ull * 1024 * 1024;

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kJson = "application/json; charset=utf-8";
constexpr const char* kOctets = "application/octet-stream";
constexpr const char* kTaken = "{\"ec\":0}";

std::string JsonError(int ec, const std::string& message) {
  return nlohmann::json{{"ec", ec}, {"em", message}}.dump();
}

std::string EndpointOf(const std::string& target) {
  const std::string path = target.substr(0, target.find('?'));
  if (path == "/cgi-bin/xlogin" || path == "/cgi-bin/login" || path == "/cgi-bin/quick_login") {
    return kLoginEndpoint;
  }
  if (path == "/cgi-bin/sys_msg/getmsg") return kGetMsgEndpoint;
  if (path == "/cgi-bin/sys_msg/set_msgstate") return kDecideEndpoint;
  if (path == "/sim/echo") return kEchoEndpoint;
  if (path == "/") return kHomeEndpoint;
  return {};
}

const char* ContentTypeOf(const std::string& endpoint) {
  if (endpoint == kDecideEndpoint) return kJson;
  if (endpoint == kEchoEndpoint) return kOctets;
  return kHtml;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Form and query decoding: "+" is a space, "%XX" a byte; false on a broken escape.
bool PercentDecode(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      if (i + 2 >= text.size()) return false;
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += c;
    }
  }
  return true;
}

// key=value pairs joined by "&", decoded; the first of a repeated key counts. Nothing on a broken
// escape or a piece without "=".
std::optional<std::map<std::string, std::string>> ParseForm(std::string_view body) {
  std::map<std::string, std::string> fields;
  if (body.empty()) return fields;
  std::size_t start = 0;
  while (start <= body.size()) {
    const std::size_t end = std::min(body.find('&', start), body.size());
    const std::string_view piece = body.substr(start, end - start);
    const std::size_t eq = piece.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::string key;
    std::string value;
    if (!PercentDecode(piece.substr(0, eq), key) || !PercentDecode(piece.substr(eq + 1), value)) {
      return std::nullopt;
    }
    fields.emplace(std::move(key), std::move(value));
    start = end + 1;
  }
  return fields;
}

std::string TrimSpaces(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

// Every name=value of every Cookie line, in order.
std::vector<std::pair<std::string, std::string>> RequestCookies(const httplib::Request& req) {
  std::vector<std::pair<std::string, std::string>> cookies;
  const auto range = req.headers.equal_range("Cookie");
  for (auto it = range.first; it != range.second; ++it) {
    std::string_view line = it->second;
    while (!line.empty()) {
      const std::size_t semi = std::min(line.find(';'), line.size());
      const std::string item = TrimSpaces(line.substr(0, semi));
      const std::size_t eq = item.find('=');
      if (eq != std::string::npos) {
        cookies.emplace_back(TrimSpaces(item.substr(0, eq)), TrimSpaces(item.substr(eq + 1)));
      }
      line.remove_prefix(std::min(semi + 1, line.size()));
    }
  }
  return cookies;
}

std::string InsertAfter(const std::string& body, const std::string& marker,
                        const std::string& bytes) {
  std::string out = body;
  const std::size_t at = out.find(marker);
  if (at == std::string::npos) return out;
  out.insert(at + marker.size(), bytes);
  return out;
}

// Malformed UTF-8 outside the message blocks: a stray continuation pair after <body>, a cut
// three-byte sequence before </body>, and 0xFF at the end.
std::string WithInvalidUtf8(const std::string& body) {
  std::string out = InsertAfter(body, "<body>", std::string("\xC3\x28\x80\xBF"));
  if (const std::size_t at = out.find("</body>"); at != std::string::npos) {
    out.insert(at, "\xE4\xB8");
  }
  out += "\xFF";
  return out;
}

// A NUL just before the first message block (after <body> when there is none), and one at the
// very end, so a reader that stops at the first NUL sees no block at all.
std::string WithNulBytes(const std::string& body) {
  std::string out = body;
  const std::size_t block = out.find("<dl class=\"msg_list\"");
  if (block != std::string::npos) {
    out.insert(block, 1, '\0');
  } else if (const std::size_t b = out.find("<body>"); b != std::string::npos) {
    out.insert(b + 6, 1, '\0');
  }
  out += '\0';
  return out;
}

}  // namespace

HeaderLines CookieStorm(int count, std::size_t valueBytes) {
  HeaderLines lines;
  for (int i = 0; i < count; ++i) {
    std::string value(valueBytes, static_cast<char>('a' + i % 26));
    lines.emplace_back("Set-Cookie", "storm" + std::to_string(i) + "=" + value + "; Path=/");
  }
  return lines;
}

struct SimServer::Impl {
  struct Session {
    std::string uin;
    std::vector<std::string> skeys;  // the first is the one issued at sign-in
  };
  struct Flight {
    std::string endpoint;
    std::string raw;
    Fault fault;
  };

  explicit Impl(Options o) : options(std::move(o)), generator(options.seed) {
    std::random_device device;
    tokenRng.seed((static_cast<std::uint64_t>(device()) << 32) ^ device());
    if (!options.scenarioFile.empty()) {
      std::string error;
      if (auto scenario = LoadScenarioFile(options.scenarioFile, &error)) {
        ApplyScenario(std::move(*scenario));
      } else {
        lastError = error;
        scenarioFailed = true;
      }
    } else {
      pending = generator.Batch(kInitialMessages);
    }
  }

  // Everything below that touches state takes `mu`, unless its name ends in Locked.

  void ApplyScenario(Scenario scenario) {
    std::lock_guard lock(mu);
    for (Message& m : scenario.messages) {
      if (m.seq.empty()) m.seq = std::to_string(nextLocalSeq++);
    }
    pending = std::move(scenario.messages);
    if (scenario.keepDecided) keepDecided = *scenario.keepDecided;
  }

  std::string RandomToken(std::size_t length, std::string_view alphabet) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) out += alphabet[tokenRng() % alphabet.size()];
    return out;
  }

  std::string NewSkeyLocked() {
    static constexpr std::string_view kAlnum =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    return "@" + RandomToken(10, kAlnum);
  }

  void RememberSkeyLocked(const std::string& skey, const std::shared_ptr<Session>& session) {
    sessions[skey] = session;
    sessionOrder.push_back(skey);
    while (sessionOrder.size() > kMaxSessions) {
      sessions.erase(sessionOrder.front());
      sessionOrder.pop_front();
    }
  }

  // The Set-Cookie values of a new session, in the order a page's cookie string will show them.
  std::vector<std::string> SignInCookies(const std::string& uin) {
    std::lock_guard lock(mu);
    auto session = std::make_shared<Session>();
    session->uin = uin;
    const std::string skey = NewSkeyLocked();
    session->skeys.push_back(skey);
    RememberSkeyLocked(skey, session);
    return {
        "uin=o" + uin + "; Path=/",
        "skey=" + skey + "; Path=/",
        "RK=" + RandomToken(10, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij0123456789") + "; Path=/",
        "ptcz=" + RandomToken(32, "0123456789abcdef") + "; Path=/",
        "p_skey=" +
            RandomToken(44, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789*-_") +
            "; Path=/; HttpOnly",
    };
  }

  std::shared_ptr<Session> SessionOf(const httplib::Request& req) {
    const auto cookies = RequestCookies(req);
    std::lock_guard lock(mu);
    for (const auto& [name, value] : cookies) {
      if (name != "skey") continue;
      const auto it = sessions.find(value);
      if (it == sessions.end()) continue;
      for (const auto& [otherName, otherValue] : cookies) {
        if (otherName == "uin" && otherValue == "o" + it->second->uin) return it->second;
      }
    }
    return nullptr;
  }

  void AddRefreshCookie(const std::shared_ptr<Session>& session, httplib::Response& res) {
    std::lock_guard lock(mu);
    if (!refresh.enabled || refresh.name.empty()) return;
    std::string value;
    if (refresh.deletion) {
      value = refresh.name + "=deleted; Expires=Thu, 01 Jan 1970 00:00:01 GMT; Path=/";
    } else if (refresh.name == "skey") {
      const std::string skey = NewSkeyLocked();
      session->skeys.push_back(skey);
      RememberSkeyLocked(skey, session);
      value = "skey=" + skey + "; Path=/";
    } else {
      value = refresh.name + "=" + RandomToken(32, "0123456789abcdef") + "; Path=/";
      if (refresh.name == "p_skey") value += "; HttpOnly";
    }
    res.set_header(refresh.lowerCaseHeader ? "set-cookie" : "Set-Cookie", value);
  }

  // The front calls this for every complete request, before anything is answered.
  FrontVerdict Admit(const ParsedRequest& request) {
    std::lock_guard lock(mu);
    FrontVerdict verdict;
    verdict.id = nextRequestId++;
    RecordedRequest recorded{request.method, request.target, request.headers, request.body,
                             request.raw};
    recordedBytes += recorded.raw.size() + recorded.body.size();
    requests.push_back(std::move(recorded));
    while (requests.size() > kMaxRecordedRequests ||
           (recordedBytes > kMaxRecordedBytes && requests.size() > 1)) {
      recordedBytes -= requests.front().raw.size() + requests.front().body.size();
      requests.pop_front();
    }

    Flight flight;
    flight.endpoint = EndpointOf(request.target);
    if (!flight.endpoint.empty()) flight.fault = TakeFaultLocked(flight.endpoint);
    if (flight.fault.kind == FaultKind::kCloseBeforeReply) {
      if (flight.endpoint == kDecideEndpoint) RecordDecisionLocked(request.body, -1);
      verdict.action = FrontVerdict::Action::kClose;
      return verdict;
    }
    flight.raw = request.raw;
    flights.emplace(verdict.id, std::move(flight));
    return verdict;
  }

  void Release(const std::vector<std::uint64_t>& ids) {
    std::lock_guard lock(mu);
    for (std::uint64_t id : ids) flights.erase(id);
  }

  Fault TakeFaultLocked(const std::string& endpoint) {
    const auto it = faults.find(endpoint);
    if (it == faults.end()) return {};
    Fault fault = it->second;
    if (it->second.times > 0 && --it->second.times == 0) faults.erase(it);
    return fault;
  }

  std::optional<Flight> TakeFlight(const httplib::Request& req) {
    const std::string idText = req.get_header_value("X-Sim-Id");
    if (idText.empty()) return std::nullopt;
    std::lock_guard lock(mu);
    const auto it = flights.find(std::strtoull(idText.c_str(), nullptr, 10));
    if (it == flights.end()) return std::nullopt;
    Flight flight = std::move(it->second);
    flights.erase(it);
    return flight;
  }

  Decision& RecordDecisionLocked(const std::string& body, int ec) {
    Decision d;
    d.body = body;
    d.ec = ec;
    if (auto form = ParseForm(body)) {
      d.seq = (*form)["seq"];
      d.group = (*form)["gc"];
      d.uin = (*form)["uin"];
      d.cmd = std::atoi((*form)["cmd"].c_str());
      d.reason = (*form)["msg"];
    }
    decisions.push_back(std::move(d));
    while (decisions.size() > kMaxDecisions) decisions.pop_front();
    return decisions.back();
  }

  // Waits up to `ms`, less when the server stops.
  void Wait(int ms) {
    std::unique_lock lock(mu);
    cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
  }

  bool Stopping() {
    std::lock_guard lock(mu);
    return stopping;
  }

  std::string HostOf(const httplib::Request& req) const {
    const std::string host = req.get_header_value("Host");
    return host.empty() ? "127.0.0.1:" + std::to_string(front ? front->Port() : 0) : host;
  }

  using Handler = std::function<void(const httplib::Request&, httplib::Response&, const Flight&)>;

  // Applies the request's fault around the endpoint's own handling.
  httplib::Server::Handler Wrap(Handler handler) {
    return [this, handler](const httplib::Request& req, httplib::Response& res) {
      const std::optional<Flight> flight = TakeFlight(req);
      if (!flight) {
        res.status = 403;
        res.set_content(JsonError(403, "not through the front"), kJson);
        return;
      }
      const Fault& fault = flight->fault;
      const std::string contentType = ContentTypeOf(flight->endpoint);
      if (fault.delayMs > 0) Wait(fault.delayMs);
      bool replaced = true;
      switch (fault.kind) {
        case FaultKind::kHttp500:
          res.status = 500;
          res.set_content(
              "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>500 Internal Server "
              "Error</title></head>\n<body><h1>服务器内部错误</h1></body></html>\n",
              kHtml);
          break;
        case FaultKind::kRedirect: {
          const std::string location =
              fault.location.empty() ? "http://" + HostOf(req) + req.target : fault.location;
          res.status = 302;
          res.set_header("Location", location);
          res.set_content("<html><body>Moved</body></html>\n", kHtml);
          break;
        }
        case FaultKind::kEmpty200:
          res.status = 200;
          res.set_content("", contentType);
          break;
        case FaultKind::kCustomBody:
          res.status = 200;
          res.set_content(fault.body, contentType);
          break;
        case FaultKind::kLargeBody:
          StreamLargeBody(std::min(fault.sizeBytes, kMaxLargeBody), contentType, res);
          break;
        default:
          replaced = false;
          handler(req, res, *flight);
          if (fault.kind == FaultKind::kInvalidUtf8) {
            res.body = WithInvalidUtf8(res.body);
          } else if (fault.kind == FaultKind::kNulBytes) {
            res.body = WithNulBytes(res.body);
          } else if (fault.kind == FaultKind::kCloseMidBody) {
            CutMidBody(res);
          }
      }
      std::lock_guard lock(mu);
      if (replaced && flight->endpoint == kDecideEndpoint) RecordDecisionLocked(req.body, -1);
      if (const auto it = extraHeaders.find(flight->endpoint); it != extraHeaders.end()) {
        for (const auto& [name, value] : it->second) res.headers.emplace(name, value);
      }
    };
  }

  void StreamLargeBody(std::uint64_t size, const std::string& contentType, httplib::Response& res) {
    // A repeating 64-byte line; nothing of it is held but one chunk.
    static const std::string chunk = [] {
      const std::string line = "<p>filler filler filler filler filler filler filler fill</p>\n";
      std::string c;
      while (c.size() < 64 * 1024 + line.size()) c += line;
      return c;
    }();
    res.status = 200;
    res.set_content_provider(
        static_cast<std::size_t>(size), contentType,
        [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          if (Stopping()) return false;
          const std::size_t from = offset % 64;
          const std::size_t n = std::min(length, std::size_t{64 * 1024});
          return sink.write(chunk.data() + from, n);
        });
  }

  // Sends the head and the first half of the body, then the connection closes: the length
  // announced is the whole body's.
  void CutMidBody(httplib::Response& res) {
    auto body = std::make_shared<std::string>(std::move(res.body));
    res.body.clear();
    const std::string contentType = res.get_header_value("Content-Type");
    res.headers.erase("Content-Type");
    res.set_content_provider(body->size(), contentType,
                             [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                               const std::size_t half = body->size() / 2;
                               if (offset < half) sink.write(body->data() + offset, half - offset);
                               return false;
                             });
  }

  void Login(const httplib::Request& req, httplib::Response& res, const std::string& uin) {
    res.status = 302;
    res.set_header("Location", "http://" + HostOf(req) + "/");
    for (const std::string& cookie : SignInCookies(uin)) res.set_header("Set-Cookie", cookie);
    res.set_content("<html><body>正在跳转……</body></html>\n", kHtml);
  }

  static bool ValidUin(const std::string& uin) {
    return uin.size() >= 5 && uin.size() <= 11 && uin[0] != '0' &&
           std::all_of(uin.begin(), uin.end(), [](char c) { return c >= '0' && c <= '9'; });
  }

  void DecideHandler(const httplib::Request& req, httplib::Response& res) {
    std::optional<std::map<std::string, std::string>> form = ParseForm(req.body);
    auto refuse = [&](int status, int ec, const std::string& message) {
      {
        std::lock_guard lock(mu);
        RecordDecisionLocked(req.body, ec);
      }
      res.status = status;
      res.set_content(JsonError(ec, message), kJson);
    };
    if (!form) return refuse(400, 1, "malformed form");
    auto& f = *form;
    static constexpr std::pair<const char*, const char*> kFixed[] = {
        {"t", "1"}, {"ver", "5521"}, {"from", "2"}};
    for (const char* key : {"seq", "gc", "cmd", "uin", "bkn"}) {
      if (!f.count(key)) return refuse(400, 1, std::string("missing ") + key);
    }
    for (const auto& [key, value] : kFixed) {
      if (!f.count(key)) return refuse(400, 1, std::string("missing ") + key);
      if (f[key] != value) return refuse(400, 1, std::string("bad ") + key);
    }
    if (f["cmd"] != "1" && f["cmd"] != "2") return refuse(400, 1, "bad cmd");
    if (f["cmd"] == "2") {
      if (!f.count("msg")) return refuse(400, 1, "missing msg");
      if (f["flag"] != "0") return refuse(400, 1, "bad flag");
    }
    const std::shared_ptr<Session> session = SessionOf(req);
    if (!session) return refuse(401, 4, "not signed in");
    bool bknMatches = false;
    {
      std::lock_guard lock(mu);
      for (const std::string& skey : session->skeys) bknMatches |= ComputeBkn(skey) == f["bkn"];
    }
    if (!bknMatches) return refuse(403, 7, "bad bkn");

    {
      std::lock_guard lock(mu);
      const auto it = std::find_if(pending.begin(), pending.end(),
                                   [&](const Message& m) { return m.seq == f["seq"] && !m.quit; });
      if (it == pending.end() || it->group != f["gc"] || it->uin != f["uin"]) {
        RecordDecisionLocked(req.body, 10);
        res.status = 200;
        res.set_content(JsonError(10, "no such pending request"), kJson);
        return;
      }
      if (!keepDecided) pending.erase(it);
      RecordDecisionLocked(req.body, 0);
    }
    res.status = 200;
    res.set_content(kTaken, kJson);
    AddRefreshCookie(session, res);
  }

  void Routes() {
    http.Get("/cgi-bin/xlogin",
             Wrap([](const httplib::Request& req, httplib::Response& res, const Flight&) {
               res.set_content(LoginPage(req.get_param_value("s_url"), "10001", ""), kHtml);
             }));
    http.Post("/cgi-bin/login",
              Wrap([this](const httplib::Request& req, httplib::Response& res, const Flight&) {
                auto form = ParseForm(req.body);
                const std::string uin = form ? (*form)["u"] : "";
                const std::string password = form ? (*form)["p"] : "";
                if (!ValidUin(uin) || password.empty()) {
                  res.status = 400;
                  res.set_content(LoginPage(form ? (*form)["s_url"] : "", "10001",
                                            "请输入正确的QQ号码和密码。"),
                                  kHtml);
                  return;
                }
                Login(req, res, uin);
              }));
    http.Get("/cgi-bin/quick_login",
             Wrap([this](const httplib::Request& req, httplib::Response& res, const Flight&) {
               const std::string uin = req.get_param_value("uin");
               if (!ValidUin(uin)) {
                 res.status = 400;
                 res.set_content(
                     LoginPage(req.get_param_value("s_url"), "10001", "请输入正确的QQ号码和密码。"),
                     kHtml);
                 return;
               }
               Login(req, res, uin);
             }));
    http.Get("/", Wrap([this](const httplib::Request& req, httplib::Response& res, const Flight&) {
               const auto session = SessionOf(req);
               res.set_content(HomePage(session ? session->uin : ""), kHtml);
             }));
    http.Get("/cgi-bin/sys_msg/getmsg",
             Wrap([this](const httplib::Request& req, httplib::Response& res, const Flight&) {
               if (req.get_param_value("ver") != "5521" || req.get_param_value("filter") != "2") {
                 res.status = 400;
                 res.set_content(JsonError(1, "bad query"), kJson);
                 return;
               }
               const auto session = SessionOf(req);
               if (!session) {
                 res.status = 401;
                 res.set_content(ExpiredLoginPage(), kHtml);
                 return;
               }
               std::vector<Message> snapshot;
               {
                 std::lock_guard lock(mu);
                 snapshot = pending;
               }
               res.set_content(MessagePage(snapshot, session->uin), kHtml);
               AddRefreshCookie(session, res);
             }));
    http.Post("/cgi-bin/sys_msg/set_msgstate",
              Wrap([this](const httplib::Request& req, httplib::Response& res, const Flight&) {
                DecideHandler(req, res);
              }));

    const auto echo = Wrap([](const httplib::Request&, httplib::Response& res,
                              const Flight& flight) { res.set_content(flight.raw, kOctets); });
    http.Get("/sim/echo", echo);
    http.Post("/sim/echo", echo);
    http.Put("/sim/echo", echo);
    http.Patch("/sim/echo", echo);
    http.Delete("/sim/echo", echo);
    http.Options("/sim/echo", echo);

    InspectionRoutes();

    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
      if (!res.body.empty()) return;
      res.set_content(JsonError(res.status, res.status == 404 ? "not found" : "bad request"),
                      kJson);
    });
  }

  void InspectionRoutes();

  Options options;
  mutable std::mutex mu;
  std::condition_variable cv;
  bool stopping = false;
  bool scenarioFailed = false;
  bool routed = false;
  std::string lastError;

  MessageGenerator generator;
  std::mt19937_64 tokenRng;
  std::uint64_t nextLocalSeq = 9000000000000000ull;
  std::vector<Message> pending;
  bool keepDecided = false;
  std::deque<Decision> decisions;
  std::deque<RecordedRequest> requests;
  std::size_t recordedBytes = 0;
  std::map<std::string, Fault> faults;
  std::map<std::string, HeaderLines> extraHeaders;
  CookieRefresh refresh;
  std::map<std::string, std::shared_ptr<Session>> sessions;
  std::deque<std::string> sessionOrder;
  std::map<std::uint64_t, Flight> flights;
  std::uint64_t nextRequestId = 1;

  httplib::Server http;
  std::thread httpThread;
  std::unique_ptr<RawFront> front;
  std::thread arrivalThread;
};

void SimServer::Impl::InspectionRoutes() {
  using nlohmann::json;
  auto inspect = [this](auto produce) {
    return Wrap([this, produce](const httplib::Request& req, httplib::Response& res,
                                const Flight&) { produce(req, res); });
  };
  auto fail = [](httplib::Response& res, const std::string& message) {
    res.status = 400;
    res.set_content(JsonError(1, message), kJson);
  };

  http.Get("/sim/", inspect([](const httplib::Request&, httplib::Response& res) {
             res.set_content(
                 json{{"GET /sim/requests", "the requests received, oldest first"},
                      {"GET /sim/decisions", "the decision calls, with their ec"},
                      {"GET /sim/pending", "the pending messages, newest first"},
                      {"POST /sim/scenario", "replace the scenario (JSON body)"},
                      {"POST /sim/fault",
                       "{\"endpoint\":\"getmsg\",\"kind\":\"delay\",\"delayMs\":500,"
                       "\"times\":1}; kind none clears it"},
                      {"POST /sim/headers",
                       "{\"endpoint\":\"getmsg\",\"headers\":[[\"Set-Cookie\",\"a=1\"]],"
                       "\"cookieStorm\":300}"},
                      {"POST /sim/reset", "clear the records, faults and headers"},
                      {"ANY /sim/echo", "the raw bytes of the request"}}
                     .dump(2),
                 kJson);
           }));
  http.Get("/sim/requests", inspect([this](const httplib::Request&, httplib::Response& res) {
             std::vector<RecordedRequest> copy;
             {
               std::lock_guard lock(mu);
               copy.assign(requests.begin(), requests.end());
             }
             res.set_content(RequestsJson(copy), kJson);
           }));
  http.Get("/sim/decisions", inspect([this](const httplib::Request&, httplib::Response& res) {
             std::lock_guard lock(mu);
             res.set_content(DecisionsJson({decisions.begin(), decisions.end()}), kJson);
           }));
  http.Get("/sim/pending", inspect([this](const httplib::Request&, httplib::Response& res) {
             std::lock_guard lock(mu);
             res.set_content(MessagesJson(pending), kJson);
           }));
  http.Post("/sim/scenario",
            inspect([this, fail](const httplib::Request& req, httplib::Response& res) {
              std::string error;
              auto scenario = ParseScenario(req.body, &error);
              if (!scenario) return fail(res, error);
              ApplyScenario(std::move(*scenario));
              res.set_content(kTaken, kJson);
            }));
  http.Post("/sim/fault",
            inspect([this, fail](const httplib::Request& req, httplib::Response& res) {
              const json doc = json::parse(req.body, nullptr, false);
              if (!doc.is_object() || !doc.contains("endpoint") || !doc["endpoint"].is_string()) {
                return fail(res, "need {\"endpoint\":...,\"kind\":...}");
              }
              const auto kind = FaultKindFromName(doc.value("kind", std::string("none")));
              if (!kind) return fail(res, "unknown kind");
              Fault fault;
              fault.kind = *kind;
              fault.delayMs = doc.value("delayMs", 0);
              fault.sizeBytes = doc.value("sizeBytes", std::uint64_t{0});
              fault.location = doc.value("location", std::string());
              fault.body = doc.value("body", std::string());
              fault.times = doc.value("times", -1);
              std::lock_guard lock(mu);
              if (fault.kind == FaultKind::kNone && fault.delayMs == 0) {
                faults.erase(doc["endpoint"].get<std::string>());
              } else {
                faults[doc["endpoint"].get<std::string>()] = fault;
              }
              res.set_content(kTaken, kJson);
            }));
  http.Post("/sim/headers",
            inspect([this, fail](const httplib::Request& req, httplib::Response& res) {
              const json doc = json::parse(req.body, nullptr, false);
              if (!doc.is_object() || !doc.contains("endpoint") || !doc["endpoint"].is_string()) {
                return fail(res, "need {\"endpoint\":...,\"headers\":[[name,value],...]}");
              }
              HeaderLines lines;
              if (const auto it = doc.find("headers"); it != doc.end()) {
                if (!it->is_array()) return fail(res, "headers must be a list");
                for (const json& line : *it) {
                  if (!line.is_array() || line.size() != 2 || !line[0].is_string() ||
                      !line[1].is_string()) {
                    return fail(res, "each header is [name, value]");
                  }
                  lines.emplace_back(line[0].get<std::string>(), line[1].get<std::string>());
                }
              }
              const int storm = doc.value("cookieStorm", 0);
              for (auto& line : CookieStorm(std::clamp(storm, 0, 5000))) lines.push_back(line);
              std::lock_guard lock(mu);
              extraHeaders[doc["endpoint"].get<std::string>()] = std::move(lines);
              res.set_content(kTaken, kJson);
            }));
  http.Post("/sim/reset", inspect([this](const httplib::Request&, httplib::Response& res) {
              std::lock_guard lock(mu);
              requests.clear();
              recordedBytes = 0;
              decisions.clear();
              faults.clear();
              extraHeaders.clear();
              res.set_content(kTaken, kJson);
            }));
}

SimServer::SimServer(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

SimServer::~SimServer() { Stop(); }

bool SimServer::Start(int port) {
  Impl& s = *impl_;
  if (s.front) return true;
  if (s.scenarioFailed) return false;
  // A peer that hangs up mid-reply must not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  {
    std::lock_guard lock(s.mu);
    s.stopping = false;
  }
  s.http.new_task_queue = [] { return new httplib::ThreadPool(RawFront::kMaxConnections + 2); };
  // Without it a reply sent as head and body in two writes waits for a delayed ACK.
  s.http.set_tcp_nodelay(true);
  s.http.set_keep_alive_max_count(100000);
  s.http.set_keep_alive_timeout(120);
  s.http.set_read_timeout(10);
  s.http.set_write_timeout(10);
  s.http.set_payload_max_length(kMaxBodyBytes + 1);
  if (!s.routed) s.Routes();
  s.routed = true;
  const int backendPort = s.http.bind_to_any_port("127.0.0.1");
  if (backendPort <= 0) {
    s.lastError = "cannot listen on 127.0.0.1";
    return false;
  }
  s.httpThread = std::thread([&s] { s.http.listen_after_bind(); });
  for (int i = 0; i < 500 && !s.http.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  s.front =
      std::make_unique<RawFront>([&s](const ParsedRequest& request) { return s.Admit(request); },
                                 [&s](const std::vector<std::uint64_t>& ids) { s.Release(ids); });
  if (!s.front->Start(port, backendPort)) {
    s.lastError = "cannot listen on 127.0.0.1:" + std::to_string(port);
    s.front.reset();
    s.http.stop();
    s.httpThread.join();
    return false;
  }
  if (s.options.arrivalMs > 0) {
    s.arrivalThread = std::thread([&s] {
      std::unique_lock lock(s.mu);
      while (!s.cv.wait_for(lock, std::chrono::milliseconds(s.options.arrivalMs),
                            [&s] { return s.stopping; })) {
        s.pending.insert(s.pending.begin(), s.generator.Next());
        if (s.pending.size() > kMaxPending) s.pending.resize(kMaxPending);
      }
    });
  }
  return true;
}

void SimServer::Stop() {
  Impl& s = *impl_;
  if (!s.front) return;
  {
    std::lock_guard lock(s.mu);
    s.stopping = true;
  }
  s.cv.notify_all();
  s.front->Stop();
  s.http.stop();
  if (s.httpThread.joinable()) s.httpThread.join();
  if (s.arrivalThread.joinable()) s.arrivalThread.join();
  s.front.reset();
}

int SimServer::Port() const { return impl_->front ? impl_->front->Port() : 0; }

std::string SimServer::HostPort() const { return "127.0.0.1:" + std::to_string(Port()); }

std::string SimServer::BaseUrl() const { return "http://" + HostPort(); }

std::string SimServer::LoginUrl() const {
  return BaseUrl() + "/cgi-bin/xlogin?appid=715030901&daid=73&pt_no_auth=1&s_url=https%3A%2F%2F" +
         HostPort() + "%2F";
}

std::string SimServer::SignIn(const std::string& uin) {
  std::string cookies;
  for (const std::string& setCookie : impl_->SignInCookies(uin)) {
    if (setCookie.find("HttpOnly") != std::string::npos) continue;
    if (!cookies.empty()) cookies += "; ";
    cookies += setCookie.substr(0, setCookie.find(';'));
  }
  return cookies;
}

void SimServer::SetMessages(std::vector<Message> messages) {
  std::lock_guard lock(impl_->mu);
  impl_->pending = std::move(messages);
}

void SimServer::AddMessage(Message message) {
  std::lock_guard lock(impl_->mu);
  if (message.seq.empty()) message.seq = std::to_string(impl_->nextLocalSeq++);
  impl_->pending.insert(impl_->pending.begin(), std::move(message));
  if (impl_->pending.size() > kMaxPending) impl_->pending.resize(kMaxPending);
}

std::vector<Message> SimServer::Pending() const {
  std::lock_guard lock(impl_->mu);
  return impl_->pending;
}

std::vector<Decision> SimServer::Decisions() const {
  std::lock_guard lock(impl_->mu);
  return {impl_->decisions.begin(), impl_->decisions.end()};
}

std::vector<RecordedRequest> SimServer::Requests() const {
  std::lock_guard lock(impl_->mu);
  return {impl_->requests.begin(), impl_->requests.end()};
}

void SimServer::ClearRecords() {
  std::lock_guard lock(impl_->mu);
  impl_->requests.clear();
  impl_->recordedBytes = 0;
  impl_->decisions.clear();
}

void SimServer::SetFault(const std::string& endpoint, Fault fault) {
  std::lock_guard lock(impl_->mu);
  if ((fault.kind == FaultKind::kNone && fault.delayMs == 0) || fault.times == 0) {
    impl_->faults.erase(endpoint);
  } else {
    impl_->faults[endpoint] = std::move(fault);
  }
}

void SimServer::ClearFaults() {
  std::lock_guard lock(impl_->mu);
  impl_->faults.clear();
  impl_->extraHeaders.clear();
}

void SimServer::SetKeepDecided(bool keep) {
  std::lock_guard lock(impl_->mu);
  impl_->keepDecided = keep;
}

bool SimServer::LoadScenario(const std::string& path, std::string* error) {
  auto scenario = LoadScenarioFile(path, error);
  if (!scenario) return false;
  impl_->ApplyScenario(std::move(*scenario));
  return true;
}

bool SimServer::LoadScenarioJson(const std::string& json, std::string* error) {
  auto scenario = ParseScenario(json, error);
  if (!scenario) return false;
  impl_->ApplyScenario(std::move(*scenario));
  return true;
}

void SimServer::SetCookieRefresh(CookieRefresh refresh) {
  std::lock_guard lock(impl_->mu);
  impl_->refresh = std::move(refresh);
}

void SimServer::SetExtraHeaders(const std::string& endpoint, HeaderLines headers) {
  std::lock_guard lock(impl_->mu);
  impl_->extraHeaders[endpoint] = std::move(headers);
}

std::string SimServer::LastError() const {
  std::lock_guard lock(impl_->mu);
  return impl_->lastError;
}

}  // namespace lumirack::sim
