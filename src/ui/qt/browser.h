#pragma once

// The embedded browser control: a web view on a profile of its own that keeps nothing on disk,
// shows none of the page's dialogs, and answers its address and document cookie at once.

#include <QPointer>
#include <QWebEngineView>

#include "support/text.h"
#include "ui/qt/cookie_view.h"

class QWebEngineProfile;

namespace lumirack {

class Browser : public QWebEngineView {
  Q_OBJECT

 public:
  explicit Browser(QWidget* parent = nullptr);
  // The page goes before its profile, and the renderer process with them.
  ~Browser() override;

  void Open(const QString& address);

  Text Location() const;  // the page's address, GBK
  Text Cookie() const;    // what document.cookie of the current page gives, GBK

 private:
  QWebEngineProfile* profile_ = nullptr;
  QWebEnginePage* page_ = nullptr;
  CookieView cookies_;
};

}  // namespace lumirack
