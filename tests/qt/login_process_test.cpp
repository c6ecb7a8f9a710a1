#include "ui/qt/login_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace lumirack {
namespace {

// What the parent reads from a pipe that had `bytes` written and was then closed.
std::optional<HandOver> ReadBytes(const std::string& bytes) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fds[1]);
  std::optional<HandOver> session = ReadHandOver(fds[0]);
  ::close(fds[0]);
  return session;
}

TEST(HandOver, CarriesAnyCookieBytesWhole) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  // Separators, digits, a colon and GBK bytes inside the fields must not confuse the reader.
  const HandOver sent{"uin=o10001; skey=@a:9\r\n\xB5\xC7; RK=1", "193485963"};
  ASSERT_TRUE(WriteHandOver(fds[1], sent));
  ::close(fds[1]);
  std::optional<HandOver> got = ReadHandOver(fds[0]);
  ::close(fds[0]);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->cookies, sent.cookies);
  EXPECT_EQ(got->bkn, sent.bkn);

  std::optional<HandOver> empty = ReadBytes("0:4:5381");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->cookies, "");
  EXPECT_EQ(empty->bkn, "5381");
}

// A child that exits without a login, or dies while writing, must not open the monitor window.
TEST(HandOver, RefusesAnythingButTwoWholeFields) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"nothing written", ""},
      {"cut in the cookies", "20:uin=o1"},
      {"no token", "3:a=1"},
      {"cut in the token", "3:a=14:53"},
      {"something after", "3:a=14:5381x"},
      {"not a length", "x:a=14:5381"},
  };
  for (const Case& c : cases) EXPECT_FALSE(ReadBytes(c.bytes)) << c.name;
}

}  // namespace
}  // namespace lumirack
