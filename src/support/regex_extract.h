#pragma once

// Every text between a left and a right marker, in one regular-expression pass over GBK text.
// The markers are patterns: EscapeMarker makes most metacharacters literal, but ".", "^", "$",
// "|" and "\" keep their meaning. Matching follows the program's character rule (a byte of 0x80
// or above starts a two-byte character): a match never starts or ends inside a character, "."
// takes one whole character (a line break too), "^" and "$" work at every line, and letter case
// is ignored for A-Z only.

#include "support/text.h"

namespace lumirack {

// The pattern fragment for a marker: ? * + [ ] ( ) { } get a backslash, "#引号" becomes a double
// quote and CR LF becomes \n. Two-byte characters are never split.
Text EscapeMarker(const Text& marker);

// Empties `results`, then adds one text per match of left (text) right, left to right without
// overlap: `prefix` + text + `suffix`, with the markers themselves outside when `addLeft` /
// `addRight` are set. A text longer than a non-zero `maxLength` is left out (a negative one
// leaves out every text). Returns the number of results; 0 when the pattern is rejected.
int ExtractAllBetween(const Text& text, const Text& left, const Text& right, TextList& results,
                      int maxLength = 0, const Text& prefix = {}, const Text& suffix = {},
                      bool addLeft = false, bool addRight = false);

namespace detail {
// ExtractAllBetween with PCRE2's JIT compiler allowed or not. The interpreter is the fallback
// where JIT compilation fails; tests run it directly through this.
int ExtractAllBetween(bool allowJit, const Text& text, const Text& left, const Text& right,
                      TextList& results, int maxLength, const Text& prefix, const Text& suffix,
                      bool addLeft, bool addRight);
}  // namespace detail

}  // namespace lumirack
