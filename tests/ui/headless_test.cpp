#include "ui/headless.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/charset.h"

namespace lumirack {
namespace {

ControlDef Edit(const std::string& name, bool multiLine = false, bool integerOnly = false) {
  ControlDef c;
  c.kind = ControlKind::kEdit;
  c.name = name;
  c.multiLine = multiLine;
  c.integerOnly = integerOnly;
  return c;
}

ControlDef Of(ControlKind kind, const std::string& name, const std::string& content = {},
              bool enabled = true) {
  ControlDef c;
  c.kind = kind;
  c.name = name;
  c.content = content;
  c.enabled = enabled;
  return c;
}

// A small window with one control of each kind the tests need.
WindowDef Sample(const std::string& id = "Sample") {
  WindowDef def;
  def.id = id;
  def.controls = {Of(ControlKind::kLabel, "标签", "群号："),
                  Edit("单行"),
                  Edit("多行", true),
                  Edit("整数", false, true),
                  Of(ControlKind::kButton, "按钮1"),
                  Of(ControlKind::kButton, "按钮2", "", false),
                  Of(ControlKind::kHyperlink, "链接"),
                  Of(ControlKind::kTimer, "时钟1"),
                  Of(ControlKind::kBrowser, "浏览", "http://a/")};
  return def;
}

TEST(HeadlessToolkit, LoadCreatesControlsAfreshInGbkAndRunsCreated) {
  HeadlessToolkit ui;
  int created = 0;
  WindowDef def = Sample();
  def.handlers[{"", Event::kCreated}] = [&](Window& w) {
    ++created;
    EXPECT_EQ(w.GetText("标签"), Gbk("群号："));
  };
  Window* first = ui.Load(def, false);
  ASSERT_NE(first, nullptr);
  first->SetText("单行", "changed");
  first->SetEnabled("按钮1", false);
  Window* second = ui.Load(def, false);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(created, 2);
  EXPECT_EQ(second->GetText("单行"), "");
  EXPECT_TRUE(second->IsEnabled("按钮1"));
  EXPECT_FALSE(second->IsEnabled("按钮2"));
  EXPECT_EQ(second->Location("浏览"), "http://a/");
  EXPECT_EQ(ui.Find("Sample"), second);
  EXPECT_EQ(ui.WindowCount(), 2u);
}

TEST(HeadlessToolkit, TypingFiltersAsTheBoxDoesAndPastingDoesNot) {
  struct Case {
    const char* name;
    const char* box;
    bool paste;
    Text input;
    Text expected;
  };
  const Text fullWidthOne = "\xA3\xB1";  // a two-byte character whose bytes are no digits
  const Case cases[] = {
      {"integer box keeps digits and minus", "整数", false, "-12a3 b", "-123"},
      {"integer box drops full-width digits", "整数", false, fullWidthOne + "7", "7"},
      {"integer box takes a paste as it stands", "整数", true, "12abc", "12abc"},
      {"single line drops typed line breaks", "单行", false, "a\r\nb", "ab"},
      {"single line keeps the first pasted line", "单行", true, "a\r\nb", "a"},
      {"multi-line takes line breaks", "多行", false, "a\r\nb", "a\r\nb"},
  };
  for (const Case& c : cases) {
    HeadlessToolkit ui;
    auto* w = static_cast<HeadlessWindow*>(ui.Load(Sample(), false));
    w->SetText(c.box, "x");
    if (c.paste)
      ui.Paste(*w, c.box, c.input);
    else
      ui.Type(*w, c.box, c.input);
    EXPECT_EQ(w->GetText(c.box), "x" + c.expected) << c.name;
  }
}

TEST(HeadlessToolkit, DisabledBoxIgnoresTheKeyboard) {
  HeadlessToolkit ui;
  auto* w = static_cast<HeadlessWindow*>(ui.Load(Sample(), false));
  w->SetEnabled("多行", false);
  ui.Type(*w, "多行", "a");
  ui.Paste(*w, "多行", "b");
  EXPECT_EQ(w->GetText("多行"), "");
}

TEST(HeadlessToolkit, LinesSplitOnCrLfOnly) {
  struct Case {
    const char* name;
    Text text;
    std::vector<Text> lines;
  };
  const Case cases[] = {
      {"empty box shows one line", "", {""}},
      {"one line", "111", {"111"}},
      {"two lines", "111\r\n222", {"111", "222"}},
      {"trailing CR LF shows an empty last line", "111\r\n", {"111", ""}},
      {"lone LF and CR do not break", "1\n2\r3", {"1\n2\r3"}},
      {"empty lines", "\r\n\r\n", {"", "", ""}},
  };
  for (const Case& c : cases) {
    HeadlessToolkit ui;
    Window* w = ui.Load(Sample(), false);
    w->SetText("多行", c.text);
    ASSERT_EQ(w->LineCount("多行"), static_cast<int>(c.lines.size())) << c.name;
    for (std::size_t i = 0; i < c.lines.size(); ++i)
      EXPECT_EQ(w->LineText("多行", static_cast<int>(i)), c.lines[i]) << c.name << " line " << i;
    EXPECT_EQ(w->LineText("多行", static_cast<int>(c.lines.size())), "") << c.name;
  }
}

TEST(HeadlessToolkit, EventsReachOnlyEnabledButtonsAndRunningTimers) {
  HeadlessToolkit ui;
  std::vector<std::string> seen;
  WindowDef def = Sample();
  for (const char* name : {"按钮1", "按钮2"})
    def.handlers[{name, Event::kClicked}] = [&, name](Window&) { seen.push_back(name); };
  def.handlers[{"链接", Event::kPressed}] = [&](Window&) { seen.push_back("链接"); };
  def.handlers[{"时钟1", Event::kTick}] = [&](Window&) { seen.push_back("时钟1"); };
  auto* w = static_cast<HeadlessWindow*>(ui.Load(def, false));

  EXPECT_TRUE(ui.Click(*w, "按钮1"));
  EXPECT_FALSE(ui.Click(*w, "按钮2"));
  EXPECT_TRUE(ui.Press(*w, "链接"));
  EXPECT_FALSE(ui.Click(*w, "链接"));
  EXPECT_FALSE(ui.Fire(*w, "时钟1"));
  w->SetTimerPeriod("时钟1", 100);
  EXPECT_TRUE(ui.Fire(*w, "时钟1"));
  w->SetTimerPeriod("时钟1", -5);
  EXPECT_EQ(w->TimerPeriod("时钟1"), 0);
  EXPECT_FALSE(ui.Fire(*w, "时钟1"));
  EXPECT_EQ(seen, (std::vector<std::string>{"按钮1", "链接", "时钟1"}));
}

TEST(HeadlessToolkit, DestroyWaitsForTheAskingHandlerAndRunsClosingFirst) {
  HeadlessToolkit ui;
  std::vector<std::string> order;
  WindowDef other = Sample("Other");
  other.handlers[{"", Event::kCreated}] = [&](Window&) { order.push_back("other created"); };
  WindowDef def = Sample();
  def.handlers[{"", Event::kClosing}] = [&](Window&) { order.push_back("closing"); };
  def.handlers[{"按钮1", Event::kClicked}] = [&](Window& w) {
    w.Destroy();
    // Still alive while the handler runs, also across a nested load.
    ui.Load(other, false);
    w.SetText("单行", "still here");
    order.push_back(ui.Find("Sample") ? "alive" : "gone");
  };
  auto* w = static_cast<HeadlessWindow*>(ui.Load(def, false));
  ui.Click(*w, "按钮1");
  EXPECT_EQ(order, (std::vector<std::string>{"other created", "alive", "closing"}));
  EXPECT_EQ(ui.Find("Sample"), nullptr);
  EXPECT_NE(ui.Find("Other"), nullptr);
}

TEST(HeadlessToolkit, ModalLoadRunsTheQueuedActionThenClosesAsByEsc) {
  HeadlessToolkit ui;
  int closings = 0;
  WindowDef dialog = Sample("Dialog");
  dialog.handlers[{"", Event::kClosing}] = [&](Window&) { ++closings; };
  dialog.handlers[{"按钮1", Event::kClicked}] = [](Window& w) { w.Destroy(); };

  std::string seen;
  ui.OnNextModal([&](HeadlessWindow& w) {
    seen = w.Id();
    ui.Click(w, "按钮1");
  });
  EXPECT_EQ(ui.Load(dialog, true), nullptr);
  EXPECT_EQ(seen, "Dialog");
  EXPECT_EQ(closings, 1);

  ui.OnNextModal([](HeadlessWindow& w) { w.SetText("单行", "left open"); });
  EXPECT_EQ(ui.Load(dialog, true), nullptr);  // closed by Esc after the action
  EXPECT_EQ(ui.Load(dialog, true), nullptr);  // no action queued
  EXPECT_EQ(closings, 3);
  EXPECT_EQ(ui.WindowCount(), 0u);
}

TEST(HeadlessToolkit, RunEndsWithTheLastWindowAndClosesWhatActionsLeaveOpen) {
  HeadlessToolkit ui;
  std::vector<std::string> closed;
  WindowDef a = Sample("A");
  a.handlers[{"", Event::kClosing}] = [&](Window&) { closed.push_back("A"); };
  WindowDef b = Sample("B");
  b.handlers[{"", Event::kClosing}] = [&](Window&) { closed.push_back("B"); };
  ui.Load(a, false);
  ui.Load(b, false);
  ui.DuringRun([&] { ui.Escape(*ui.Find("A")); });
  EXPECT_EQ(ui.Run(), 0);
  EXPECT_EQ(closed, (std::vector<std::string>{"A", "B"}));
}

TEST(HeadlessToolkit, RecordsMessagesAndUnknownControlNames) {
  HeadlessToolkit ui;
  Text shownDuring;
  ui.OnMessage([&](const Text& t) { shownDuring = t; });
  ui.ShowMessage(Gbk("提示一"));
  ui.ShowMessage("two");
  EXPECT_EQ(ui.messages(), (std::vector<Text>{Gbk("提示一"), "two"}));
  EXPECT_EQ(shownDuring, "two");

  Window* w = ui.Load(Sample(), false);
  w->SetText("没有", "x");
  EXPECT_EQ(w->GetText("没有"), "");
  EXPECT_EQ(ui.unknownControls(), (std::set<std::string>{"没有"}));
}

}  // namespace
}  // namespace lumirack
