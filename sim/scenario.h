#pragma once

// Where pending messages come from: a seeded generator, or a JSON scenario
//   {"messages": [{"seq": "...", "type": "1", "uin": "...", "group": "...", "question": "...",
//                  "answer": "...", "quit": false, "unread": true}, ...],
//    "keepDecided": false}
// (or just the array of messages), newest first. Only "uin" and "group" are required; a missing
// "seq" is numbered by the server.

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/sim_server.h"

namespace lumirack::sim {

// Join requests for a few groups, with and without question and answer, and quit notices; the
// same seed gives the same messages.
class MessageGenerator {
 public:
  explicit MessageGenerator(std::uint64_t seed);
  // The next message to arrive (its seq is larger than every earlier one).
  Message Next();
  // `count` messages, newest first.
  std::vector<Message> Batch(int count);
  const std::vector<std::string>& Groups() const { return groups_; }

 private:
  std::mt19937_64 rng_;
  std::vector<std::string> groups_;
  std::uint64_t nextSeq_;
};

struct Scenario {
  std::vector<Message> messages;
  std::optional<bool> keepDecided;
};

// Parses a scenario; on failure returns nothing and says why in `error`.
std::optional<Scenario> ParseScenario(const std::string& json, std::string* error);
std::optional<Scenario> LoadScenarioFile(const std::string& path, std::string* error);

std::optional<FaultKind> FaultKindFromName(const std::string& name);
const char* FaultKindName(FaultKind kind);

// The inspection endpoints' JSON.
std::string MessagesJson(const std::vector<Message>& messages);
std::string DecisionsJson(const std::vector<Decision>& decisions);
std::string RequestsJson(const std::vector<RecordedRequest>& requests);

}  // namespace lumirack::sim
