#include "monitor/monitor_window.h"

#include <mutex>

#include "app/session_state.h"
#include "monitor/control_table.h"
#include "monitor/frequency_dialog.h"
#include "monitor/list_normalise.h"
#include "monitor/monitor_controls.h"
#include "processing/poll.h"
#include "storage/profile.h"
#include "storage/run_log.h"
#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

constexpr std::string_view kBknCaption = "透明标签1";
constexpr std::string_view kHelpLink = "超级链接框1";
constexpr std::string_view kBlacklistCaption = "透明标签7";
constexpr std::string_view kWhitelistCaption = "透明标签8";
constexpr std::string_view kCountCaption = "透明标签4";
constexpr std::string_view kStartButton = "按钮1";
constexpr std::string_view kStopButton = "按钮2";
constexpr std::string_view kPollTimer = "时钟1";

std::recursive_mutex& PollLock() {
  SessionState& s = Session();
  if (!s.pollLock) s.pollLock = std::make_unique<std::recursive_mutex>();
  return *s.pollLock;
}

// "黑名单：" and the number of entries: the lines the box shows, less the empty last one.
Text ListCountCaption(Window& window, std::string_view caption, std::string_view box) {
  return Gbk(caption) + DecimalText(window.LineCount(box) - 1) + Gbk(texts::kEntries);
}

void Created(Window& window) {
  LoadProfile(window);
  PollLock();
  window.SetText(kBknCaption, Gbk(texts::kBknLabel) + Session().bkn);
}

void Start(Window& window) {
  Ui().Load(FrequencyDialogDefinition(), true);
  const int interval = Session().pollIntervalMs;
  if (interval == 0) return;
  NormaliseListBox(window, monitor::kWhitelistBox);
  NormaliseListBox(window, monitor::kBlacklistBox);
  window.SetText(kBlacklistCaption,
                 ListCountCaption(window, texts::kBlacklistLabel, monitor::kBlacklistBox));
  window.SetText(kWhitelistCaption,
                 ListCountCaption(window, texts::kWhitelistLabel, monitor::kWhitelistBox));
  Session().pollCount = 0;
  window.SetEnabled(kStartButton, false);
  window.SetEnabled(kStopButton, true);
  window.SetEnabled(monitor::kBlacklistBox, false);
  window.SetEnabled(monitor::kWhitelistBox, false);
  // A negative interval leaves the window polling with the timer stopped, until Stop.
  window.SetTimerPeriod(kPollTimer, interval);
}

void PollTick(Window& window) {
  std::lock_guard<std::recursive_mutex> lock(PollLock());
  PollOnce(window);
  ++Session().pollCount;
  window.SetText(kCountCaption, Gbk(texts::kCount) + DecimalText(Session().pollCount));
}

void Stop(Window& window) {
  window.SetEnabled(kStartButton, true);
  window.SetEnabled(kStopButton, false);
  window.SetEnabled(monitor::kBlacklistBox, true);
  window.SetEnabled(monitor::kWhitelistBox, true);
  window.SetText(kBlacklistCaption, Gbk(texts::kBlacklistLabel));
  window.SetText(kWhitelistCaption, Gbk(texts::kWhitelistLabel));
  window.SetTimerPeriod(kPollTimer, 0);
  Ui().ShowMessage(Gbk(texts::kStopped));
}

void Help(Window&) { Ui().ShowMessage(Gbk(texts::kHelp)); }

void Closing(Window& window) {
  SaveProfile(window);
  if (!window.GetText(monitor::kResultsBox).empty()) SaveRunLog(window);
}

ControlDef ListBox(std::string_view name, int x) {
  ControlDef c = ControlRow(ControlKind::kEdit, name, x, 32, 112, 344);
  c.multiLine = true;
  c.verticalScrollBar = true;
  return c;
}

}  // namespace

WindowDef MonitorWindowDefinition() {
  WindowDef def;
  def.id = "MonitorWindow";
  def.title = Text(texts::kMonitorTitle) + Text(texts::kPublisherAddress);
  def.width = 453;
  def.height = 409;

  using enum ControlKind;
  ControlDef group = ControlRow(kEdit, monitor::kGroupBox, 48, 40, 152, 24);
  group.integerOnly = true;
  ControlDef reason = ControlRow(kEdit, monitor::kReasonBox, 8, 160, 192, 40);
  reason.multiLine = true;
  ControlDef stop = ControlRow(kButton, kStopButton, 136, 208, 64, 32, texts::kStop);
  stop.enabled = false;
  ControlDef count = ControlRow(kLabel, kCountCaption, 80, 216, 48, 24);
  count.red = true;
  ControlDef results = ControlRow(kEdit, monitor::kResultsBox, 8, 248, 192, 128);
  results.multiLine = true;
  results.verticalScrollBar = true;

  def.controls = {
      ControlRow(kLabel, kBknCaption, 8, 8, 96, 24, texts::kBknLabel),
      ControlRow(kHyperlink, kHelpLink, 144, 8, 48, 24, texts::kHelpLink),
      ControlRow(kLabel, kBlacklistCaption, 208, 8, 96, 24, texts::kBlacklistLabel),
      ControlRow(kLabel, kWhitelistCaption, 328, 8, 96, 24, texts::kWhitelistLabel),
      ListBox(monitor::kBlacklistBox, 208),
      ListBox(monitor::kWhitelistBox, 328),
      ControlRow(kLabel, "透明标签2", 8, 40, 32, 24, texts::kGroupLabel),
      group,
      ControlRow(kLabel, "透明标签5", 8, 72, 32, 24, texts::kQuestionLabel),
      ControlRow(kEdit, monitor::kQuestionBox, 48, 72, 152, 24),
      ControlRow(kLabel, "透明标签6", 8, 104, 32, 24, texts::kAnswerLabel),
      ControlRow(kEdit, monitor::kAnswerBox, 48, 104, 152, 24),
      ControlRow(kTimer, kPollTimer, 0, 0, 0, 0),
      ControlRow(kLabel, "透明标签3", 8, 136, 56, 24, texts::kReasonLabel),
      reason,
      ControlRow(kButton, kStartButton, 8, 208, 64, 32, texts::kStart),
      stop,
      count,
      results,
  };

  def.handlers[{"", Event::kCreated}] = Created;
  def.handlers[{std::string(kStartButton), Event::kClicked}] = Start;
  def.handlers[{std::string(kPollTimer), Event::kTick}] = PollTick;
  def.handlers[{std::string(kStopButton), Event::kClicked}] = Stop;
  def.handlers[{std::string(kHelpLink), Event::kPressed}] = Help;
  def.handlers[{"", Event::kClosing}] = Closing;
  return def;
}

}  // namespace lumirack
