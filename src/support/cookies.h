#pragma once

// The cookie text kept between requests: items split on ";" on input, joined by "; " on output.
// Received items win over held items of the same name; an item whose value is "deleted" removes
// the cookie.

#include "support/text.h"

namespace lumirack {

// Merges the received items into `current`: both lose every space, `current` becomes the merged
// text (received items first, then held items whose name was not seen) and a copy is returned.
Text MergeCookies(Text& current, Text& received);

// The part before the first "=" (the whole item when it has none), spaces trimmed.
Text CookieNameOf(const Text& item);

// True when some item of `items` has the cookie name `name` (byte for byte).
bool HasCookieName(const TextList& items, const Text& name);

// The 1-based position of the first item equal to `text`, or -1.
int IndexOfText(const TextList& items, const Text& text);

// The pieces of `text` split on `separator`, each kept only at its first appearance, joined by
// `separator`.
Text JoinDistinct(const Text& text, const Text& separator);

}  // namespace lumirack
