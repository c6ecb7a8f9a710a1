#include "support/regex_extract.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

// The markers become a byte-level pattern that keeps to whole characters. One character of the
// text: an ASCII byte, or a byte of 0x80 or above with the byte after it (alone at the very end).
constexpr std::string_view kAnyChar = "(?:[\\x00-\\x7F]|[\\x80-\\xFF][\\x00-\\xFF]?+)";
constexpr std::string_view kTwoByteChar = "[\\x80-\\xFF][\\x00-\\xFF]?+";
constexpr std::string_view kNever = "(?!)";
// The group between the markers as ExtractAllBetween writes it.
constexpr std::string_view kMiddleGroup = "([\\s\\S]*?)";

bool IsHigh(char c) { return static_cast<unsigned char>(c) >= 0x80; }

std::string HexByte(unsigned char b) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {'\\', 'x', kDigits[b >> 4], kDigits[b & 0x0F]};
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A literal character of the pattern: one ASCII byte, a two-byte character, or a lead byte cut
// off at the end of a marker (which in the text is a character only at the very end).
std::string LiteralPattern(std::string_view ch) {
  const auto first = static_cast<unsigned char>(ch[0]);
  if (!IsHigh(ch[0])) return HexByte(first);
  // Case folding stays off inside a two-byte character: its second byte is no letter.
  std::string out = "(?-i:" + HexByte(first);
  if (ch.size() == 2) {
    out += HexByte(static_cast<unsigned char>(ch[1]));
  } else {
    out += "(?![\\x00-\\xFF])";
  }
  return out + ")";
}

// The GBK form of a code point written as \xHH or \uHHHH; nothing when the page lacks it.
std::optional<std::string> CodePointChar(std::uint32_t cp) {
  if (cp < 0x80) return std::string(1, static_cast<char>(cp));
  if (cp >= 0xD800 && cp <= 0xDFFF) return std::nullopt;
  Text utf8;
  if (cp < 0x800) {
    utf8 = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
  } else {
    utf8 = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
            static_cast<char>(0x80 | (cp & 0x3F))};
  }
  const Text gbk = Utf8ToAnsi(utf8);
  if (gbk.empty() || gbk == "?") return std::nullopt;
  return gbk;
}

// A set of characters, as a bracketed class or an escape like \d describes it.
struct CharSet {
  std::bitset<128> ascii;
  bool allTwoByte = false;
  std::vector<std::string> twoByte;  // single two-byte characters

  void AddRange(unsigned char lo, unsigned char hi) {
    for (unsigned c = lo; c <= hi; ++c) ascii.set(c);
  }
  void AddClassEscape(char letter) {
    CharSet base;
    switch (letter | 0x20) {
      case 'd':
        base.AddRange('0', '9');
        break;
      case 'w':
        base.AddRange('0', '9');
        base.AddRange('A', 'Z');
        base.AddRange('a', 'z');
        base.ascii.set('_');
        break;
      default:  // 's'
        base.AddRange('\t', '\r');
        base.ascii.set(' ');
        break;
    }
    if (letter >= 'a') {
      ascii |= base.ascii;
    } else {
      ascii |= ~base.ascii;
      allTwoByte = true;
    }
  }

  // Byte ranges of the ASCII part, ready to go between brackets.
  std::string AsciiRanges() const {
    std::string out;
    for (unsigned c = 0; c < 128; ++c) {
      if (!ascii.test(c)) continue;
      unsigned end = c;
      while (end + 1 < 128 && ascii.test(end + 1)) ++end;
      out += HexByte(static_cast<unsigned char>(c));
      if (end > c) out += "-" + HexByte(static_cast<unsigned char>(end));
      c = end;
    }
    return out;
  }

  std::string Pattern(bool negated) const {
    std::vector<std::string> alternatives;
    std::string literals;
    for (const std::string& ch : twoByte) {
      if (!literals.empty()) literals += '|';
      literals += LiteralPattern(ch);
    }
    if (!negated) {
      if (ascii.any()) alternatives.push_back("[" + AsciiRanges() + "]");
      if (allTwoByte) {
        alternatives.emplace_back(kTwoByteChar);
      } else if (!literals.empty()) {
        alternatives.push_back(literals);
      }
    } else {
      // A negated class keeps PCRE2's own negation for the ASCII part, so that ignoring case
      // leaves out both cases of a listed letter.
      if (!ascii.all()) {
        alternatives.push_back(ascii.none() ? std::string("[\\x00-\\x7F]")
                                            : "[^" + AsciiRanges() + "\\x80-\\xFF]");
      }
      if (!allTwoByte) {
        alternatives.push_back(literals.empty()
                                   ? std::string(kTwoByteChar)
                                   : "(?!" + literals + ")" + std::string(kTwoByteChar));
      }
    }
    if (alternatives.empty()) return std::string(kNever);
    std::string out = "(?:";
    for (std::size_t i = 0; i < alternatives.size(); ++i) {
      if (i > 0) out += '|';
      out += alternatives[i];
    }
    return out + ")";
  }
};

// One piece of the translated pattern.
struct Unit {
  std::string pattern;
  int firstByte = -1;             // the byte a literal character starts with
  std::size_t literalLength = 0;  // its length in bytes
  bool quantifier = false;
  bool middle = false;
  bool alternation = false;
  bool backReference = false;
  bool group = false;  // opens or closes a group
};

// \d \D \w \W \s \S: the escapes that stand for a set of characters.
bool IsClassEscape(char letter) {
  switch (letter) {
    case 'd':
    case 'D':
    case 'w':
    case 'W':
    case 's':
    case 'S':
      return true;
    default:
      return false;
  }
}

// Translates the pattern that ExtractAllBetween builds (escaped left marker, the middle group,
// escaped right marker) into PCRE2 syntax over bytes. Fails where the platform's engine would
// reject the pattern, and for ranges of two-byte characters, which bytes cannot express.
class Translator {
 public:
  Translator(std::string_view pattern, std::size_t middleAt) : p_(pattern), middleAt_(middleAt) {}

  bool Run(std::vector<Unit>& units) {
    while (i_ < p_.size()) {
      Unit unit;
      if (!Next(unit)) return false;
      units.push_back(std::move(unit));
    }
    return true;
  }

 private:
  // A character starting at i_: a lead byte takes the next byte, but never across the end of
  // the left marker.
  std::string_view TakeChar() {
    const std::size_t end = i_ < middleAt_ ? middleAt_ : p_.size();
    const std::size_t width = (IsHigh(p_[i_]) && i_ + 1 < end) ? 2 : 1;
    const std::string_view ch = p_.substr(i_, width);
    i_ += width;
    return ch;
  }

  static Unit Literal(std::string_view ch) {
    Unit unit;
    unit.pattern = LiteralPattern(ch);
    unit.firstByte = static_cast<unsigned char>(ch[0]);
    unit.literalLength = ch.size();
    return unit;
  }

  static Unit Raw(std::string pattern, bool quantifier = false) {
    Unit unit;
    unit.pattern = std::move(pattern);
    unit.quantifier = quantifier;
    return unit;
  }

  // Reads `count` hex digits after i_, or nothing.
  std::optional<std::uint32_t> HexDigits(int count) {
    if (i_ + static_cast<std::size_t>(count) > p_.size()) return std::nullopt;
    std::uint32_t value = 0;
    for (int k = 0; k < count; ++k) {
      const char c = p_[i_ + static_cast<std::size_t>(k)];
      if (!IsHexDigit(c)) return std::nullopt;
      value = value * 16 + static_cast<std::uint32_t>(IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    i_ += static_cast<std::size_t>(count);
    return value;
  }

  // The character an escape stands for, when it stands for one; i_ is past the backslash and
  // the escape letter. Sets `never` for a code point the page lacks.
  std::optional<std::string> EscapedChar(char letter, bool& never) {
    never = false;
    switch (letter) {
      case 'n':
        return "\n";
      case 'r':
        return "\r";
      case 't':
        return "\t";
      case 'f':
        return "\f";
      case 'v':
        return "\v";
      case 'x':
      case 'u': {
        const std::optional<std::uint32_t> cp = HexDigits(letter == 'x' ? 2 : 4);
        if (!cp) return std::string(1, letter);
        std::optional<std::string> ch = CodePointChar(*cp);
        if (!ch) never = true;
        return ch;
      }
      case 'c':
        if (i_ < p_.size() && IsAsciiLetter(p_[i_])) {
          return std::string(1, static_cast<char>(p_[i_++] & 0x1F));
        }
        return "c";
      default:
        return std::string(1, letter);
    }
  }

  bool Next(Unit& unit) {
    if (i_ == middleAt_ && p_.substr(i_, kMiddleGroup.size()) == kMiddleGroup) {
      unit.middle = true;
      i_ += kMiddleGroup.size();
      return true;
    }
    const char c = p_[i_];
    switch (c) {
      case '\\':
        return Escape(unit);
      case '.':
        ++i_;
        unit = Raw(std::string(kAnyChar));
        return true;
      case '^':
        // Multi-line: at the start or after a line break.
        ++i_;
        unit = Raw("(?<![^\\n\\r])");
        return true;
      case '$':
        ++i_;
        unit = Raw("(?![^\\n\\r])");
        return true;
      case '|':
      case ')':
        ++i_;
        unit = Raw(std::string(1, c));
        unit.alternation = c == '|';
        unit.group = c == ')';
        return true;
      case '(':
        if (p_.substr(i_, 3) == "(?:" || p_.substr(i_, 3) == "(?=" || p_.substr(i_, 3) == "(?!") {
          unit = Raw(std::string(p_.substr(i_, 3)));
          i_ += 3;
        } else {
          ++i_;
          unit = Raw("(");
        }
        unit.group = true;
        return true;
      case '*':
      case '+':
      case '?':
        ++i_;
        unit = Raw(std::string(1, c) + Lazy(), true);
        return true;
      case '{':
        if (std::optional<std::string> q = Braces()) {
          unit = Raw(*q + Lazy(), true);
        } else {
          ++i_;
          unit = Literal("{");
        }
        return true;
      case '[':
        return Class(unit);
      default:
        unit = Literal(TakeChar());
        return true;
    }
  }

  std::string Lazy() {
    if (i_ < p_.size() && p_[i_] == '?') {
      ++i_;
      return "?";
    }
    return {};
  }

  // {n}, {n,} or {n,m}; nothing (and i_ unchanged) when the brace starts no quantifier.
  std::optional<std::string> Braces() {
    std::size_t j = i_ + 1;
    const std::size_t digitsStart = j;
    while (j < p_.size() && IsDigit(p_[j])) ++j;
    if (j == digitsStart) return std::nullopt;
    if (j < p_.size() && p_[j] == ',') {
      ++j;
      while (j < p_.size() && IsDigit(p_[j])) ++j;
    }
    if (j >= p_.size() || p_[j] != '}') return std::nullopt;
    std::string q(p_.substr(i_, j + 1 - i_));
    i_ = j + 1;
    return q;
  }

  bool Escape(Unit& unit) {
    ++i_;
    if (i_ >= p_.size()) return false;  // a pattern may not end in a lone backslash
    if (IsHigh(p_[i_])) {
      unit = Literal(TakeChar());
      return true;
    }
    const char letter = p_[i_++];
    if (IsClassEscape(letter)) {
      CharSet set;
      set.AddClassEscape(letter);
      unit = Raw(set.Pattern(false));
      return true;
    }
    switch (letter) {
      case 'b':
      case 'B':
        unit = Raw(std::string("\\") + letter);
        return true;
      default:
        break;
    }
    if (letter == '0' && !(i_ < p_.size() && IsDigit(p_[i_]))) {
      unit = Literal(std::string_view("\0", 1));
      return true;
    }
    if (IsDigit(letter)) {
      // A back reference; the groups keep their numbers in the translation.
      std::string digits(1, letter);
      while (i_ < p_.size() && IsDigit(p_[i_])) digits += p_[i_++];
      unit = Raw("(?:\\" + digits + ")");
      unit.backReference = true;
      return true;
    }
    bool never = false;
    const std::optional<std::string> ch = EscapedChar(letter, never);
    if (never || !ch) {
      unit = Raw(std::string(kNever));
      return true;
    }
    unit = Literal(*ch);
    return true;
  }

  // One member of a class: a single character, or a set escape (\d ...).
  bool ClassMember(std::optional<std::string>& single, CharSet& set, bool& never) {
    never = false;
    single.reset();
    if (p_[i_] != '\\') {
      single = std::string(TakeChar());
      return true;
    }
    ++i_;
    if (i_ >= p_.size()) return false;
    if (IsHigh(p_[i_])) {
      single = std::string(TakeChar());
      return true;
    }
    const char letter = p_[i_++];
    if (IsClassEscape(letter)) {
      set.AddClassEscape(letter);
      return true;
    }
    switch (letter) {
      case 'b':
        single = "\b";
        return true;
      case '0':
        single = std::string(1, '\0');
        return true;
      default:
        single = EscapedChar(letter, never);
        return true;
    }
  }

  static void AddChar(CharSet& set, const std::string& ch) {
    if (ch.size() == 1 && !IsHigh(ch[0])) {
      set.ascii.set(static_cast<unsigned char>(ch[0]));
    } else {
      set.twoByte.push_back(ch);
    }
  }

  bool Class(Unit& unit) {
    ++i_;
    bool negated = false;
    if (i_ < p_.size() && p_[i_] == '^') {
      negated = true;
      ++i_;
    }
    CharSet set;
    for (;;) {
      if (i_ >= p_.size()) return false;  // unterminated
      if (p_[i_] == ']') {
        ++i_;
        break;
      }
      std::optional<std::string> low;
      bool never = false;
      if (!ClassMember(low, set, never)) return false;
      if (never || !low) continue;
      const bool range = i_ + 1 < p_.size() && p_[i_] == '-' && p_[i_ + 1] != ']';
      if (!range) {
        AddChar(set, *low);
        continue;
      }
      ++i_;
      std::optional<std::string> high;
      if (!ClassMember(high, set, never)) return false;
      if (never || !high) return false;
      const bool asciiEnds =
          low->size() == 1 && !IsHigh((*low)[0]) && high->size() == 1 && !IsHigh((*high)[0]);
      if (!asciiEnds) return false;
      const auto lo = static_cast<unsigned char>((*low)[0]);
      const auto hi = static_cast<unsigned char>((*high)[0]);
      if (lo > hi) return false;
      set.AddRange(lo, hi);
    }
    unit = Raw(set.Pattern(negated));
    return true;
  }

  std::string_view p_;
  std::size_t middleAt_;
  std::size_t i_ = 0;
};

// Answers whether a byte offset starts a character. Offsets asked for mostly grow, so the walk
// goes on from the last answer; otherwise it starts after the nearest ASCII byte before the
// offset, which always ends a character.
class BoundaryWalker {
 public:
  explicit BoundaryWalker(std::string_view text) : text_(text) {}

  bool IsBoundary(std::size_t q) {
    if (q == 0 || q >= text_.size()) return true;
    const std::size_t floor = known_ <= q ? known_ : 0;
    std::size_t at = q;
    while (at > floor && IsHigh(text_[at - 1])) --at;
    while (at < q) at += Width(at);
    known_ = at;
    return at == q;
  }

  std::size_t Width(std::size_t at) const {
    return (IsHigh(text_[at]) && at + 1 < text_.size()) ? 2 : 1;
  }

 private:
  std::string_view text_;
  std::size_t known_ = 0;  // an offset known to start a character
};

// Callout numbers: which offset must start a character.
enum Callout : std::uint32_t {
  kHere = 1,         // the current one
  kBeforeLeft = 2,   // the one a literal left marker of known length started at
  kBeforeRight = 3,  // the one a literal right marker of known length started at
};

struct CalloutData {
  BoundaryWalker* walker;
  std::size_t leftLength;
  std::size_t rightLength;
};

int BoundaryCallout(pcre2_callout_block* block, void* data) {
  const auto* d = static_cast<const CalloutData*>(data);
  std::size_t at = block->current_position;
  if (block->callout_number == kBeforeLeft) at -= d->leftLength;
  if (block->callout_number == kBeforeRight) at -= d->rightLength;
  return d->walker->IsBoundary(at) ? 0 : 1;
}

struct Assembled {
  std::string pattern;
  std::size_t leftLength = 0;
  std::size_t rightLength = 0;
};

// Literal units from `begin` to `end` and their length in bytes, or nothing.
std::optional<std::size_t> LiteralLength(const std::vector<Unit>& units, std::size_t begin,
                                         std::size_t end) {
  std::size_t length = 0;
  for (std::size_t k = begin; k < end; ++k) {
    if (units[k].firstByte < 0 || (k + 1 < units.size() && units[k + 1].quantifier)) {
      return std::nullopt;
    }
    length += units[k].literalLength;
  }
  return length;
}

// Assembles the units. A callout keeps the start of a match on a character boundary; the middle
// group runs over bytes and a second callout keeps its end on one too.
//
// Without alternation, quantifiers and back references, the left part matches in one way only
// and whether the right marker follows a position does not depend on where the match started,
// while a later start sees only later positions. So once a left marker finds no right marker
// after it, no later one will: (*COMMIT) ends the search there instead of scanning to the end
// again for every further left marker.
Assembled Assemble(const std::vector<Unit>& units) {
  bool commit = true;
  std::size_t middle = units.size();
  for (std::size_t k = 0; k < units.size(); ++k) {
    const Unit& unit = units[k];
    if (unit.alternation || unit.quantifier || unit.backReference) commit = false;
    if (unit.middle && middle == units.size()) middle = k;
  }
  Assembled out;
  // The start is checked once a literal left marker has matched, not at every candidate.
  const std::optional<std::size_t> leftLength = LiteralLength(units, 0, middle);
  if (!leftLength) out.pattern = "(?C1)";
  for (std::size_t k = 0; k < units.size(); ++k) {
    if (!units[k].middle) {
      out.pattern += units[k].pattern;
      continue;
    }
    if (k == middle && leftLength) {
      out.leftLength = *leftLength;
      out.pattern += "(?C2)";
    }
    if (commit) out.pattern += "(*COMMIT)";
    std::string right;
    bool plainRight = k + 1 < units.size() && units[k + 1].firstByte >= 0;
    for (std::size_t r = k + 1; r < units.size(); ++r) {
      const Unit& unit = units[r];
      plainRight = plainRight && !unit.alternation && !unit.quantifier && !unit.backReference &&
                   !unit.group && !unit.middle;
      right += unit.pattern;
    }
    if (plainRight) {
      // The right marker starts with a known byte and holds no group: skip runs without that
      // byte, and at each one look for the right marker on a character boundary. This gives the
      // same end as the lazy group below, several times faster.
      const std::string first = HexByte(static_cast<unsigned char>(units[k + 1].firstByte));
      std::string found;
      if (const std::optional<std::size_t> rightLength =
              LiteralLength(units, k + 1, units.size())) {
        out.rightLength = *rightLength;
        found = right + "(?C3)";
      } else {
        found = "(?C1)" + right;
      }
      out.pattern += "([^" + first + "]*+(?:(?!" + found + ")" + first + "[^" + first + "]*+)*+)";
      continue;
    }
    out.pattern += "([\\x00-\\xFF]*?)";
    const bool literalNext = k + 1 < units.size() && units[k + 1].firstByte >= 0 &&
                             !(k + 2 < units.size() && units[k + 2].quantifier);
    if (literalNext) {
      out.pattern += "(?=" + HexByte(static_cast<unsigned char>(units[k + 1].firstByte)) + ")";
    }
    out.pattern += "(?C1)";
  }
  return out;
}

struct CodeDeleter {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct MatchContextDeleter {
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct JitStackDeleter {
  void operator()(pcre2_jit_stack* p) const { pcre2_jit_stack_free(p); }
};

// The compiled pattern with what a match needs, released together.
class CompiledPattern {
 public:
  static std::optional<CompiledPattern> Compile(const std::string& pattern, bool allowJit) {
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    CompiledPattern compiled;
    compiled.code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                       PCRE2_CASELESS | PCRE2_MATCH_UNSET_BACKREF |
                                           PCRE2_NEVER_UTF | PCRE2_NEVER_UCP |
                                           PCRE2_NEVER_BACKSLASH_C,
                                       &error, &errorOffset, nullptr));
    if (!compiled.code_) return std::nullopt;
    compiled.matchData_.reset(pcre2_match_data_create_from_pattern(compiled.code_.get(), nullptr));
    compiled.context_.reset(pcre2_match_context_create(nullptr));
    if (!compiled.matchData_ || !compiled.context_) return std::nullopt;
    // Long blocks in long texts must never hit the engine's limits.
    pcre2_set_match_limit(compiled.context_.get(), UINT32_MAX);
    pcre2_set_depth_limit(compiled.context_.get(), UINT32_MAX);
    pcre2_set_heap_limit(compiled.context_.get(), UINT32_MAX);
    if (allowJit && pcre2_jit_compile(compiled.code_.get(), PCRE2_JIT_COMPLETE) == 0) {
      compiled.jitStack_.reset(pcre2_jit_stack_create(32 * 1024, 64 * 1024 * 1024, nullptr));
      if (compiled.jitStack_) {
        pcre2_jit_stack_assign(compiled.context_.get(), nullptr, compiled.jitStack_.get());
      }
    }
    return compiled;
  }

  // Matches from `from`; the result code of pcre2_match.
  int Match(std::string_view text, std::size_t from, CalloutData& callout) {
    pcre2_set_callout(context_.get(), BoundaryCallout, &callout);
    return pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from, 0,
                       matchData_.get(), context_.get());
  }

  const PCRE2_SIZE* Offsets() const { return pcre2_get_ovector_pointer(matchData_.get()); }

 private:
  CompiledPattern() = default;

  std::unique_ptr<pcre2_code, CodeDeleter> code_;
  std::unique_ptr<pcre2_match_data, MatchDataDeleter> matchData_;
  std::unique_ptr<pcre2_match_context, MatchContextDeleter> context_;
  std::unique_ptr<pcre2_jit_stack, JitStackDeleter> jitStack_;
};

}  // namespace

Text EscapeMarker(const Text& marker) {
  static const Text kQuotePlaceholder = Gbk(texts::kQuotePlaceholder);
  Text out = marker;
  for (const char* c : {"?", "*", "+", "[", "]", "(", ")", "{", "}"}) {
    out = ReplaceAll(out, c, Text("\\") + c);
  }
  out = ReplaceAll(out, kQuotePlaceholder, "\"");
  return ReplaceAll(out, "\r\n", "\\n");
}

namespace detail {

int ExtractAllBetween(bool allowJit, const Text& text, const Text& left, const Text& right,
                      TextList& results, int maxLength, const Text& prefix, const Text& suffix,
                      bool addLeft, bool addRight) {
  // The texts already in `results` are overwritten in place and the rest dropped at the end: a
  // poll refills the same list with much the same blocks every tick, and this keeps their
  // storage instead of freeing and allocating some thousand texts each time.
  std::size_t count = 0;
  const Text escapedLeft = EscapeMarker(left);
  const std::string source = escapedLeft + std::string(kMiddleGroup) + EscapeMarker(right);
  std::vector<Unit> units;
  if (!Translator(source, escapedLeft.size()).Run(units)) {
    results.clear();
    return 0;
  }
  const Assembled assembled = Assemble(units);
  std::optional<CompiledPattern> compiled = CompiledPattern::Compile(assembled.pattern, allowJit);
  if (!compiled) {
    results.clear();
    return 0;
  }

  const std::string_view subject = text;
  BoundaryWalker walker(subject);
  CalloutData callout{&walker, assembled.leftLength, assembled.rightLength};
  std::size_t from = 0;
  while (from <= subject.size()) {
    const int rc = compiled->Match(subject, from, callout);
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) {
      // The engine gave up: report nothing rather than a partial list.
      results.clear();
      return 0;
    }
    const PCRE2_SIZE* offsets = compiled->Offsets();
    const std::size_t start = offsets[0];
    const std::size_t end = offsets[1];
    if (!walker.IsBoundary(start)) {
      from = start + 1;  // the character that straddles `start` ends here
      continue;
    }
    std::string_view captured;
    if (rc >= 2 && offsets[2] != PCRE2_UNSET) {
      captured = subject.substr(offsets[2], offsets[3] - offsets[2]);
    }
    if (maxLength == 0 || static_cast<long long>(captured.size()) <= maxLength) {
      Text& item = count < results.size() ? results[count] : results.emplace_back();
      ++count;
      item.clear();
      item.reserve((addLeft ? left.size() : 0) + prefix.size() + captured.size() + suffix.size() +
                   (addRight ? right.size() : 0));
      if (addLeft) item += left;
      item += prefix;
      item += captured;
      item += suffix;
      if (addRight) item += right;
    }
    // After an empty match the search goes on one character further.
    from = end > start ? end : (start < subject.size() ? start + walker.Width(start) : start + 1);
  }
  results.resize(count);
  return static_cast<int>(results.size());
}

}  // namespace detail

int ExtractAllBetween(const Text& text, const Text& left, const Text& right, TextList& results,
                      int maxLength, const Text& prefix, const Text& suffix, bool addLeft,
                      bool addRight) {
  return detail::ExtractAllBetween(true, text, left, right, results, maxLength, prefix, suffix,
                                   addLeft, addRight);
}

}  // namespace lumirack
