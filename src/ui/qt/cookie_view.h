#pragma once

// What document.cookie of a page gives, computed from the cookies a profile's store reported.
// The store only tells of additions and removals, so the view keeps its own copy and answers at
// once, without asking the page.

#include <QDateTime>
#include <QNetworkCookie>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <vector>

namespace lumirack {

class CookieView {
 public:
  // A cookie with the same name, domain and path replaces the old one and keeps its place in
  // the creation order, as a browser keeps the creation time of an overwritten cookie.
  void Add(const QNetworkCookie& cookie);
  void Remove(const QNetworkCookie& cookie);
  // Forgets the places of removed cookies: a later Add of the same key counts as a new cookie.
  void ForgetRemoved();
  void Clear();

  // The cookies a script on `page` sees: not HttpOnly, domain and path matching, not expired at
  // `now`, secure ones only on https; longer paths first, then older ones; joined by "; ".
  QString DocumentCookie(const QUrl& page, const QDateTime& now) const;

 private:
  struct Entry {
    QNetworkCookie cookie;
    std::uint64_t order = 0;
  };
  static bool SameKey(const QNetworkCookie& a, const QNetworkCookie& b);

  std::vector<Entry> cookies_;
  std::vector<Entry> removed_;  // overwrites arrive as a removal followed by an addition
  std::uint64_t nextOrder_ = 0;
};

}  // namespace lumirack
