#include "ui/qt/text_bridge.h"

#include "support/charset.h"

namespace lumirack {

QString ToQString(const Text& text) { return QString::fromUtf8(AnsiToUtf8(text)); }

Text FromQString(const QString& text) { return Utf8ToAnsi(text.toUtf8().toStdString()); }

QString ToBoxText(const Text& text) {
  Text lf;
  lf.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lf += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      lf += text[i];
    }
  }
  return ToQString(lf);
}

Text FromBoxText(const QString& text) {
  QString crlf;
  crlf.reserve(text.size() + text.size() / 8);
  for (QChar c : text) {
    if (c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
      crlf += u"\r\n";
    } else {
      crlf += c;
    }
  }
  return FromQString(crlf);
}

}  // namespace lumirack
