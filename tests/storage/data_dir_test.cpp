#include "storage/data_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace lumirack {
namespace {

using testing::TempDir;

// Sets an environment variable (nullopt: unsets it) and puts the old value back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> previous_;
};

TEST(DataDirectory, IsTheProgramsFolderWhenWritableUnlessATestSetsOne) {
  SetDataDirectory(std::nullopt);
  EXPECT_EQ(DataDirectory(), std::filesystem::read_symlink("/proc/self/exe").parent_path());
  SetDataDirectory("/somewhere/else");
  EXPECT_EQ(DataDirectory(), "/somewhere/else");
  SetDataDirectory(std::nullopt);
}

struct FallbackCase {
  const char* name;
  std::optional<std::string> xdg;  // relative to the temporary home when not absolute
  std::string expected;            // relative to the temporary home
};

TEST(DataDirectory, FallbackFollowsXdgDataHomeAndIsCreated) {
  TempDir home;
  const std::string h = home.path().string();
  const std::vector<FallbackCase> cases = {
      {"XdgSet", h + "/xdg", "xdg/lumirack"},
      {"XdgUnset", std::nullopt, ".local/share/lumirack"},
      {"XdgEmpty", "", ".local/share/lumirack"},
      {"XdgRelativeIgnored", "relative/data", ".local/share/lumirack"},
  };
  ScopedEnv homeVar("HOME", h);
  for (const FallbackCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv xdg("XDG_DATA_HOME", c.xdg);
    const std::filesystem::path folder = FallbackDataDirectory();
    EXPECT_EQ(folder, home.path() / c.expected);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
  }
}

}  // namespace
}  // namespace lumirack
