#pragma once

// The program's text: GBK bytes without NUL, 1-based positions, -1 for "not found", and the one
// search rule every subsystem uses. A byte of 0x80 or above starts a two-byte character, and no
// search ever matches from the second byte of such a character.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumirack {

using Text = std::string;
using TextList = std::vector<Text>;
using Bytes = std::vector<std::uint8_t>;

// The bytes before the first NUL, or all of them.
Text TextFromBytes(const Bytes& bytes);
Bytes BytesFromText(const Text& text);

// True when the byte starts a two-byte character (0x80 or above).
inline bool IsLeadByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Maps A-Z to a-z and leaves every other byte alone.
inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
Text LowerAscii(const Text& text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// The first occurrence of `sought` at or after `start` (1-based; 0 and below mean 1), or -1.
// An empty `sought` gives 1 while a byte remains to search. With `ignoreCase` only A-Z fold.
int FindText(const Text& text, const Text& sought, int start = 1, bool ignoreCase = false);

// The 0-based form of FindText for callers that work in offsets: npos when not found.
std::size_t FindTextOffset(std::string_view text, std::string_view sought, std::size_t from = 0,
                           bool ignoreCase = false);

// What lies between the first `left` (at or after `start`) and the next `right` after it; "#引号"
// in either marker stands for a double quote. Empty when a marker is missing.
Text TextBetween(const Text& text, const Text& left, const Text& right, int start = 0,
                 bool ignoreCase = false);

// Replaces every non-overlapping occurrence, scanning character by character.
Text ReplaceAll(const Text& text, const Text& from, const Text& to, bool ignoreCase = false);

// Spaces are the byte 0x20 and the pair 0xA1 0xA1 where it starts a character; nothing else.
Text TrimSpaces(const Text& text);
Text TrimLeadingSpaces(const Text& text);
Text TrimTrailingSpaces(const Text& text);
// Removes every space; a lone lead byte at the very end (a cut character) is dropped too.
Text RemoveSpaces(const Text& text);

// Pieces between separators, in order: a leading separator gives an empty first piece, adjacent
// ones an empty piece, a trailing one no empty last piece, an empty text no pieces.
TextList SplitText(const Text& text, const Text& separator);

// The decimal text of a number.
Text DecimalText(long long value);

}  // namespace lumirack
