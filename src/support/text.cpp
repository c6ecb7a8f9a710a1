#include "support/text.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

constexpr char kSpace = ' ';
constexpr char kWideSpaceByte = '\xA1';

bool SameBytes(const char* a, const char* b, std::size_t n, bool ignoreCase) {
  if (!ignoreCase) return std::memcmp(a, b, n) == 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// Length of the space that starts at `i` (1 or 2 bytes), or 0.
std::size_t SpaceAt(std::string_view text, std::size_t i) {
  if (text[i] == kSpace) return 1;
  if (text[i] == kWideSpaceByte && i + 1 < text.size() && text[i + 1] == kWideSpaceByte) return 2;
  return 0;
}

// Width of the character that starts at `i`: 2 for a lead byte that has a second byte, else 1.
std::size_t CharWidth(std::string_view text, std::size_t i) {
  return (IsLeadByte(text[i]) && i + 1 < text.size()) ? 2 : 1;
}

// The first byte-for-byte occurrence of `sought` (not empty) at or after `i`, or npos. Lists of
// numbers are dense in every byte a number starts with, so candidates are positions where the
// first two bytes and the last one match, sixteen positions a step.
std::size_t FindBytes(std::string_view text, std::string_view sought, std::size_t i) {
#if defined(__SSE2__)
  const std::size_t m = sought.size();
  if (m >= 2) {
    const __m128i first = _mm_set1_epi8(sought[0]);
    const __m128i second = _mm_set1_epi8(sought[1]);
    const __m128i last = _mm_set1_epi8(sought[m - 1]);
    while (i + m - 1 + 16 <= text.size()) {
      const char* at = text.data() + i;
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + m - 1));
      const __m128i hits =
          _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second)),
                        _mm_cmpeq_epi8(c, last));
      auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
      while (mask != 0) {
        const auto bit = static_cast<std::size_t>(__builtin_ctz(mask));
        if (std::memcmp(at + bit + 1, sought.data() + 1, m - 2) == 0) return i + bit;
        mask &= mask - 1;
      }
      i += 16;
    }
  }
#endif
  return text.find(sought, i);
}

// From the character boundary `i`, steps over whole characters to `target` or to the boundary
// just past it (when `target` is the second byte of a character). ASCII goes eight bytes a step.
std::size_t WalkToCharacter(std::string_view text, std::size_t i, std::size_t target) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  while (i < target) {
    if (target - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      if ((word & kHighBits) == 0) {
        i += 8;
        continue;
      }
    }
    i += IsLeadByte(text[i]) ? 2 : 1;
  }
  return i;
}

}  // namespace

Text TextFromBytes(const Bytes& bytes) {
  if (bytes.empty()) return {};
  // memchr and a pointer range: a whole reply goes through here on every poll.
  const char* data = reinterpret_cast<const char*>(bytes.data());
  const void* nul = std::memchr(data, 0, bytes.size());
  return Text(data, nul == nullptr ? bytes.size() : static_cast<const char*>(nul) - data);
}

Bytes BytesFromText(const Text& text) { return Bytes(text.begin(), text.end()); }

Text LowerAscii(const Text& text) {
  Text out = text;
  for (char& c : out) c = FoldAscii(c);
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && SameBytes(a.data(), b.data(), a.size(), true);
}

std::size_t FindTextOffset(std::string_view text, std::string_view sought, std::size_t from,
                           bool ignoreCase) {
  const std::size_t n = text.size();
  if (from >= n) return std::string_view::npos;
  if (sought.empty()) return from;
  const std::size_t m = sought.size();
  std::size_t i = from;
  if (!ignoreCase) {
    // Candidates are whole-byte matches; one is valid only on a character boundary, which the
    // walk keeps track of. A candidate inside a character is passed, and the search goes on from
    // the boundary after it.
    while (i + m <= n) {
      const std::size_t h = FindBytes(text, sought, i);
      if (h == std::string_view::npos) return std::string_view::npos;
      i = WalkToCharacter(text, i, h);
      if (i == h) return h;
    }
    return std::string_view::npos;
  }
  while (i + m <= n) {
    if (SameBytes(text.data() + i, sought.data(), m, true)) return i;
    if (IsLeadByte(text[i])) {
      if (i + 1 >= n) return std::string_view::npos;
      i += 2;
    } else {
      ++i;
    }
  }
  return std::string_view::npos;
}

int FindText(const Text& text, const Text& sought, int start, bool ignoreCase) {
  const long long b = std::max(0LL, static_cast<long long>(start) - 1);
  if (sought.empty()) return b < static_cast<long long>(text.size()) ? 1 : -1;
  const std::size_t hit = FindTextOffset(text, sought, static_cast<std::size_t>(b), ignoreCase);
  return hit == std::string_view::npos ? -1 : static_cast<int>(hit + 1);
}

Text ReplaceAll(const Text& text, const Text& from, const Text& to, bool ignoreCase) {
  if (from.empty()) return text;
  Text out;
  std::size_t done = 0;
  for (;;) {
    const std::size_t hit = FindTextOffset(text, from, done, ignoreCase);
    if (hit == std::string_view::npos) break;
    out.append(text, done, hit - done);
    out += to;
    done = hit + from.size();
  }
  out.append(text, done, Text::npos);
  return out;
}

Text TextBetween(const Text& text, const Text& left, const Text& right, int start,
                 bool ignoreCase) {
  static const Text kQuotePlaceholder = Gbk(texts::kQuotePlaceholder);
  const Text l = ReplaceAll(left, kQuotePlaceholder, "\"");
  const Text r = ReplaceAll(right, kQuotePlaceholder, "\"");
  long long p = FindText(text, l, start, ignoreCase);
  if (p == -1) return {};
  p += static_cast<long long>(l.size());
  if (p > static_cast<long long>(text.size())) return {};
  const int q = FindText(text, r, static_cast<int>(p), ignoreCase);
  if (q == -1 || q - p <= 0) return {};
  return text.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(q - p));
}

Text TrimLeadingSpaces(const Text& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t w = SpaceAt(text, i);
    if (w == 0) break;
    i += w;
  }
  return text.substr(i);
}

Text TrimTrailingSpaces(const Text& text) {
  // Trailing spaces are found walking forward, so a 0xA1 0xA1 that is the second half of one
  // character and the first half of the next is never taken for a space.
  std::size_t keep = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t w = SpaceAt(text, i);
    if (w != 0) {
      i += w;
    } else {
      i += CharWidth(text, i);
      keep = i;
    }
  }
  return text.substr(0, keep);
}

Text TrimSpaces(const Text& text) { return TrimTrailingSpaces(TrimLeadingSpaces(text)); }

Text RemoveSpaces(const Text& text) {
  Text out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t w = SpaceAt(text, i);
    if (w != 0) {
      i += w;
    } else if (IsLeadByte(text[i])) {
      if (i + 1 >= text.size()) break;  // a character cut in half
      out += text[i];
      out += text[i + 1];
      i += 2;
    } else {
      out += text[i++];
    }
  }
  return out;
}

TextList SplitText(const Text& text, const Text& separator) {
  TextList pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  std::size_t done = 0;
  while (done < text.size()) {
    const std::size_t hit = FindTextOffset(text, separator, done);
    if (hit == std::string_view::npos) {
      pieces.push_back(text.substr(done));
      return pieces;
    }
    pieces.push_back(text.substr(done, hit - done));
    done = hit + separator.size();
  }
  return pieces;
}

Text DecimalText(long long value) { return std::to_string(value); }

}  // namespace lumirack
