#include "ui/qt/qt_window.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "support/charset.h"
#include "ui/qt/browser.h"
#include "ui/qt/controls.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/text_bridge.h"

namespace lumirack {
namespace {

Qt::WindowFlags FlagsFor(const WindowDef& def) {
  Qt::WindowFlags flags =
      Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint;
  if (def.closeBox) flags |= Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint;
  if (def.minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  return flags;
}

// Inactive selections are not shown, as in a box that hides its selection without focus.
void HideInactiveSelection(QWidget* box) {
  QPalette p = box->palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Inactive, QPalette::Base));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Inactive, QPalette::Text));
  p.setColor(QPalette::Base, Qt::white);
  p.setColor(QPalette::Text, Qt::black);
  box->setPalette(p);
}

// A transparent label draws its whole caption, past its defined width if a font needs more;
// nothing is cut off, and the width never shrinks below the defined one.
void FitLabel(QLabel* label, int definedWidth) {
  const int needed = label->sizeHint().width();
  label->resize(std::max(definedWidth, needed), label->height());
}

}  // namespace

QtWindow::QtWindow(const WindowDef& def, QtToolkit& toolkit)
    : QWidget(nullptr, FlagsFor(def)), def_(def), toolkit_(toolkit) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowTitle(QString::fromUtf8(def_.title));
  // The definitions were laid out for the 12-pixel system font; a larger one would not fit.
  QFont small = font();
  small.setPixelSize(12);
  setFont(small);
  setFixedSize(def_.width, def_.height);
  for (const ControlDef& control : def_.controls) CreateControl(control);

  // Esc closes the window as its close box does, whichever control has the focus.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, [this] { close(); });

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(def_.width / 2, def_.height / 2));
  }
}

QtWindow::~QtWindow() { toolkit_.WindowGone(this); }

const std::string& QtWindow::Id() const { return def_.id; }

void QtWindow::CreateControl(const ControlDef& c) {
  const std::string name = c.name;
  QWidget* widget = nullptr;
  switch (c.kind) {
    case ControlKind::kLabel: {
      auto* label = new QLabel(ToBoxText(Gbk(c.content)), this);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      if (c.red) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, Qt::red);
        label->setPalette(p);
      }
      widget = label;
      break;
    }
    case ControlKind::kHyperlink:
      widget = new HyperlinkLabel(QString::fromUtf8(c.content), this,
                                  [this, name] { RunHandler(name, Event::kPressed); });
      break;
    case ControlKind::kButton: {
      auto* button = new QPushButton(QString::fromUtf8(c.content), this);
      button->setAutoDefault(false);
      button->setDefault(false);
      connect(button, &QPushButton::clicked, this,
              [this, name] { RunHandler(name, Event::kClicked); });
      widget = button;
      break;
    }
    case ControlKind::kEdit:
      if (c.multiLine) {
        auto* box = new QPlainTextEdit(this);
        box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box->setVerticalScrollBarPolicy(c.verticalScrollBar ? Qt::ScrollBarAlwaysOn
                                                            : Qt::ScrollBarAlwaysOff);
        box->setTabChangesFocus(true);
        box->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        box->setPlainText(ToBoxText(Gbk(c.content)));
        widget = box;
      } else {
        auto* line = new QLineEdit(QString::fromUtf8(c.content), this);
        line->setMaxLength(std::numeric_limits<int>::max());
        if (c.integerOnly) line->installEventFilter(new IntegerKeyFilter(line));
        widget = line;
      }
      HideInactiveSelection(widget);
      break;
    case ControlKind::kBrowser: {
      auto* browser = new Browser(this);
      if (std::getenv("LUMIRACK_TIMING")) {
        connect(browser, &Browser::loadFinished, this, [](bool ok) {
          std::fprintf(stderr, "lumirack: page loaded ok=%d at %lld\n", ok ? 1 : 0,
                       static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        });
      }
      browser->Open(QString::fromUtf8(c.content));
      widget = browser;
      break;
    }
    case ControlKind::kTimer: {
      auto* timer = new QTimer(this);
      timer->setTimerType(Qt::PreciseTimer);
      connect(timer, &QTimer::timeout, this, [this, name] { Tick(name); });
      timers_[name] = TimerSlot{timer, 0, false};
      return;
    }
  }
  widget->setGeometry(c.x, c.y, c.width, c.height);
  widget->setEnabled(c.enabled);
  controls_[name] = widget;
  if (auto* label = qobject_cast<QLabel*>(widget)) FitLabel(label, c.width);
}

QWidget* QtWindow::Control(std::string_view name) const {
  auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second;
}

QTimer* QtWindow::Timer(std::string_view name) const {
  auto it = timers_.find(name);
  return it == timers_.end() ? nullptr : it->second.timer;
}

QSize QtWindow::OuterSize() const { return {def_.width, def_.height}; }

Text QtWindow::GetText(std::string_view control) const {
  QWidget* w = Control(control);
  if (auto* box = qobject_cast<QPlainTextEdit*>(w)) return FromBoxText(box->toPlainText());
  if (auto* line = qobject_cast<QLineEdit*>(w)) return FromQString(line->text());
  if (auto* label = qobject_cast<QLabel*>(w)) return FromBoxText(label->text());
  if (auto* button = qobject_cast<QPushButton*>(w)) return FromQString(button->text());
  return {};
}

void QtWindow::SetText(std::string_view control, const Text& text) {
  QWidget* w = Control(control);
  if (auto* box = qobject_cast<QPlainTextEdit*>(w)) {
    box->setPlainText(ToBoxText(text));
  } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
    line->setText(ToQString(text));
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(ToBoxText(text));
    auto it = std::find_if(def_.controls.begin(), def_.controls.end(),
                           [&](const ControlDef& c) { return c.name == control; });
    if (it != def_.controls.end()) FitLabel(label, it->width);
  } else if (auto* button = qobject_cast<QPushButton*>(w)) {
    button->setText(ToQString(text));
  }
}

void QtWindow::SetEnabled(std::string_view control, bool enabled) {
  if (QWidget* w = Control(control)) w->setEnabled(enabled);
}

bool QtWindow::IsEnabled(std::string_view control) const {
  QWidget* w = Control(control);
  return w && w->isEnabled();
}

void QtWindow::SetTimerPeriod(std::string_view timer, int periodMs) {
  auto it = timers_.find(timer);
  if (it == timers_.end()) return;
  it->second.periodMs = std::max(0, periodMs);
  if (periodMs <= 0 || closing_) {
    it->second.timer->stop();
  } else {
    it->second.timer->start(periodMs);
  }
}

int QtWindow::TimerPeriod(std::string_view timer) const {
  auto it = timers_.find(timer);
  return it == timers_.end() ? 0 : it->second.periodMs;
}

void QtWindow::Tick(const std::string& name) {
  auto it = timers_.find(name);
  // A tick never starts while the last one of the same timer still runs (in a nested loop).
  if (it == timers_.end() || it->second.busy || closing_) return;
  it->second.busy = true;
  QPointer<QtWindow> self(this);
  RunHandler(name, Event::kTick);
  if (self) timers_[name].busy = false;
}

int QtWindow::LineCount(std::string_view box) const {
  QWidget* w = Control(box);
  if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) return ShownLineCount(multi);
  return qobject_cast<QLineEdit*>(w) ? 1 : 0;
}

Text QtWindow::LineText(std::string_view box, int index) const {
  QWidget* w = Control(box);
  if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) return FromQString(ShownLine(multi, index));
  if (auto* line = qobject_cast<QLineEdit*>(w))
    return index == 0 ? FromQString(line->text()) : Text{};
  return {};
}

void QtWindow::AppendText(std::string_view box, const Text& text) {
  QWidget* w = Control(box);
  if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) {
    QTextDocument* doc = multi->document();
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);  // the insertion leaves nothing to undo
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToBoxText(text));
    doc->setUndoRedoEnabled(undo);
    multi->setTextCursor(cursor);
    multi->ensureCursorVisible();
  } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
    line->setText(line->text() + ToQString(text));
    line->end(false);
  }
}

Text QtWindow::Location(std::string_view browser) const {
  auto* b = qobject_cast<Browser*>(Control(browser));
  return b ? b->Location() : Text{};
}

Text QtWindow::Cookie(std::string_view browser) const {
  auto* b = qobject_cast<Browser*>(Control(browser));
  return b ? b->Cookie() : Text{};
}

void QtWindow::RunHandler(const std::string& control, Event event) {
  auto it = def_.handlers.find({control, event});
  if (it != def_.handlers.end() && it->second) it->second(*this);
}

void QtWindow::Destroy() {
  if (closing_) return;
  closing_ = true;
  QMetaObject::invokeMethod(this, &QtWindow::Finish, Qt::QueuedConnection);
}

void QtWindow::Finish() {
  for (auto& [name, slot] : timers_) slot.timer->stop();
  RunHandler("", Event::kClosing);
  hide();
  deleteLater();
}

void QtWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (closing_) return;
  closing_ = true;
  Finish();
}

void QtWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    if (std::getenv("LUMIRACK_TIMING")) {
      std::fprintf(stderr, "lumirack: shown %s at %lld\n", def_.id.c_str(),
                   static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
    }
  }
  FitFrame();
}

void QtWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  FitFrame();
}

// The defined size is the outer one; a window manager reports its frame only once the window is
// up, and the client area shrinks by it. Offscreen and without a window manager there is none.
void QtWindow::FitFrame() {
  const QRect frame = frameGeometry(), client = geometry();
  const QSize margins = frame.size() - client.size();
  const QSize wanted = OuterSize() - margins;
  if (wanted.isValid() && size() != wanted) setFixedSize(wanted);
  if (centred_ || margins.isNull()) return;
  // Once, when the frame is first known: centre the outer rectangle. Placed by its client
  // rectangle, since the frame position Qt keeps may still be the one from before the frame.
  centred_ = true;
  if (QScreen* s = screen()) {
    const QPoint outerTopLeft =
        s->availableGeometry().center() - QPoint(def_.width / 2, def_.height / 2);
    setGeometry(QRect(outerTopLeft + (client.topLeft() - frame.topLeft()), wanted));
  }
}

}  // namespace lumirack
