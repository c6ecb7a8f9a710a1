#pragma once

// lumirack-sim: a local stand-in for the QQ web-login page and the QQ group web service, on
// 127.0.0.1 only. It records what it receives, takes decisions as the real service does, and
// misbehaves on purpose when told to. All texts here are UTF-8, as on the wire.
//
// Every signed-in account sees the one pending list. The getmsg page HTML-escapes the
// applicant's texts (& < > " '), so an answer "a&b" reads "a&amp;b" between the markers.
// set_msgstate answers exactly {"ec":0} when the decision is taken; otherwise a JSON error:
// 400 ec 1 for a malformed form (a missing or wrong fixed field included), 401 ec 4 when not
// signed in, 403 ec 7 for a bkn that matches none of the session's skeys, 200 ec 10 when no
// pending join request has that seq, gc and uin. getmsg without a session answers 401 with an
// error page that holds no message block.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumirack::sim {

// One pending system message of the signed-in account.
struct Message {
  std::string seq{};
  std::string type = "1";  // the dd element's type attribute
  std::string uin{};       // the applicant (or the member who left)
  std::string group{};     // the group number (qid)
  std::string question{};  // empty: free attached text in `answer`
  std::string answer{};    // the attached message's answer (or its whole text)
  bool quit = false;       // a quit notice ("退出群") instead of a join request
  bool unread = true;
};

// A decision call: taken when `ec` is 0, refused otherwise; -1 when a fault answered in place of
// the service (the decision was then not taken).
struct Decision {
  std::string seq;
  std::string group;
  std::string uin;
  int cmd = 0;         // 1 approve, 2 reject
  std::string reason;  // msg, percent-decoded (UTF-8)
  std::string body;    // the raw form body
  int ec = 0;          // what the service answered
};

// A request exactly as it arrived.
struct RecordedRequest {
  std::string method;
  std::string target;                                        // path and query
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
  std::string body;  // the payload (for a chunked request, its chunks joined)
  std::string raw;   // the bytes of the request head and body, as they came
};

enum class FaultKind {
  kNone,
  kDelay,             // wait `delayMs`, then answer normally
  kCloseBeforeReply,  // close the connection without answering
  kCloseMidBody,      // send the head and half the body, then close
  kHttp500,           // status 500 with an HTML body
  kLargeBody,         // a 200 body of `sizeBytes` bytes (at most 100 MB), streamed
  kInvalidUtf8,       // the normal body with malformed UTF-8 mixed in
  kNulBytes,          // the normal body with NUL bytes mixed in
  kRedirect,          // 302 to `location`
  kEmpty200,          // 200 with an empty body
  kCustomBody,        // 200 with `body` as it stands
};

// A fault replaces or spoils the endpoint's reply. `delayMs` waits first (with any kind but
// kCloseBeforeReply). The spoiled bodies keep the normal reply: invalid UTF-8 goes outside the
// message blocks (after <body>, before </body>, at the end); the NUL bytes go just before the
// first message block (or after <body>) and at the end. A redirect with an empty `location`
// points at the request's own address, a loop. A reply replaced by a fault takes no decision; a
// cut one (kCloseMidBody) does.
struct Fault {
  FaultKind kind = FaultKind::kNone;
  int delayMs = 0;
  std::uint64_t sizeBytes = 0;
  std::string location{};
  std::string body{};
  int times = -1;  // how many requests it applies to; -1 for all
};

// Endpoints that faults attach to.
inline constexpr const char* kLoginEndpoint = "login";    // /cgi-bin/xlogin and the sign-in
inline constexpr const char* kGetMsgEndpoint = "getmsg";  // /cgi-bin/sys_msg/getmsg
inline constexpr const char* kDecideEndpoint = "decide";  // /cgi-bin/sys_msg/set_msgstate
inline constexpr const char* kEchoEndpoint = "echo";      // /sim/echo
inline constexpr const char* kHomeEndpoint = "home";      // /, where the sign-in leads

struct Options {
  std::uint64_t seed = 1;
  int arrivalMs = 0;  // 0: no new requests arrive by themselves
  std::string scenarioFile{};
};

// Renewing a cookie on the replies to getmsg and set_msgstate of a signed-in session, so that a
// client's cookie merging meets a live server. Renewing "skey" gives the session a new key and
// keeps the earlier ones valid, so the bkn made from the first key is still accepted.
struct CookieRefresh {
  bool enabled = false;
  std::string name = "ptcz";
  bool lowerCaseHeader = false;  // "set-cookie:" instead of "Set-Cookie:"
  bool deletion = false;         // `name`=deleted with an expiry in the past
};

using HeaderLines = std::vector<std::pair<std::string, std::string>>;

// `count` Set-Cookie lines of distinct cookies, each value `valueBytes` long: with a few hundred
// the header block grows far beyond 5000 bytes.
HeaderLines CookieStorm(int count, std::size_t valueBytes = 24);

class SimServer {
 public:
  explicit SimServer(Options options = {});
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Listens on 127.0.0.1:port (0 picks a free port) on a thread of its own.
  bool Start(int port = 0);
  void Stop();
  int Port() const;
  std::string HostPort() const;  // "127.0.0.1:PORT"

  // The login address as the program builds it for this host.
  std::string LoginUrl() const;

  // Signs an account in without the browser; returns the cookies document.cookie would show
  // (uin, skey and the others that are not HttpOnly), joined by "; ".
  std::string SignIn(const std::string& uin = "10001");

  void SetMessages(std::vector<Message> messages);  // the pending list, newest first
  std::vector<Message> Pending() const;
  std::vector<Decision> Decisions() const;
  std::vector<RecordedRequest> Requests() const;
  void ClearRecords();

  void SetFault(const std::string& endpoint, Fault fault);
  void ClearFaults();  // also the extra header lines

  // "http://127.0.0.1:PORT".
  std::string BaseUrl() const;
  // Adds a message as the newest; a message without seq gets a fresh one.
  void AddMessage(Message message);
  // Decided messages stay pending, so that the same message is offered again.
  void SetKeepDecided(bool keep);
  // Replaces the pending list (and keepDecided, when given) from a scenario; false on a bad one.
  bool LoadScenario(const std::string& path, std::string* error = nullptr);
  bool LoadScenarioJson(const std::string& json, std::string* error = nullptr);
  void SetCookieRefresh(CookieRefresh refresh);
  // Header lines added, in this order and spelling, to every reply of the endpoint.
  void SetExtraHeaders(const std::string& endpoint, HeaderLines headers);
  // Why Start() failed.
  std::string LastError() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace lumirack::sim
