#include "ui/qt/cookie_view.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumirack {
namespace {

QNetworkCookie MakeCookie(const char* name, const char* value, const char* domain,
                          const char* path = "/") {
  QNetworkCookie c(name, value);
  c.setDomain(QString::fromLatin1(domain));
  c.setPath(QString::fromLatin1(path));
  return c;
}

const QDateTime kNow = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);

TEST(CookieView, GivesWhatAScriptOnThePageSees) {
  QNetworkCookie httpOnly = MakeCookie("pt", "secret", ".qq.com");
  httpOnly.setHttpOnly(true);
  QNetworkCookie secure = MakeCookie("sec", "1", ".qq.com");
  secure.setSecure(true);
  QNetworkCookie expired = MakeCookie("old", "1", ".qq.com");
  expired.setExpirationDate(kNow.addSecs(-1));
  QNetworkCookie lasting = MakeCookie("keep", "1", ".qq.com");
  lasting.setExpirationDate(kNow.addDays(1));

  CookieView view;
  for (const QNetworkCookie& c : {
           MakeCookie("uin", "o10001", ".qq.com"), httpOnly, MakeCookie("skey", "@abc", ".qq.com"),
           secure, expired, lasting, MakeCookie("host", "1", "qun.qq.com"),  // host-only
           MakeCookie("other", "1", "ptlogin2.qq.com"),                      // another host
           MakeCookie("sibling", "1", ".qun2.qq.com"),
           MakeCookie("deep", "1", ".qq.com", "/cgi-bin"),
           MakeCookie("prefix", "1", ".qq.com", "/cgi"),  // "/cgi" is no prefix of "/cgi-bin"
       }) {
    view.Add(c);
  }

  struct Case {
    const char* name;
    const char* url;
    const char* expected;
  } cases[] = {
      {"root of the host", "http://qun.qq.com/", "uin=o10001; skey=@abc; keep=1; host=1"},
      {"longer path first", "http://qun.qq.com/cgi-bin/x",
       "deep=1; uin=o10001; skey=@abc; keep=1; host=1"},
      {"secure on https", "https://qun.qq.com/", "uin=o10001; skey=@abc; sec=1; keep=1; host=1"},
      {"the bare domain", "http://qq.com/", "uin=o10001; skey=@abc; keep=1"},
      {"upper-case host", "http://QUN.qq.com/", "uin=o10001; skey=@abc; keep=1; host=1"},
      {"another site", "http://example.com/", ""},
      {"not a web page", "about:blank", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(view.DocumentCookie(QUrl(c.url), kNow).toStdString(), c.expected) << c.name;
  }
}

TEST(CookieView, OverwriteKeepsThePlaceAndRemovalForgetsIt) {
  CookieView view;
  view.Add(MakeCookie("a", "1", "127.0.0.1"));
  view.Add(MakeCookie("b", "1", "127.0.0.1"));
  const QUrl page("http://127.0.0.1:8080/");

  view.Add(MakeCookie("a", "2", "127.0.0.1"));  // overwritten in place
  EXPECT_EQ(view.DocumentCookie(page, kNow).toStdString(), "a=2; b=1");

  view.Remove(MakeCookie("a", "2", "127.0.0.1"));  // how the store reports an overwrite
  view.Add(MakeCookie("a", "3", "127.0.0.1"));
  EXPECT_EQ(view.DocumentCookie(page, kNow).toStdString(), "a=3; b=1");

  view.Remove(MakeCookie("a", "", "127.0.0.1"));
  EXPECT_EQ(view.DocumentCookie(page, kNow).toStdString(), "b=1");
  view.ForgetRemoved();
  view.Add(MakeCookie("a", "4", "127.0.0.1"));  // a new cookie: last
  EXPECT_EQ(view.DocumentCookie(page, kNow).toStdString(), "b=1; a=4");
}

}  // namespace
}  // namespace lumirack
