#include "ui/qt/controls.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>

namespace lumirack {
namespace {

bool Allowed(QChar c) { return (c >= u'0' && c <= u'9') || c == u'-'; }

bool HasDisallowedPrintable(const QString& text) {
  for (QChar c : text) {
    if (c.isPrint() && !Allowed(c)) return true;
  }
  return false;
}

// The document lays its blocks out lazily and at the viewport's width, which is only right once
// the box has had its size; a box not yet shown gets that first.
QPlainTextDocumentLayout* LaidOut(QPlainTextEdit* box) {
  box->ensurePolished();
  if (box->testAttribute(Qt::WA_PendingResizeEvent)) {
    QResizeEvent resize(box->size(), QSize());
    QCoreApplication::sendEvent(box, &resize);
  }
  return qobject_cast<QPlainTextDocumentLayout*>(box->document()->documentLayout());
}

}  // namespace

HyperlinkLabel::HyperlinkLabel(const QString& text, QWidget* parent, std::function<void()> pressed)
    : QLabel(text, parent), pressed_(std::move(pressed)) {
  setTextFormat(Qt::PlainText);
  QFont f = font();
  f.setUnderline(true);
  setFont(f);
  QPalette p = palette();
  p.setColor(QPalette::WindowText, QColor(0, 0, 255));
  setPalette(p);
  setCursor(Qt::PointingHandCursor);
}

void HyperlinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && pressed_) {
    pressed_();
    return;
  }
  QLabel::mousePressEvent(event);
}

bool IntegerKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    // Shortcuts such as Ctrl+V are no typed characters.
    const bool shortcut =
        key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier);
    if (!shortcut && HasDisallowedPrintable(key->text())) return true;
  } else if (event->type() == QEvent::InputMethod) {
    auto* im = static_cast<QInputMethodEvent*>(event);
    if (HasDisallowedPrintable(im->commitString())) {
      QString kept;
      for (QChar c : im->commitString()) {
        if (!c.isPrint() || Allowed(c)) kept += c;
      }
      QInputMethodEvent filtered(im->preeditString(), im->attributes());
      filtered.setCommitString(kept, im->replacementStart(), im->replacementLength());
      QCoreApplication::sendEvent(watched, &filtered);
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

int ShownLineCount(QPlainTextEdit* box) {
  QPlainTextDocumentLayout* layout = LaidOut(box);
  int count = 0;
  for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next()) {
    if (layout) layout->ensureBlockLayout(block);
    count += std::max(1, block.layout()->lineCount());
  }
  return std::max(1, count);
}

QString ShownLine(QPlainTextEdit* box, int index) {
  if (index < 0) return {};
  QPlainTextDocumentLayout* layout = LaidOut(box);
  for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next()) {
    if (layout) layout->ensureBlockLayout(block);
    const QTextLayout* lines = block.layout();
    const int n = std::max(1, lines->lineCount());
    if (index >= n) {
      index -= n;
      continue;
    }
    if (lines->lineCount() == 0) return block.text();
    const QTextLine line = lines->lineAt(index);
    return block.text().mid(line.textStart(), line.textLength());
  }
  return {};
}

}  // namespace lumirack
