#pragma once

// Date-time text from the date and time pictures of four styles, for the run log's name.

#include <optional>
#include <string_view>

#include "support/text.h"

namespace lumirack {

struct CalendarTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

// What FormatDateTime asks of the system; a test installs its own to fix "now" and the clock.
class DateTimeSource {
 public:
  virtual ~DateTimeSource() = default;
  // The current local time, to the whole second.
  virtual CalendarTime Now() const = 0;
  // Whether the user's clock shows the hours 0 to 23 rather than 1 to 12.
  virtual bool Uses24HourClock() const = 0;
};

// Local time from the C library, the clock form from the user's locale (LocaleUses24HourClock).
const DateTimeSource& SystemDateTime();
// The source FormatDateTime uses from now on; nullptr restores the system's. Not owned.
void SetDateTimeSource(const DateTimeSource* source);

// An OLE automation date: days since 30 December 1899, the fraction being the time of day. For
// a negative value the integer part is the day and the fraction's absolute value the time, so
// -1.25 is 29 December 1899, 06:00. Rounded to the nearest second. Nothing for NaN, infinities
// and moments outside the years 100 to 9999.
std::optional<CalendarTime> CalendarFromOleDate(double moment);

// True when a C library time format (nl_langinfo(T_FMT)) shows 24 hours: it uses %H, %k, %T or
// %R (with any flags, width or E/O modifier).
bool TimeFormatIs24Hour(std::string_view timeFormat);

// The user's clock form: the LC_TIME locale named by the environment (LC_ALL, LC_TIME, LANG) is
// set for the query and the previous LC_TIME locale restored after it, so the program's own
// locale never changes. A locale that is not installed leaves the previous one in force. Not
// safe to call from two threads at once (setlocale is process-wide); the UI thread calls it.
bool LocaleUses24HourClock();

// Moment omitted: the current local time. Style 0 to 3 picks the pictures (other values: 0):
// 0 "yyyy年MM月dd日 hh时mm分ss秒", 1 "yyyy-MM-dd hh:mm:ss", 2 "yyyy/MM/dd hh/mm/ss",
// 3 "yyyyMMddhhmmss". Portion: 1 the date without the blank, 2 month and day, 3 the time,
// 4 hour and minute, 5 minute and second, any other value date and time. "hh" becomes the
// 24-hour "HH" when the clock shows 24 hours; no picture holds a morning or afternoon marker.
// An invalid moment gives the empty text. GBK.
Text FormatDateTime(std::optional<double> moment = std::nullopt, int style = 0, int portion = 0);

}  // namespace lumirack
