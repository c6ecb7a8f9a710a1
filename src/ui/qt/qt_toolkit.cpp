#include "ui/qt/qt_toolkit.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "support/texts.h"
#include "ui/qt/qt_window.h"
#include "ui/qt/text_bridge.h"

namespace lumirack {

void PrepareQtEnvironment(bool withBrowser) {
  if (!withBrowser) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, false);
    return;
  }
  if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
    std::string flags =
        "--disable-background-networking --disable-component-update --no-first-run "
        "--disable-sync --disable-breakpad --disable-domain-reliability";
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") flags += " --disable-gpu";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", QByteArray::fromStdString(flags));
  }
  // The engine reports its GL set-up at every start; that is no news to the user.
  if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES")) {
    qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false");
  }
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

QtToolkit::QtToolkit() { QGuiApplication::setQuitOnLastWindowClosed(false); }

QtToolkit::~QtToolkit() {
  // Windows still up when the toolkit goes (a test ending early) go with it, without handlers.
  std::vector<QtWindow*> left = windows_;
  windows_.clear();
  for (QtWindow* window : left) delete window;
}

Window* QtToolkit::Load(const WindowDef& def, bool modal) {
  auto* window = new QtWindow(def, *this);
  windows_.push_back(window);
  if (modal) window->setWindowModality(Qt::ApplicationModal);
  QPointer<QtWindow> alive(window);
  window->RunHandler("", Event::kCreated);
  if (!alive) return nullptr;
  window->show();
  if (!modal) return window;

  QEventLoop loop;
  QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
  if (alive) loop.exec();
  return nullptr;
}

void QtToolkit::ShowMessage(const Text& text) {
  if (messageHook_) {
    messageHook_(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(texts::kNotice), ToBoxText(text),
                  QMessageBox::Ok);
  box.button(QMessageBox::Ok)
      ->setText(QString::fromUtf8(texts::kOk));  // as a Chinese system shows it
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

int QtToolkit::Run() {
  if (windows_.empty()) return 0;
  running_ = true;
  const int rc = QApplication::exec();
  running_ = false;
  return rc;
}

void QtToolkit::SetMessageHook(std::function<void(const Text&)> hook) {
  messageHook_ = std::move(hook);
}

QtWindow* QtToolkit::Find(std::string_view id) const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if ((*it)->Id() == id) return *it;
  }
  return nullptr;
}

void QtToolkit::WindowGone(QtWindow* window) {
  auto it = std::find(windows_.begin(), windows_.end(), window);
  if (it == windows_.end()) return;
  windows_.erase(it);
  if (windows_.empty() && running_) QCoreApplication::exit(0);
}

}  // namespace lumirack
