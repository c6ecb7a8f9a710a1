#include "app/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumirack {
namespace {

std::optional<Options> Parse(std::vector<std::string> args, std::string& error) {
  args.insert(args.begin(), "lumirack");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return ParseOptions(static_cast<int>(args.size()), argv.data(), error);
}

TEST(ParseOptions, AcceptsTheFourOptions) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string loginHost, serviceHost;
    bool demo, help;
  };
  const Case cases[] = {
      {"defaults", {}, "xui.ptlogin2.qq.com", "qun.qq.com", false, false},
      {"hosts as separate values",
       {"--login-host", "127.0.0.1:8080", "--service-host", "localhost"},
       "127.0.0.1:8080",
       "localhost",
       false,
       false},
      {"hosts with =",
       {"--service-host=127.0.0.1:65535"},
       "xui.ptlogin2.qq.com",
       "127.0.0.1:65535",
       false,
       false},
      {"later repeat wins",
       {"--login-host", "a", "--login-host", "b"},
       "b",
       "qun.qq.com",
       false,
       false},
      {"flags", {"--demo", "--help"}, "xui.ptlogin2.qq.com", "qun.qq.com", true, true},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<Options> o = Parse(c.args, error);
    ASSERT_TRUE(o) << c.name << ": " << error;
    EXPECT_EQ(o->loginHost, c.loginHost) << c.name;
    EXPECT_EQ(o->serviceHost, c.serviceHost) << c.name;
    EXPECT_EQ(o->demo, c.demo) << c.name;
    EXPECT_EQ(o->help, c.help) << c.name;
  }
}

TEST(ParseOptions, RefusesAnythingElseWithAReason) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"unknown option", {"--verbose"}},
      {"positional argument", {"qun.qq.com"}},
      {"single dash", {"-h"}},
      {"missing value", {"--login-host"}},
      {"empty value", {"--login-host="}},
      {"flag with a value", {"--demo=1"}},
      {"path in the host", {"--service-host", "evil.example/x"}},
      {"user part in the host", {"--service-host", "a@b"}},
      {"query in the host", {"--login-host", "a?b"}},
      {"space in the host", {"--login-host", "a b"}},
      {"empty host with port", {"--login-host", ":80"}},
      {"port zero", {"--login-host", "a:0"}},
      {"port too large", {"--login-host", "a:65536"}},
      {"port not a number", {"--login-host", "a:8x"}},
      {"empty port", {"--login-host", "a:"}},
      {"two colons", {"--login-host", "a:1:2"}},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(Parse(c.args, error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
}

}  // namespace
}  // namespace lumirack
