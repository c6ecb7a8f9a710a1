#pragma once

// Conversions between the program's GBK text (Windows code page 936) and the UTF-8 of the web
// service, on ICU's "windows-936" table with Windows' best-fit fallbacks. Characters the page
// lacks become "?"; malformed UTF-8 becomes "?" too. Every function is total.

#include <string_view>

#include "support/text.h"

namespace lumirack {

Text Utf8ToAnsi(const Text& text);
Text AnsiToUtf8(const Text& text);

// Every byte as "%XX" (upper-case hex); with `keepSafe`, "-", ".", digits and ASCII letters stay.
// With `asUtf8` the UTF-8 form of the text is encoded instead of its GBK bytes.
Text PercentEncode(const Text& text, bool keepSafe = false, bool asUtf8 = false);

// Every byte for which `escaped` holds as "%XX" (upper-case hex); the others as they are.
Text PercentEscape(const Text& text, bool (*escaped)(unsigned char));

// The program's own texts are UTF-8 literals in the source; this is the one place that turns
// them into GBK.
Text Gbk(std::string_view utf8);

}  // namespace lumirack
