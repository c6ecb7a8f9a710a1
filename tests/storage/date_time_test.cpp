#include "storage/date_time.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fixed_clock.h"
#include "support/charset.h"

namespace lumirack {
namespace {

using testing::FixedClock;

// 6 May 2024, 13:05:09.
constexpr double kMoment = 45418.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0;

struct FormatCase {
  const char* name;
  int style, portion;
  bool hours24;
  const char* expected;  // UTF-8
};

TEST(FormatDateTime, FollowsTheStylesAndPortions) {
  const std::vector<FormatCase> cases = {
      {"Style0", 0, 0, true, "2024年05月06日 13时05分09秒"},
      {"Style0TwelveHour", 0, 0, false, "2024年05月06日 01时05分09秒"},
      {"Style1", 1, 0, true, "2024-05-06 13:05:09"},
      {"Style2", 2, 0, true, "2024/05/06 13/05/09"},
      {"Style3", 3, 0, true, "20240506130509"},
      {"Style3TwelveHour", 3, 0, false, "20240506010509"},
      {"DateWithoutBlank", 0, 1, true, "2024年05月06日"},
      {"DateStyle3", 3, 1, true, "20240506"},
      {"MonthAndDay", 1, 2, true, "05-06"},
      {"MonthAndDayStyle0", 0, 2, true, "05月06日"},
      {"Time", 1, 3, true, "13:05:09"},
      {"TimeTwelveHour", 1, 3, false, "01:05:09"},
      {"HourAndMinute", 2, 4, true, "13/05"},
      {"HourAndMinuteStyle0TwelveHour", 0, 4, false, "01时05分"},
      {"MinuteAndSecond", 0, 5, true, "05分09秒"},
      {"StyleAboveRange", 7, 0, true, "2024年05月06日 13时05分09秒"},
      {"StyleBelowRange", -1, 3, true, "13时05分09秒"},
      {"PortionAboveRange", 1, 6, true, "2024-05-06 13:05:09"},
      {"PortionBelowRange", 1, -1, true, "2024-05-06 13:05:09"},
  };
  FixedClock clock;
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    clock.Set({}, c.hours24);
    EXPECT_EQ(FormatDateTime(kMoment, c.style, c.portion), Gbk(c.expected));
  }
}

TEST(FormatDateTime, TakesNowFromTheClockWhenNoMomentIsGiven) {
  FixedClock clock({2024, 5, 6, 13, 5, 9}, true);
  EXPECT_EQ(FormatDateTime(), Gbk("2024年05月06日 13时05分09秒"));
  clock.Set({2024, 12, 31, 0, 0, 0}, false);
  EXPECT_EQ(FormatDateTime(std::nullopt, 1), "2024-12-31 12:00:00");
  clock.Set({2024, 12, 31, 12, 30, 0}, false);
  EXPECT_EQ(FormatDateTime(std::nullopt, 1, 4), "12:30");
}

struct MomentCase {
  const char* name;
  double moment;
  const char* expected;  // style 1, 24 hours; empty: invalid
};

TEST(FormatDateTime, ConvertsOleDatesAndRejectsInvalidOnes) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::vector<MomentCase> cases = {
      {"Epoch", 0.0, "1899-12-30 00:00:00"},
      {"NegativeKeepsDayAndCountsTimeForward", -1.25, "1899-12-29 06:00:00"},
      {"NegativeZeroDay", -0.5, "1899-12-30 12:00:00"},
      {"LeapDay", 45351.75, "2024-02-29 18:00:00"},
      {"RoundsToTheNearestSecond", 45418.0 + 0.4 / 86400.0, "2024-05-06 00:00:00"},
      {"RoundingCarriesIntoNextDay", 45418.0 + 86399.6 / 86400.0, "2024-05-07 00:00:00"},
      {"FirstDay", -657434.0, "0100-01-01 00:00:00"},
      {"FirstDayWithTime", -657434.5, "0100-01-01 12:00:00"},
      {"LastSecond", 2958465.0 + 86399.0 / 86400.0, "9999-12-31 23:59:59"},
      {"RoundsPastLastDay", 2958465.0 + 86399.9 / 86400.0, ""},
      {"AfterLastDay", 2958466.0, ""},
      {"BeforeFirstDay", -657435.0, ""},
      {"Huge", 1e300, ""},
      {"NaN", std::nan(""), ""},
      {"Infinity", kInf, ""},
      {"MinusInfinity", -kInf, ""},
  };
  FixedClock clock;
  for (const MomentCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FormatDateTime(c.moment, 1), c.expected);
  }
}

struct ClockFormCase {
  const char* format;
  bool hours24;
};

TEST(LocaleClock, Reads24HoursFromTheTimeFormat) {
  const std::vector<ClockFormCase> cases = {
      {"%H:%M:%S", true},  {"%T", true},         {"%R", true},  {"%k:%M", true},
      {"%OH:%OM", true},   {"%-H.%M", true},     {"%r", false}, {"%I:%M:%S %p", false},
      {"%l:%M %p", false}, {"%%H %I:%M", false}, {"", false},
  };
  for (const ClockFormCase& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(TimeFormatIs24Hour(c.format), c.hours24);
  }
}

TEST(LocaleClock, QueryRestoresTheProgramsLocale) {
  const std::string before = std::setlocale(LC_TIME, nullptr);
  ASSERT_NE(std::setlocale(LC_TIME, "C.UTF-8"), nullptr);
  const std::string set = std::setlocale(LC_TIME, nullptr);
  // Only the C locales are installed here; their format is "%H:%M:%S".
  EXPECT_TRUE(LocaleUses24HourClock());
  EXPECT_EQ(std::setlocale(LC_TIME, nullptr), set);
  std::setlocale(LC_TIME, before.c_str());
}

}  // namespace
}  // namespace lumirack
