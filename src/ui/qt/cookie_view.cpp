#include "ui/qt/cookie_view.h"

#include <algorithm>

namespace lumirack {
namespace {

bool DomainMatches(const QString& host, QString domain) {
  if (domain.isEmpty()) return false;
  if (!domain.startsWith(u'.')) return host.compare(domain, Qt::CaseInsensitive) == 0;
  domain.remove(0, 1);
  if (host.compare(domain, Qt::CaseInsensitive) == 0) return true;
  return host.endsWith(u'.' + domain, Qt::CaseInsensitive);
}

QString EffectivePath(const QNetworkCookie& cookie) {
  return cookie.path().isEmpty() ? QStringLiteral("/") : cookie.path();
}

bool PathMatches(const QString& requestPath, const QString& path) {
  if (requestPath == path) return true;
  if (!requestPath.startsWith(path)) return false;
  return path.endsWith(u'/') || requestPath.at(path.size()) == u'/';
}

}  // namespace

bool CookieView::SameKey(const QNetworkCookie& a, const QNetworkCookie& b) {
  return a.name() == b.name() && a.domain().compare(b.domain(), Qt::CaseInsensitive) == 0 &&
         a.path() == b.path();
}

void CookieView::Add(const QNetworkCookie& cookie) {
  for (Entry& entry : cookies_) {
    if (SameKey(entry.cookie, cookie)) {
      entry.cookie = cookie;
      return;
    }
  }
  std::uint64_t order = nextOrder_++;
  auto removed = std::find_if(removed_.begin(), removed_.end(),
                              [&](const Entry& e) { return SameKey(e.cookie, cookie); });
  if (removed != removed_.end()) {
    order = removed->order;
    removed_.erase(removed);
  }
  cookies_.push_back({cookie, order});
}

void CookieView::Remove(const QNetworkCookie& cookie) {
  auto it = std::find_if(cookies_.begin(), cookies_.end(),
                         [&](const Entry& e) { return SameKey(e.cookie, cookie); });
  if (it == cookies_.end()) return;
  removed_.push_back(*it);
  cookies_.erase(it);
}

void CookieView::ForgetRemoved() { removed_.clear(); }

void CookieView::Clear() {
  cookies_.clear();
  removed_.clear();
}

QString CookieView::DocumentCookie(const QUrl& page, const QDateTime& now) const {
  const QString scheme = page.scheme().toLower();
  if (scheme != u"http" && scheme != u"https") return {};
  const QString host = page.host();
  QString path = page.path();
  if (path.isEmpty()) path = QStringLiteral("/");

  std::vector<const Entry*> seen;
  for (const Entry& entry : cookies_) {
    const QNetworkCookie& c = entry.cookie;
    if (c.isHttpOnly()) continue;
    if (c.isSecure() && scheme != u"https") continue;
    if (!c.isSessionCookie() && c.expirationDate() <= now) continue;
    if (!DomainMatches(host, c.domain()) || !PathMatches(path, EffectivePath(c))) continue;
    seen.push_back(&entry);
  }
  std::stable_sort(seen.begin(), seen.end(), [](const Entry* a, const Entry* b) {
    const qsizetype pa = EffectivePath(a->cookie).size(), pb = EffectivePath(b->cookie).size();
    if (pa != pb) return pa > pb;
    return a->order < b->order;
  });

  QString result;
  for (const Entry* entry : seen) {
    if (!result.isEmpty()) result += u"; ";
    const QByteArray& name = entry->cookie.name();
    // A cookie without a name shows as its bare value.
    if (!name.isEmpty()) result += QString::fromUtf8(name) + u'=';
    result += QString::fromUtf8(entry->cookie.value());
  }
  return result;
}

}  // namespace lumirack
