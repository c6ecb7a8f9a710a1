#pragma once

// The window toolkit in memory, for tests: the same definitions and handlers as on screen, driven
// by control name. Nothing is drawn and nothing waits: message boxes are recorded and dismissed
// at once, a modal window runs the action queued for it and is then closed as by Esc, and Run()
// runs the actions queued for the loop.
//
// Edit boxes do not wrap: lines are split on CR LF only, so LineCount is the number of CR LF
// pairs plus one, whatever the box width.

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ui/window.h"

namespace lumirack {

class HeadlessToolkit;

class HeadlessWindow : public Window {
 public:
  HeadlessWindow(HeadlessToolkit& toolkit, const WindowDef& def);

  const std::string& Id() const override;

  Text GetText(std::string_view control) const override;
  void SetText(std::string_view control, const Text& text) override;
  void SetEnabled(std::string_view control, bool enabled) override;
  bool IsEnabled(std::string_view control) const override;

  void SetTimerPeriod(std::string_view timer, int periodMs) override;
  int TimerPeriod(std::string_view timer) const override;

  int LineCount(std::string_view box) const override;
  Text LineText(std::string_view box, int index) const override;

  void AppendText(std::string_view box, const Text& text) override;

  Text Location(std::string_view browser) const override;
  Text Cookie(std::string_view browser) const override;

  void Destroy() override;

  const WindowDef& Definition() const { return def_; }
  bool HasControl(std::string_view control) const;

 private:
  friend class HeadlessToolkit;

  struct Control {
    ControlDef def;
    Text text;  // GBK; for the browser, its current address
    Text cookie;
    bool enabled = true;
    int periodMs = 0;
  };

  Control* Find(std::string_view name);
  const Control* Find(std::string_view name) const;

  HeadlessToolkit& toolkit_;
  WindowDef def_;
  std::vector<Control> controls_;
  int busy_ = 0;  // handlers of this window now running
  bool destroyPending_ = false;
  int pendingDepth_ = 0;  // handler depth at which Destroy was asked; 0: at once
  bool destroying_ = false;
};

class HeadlessToolkit : public Toolkit {
 public:
  HeadlessToolkit();
  ~HeadlessToolkit() override;
  HeadlessToolkit(const HeadlessToolkit&) = delete;
  HeadlessToolkit& operator=(const HeadlessToolkit&) = delete;

  Window* Load(const WindowDef& def, bool modal) override;
  void ShowMessage(const Text& text) override;
  // Runs the queued loop actions in order until the last window has been destroyed. When the
  // actions run out first, the windows left are closed as by Esc, newest first, so Run() always
  // returns. Returns 0.
  int Run() override;

  // What the user does, by control name (UTF-8). Each runs the handler it triggers and then lets
  // the destructions that handler asked for take effect, so `window` may be gone afterwards.

  // As typed at the end of the box: an integer box drops characters other than 0-9 and "-", a
  // single-line box drops CR and LF. Nothing happens to a disabled box.
  void Type(HeadlessWindow& window, std::string_view box, const Text& text);
  // As pasted at the end of the box: not filtered; a single-line box keeps the first line only.
  void Paste(HeadlessWindow& window, std::string_view box, const Text& text);
  void SetText(HeadlessWindow& window, std::string_view control, const Text& text);
  // Runs the clicked handler when the button is enabled; returns whether it ran.
  bool Click(HeadlessWindow& window, std::string_view button);
  bool Press(HeadlessWindow& window, std::string_view hyperlink);
  // Runs the tick handler when the timer runs (period above 0); returns whether it ran.
  bool Fire(HeadlessWindow& window, std::string_view timer);
  // Closes the window as its close box does: the closing handler runs, then it is destroyed.
  void Escape(HeadlessWindow& window);
  void SetLocation(HeadlessWindow& window, std::string_view browser, const Text& address);
  void SetCookie(HeadlessWindow& window, std::string_view browser, const Text& cookie);

  // The live window with this id (the newest when several), or nullptr.
  HeadlessWindow* Find(std::string_view id) const;
  std::size_t WindowCount() const { return windows_.size(); }

  // Every message-box text shown, in GBK, in order.
  const std::vector<Text>& messages() const { return messages_; }
  void ClearMessages() { messages_.clear(); }
  // Runs while a message box is shown, before it is dismissed.
  void OnMessage(std::function<void(const Text&)> hook) { messageHook_ = std::move(hook); }

  // The next modal window loaded runs this action; a window it leaves open is then closed as
  // by Esc. A modal window with no action queued is closed as by Esc at once.
  void OnNextModal(std::function<void(HeadlessWindow&)> action);
  // An action for Run() to take, in the order queued.
  void DuringRun(std::function<void()> action);

  // Control names that a handler or a test asked for and the window lacks: a misspelt name is
  // otherwise silently ignored.
  const std::set<std::string>& unknownControls() const { return unknownControls_; }

 private:
  friend class HeadlessWindow;

  void Dispatch(HeadlessWindow& window, const std::string& control, Event event);
  void SweepDestroyed();
  bool IsLive(const HeadlessWindow* window) const;
  void NoteUnknown(std::string_view control) { unknownControls_.emplace(control); }

  std::vector<std::unique_ptr<HeadlessWindow>> windows_;
  std::vector<Text> messages_;
  std::function<void(const Text&)> messageHook_;
  std::deque<std::function<void(HeadlessWindow&)>> modalActions_;
  std::deque<std::function<void()>> runActions_;
  std::set<std::string> unknownControls_;
  int depth_ = 0;  // handlers now running, nested
};

}  // namespace lumirack
