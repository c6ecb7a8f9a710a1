#pragma once

// Small widgets and filters the Qt windows are built from.

#include <QLabel>
#include <QObject>
#include <functional>

class QPlainTextEdit;

namespace lumirack {

// A label that looks like a link and reports a left mouse press; it opens nothing by itself.
class HyperlinkLabel : public QLabel {
 public:
  HyperlinkLabel(const QString& text, QWidget* parent, std::function<void()> pressed);

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::function<void()> pressed_;
};

// Drops typed characters other than 0-9 and "-". Pasted text does not come as key events, so it
// passes unfiltered; so do control keys and shortcuts.
class IntegerKeyFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// The lines a multi-line box shows: every wrapped line counts, an empty box shows one.
int ShownLineCount(QPlainTextEdit* box);
QString ShownLine(QPlainTextEdit* box, int index);

}  // namespace lumirack
