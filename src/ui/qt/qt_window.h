#pragma once

// A window of the Qt backend: a fixed-size top-level widget built afresh from its definition, the
// controls reached by their names through the Window operations.

#include <QWidget>
#include <map>
#include <string>
#include <string_view>

#include "ui/window.h"

class QTimer;

namespace lumirack {

class QtToolkit;

class QtWindow : public QWidget, public Window {
  Q_OBJECT

 public:
  QtWindow(const WindowDef& def, QtToolkit& toolkit);
  ~QtWindow() override;

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

  void RunHandler(const std::string& control, Event event);

  // The widget behind a control, for tests; nullptr for unknown names and timers.
  QWidget* Control(std::string_view name) const;
  QTimer* Timer(std::string_view name) const;
  // The size the window is to have with its frame.
  QSize OuterSize() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  struct TimerSlot {
    QTimer* timer = nullptr;
    int periodMs = 0;
    bool busy = false;
  };

  void CreateControl(const ControlDef& control);
  void Tick(const std::string& name);
  void Finish();
  void FitFrame();

  WindowDef def_;
  QtToolkit& toolkit_;
  std::map<std::string, QWidget*, std::less<>> controls_;
  std::map<std::string, TimerSlot, std::less<>> timers_;
  bool closing_ = false;
  bool centred_ = false;
  bool shownOnce_ = false;
};

}  // namespace lumirack
