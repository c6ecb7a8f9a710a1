#include "support/cookies.h"

#include <string_view>
#include <unordered_set>

namespace lumirack {
namespace {

constexpr std::string_view kItemSeparator = "; ";
constexpr std::string_view kDeletedSuffix = "=deleted";

bool EndsWithDeleted(const Text& item) {
  return item.size() >= kDeletedSuffix.size() &&
         std::string_view(item).substr(item.size() - kDeletedSuffix.size()) == kDeletedSuffix;
}

}  // namespace

Text CookieNameOf(const Text& item) {
  const std::size_t equals = FindTextOffset(item, "=");
  return TrimSpaces(equals == std::string_view::npos ? item : item.substr(0, equals));
}

bool HasCookieName(const TextList& items, const Text& name) {
  for (const Text& item : items) {
    if (CookieNameOf(item) == name) return true;
  }
  return false;
}

int IndexOfText(const TextList& items, const Text& text) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == text) return static_cast<int>(i + 1);
  }
  return -1;
}

// The sets below stand for IndexOfText and HasCookieName over the growing lists, so a long
// cookie text costs linear time, not quadratic.
Text JoinDistinct(const Text& text, const Text& separator) {
  TextList kept;
  std::unordered_set<Text> seen;
  for (Text& piece : SplitText(text, separator)) {
    if (seen.insert(piece).second) kept.push_back(std::move(piece));
  }
  Text joined;
  for (const Text& piece : kept) {
    joined += piece;
    joined += separator;
  }
  joined.resize(joined.size() >= separator.size() ? joined.size() - separator.size() : 0);
  return joined;
}

Text MergeCookies(Text& current, Text& received) {
  current = RemoveSpaces(current);
  received = RemoveSpaces(received);
  const TextList held = SplitText(current, ";");
  TextList merged = SplitText(received, ";");
  std::unordered_set<Text> names;
  for (const Text& item : merged) names.insert(CookieNameOf(item));
  for (const Text& item : held) {
    if (names.insert(CookieNameOf(item)).second) merged.push_back(item);
  }
  Text joined;
  for (const Text& item : merged) {
    if (EndsWithDeleted(item)) continue;
    joined += item;
    joined += kItemSeparator;
  }
  if (joined.size() >= 2) joined.resize(joined.size() - 2);
  current = JoinDistinct(joined, Text(kItemSeparator));
  return current;
}

}  // namespace lumirack
