#pragma once

// The command line: the two outside hosts, the demo, and help.

#include <optional>
#include <string>

namespace lumirack {

struct Options {
  std::string loginHost = "xui.ptlogin2.qq.com";  // HOST[:PORT] of the web-login page
  std::string serviceHost = "qun.qq.com";         // HOST[:PORT] of the group site and service
  bool demo = false;
  bool help = false;
  // Modes the program starts itself in (not offered in --help) go below.
};

// Accepts --login-host HOST[:PORT], --service-host HOST[:PORT] (also as --name=VALUE), --demo
// and --help; a later repeat wins. Anything else, a missing value, or a host that is not a plain
// name or address with an optional port 1-65535 gives nullopt and the reason in `error`.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);

// What --help prints, ending with a line end.
std::string UsageText();

}  // namespace lumirack
