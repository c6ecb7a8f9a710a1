#pragma once

// The embedded browser control: a web view on a profile of its own that keeps nothing on disk,
// shows none of the page's dialogs, and answers its address and document cookie at once.
//
// The engine is started only once the control has been painted, so its window shows at once and
// the page follows; until then the address is the one asked for and there are no cookies.

#include <QString>
#include <QWidget>

#include "support/text.h"
#include "ui/qt/cookie_view.h"

class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

namespace lumirack {

class Browser : public QWidget {
  Q_OBJECT

 public:
  explicit Browser(QWidget* parent = nullptr);
  // The page goes before its profile, and the renderer process with them.
  ~Browser() override;

  void Open(const QString& address);

  Text Location() const;  // the page's address, GBK
  Text Cookie() const;    // what document.cookie of the current page gives, GBK

  // nullptr until the engine has started.
  QWebEnginePage* page() const { return page_; }

 signals:
  void loadFinished(bool ok);

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Start();

  QString address_;
  QWebEngineProfile* profile_ = nullptr;
  QWebEnginePage* page_ = nullptr;
  QWebEngineView* view_ = nullptr;
  CookieView cookies_;
};

}  // namespace lumirack
