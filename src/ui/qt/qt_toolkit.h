#pragma once

// The Qt backend of the window toolkit. A QApplication must exist before a QtToolkit is made.

#include <functional>
#include <string_view>
#include <vector>

#include "ui/window.h"

namespace lumirack {

class QtWindow;

// Sets what Qt and its browser engine read at start, unless already set: Chromium flags that
// keep it off the outside network, no GPU offscreen, shared GL contexts. Without the browser,
// no GL context is shared: a process that never shows a page need not load a GL driver.
// Call before the QApplication is constructed.
void PrepareQtEnvironment(bool withBrowser = true);

class QtToolkit : public Toolkit {
 public:
  QtToolkit();
  ~QtToolkit() override;

  Window* Load(const WindowDef& def, bool modal) override;
  void ShowMessage(const Text& text) override;
  int Run() override;

  // With a hook set, message boxes go to it and are never shown, so a test is never blocked.
  void SetMessageHook(std::function<void(const Text&)> hook);

  // The windows alive now, oldest first; the last loaded with this id, or nullptr.
  const std::vector<QtWindow*>& Windows() const { return windows_; }
  QtWindow* Find(std::string_view id) const;

 private:
  friend class QtWindow;
  void WindowGone(QtWindow* window);

  std::vector<QtWindow*> windows_;
  std::function<void(const Text&)> messageHook_;
  bool running_ = false;
};

}  // namespace lumirack
