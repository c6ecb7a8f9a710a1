#pragma once

// Text crossing between the program (GBK, CR LF) and Qt (UTF-16, LF or U+2029 inside boxes).

#include <QString>

#include "support/text.h"

namespace lumirack {

// GBK to UTF-16, line ends as they stand.
QString ToQString(const Text& text);
// UTF-16 to GBK, line ends as they stand.
Text FromQString(const QString& text);

// For multi-line boxes: CR LF, and a lone CR or LF, become one line break; back, every line
// break (LF, U+2028, U+2029) becomes CR LF.
QString ToBoxText(const Text& text);
Text FromBoxText(const QString& text);

}  // namespace lumirack
