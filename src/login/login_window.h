#pragma once

// The first window: the web-login page in the browser control, watched ten times a second until
// the browser leaves the login address; then the session's cookies and bkn token are taken, the
// monitor window is opened and this window goes.

#include <functional>
#include <string>

#include "ui/window.h"

namespace lumirack {

// The definition, with the browser starting at the login address of the session's hosts as they
// are when this is called.
WindowDef LoginWindowDefinition();

// http://LOGINHOST/cgi-bin/xlogin?... with s_url the https root of SITEHOST, percent-encoded.
std::string LoginAddress(const std::string& loginHost, const std::string& siteHost);

// What the login watch does to open the monitor window once the session is stored and the
// success box dismissed. By default it loads the monitor window, not modal; an empty function
// restores that.
void SetMonitorLoader(std::function<void()> loader);

}  // namespace lumirack
