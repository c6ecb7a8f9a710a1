// FindText and TextBetween over any text and markers: positions stay inside the text, a match
// never starts on the second byte of a character (counted from where the search began), and
// TextBetween gives a piece of the text.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "support/text.h"

namespace {

// Whether the 0-based offset starts a character when the text is scanned from `from`.
bool StartsCharacter(const lumirack::Text& text, std::size_t from, std::size_t offset) {
  std::size_t i = from;
  while (i < offset) i += lumirack::IsLeadByte(text[i]) ? 2 : 1;
  return i == offset;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumirack;
  const auto f = fuzz::Fields(data, size, 5);
  const Text& text = f[0];
  const Text& left = f[1];
  const Text& right = f[2];
  const int start = fuzz::Small(f[3]);
  const bool ignoreCase = fuzz::Small(f[4]) & 1;

  const int at = FindText(text, left, start, ignoreCase);
  fuzz::Require(at == -1 || (at >= 1 && static_cast<std::size_t>(at) <= text.size()));
  if (at != -1 && !left.empty()) {
    fuzz::Require(at - 1 + left.size() <= text.size());
    const std::size_t from = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
    fuzz::Require(at - 1 >= static_cast<int>(from));
    fuzz::Require(StartsCharacter(text, from, static_cast<std::size_t>(at - 1)));
    if (!ignoreCase) fuzz::Require(text.compare(at - 1, left.size(), left) == 0);
  }

  const Text between = TextBetween(text, left, right, start, ignoreCase);
  fuzz::Require(between.size() <= text.size());
  if (!between.empty()) fuzz::Require(text.find(between) != Text::npos);

  ReplaceAll(text, left, right, ignoreCase);
  TrimSpaces(text);
  RemoveSpaces(text);
  SplitText(text, left);
  return 0;
}
