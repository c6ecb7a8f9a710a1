#include "ui/qt/browser.h"

#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "ui/qt/text_bridge.h"

namespace lumirack {
namespace {

// Silent: the page's alert, confirm and prompt boxes are answered as if dismissed.
class SilentPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  void javaScriptAlert(const QUrl&, const QString&) override {}
  bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
  bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
    return false;
  }
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                const QString&) override {}
  QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override {
    return {};
  }
};

}  // namespace

Browser::Browser(QWidget* parent) : QWidget(parent) {}

void Browser::Start() {
  if (view_) return;
  // A profile without a storage name is off the record: cookies and cache stay in memory.
  profile_ = new QWebEngineProfile();
  profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  profile_->setSpellCheckEnabled(false);

  QWebEngineCookieStore* store = profile_->cookieStore();
  connect(store, &QWebEngineCookieStore::cookieAdded, this,
          [this](const QNetworkCookie& cookie) { cookies_.Add(cookie); });
  connect(store, &QWebEngineCookieStore::cookieRemoved, this, [this](const QNetworkCookie& cookie) {
    cookies_.Remove(cookie);
    // An overwrite is reported as a removal and an addition in one go; once the loop turns,
    // the removal was a real one.
    QTimer::singleShot(0, this, [this] { cookies_.ForgetRemoved(); });
  });

  page_ = new SilentPage(profile_);
  page_->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  connect(page_, &QWebEnginePage::loadFinished, this, &Browser::loadFinished);
  view_ = new QWebEngineView(this);
  view_->setPage(page_);
  view_->setGeometry(rect());
  setFocusProxy(view_);
  view_->show();
  if (!address_.isEmpty()) page_->setUrl(QUrl(address_));
}

void Browser::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Should no paint come (a hidden parent), the engine starts all the same.
  QTimer::singleShot(50, this, &Browser::Start);
}

void Browser::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (!view_) QTimer::singleShot(0, this, &Browser::Start);
}

void Browser::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (view_) view_->setGeometry(rect());
}

Browser::~Browser() {
  delete view_;
  delete page_;
  delete profile_;
}

void Browser::Open(const QString& address) {
  address_ = address;
  if (page_) page_->setUrl(QUrl(address));
}

Text Browser::Location() const {
  return FromQString(page_ ? page_->url().toString() : QUrl(address_).toString());
}

Text Browser::Cookie() const {
  if (!page_) return {};
  return FromQString(cookies_.DocumentCookie(page_->url(), QDateTime::currentDateTimeUtc()));
}

}  // namespace lumirack
