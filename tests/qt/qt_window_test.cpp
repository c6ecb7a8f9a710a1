#include "ui/qt/qt_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "qt_wait.h"
#include "support/charset.h"
#include "ui/qt/qt_toolkit.h"

namespace lumirack {
namespace {

using testing_support::WaitUntil;

ControlDef Edit(const std::string& name, int x, int y, int w, int h, bool multiLine = false,
                bool integerOnly = false) {
  ControlDef c;
  c.kind = ControlKind::kEdit;
  c.name = name;
  c.x = x, c.y = y, c.width = w, c.height = h;
  c.multiLine = multiLine;
  c.verticalScrollBar = multiLine;
  c.integerOnly = integerOnly;
  return c;
}

ControlDef Simple(ControlKind kind, const std::string& name, const std::string& content, int x,
                  int y, int w, int h) {
  ControlDef c;
  c.kind = kind;
  c.name = name;
  c.content = content;
  c.x = x, c.y = y, c.width = w, c.height = h;
  return c;
}

// A small window in the shape of the program's own: a label, an integer box, a plain box, a
// multi-line box with a scroll bar as narrow as the list boxes, a button and a timer.
WindowDef TestWindow() {
  WindowDef def;
  def.id = "TestWindow";
  def.title = "监控频率 - 填写0为取消执行";
  def.width = 262;
  def.height = 300;
  def.closeBox = false;
  def.minimizeBox = false;
  def.controls = {
      Simple(ControlKind::kLabel, "透明标签1", "监控频率：", 8, 8, 56, 24),
      Edit("编辑框频率", 72, 8, 104, 24, false, true),
      Edit("编辑框问题", 72, 40, 104, 24),
      Edit("编辑框黑名单", 8, 72, 112, 200, true),
      Simple(ControlKind::kButton, "按钮1", "确定", 208, 8, 40, 24),
      Simple(ControlKind::kHyperlink, "超级链接框1", "帮助", 144, 40, 48, 24),
      Simple(ControlKind::kTimer, "时钟1", "", 0, 0, 0, 0),
  };
  return def;
}

class QtWindowTest : public ::testing::Test {
 protected:
  QtWindow* LoadShown(WindowDef def) {
    auto* window = static_cast<QtWindow*>(toolkit_.Load(def, false));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window, 5000));
    return window;
  }
  template <typename T>
  T* Widget(QtWindow* window, const char* name) {
    return qobject_cast<T*>(window->Control(name));
  }

  QtToolkit toolkit_;
};

TEST_F(QtWindowTest, BuildsTheWindowFromItsDefinition) {
  QtWindow* window = LoadShown(TestWindow());

  EXPECT_EQ(window->windowTitle(), QString::fromUtf8("监控频率 - 填写0为取消执行"));
  // Offscreen there is no frame: the client area is the outer size, and the size is fixed.
  EXPECT_EQ(window->frameGeometry().size(), QSize(262, 300));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((window->frameGeometry().center() - area.center()).manhattanLength(), 2);
  EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);

  EXPECT_EQ(window->Control("编辑框频率")->geometry(), QRect(72, 8, 104, 24));
  EXPECT_EQ(window->GetText("透明标签1"), Gbk("监控频率："));
  EXPECT_EQ(window->GetText("按钮1"), Gbk("确定"));
  EXPECT_EQ(window->GetText("无此控件"), "");
  EXPECT_EQ(window->LineCount("编辑框黑名单"), 1);  // an empty box shows one line
}

TEST_F(QtWindowTest, IntegerBoxDropsTypedCharactersButNotPastedOnes) {
  QtWindow* window = LoadShown(TestWindow());
  auto* integer = Widget<QLineEdit>(window, "编辑框频率");
  auto* plain = Widget<QLineEdit>(window, "编辑框问题");

  integer->setFocus();
  QTest::keyClicks(integer, "12a-b 3.");
  EXPECT_EQ(window->GetText("编辑框频率"), "12-3");
  QTest::keyClick(integer, Qt::Key_Backspace);  // control keys still work
  EXPECT_EQ(window->GetText("编辑框频率"), "12-");

  integer->clear();
  QGuiApplication::clipboard()->setText("12abc");
  QTest::keyClick(integer, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "12abc");
  EXPECT_EQ(window->GetText("编辑框频率"), "12abc");

  QTest::keyClicks(plain, "1a-");
  EXPECT_EQ(window->GetText("编辑框问题"), "1a-");
}

TEST_F(QtWindowTest, MultiLineBoxCountsTheLinesItShows) {
  QtWindow* window = LoadShown(TestWindow());
  const Text longLine(60, '7');  // wider than the box: broken where it meets the edge
  struct Case {
    const char* name;
    Text text;
    int lines;
  } cases[] = {
      {"empty", "", 1},
      {"one line", "111", 1},
      {"two lines", "111\r\n222", 2},
      {"ending with a line end", "111\r\n222\r\n", 3},
      {"only a line end", "\r\n", 2},
  };
  for (const Case& c : cases) {
    window->SetText("编辑框黑名单", c.text);
    EXPECT_EQ(window->LineCount("编辑框黑名单"), c.lines) << c.name;
    EXPECT_EQ(window->GetText("编辑框黑名单"), c.text) << c.name;  // CR LF both ways
  }

  window->SetText("编辑框黑名单", "1\r\n" + longLine + "\r\n2");
  const int n = window->LineCount("编辑框黑名单");
  ASSERT_GE(n, 4);
  Text joined;
  for (int i = 1; i < n - 1; ++i) {
    const Text line = window->LineText("编辑框黑名单", i);
    EXPECT_FALSE(line.empty());
    EXPECT_LT(line.size(), longLine.size());
    joined += line;
  }
  EXPECT_EQ(joined, longLine);
  EXPECT_EQ(window->LineText("编辑框黑名单", 0), "1");
  EXPECT_EQ(window->LineText("编辑框黑名单", n - 1), "2");
  EXPECT_EQ(window->LineText("编辑框黑名单", n), "");

  window->SetText("编辑框黑名单", Gbk("甲乙\r\n丙"));
  EXPECT_EQ(window->LineText("编辑框黑名单", 0), Gbk("甲乙"));
}

TEST_F(QtWindowTest, AppendGoesToTheEndAndCannotBeUndone) {
  QtWindow* window = LoadShown(TestWindow());
  auto* box = Widget<QPlainTextEdit>(window, "编辑框黑名单");
  box->setFocus();
  QTest::keyClicks(box, "typed");
  QTextCursor start = box->textCursor();
  start.movePosition(QTextCursor::Start);
  box->setTextCursor(start);  // the caret away from the end

  window->AppendText("编辑框黑名单", Gbk("\r\n同意QQ：1\r\n"));
  EXPECT_EQ(window->GetText("编辑框黑名单"), Gbk("typed\r\n同意QQ：1\r\n"));
  EXPECT_EQ(box->textCursor().position(), box->document()->characterCount() - 1);

  box->undo();
  EXPECT_EQ(window->GetText("编辑框黑名单"), Gbk("typed\r\n同意QQ：1\r\n"));

  for (int i = 0; i < 40; ++i) window->AppendText("编辑框黑名单", "line\r\n");
  QCoreApplication::processEvents();
  EXPECT_GT(box->verticalScrollBar()->value(), 0);
  EXPECT_TRUE(box->viewport()->rect().contains(box->cursorRect()));  // the end is in view
}

TEST_F(QtWindowTest, EnterPressesNoButton) {
  WindowDef def = TestWindow();
  int clicks = 0;
  def.handlers[{"按钮1", Event::kClicked}] = [&](Window&) { ++clicks; };
  QtWindow* window = LoadShown(def);
  auto* button = Widget<QPushButton>(window, "按钮1");
  EXPECT_FALSE(button->autoDefault());
  EXPECT_FALSE(button->isDefault());

  for (const char* focus : {"编辑框频率", "按钮1"}) {
    window->Control(focus)->setFocus();
    QTest::keyClick(window->Control(focus), Qt::Key_Return);
    QTest::keyClick(window->Control(focus), Qt::Key_Enter);
  }
  EXPECT_EQ(clicks, 0);
  QTest::keyClick(button, Qt::Key_Space);  // the button itself works
  EXPECT_EQ(clicks, 1);
}

TEST_F(QtWindowTest, HyperlinkReactsToALeftPressOnly) {
  WindowDef def = TestWindow();
  int presses = 0;
  def.handlers[{"超级链接框1", Event::kPressed}] = [&](Window&) { ++presses; };
  QtWindow* window = LoadShown(def);
  QWidget* link = window->Control("超级链接框1");
  QTest::mousePress(link, Qt::RightButton);
  QTest::mouseRelease(link, Qt::RightButton);
  EXPECT_EQ(presses, 0);
  QTest::mousePress(link, Qt::LeftButton);  // the press itself, no release needed
  EXPECT_EQ(presses, 1);
  QTest::mouseRelease(link, Qt::LeftButton);
  EXPECT_EQ(presses, 1);
}

TEST_F(QtWindowTest, EscapeClosesAfterTheClosingHandler) {
  WindowDef def = TestWindow();
  std::vector<std::string> events;
  def.handlers[{"", Event::kClosing}] = [&](Window& w) {
    events.push_back("closing " + w.GetText("编辑框问题"));
  };
  QPointer<QtWindow> window = LoadShown(def);
  window->SetText("编辑框问题", "kept");
  QWidget* box = window->Control("编辑框黑名单");
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Escape);

  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  EXPECT_EQ(events, std::vector<std::string>{"closing kept"});
  EXPECT_TRUE(toolkit_.Windows().empty());
}

TEST_F(QtWindowTest, DestroyTakesEffectAfterTheHandlerReturns) {
  WindowDef def = TestWindow();
  std::vector<std::string> events;
  def.handlers[{"按钮1", Event::kClicked}] = [&](Window& w) {
    w.Destroy();
    w.SetText("编辑框问题", "still here");
    events.push_back("clicked " + w.GetText("编辑框问题"));
  };
  def.handlers[{"", Event::kClosing}] = [&](Window&) { events.push_back("closing"); };
  QPointer<QtWindow> window = LoadShown(def);
  QTest::mouseClick(window->Control("按钮1"), Qt::LeftButton);
  EXPECT_EQ(events, std::vector<std::string>{"clicked still here"});
  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  EXPECT_EQ(events, (std::vector<std::string>{"clicked still here", "closing"}));
}

TEST_F(QtWindowTest, TimerTicksOnlyWithAPositivePeriod) {
  WindowDef def = TestWindow();
  int ticks = 0;
  def.handlers[{"时钟1", Event::kTick}] = [&](Window&) { ++ticks; };
  QtWindow* window = LoadShown(def);

  window->SetTimerPeriod("时钟1", -100);
  EXPECT_EQ(window->TimerPeriod("时钟1"), 0);
  QTest::qWait(60);
  EXPECT_EQ(ticks, 0);

  window->SetTimerPeriod("时钟1", 10);
  EXPECT_EQ(window->TimerPeriod("时钟1"), 10);
  ASSERT_TRUE(WaitUntil([&] { return ticks >= 2; }));
  window->SetTimerPeriod("时钟1", 0);
  const int stoppedAt = ticks;
  QTest::qWait(60);
  EXPECT_EQ(ticks, stoppedAt);
}

TEST_F(QtWindowTest, ModalLoadReturnsOnceTheWindowIsDestroyed) {
  WindowDef dialog = TestWindow();
  dialog.handlers[{"按钮1", Event::kClicked}] = [](Window& w) { w.Destroy(); };
  std::vector<std::string> events;
  dialog.handlers[{"", Event::kClosing}] = [&](Window&) { events.push_back("closing"); };

  QTimer::singleShot(50, [&] {
    QtWindow* open = toolkit_.Find("TestWindow");
    ASSERT_NE(open, nullptr);
    events.push_back(open->isModal() ? "modal" : "not modal");
    open->SetText("编辑框频率", "5000");
    QTest::mouseClick(open->Control("按钮1"), Qt::LeftButton);
  });
  QTimer guard;  // a failure above must not leave the nested loop running
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    if (QtWindow* open = toolkit_.Find("TestWindow")) open->Destroy();
  });
  guard.start(5000);
  EXPECT_EQ(toolkit_.Load(dialog, true), nullptr);
  events.push_back("returned");
  EXPECT_EQ(events, (std::vector<std::string>{"modal", "closing", "returned"}));
  EXPECT_TRUE(toolkit_.Windows().empty());
}

TEST_F(QtWindowTest, RunEndsWhenTheLastWindowIsDestroyed) {
  WindowDef first = TestWindow(), second = TestWindow();
  second.id = "Second";
  QtWindow* a = LoadShown(first);
  QtWindow* b = LoadShown(second);
  QTimer::singleShot(20, [a] { a->Destroy(); });
  QTimer::singleShot(80, [&] {
    EXPECT_EQ(toolkit_.Windows().size(), 1u);  // the loop goes on while one is left
    b->Destroy();
  });
  QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(toolkit_.Run(), 0);
  EXPECT_TRUE(toolkit_.Windows().empty());
}

TEST_F(QtWindowTest, MessageHookRecordsInsteadOfShowing) {
  std::vector<Text> shown;
  toolkit_.SetMessageHook([&](const Text& text) { shown.push_back(text); });
  toolkit_.ShowMessage(Gbk("登陆成功！"));
  EXPECT_EQ(shown, std::vector<Text>{Gbk("登陆成功！")});
  EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
              QApplication::activeModalWidget() == nullptr);
}

}  // namespace
}  // namespace lumirack
