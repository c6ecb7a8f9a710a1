#pragma once

// The window toolkit as the handlers see it: a window is a definition (data) plus handlers, and a
// loaded window is reached only through the control operations below. Nothing here depends on Qt;
// the Qt backend and the headless backend both implement these interfaces.
//
// Control names are the UTF-8 names of the definitions ("编辑框群号", "按钮1", "时钟1").
// Every text that crosses this interface is GBK `Text` with CR LF line ends.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/text.h"

namespace lumirack {

enum class ControlKind {
  kLabel,      // transparent label
  kHyperlink,  // hyperlink label: reacts to a left mouse press
  kButton,     // push button, never a default button
  kEdit,       // single- or multi-line edit box
  kBrowser,    // embedded web browser
  kTimer,      // window timer, not shown
};

struct ControlDef {
  ControlKind kind = ControlKind::kLabel;
  std::string name;  // UTF-8
  int x = 0, y = 0;  // place inside the window, pixels
  int width = 0, height = 0;
  std::string content;  // caption, initial text, or the browser's start address; UTF-8
  bool enabled = true;
  bool multiLine = false;
  bool verticalScrollBar = false;
  bool integerOnly = false;  // typed characters other than 0-9 and "-" are dropped
  bool red = false;          // red text (labels)
};

class Window;
using Handler = std::function<void(Window&)>;

// Events a definition can bind: the window's own, and one per control.
enum class Event {
  kCreated,  // the window has been loaded; control "" only
  kClosing,  // the window is about to be destroyed; control "" only
  kClicked,  // a button
  kPressed,  // left mouse button pressed on a hyperlink label
  kTick,     // a timer
};

struct WindowDef {
  std::string id;             // "LoginWindow", "MonitorWindow", "FrequencyDialog"
  std::string title;          // UTF-8
  int width = 0, height = 0;  // outer size, pixels
  bool closeBox = true;
  bool minimizeBox = true;
  std::vector<ControlDef> controls;
  std::map<std::pair<std::string, Event>, Handler>
      handlers;  // key: control name ("" for the window)
};

// A loaded window. Unknown control names are ignored by writers and read as empty.
class Window {
 public:
  virtual ~Window() = default;

  virtual const std::string& Id() const = 0;

  virtual Text GetText(std::string_view control) const = 0;
  virtual void SetText(std::string_view control, const Text& text) = 0;
  virtual void SetEnabled(std::string_view control, bool enabled) = 0;
  virtual bool IsEnabled(std::string_view control) const = 0;

  // A period of 0 or below stops the timer; a running timer restarts with the new period.
  virtual void SetTimerPeriod(std::string_view timer, int periodMs) = 0;
  virtual int TimerPeriod(std::string_view timer) const = 0;

  // The lines an edit box shows: an empty box shows 1; a line broken at the box width counts as
  // two. LineText gives line `index` (0-based) as shown, without its line end.
  virtual int LineCount(std::string_view box) const = 0;
  virtual Text LineText(std::string_view box, int index) const = 0;

  // Puts the caret at the end, inserts the text there and scrolls it into view; not undoable.
  virtual void AppendText(std::string_view box, const Text& text) = 0;

  // The browser control: the current page's address, and what document.cookie of that page
  // gives (no HttpOnly cookies, only those matching the address). Both answer at once.
  virtual Text Location(std::string_view browser) const = 0;
  virtual Text Cookie(std::string_view browser) const = 0;

  // Destruction takes effect after the running handler returns; the closing handler runs first.
  virtual void Destroy() = 0;
};

// The window system: loading, message boxes, the loop.
class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // Creates the window afresh from its definition, centred, runs its created handler and shows it.
  // Not modal: returns the window at once. Modal: runs a nested loop until the window is
  // destroyed and returns nullptr.
  virtual Window* Load(const WindowDef& def, bool modal) = 0;

  // A task-modal box with the caption "提示" and one OK button; returns when it is dismissed.
  virtual void ShowMessage(const Text& text) = 0;

  // Runs the loop until the last window has been destroyed.
  virtual int Run() = 0;
};

// The toolkit the program runs on; set once at start-up (or by a test).
Toolkit& Ui();
void SetUi(Toolkit* toolkit);

}  // namespace lumirack
