#include "storage/date_time.h"

#include <langinfo.h>

#include <chrono>
#include <clocale>
#include <cmath>
#include <ctime>
#include <string>

#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

class SystemSource : public DateTimeSource {
 public:
  CalendarTime Now() const override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
  }
  bool Uses24HourClock() const override { return LocaleUses24HourClock(); }
};

const SystemSource kSystemSource;
const DateTimeSource* currentSource = &kSystemSource;

struct Pictures {
  Text date, time, monthDay, hourMinute, minuteSecond;
};

Pictures PicturesOf(int style) {
  switch (style) {
    case 1:
      return {"yyyy-MM-dd ", "hh:mm:ss", "MM-dd", "hh:mm", "mm:ss"};
    case 2:
      return {"yyyy/MM/dd ", "hh/mm/ss", "MM/dd", "hh/mm", "mm/ss"};
    case 3:
      return {"yyyyMMdd", "hhmmss", "MMdd", "hhmm", "mmss"};
    default:
      return {Gbk(texts::kDatePicture), Gbk(texts::kTimePicture), Gbk(texts::kMonthDayPicture),
              Gbk(texts::kHourMinutePicture), Gbk(texts::kMinuteSecondPicture)};
  }
}

void AppendNumber(Text& out, int value, std::size_t digits) {
  std::string number = std::to_string(value);
  if (number.size() < digits) out.append(digits - number.size(), '0');
  out += number;
}

// Runs of y, M, d, h, H, m and s are fields (one letter: no leading zero; "yyyy" and longer: the
// four-digit year); every other character is copied. Date and time letters are taken in either
// picture, which the pictures of the table never mix up.
Text FormatPicture(const Text& picture, const CalendarTime& t) {
  Text out;
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (IsLeadByte(c) && i + 1 < picture.size()) {
      out.append(picture, i, 2);
      i += 2;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    const std::size_t pad = run >= 2 ? 2 : 1;
    switch (c) {
      case 'y':
        if (run >= 3) {
          AppendNumber(out, t.year, 4);
        } else {
          AppendNumber(out, t.year % 100, pad);
        }
        break;
      case 'M':
        AppendNumber(out, t.month, pad);
        break;
      case 'd':
        AppendNumber(out, t.day, pad);
        break;
      case 'h':
        AppendNumber(out, t.hour % 12 == 0 ? 12 : t.hour % 12, pad);
        break;
      case 'H':
        AppendNumber(out, t.hour, pad);
        break;
      case 'm':
        AppendNumber(out, t.minute, pad);
        break;
      case 's':
        AppendNumber(out, t.second, pad);
        break;
      default:
        out.append(picture, i, run);
        break;
    }
    i += run;
  }
  return out;
}

}  // namespace

const DateTimeSource& SystemDateTime() { return kSystemSource; }

void SetDateTimeSource(const DateTimeSource* source) {
  currentSource = source ? source : &kSystemSource;
}

std::optional<CalendarTime> CalendarFromOleDate(double moment) {
  // The OLE range: 1 January 100 to 31 December 9999, with the time of that day.
  if (!std::isfinite(moment) || moment <= -657435.0 || moment >= 2958466.0) return std::nullopt;
  const double wholeDays = std::trunc(moment);
  long long day = static_cast<long long>(wholeDays);
  long long seconds = std::llround(std::fabs(moment - wholeDays) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++day;
  }
  using namespace std::chrono;
  const year_month_day date{sys_days{year{1899} / 12 / 30} + days{day}};
  const int y = static_cast<int>(date.year());
  if (y < 100 || y > 9999) return std::nullopt;
  return CalendarTime{y,
                      static_cast<int>(static_cast<unsigned>(date.month())),
                      static_cast<int>(static_cast<unsigned>(date.day())),
                      static_cast<int>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60),
                      static_cast<int>(seconds % 60)};
}

bool TimeFormatIs24Hour(std::string_view timeFormat) {
  for (std::size_t i = 0; i < timeFormat.size(); ++i) {
    if (timeFormat[i] != '%') continue;
    std::size_t j = i + 1;
    while (j < timeFormat.size() &&
           std::string_view("_-0^#").find(timeFormat[j]) != std::string_view::npos)
      ++j;
    while (j < timeFormat.size() && timeFormat[j] >= '0' && timeFormat[j] <= '9') ++j;
    if (j < timeFormat.size() && (timeFormat[j] == 'E' || timeFormat[j] == 'O')) ++j;
    if (j >= timeFormat.size()) break;
    const char conversion = timeFormat[j];
    if (conversion == 'H' || conversion == 'k' || conversion == 'T' || conversion == 'R') {
      return true;
    }
    i = j;  // "%%" is skipped whole here
  }
  return false;
}

bool LocaleUses24HourClock() {
  const char* previous = std::setlocale(LC_TIME, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_TIME, "");
  // Copied before the locale is restored: the restore may free the text.
  const std::string timeFormat = nl_langinfo(T_FMT);
  std::setlocale(LC_TIME, saved.c_str());
  return TimeFormatIs24Hour(timeFormat);
}

Text FormatDateTime(std::optional<double> moment, int style, int portion) {
  const DateTimeSource& source = *currentSource;
  CalendarTime fields;
  if (moment) {
    const std::optional<CalendarTime> converted = CalendarFromOleDate(*moment);
    if (!converted) return {};
    fields = *converted;
  } else {
    fields = source.Now();
  }

  if (style < 0 || style > 3) style = 0;
  const Pictures pictures = PicturesOf(style);
  Text date, time;
  switch (portion) {
    case 1:
      date = TrimSpaces(pictures.date);
      break;
    case 2:
      date = pictures.monthDay;
      break;
    case 3:
      time = pictures.time;
      break;
    case 4:
      time = pictures.hourMinute;
      break;
    case 5:
      time = pictures.minuteSecond;
      break;
    default:
      date = pictures.date;
      time = pictures.time;
      break;
  }
  if (source.Uses24HourClock()) time = ReplaceAll(time, "hh", "HH");

  Text out;
  if (date.size() >= 3) out += FormatPicture(date, fields);
  if (time.size() >= 3) out += FormatPicture(time, fields);
  return out;
}

}  // namespace lumirack
