#include "app/options.h"

#include <string_view>

namespace lumirack {
namespace {

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

// The host goes into the login address and every request line as it stands, so nothing that
// would change the address's meaning ("/", "@", "?", "#", spaces, ...) may pass.
bool IsHostPort(std::string_view value) {
  const std::size_t colon = value.find(':');
  const std::string_view host = value.substr(0, colon);
  if (host.empty()) return false;
  for (char c : host)
    if (!IsHostChar(c)) return false;
  if (colon == std::string_view::npos) return true;
  const std::string_view port = value.substr(colon + 1);
  if (port.empty() || port.size() > 5) return false;
  long number = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  return number >= 1 && number <= 65535;
}

}  // namespace

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (const std::size_t eq = arg.find('=');
        arg.starts_with("--") && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (name == "--demo" || name == "--help") {
      if (value) {
        error = std::string(name) + " takes no value";
        return std::nullopt;
      }
      (name == "--demo" ? options.demo : options.help) = true;
      continue;
    }
    if (name != "--login-host" && name != "--service-host") {
      error = "unknown option: " + std::string(arg);
      return std::nullopt;
    }
    if (!value) {
      if (i + 1 >= argc) {
        error = std::string(name) + " needs HOST[:PORT]";
        return std::nullopt;
      }
      value = argv[++i];
    }
    if (!IsHostPort(*value)) {
      error = std::string(name) + ": not a HOST[:PORT]: " + std::string(*value);
      return std::nullopt;
    }
    (name == "--login-host" ? options.loginHost : options.serviceHost) = std::string(*value);
  }
  return options;
}

std::string UsageText() {
  return "Usage: lumirack [OPTION]...\n"
         "Answers the pending join requests of QQ groups by itself.\n"
         "\n"
         "  --login-host HOST[:PORT]    the web-login page (default xui.ptlogin2.qq.com)\n"
         "  --service-host HOST[:PORT]  the group site and message service (default qun.qq.com)\n"
         "  --demo                      run against a local stand-in service that keeps\n"
         "                              offering new join requests\n"
         "  --help                      show this text and exit\n";
}

}  // namespace lumirack
