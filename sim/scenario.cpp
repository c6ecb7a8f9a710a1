#include "sim/scenario.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

namespace lumirack::sim {
namespace {

using nlohmann::json;

constexpr const char* kFreeTexts[] = {
    "我是新来的，请通过", "朋友介绍来的", "hello", "想加入学习交流", "<b>你好</b> & \"谢谢\"", "",
};
constexpr const char* kQuestions[] = {"你是怎么知道本群的？", "本群的暗号是什么？"};
constexpr const char* kAnswers[] = {"朋友推荐", "芝麻开门", "搜索找到的", "不知道"};

template <std::size_t N>
const char* Pick(std::mt19937_64& rng, const char* const (&items)[N]) {
  return items[rng() % N];
}

std::string Dump(const json& j) { return j.dump(2, ' ', false, json::error_handler_t::replace); }

bool TextField(const json& item, const char* key, std::string& into, std::string* error,
               bool required) {
  const auto it = item.find(key);
  if (it == item.end()) {
    if (required && error) *error = std::string("a message lacks \"") + key + "\"";
    return !required;
  }
  if (it->is_string()) {
    into = it->get<std::string>();
  } else if (it->is_number_integer()) {
    into = std::to_string(it->get<long long>());
  } else {
    if (error) *error = std::string("\"") + key + "\" must be a string or a number";
    return false;
  }
  return true;
}

bool BoolField(const json& item, const char* key, bool& into, std::string* error) {
  const auto it = item.find(key);
  if (it == item.end()) return true;
  if (!it->is_boolean()) {
    if (error) *error = std::string("\"") + key + "\" must be true or false";
    return false;
  }
  into = it->get<bool>();
  return true;
}

}  // namespace

MessageGenerator::MessageGenerator(std::uint64_t seed) : rng_(seed) {
  for (int i = 0; i < 3; ++i) groups_.push_back(std::to_string(100000000 + rng_() % 900000000));
  nextSeq_ = 1700000000000000ull + (rng_() % 1000000ull) * 1000ull;
}

Message MessageGenerator::Next() {
  Message m;
  m.seq = std::to_string(nextSeq_);
  nextSeq_ += 1 + rng_() % 97;
  m.uin = std::to_string(10000 + rng_() % 2000000000ull);
  m.group = groups_[rng_() % groups_.size()];
  m.unread = rng_() % 5 != 0;
  const auto kind = rng_() % 10;
  if (kind < 2) {
    m.quit = true;
    m.type = "13";
  } else if (kind < 5) {
    m.question = Pick(rng_, kQuestions);
    m.answer = Pick(rng_, kAnswers);
  } else {
    m.answer = Pick(rng_, kFreeTexts);
  }
  return m;
}

std::vector<Message> MessageGenerator::Batch(int count) {
  std::vector<Message> out;
  for (int i = 0; i < count; ++i) out.push_back(Next());
  return {std::make_move_iterator(out.rbegin()), std::make_move_iterator(out.rend())};
}

std::optional<Scenario> ParseScenario(const std::string& text, std::string* error) {
  const json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded()) {
    if (error) *error = "not valid JSON";
    return std::nullopt;
  }
  Scenario scenario;
  const json* list = &doc;
  if (doc.is_object()) {
    const auto it = doc.find("messages");
    if (it == doc.end()) {
      if (error) *error = "no \"messages\" list";
      return std::nullopt;
    }
    list = &*it;
    if (const auto keep = doc.find("keepDecided"); keep != doc.end()) {
      if (!keep->is_boolean()) {
        if (error) *error = "\"keepDecided\" must be true or false";
        return std::nullopt;
      }
      scenario.keepDecided = keep->get<bool>();
    }
  }
  if (!list->is_array()) {
    if (error) *error = "\"messages\" must be a list";
    return std::nullopt;
  }
  for (const json& item : *list) {
    if (!item.is_object()) {
      if (error) *error = "every message must be an object";
      return std::nullopt;
    }
    Message m;
    if (!TextField(item, "seq", m.seq, error, false) ||
        !TextField(item, "type", m.type, error, false) ||
        !TextField(item, "uin", m.uin, error, true) ||
        !TextField(item, "group", m.group, error, true) ||
        !TextField(item, "question", m.question, error, false) ||
        !TextField(item, "answer", m.answer, error, false) ||
        !BoolField(item, "quit", m.quit, error) || !BoolField(item, "unread", m.unread, error)) {
      return std::nullopt;
    }
    scenario.messages.push_back(std::move(m));
  }
  return scenario;
}

std::optional<Scenario> LoadScenarioFile(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read " + path;
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  auto scenario = ParseScenario(text.str(), error);
  if (!scenario && error) *error = path + ": " + *error;
  return scenario;
}

namespace {
constexpr std::pair<FaultKind, const char*> kFaultNames[] = {
    {FaultKind::kNone, "none"},
    {FaultKind::kDelay, "delay"},
    {FaultKind::kCloseBeforeReply, "close-before-reply"},
    {FaultKind::kCloseMidBody, "close-mid-body"},
    {FaultKind::kHttp500, "http500"},
    {FaultKind::kLargeBody, "large-body"},
    {FaultKind::kInvalidUtf8, "invalid-utf8"},
    {FaultKind::kNulBytes, "nul-bytes"},
    {FaultKind::kRedirect, "redirect"},
    {FaultKind::kEmpty200, "empty-200"},
    {FaultKind::kCustomBody, "custom-body"},
};
}  // namespace

std::optional<FaultKind> FaultKindFromName(const std::string& name) {
  for (const auto& [kind, n] : kFaultNames) {
    if (name == n) return kind;
  }
  return std::nullopt;
}

const char* FaultKindName(FaultKind kind) {
  for (const auto& [k, n] : kFaultNames) {
    if (k == kind) return n;
  }
  return "none";
}

std::string MessagesJson(const std::vector<Message>& messages) {
  json list = json::array();
  for (const Message& m : messages) {
    list.push_back({{"seq", m.seq},
                    {"type", m.type},
                    {"uin", m.uin},
                    {"group", m.group},
                    {"question", m.question},
                    {"answer", m.answer},
                    {"quit", m.quit},
                    {"unread", m.unread}});
  }
  return Dump(list);
}

std::string DecisionsJson(const std::vector<Decision>& decisions) {
  json list = json::array();
  for (const Decision& d : decisions) {
    list.push_back({{"seq", d.seq},
                    {"group", d.group},
                    {"uin", d.uin},
                    {"cmd", d.cmd},
                    {"reason", d.reason},
                    {"body", d.body},
                    {"ec", d.ec}});
  }
  return Dump(list);
}

std::string RequestsJson(const std::vector<RecordedRequest>& requests) {
  json list = json::array();
  for (const RecordedRequest& r : requests) {
    json headers = json::array();
    for (const auto& [name, value] : r.headers) headers.push_back(json::array({name, value}));
    list.push_back({{"method", r.method},
                    {"target", r.target},
                    {"headers", std::move(headers)},
                    {"body", r.body}});
  }
  return Dump(list);
}

}  // namespace lumirack::sim
