#include "ui/headless.h"

#include <algorithm>
#include <utility>

#include "support/charset.h"

namespace lumirack {
namespace {

const Text kCrLf = "\r\n";

bool IsTypedIntegerChar(char c) { return (c >= '0' && c <= '9') || c == '-'; }

// Keeps what an integer box accepts from the keyboard, a whole character at a time, so the
// second byte of a two-byte character never passes as a digit.
Text FilterInteger(const Text& text) {
  Text out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsLeadByte(text[i])) {
      ++i;
      continue;
    }
    if (IsTypedIntegerChar(text[i])) out += text[i];
  }
  return out;
}

Text WithoutLineBreaks(const Text& text) {
  Text out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

}  // namespace

// ---- HeadlessWindow ----

HeadlessWindow::HeadlessWindow(HeadlessToolkit& toolkit, const WindowDef& def)
    : toolkit_(toolkit), def_(def) {
  controls_.reserve(def.controls.size());
  for (const ControlDef& cd : def.controls) {
    Control c;
    c.def = cd;
    c.text = Gbk(cd.content);
    c.enabled = cd.enabled;
    controls_.push_back(std::move(c));
  }
}

const std::string& HeadlessWindow::Id() const { return def_.id; }

HeadlessWindow::Control* HeadlessWindow::Find(std::string_view name) {
  for (Control& c : controls_)
    if (c.def.name == name) return &c;
  toolkit_.NoteUnknown(name);
  return nullptr;
}

const HeadlessWindow::Control* HeadlessWindow::Find(std::string_view name) const {
  for (const Control& c : controls_)
    if (c.def.name == name) return &c;
  toolkit_.NoteUnknown(name);
  return nullptr;
}

bool HeadlessWindow::HasControl(std::string_view control) const {
  return std::any_of(controls_.begin(), controls_.end(),
                     [&](const Control& c) { return c.def.name == control; });
}

Text HeadlessWindow::GetText(std::string_view control) const {
  const Control* c = Find(control);
  return c ? c->text : Text{};
}

void HeadlessWindow::SetText(std::string_view control, const Text& text) {
  if (Control* c = Find(control)) c->text = text;
}

void HeadlessWindow::SetEnabled(std::string_view control, bool enabled) {
  if (Control* c = Find(control)) c->enabled = enabled;
}

bool HeadlessWindow::IsEnabled(std::string_view control) const {
  const Control* c = Find(control);
  return c && c->enabled;
}

void HeadlessWindow::SetTimerPeriod(std::string_view timer, int periodMs) {
  if (Control* c = Find(timer)) c->periodMs = std::max(periodMs, 0);
}

int HeadlessWindow::TimerPeriod(std::string_view timer) const {
  const Control* c = Find(timer);
  return c ? c->periodMs : 0;
}

int HeadlessWindow::LineCount(std::string_view box) const {
  const Control* c = Find(box);
  if (!c) return 1;
  int count = 1;
  for (std::size_t at = c->text.find(kCrLf); at != Text::npos; at = c->text.find(kCrLf, at + 2))
    ++count;
  return count;
}

Text HeadlessWindow::LineText(std::string_view box, int index) const {
  const Control* c = Find(box);
  if (!c || index < 0) return {};
  std::size_t begin = 0;
  for (int i = 0; i < index; ++i) {
    const std::size_t at = c->text.find(kCrLf, begin);
    if (at == Text::npos) return {};
    begin = at + 2;
  }
  const std::size_t end = c->text.find(kCrLf, begin);
  return c->text.substr(begin, end == Text::npos ? Text::npos : end - begin);
}

void HeadlessWindow::AppendText(std::string_view box, const Text& text) {
  if (Control* c = Find(box)) c->text += text;
}

Text HeadlessWindow::Location(std::string_view browser) const {
  const Control* c = Find(browser);
  return c ? c->text : Text{};
}

Text HeadlessWindow::Cookie(std::string_view browser) const {
  const Control* c = Find(browser);
  return c ? c->cookie : Text{};
}

void HeadlessWindow::Destroy() {
  if (destroying_ || destroyPending_) return;
  destroyPending_ = true;
  pendingDepth_ = toolkit_.depth_;
  toolkit_.SweepDestroyed();
}

// ---- HeadlessToolkit ----

HeadlessToolkit::HeadlessToolkit() = default;
HeadlessToolkit::~HeadlessToolkit() = default;

bool HeadlessToolkit::IsLive(const HeadlessWindow* window) const {
  return std::any_of(windows_.begin(), windows_.end(),
                     [&](const std::unique_ptr<HeadlessWindow>& w) { return w.get() == window; });
}

void HeadlessToolkit::Dispatch(HeadlessWindow& window, const std::string& control, Event event) {
  const auto it = window.def_.handlers.find({control, event});
  if (it == window.def_.handlers.end() || !it->second) return;
  const Handler handler = it->second;
  ++depth_;
  ++window.busy_;
  handler(window);
  --window.busy_;
  --depth_;
  SweepDestroyed();
}

// A window asked to go is destroyed once no handler of it runs and the handler that asked has
// returned; its closing handler runs first.
void HeadlessToolkit::SweepDestroyed() {
  for (;;) {
    HeadlessWindow* due = nullptr;
    for (const auto& w : windows_) {
      if (w->destroyPending_ && !w->destroying_ && w->busy_ == 0 &&
          (w->pendingDepth_ == 0 || depth_ < w->pendingDepth_)) {
        due = w.get();
        break;
      }
    }
    if (!due) return;
    due->destroying_ = true;
    Dispatch(*due, "", Event::kClosing);
    windows_.erase(
        std::find_if(windows_.begin(), windows_.end(),
                     [&](const std::unique_ptr<HeadlessWindow>& w) { return w.get() == due; }));
  }
}

Window* HeadlessToolkit::Load(const WindowDef& def, bool modal) {
  windows_.push_back(std::make_unique<HeadlessWindow>(*this, def));
  HeadlessWindow* window = windows_.back().get();
  Dispatch(*window, "", Event::kCreated);
  if (!modal) return IsLive(window) ? window : nullptr;

  if (IsLive(window) && !modalActions_.empty()) {
    const auto action = std::move(modalActions_.front());
    modalActions_.pop_front();
    action(*window);
  }
  if (IsLive(window)) Escape(*window);
  return nullptr;
}

void HeadlessToolkit::ShowMessage(const Text& text) {
  messages_.push_back(text);
  if (messageHook_) messageHook_(text);
}

int HeadlessToolkit::Run() {
  while (!windows_.empty()) {
    if (!runActions_.empty()) {
      const auto action = std::move(runActions_.front());
      runActions_.pop_front();
      action();
      continue;
    }
    const std::size_t before = windows_.size();
    Escape(*windows_.back());
    // A closing handler that keeps loading windows must not keep the loop alive forever.
    if (windows_.size() >= before) windows_.pop_back();
  }
  runActions_.clear();
  return 0;
}

void HeadlessToolkit::Type(HeadlessWindow& window, std::string_view box, const Text& text) {
  HeadlessWindow::Control* c = window.Find(box);
  if (!c || c->def.kind != ControlKind::kEdit || !c->enabled) return;
  Text typed = c->def.integerOnly ? FilterInteger(text) : text;
  if (!c->def.multiLine) typed = WithoutLineBreaks(typed);
  c->text += typed;
}

void HeadlessToolkit::Paste(HeadlessWindow& window, std::string_view box, const Text& text) {
  HeadlessWindow::Control* c = window.Find(box);
  if (!c || c->def.kind != ControlKind::kEdit || !c->enabled) return;
  c->text += c->def.multiLine ? text : text.substr(0, text.find_first_of("\r\n"));
}

void HeadlessToolkit::SetText(HeadlessWindow& window, std::string_view control, const Text& text) {
  window.SetText(control, text);
}

bool HeadlessToolkit::Click(HeadlessWindow& window, std::string_view button) {
  const HeadlessWindow::Control* c = window.Find(button);
  if (!c || c->def.kind != ControlKind::kButton || !c->enabled) return false;
  Dispatch(window, c->def.name, Event::kClicked);
  return true;
}

bool HeadlessToolkit::Press(HeadlessWindow& window, std::string_view hyperlink) {
  const HeadlessWindow::Control* c = window.Find(hyperlink);
  if (!c || c->def.kind != ControlKind::kHyperlink || !c->enabled) return false;
  Dispatch(window, c->def.name, Event::kPressed);
  return true;
}

bool HeadlessToolkit::Fire(HeadlessWindow& window, std::string_view timer) {
  const HeadlessWindow::Control* c = window.Find(timer);
  if (!c || c->def.kind != ControlKind::kTimer || c->periodMs <= 0) return false;
  Dispatch(window, c->def.name, Event::kTick);
  return true;
}

void HeadlessToolkit::Escape(HeadlessWindow& window) {
  if (window.destroying_) return;
  window.destroyPending_ = true;
  window.pendingDepth_ = 0;
  SweepDestroyed();
}

void HeadlessToolkit::SetLocation(HeadlessWindow& window, std::string_view browser,
                                  const Text& address) {
  HeadlessWindow::Control* c = window.Find(browser);
  if (c && c->def.kind == ControlKind::kBrowser) c->text = address;
}

void HeadlessToolkit::SetCookie(HeadlessWindow& window, std::string_view browser,
                                const Text& cookie) {
  HeadlessWindow::Control* c = window.Find(browser);
  if (c && c->def.kind == ControlKind::kBrowser) c->cookie = cookie;
}

HeadlessWindow* HeadlessToolkit::Find(std::string_view id) const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
    if ((*it)->Id() == id) return it->get();
  return nullptr;
}

void HeadlessToolkit::OnNextModal(std::function<void(HeadlessWindow&)> action) {
  modalActions_.push_back(std::move(action));
}

void HeadlessToolkit::DuringRun(std::function<void()> action) {
  runActions_.push_back(std::move(action));
}

}  // namespace lumirack
