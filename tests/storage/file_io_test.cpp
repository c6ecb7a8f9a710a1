#include "storage/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace lumirack {
namespace {

using testing::Listing;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

struct UmaskCase {
  mode_t umask;
  mode_t mode;
};

TEST(WriteWholeFile, NewFilesGetTheUmaskReplacedFilesKeepTheirMode) {
  TempDir dir;
  const std::vector<UmaskCase> cases = {{022, 0644}, {077, 0600}, {002, 0664}};
  const mode_t saved = ::umask(022);
  for (const UmaskCase& c : cases) {
    SCOPED_TRACE(c.umask);
    const auto path = dir.path() / ("new-" + std::to_string(c.umask));
    ::umask(c.umask);
    ASSERT_TRUE(WriteWholeFile(path, "x"));
    EXPECT_EQ(ModeOf(path), c.mode);
  }
  ::umask(022);
  const auto kept = dir.path() / "kept";
  WriteBytes(kept, "old");
  ::chmod(kept.c_str(), 0640);
  ASSERT_TRUE(WriteWholeFile(kept, "new"));
  EXPECT_EQ(ModeOf(kept), 0640u);
  EXPECT_EQ(ReadBytes(kept), "new");
  ::umask(saved);
}

TEST(WriteWholeFile, FailedReplaceLeavesNoTemporaryFile) {
  TempDir dir;
  WriteBytes(dir.path() / "target" / "inside", "x");  // a folder that cannot be replaced
  EXPECT_FALSE(WriteWholeFile(dir.path() / "target", "bytes"));
  EXPECT_EQ(Listing(dir.path()), std::set<std::string>{"target"});
  EXPECT_FALSE(WriteWholeFile(dir.path() / "missing" / "file", "bytes"));
}

TEST(ReadWholeFile, KeepsNulBytesAndFailsForFolders) {
  TempDir dir;
  const std::string bytes("a\0b\r\n", 5);
  ASSERT_TRUE(WriteWholeFile(dir.path() / "f", bytes));
  EXPECT_EQ(ReadWholeFile(dir.path() / "f"), bytes);
  EXPECT_EQ(ReadWholeFile(dir.path()), std::nullopt);
  EXPECT_EQ(ReadWholeFile(dir.path() / "missing"), std::nullopt);
}

}  // namespace
}  // namespace lumirack
