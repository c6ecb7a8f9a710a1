#pragma once

// A date-time source with a fixed "now" and clock form, installed for the life of the object.

#include "storage/date_time.h"

namespace lumirack::testing {

class FixedClock : public DateTimeSource {
 public:
  explicit FixedClock(CalendarTime now = {2024, 5, 6, 13, 5, 9}, bool hours24 = true)
      : now_(now), hours24_(hours24) {
    SetDateTimeSource(this);
  }
  ~FixedClock() override { SetDateTimeSource(nullptr); }
  FixedClock(const FixedClock&) = delete;
  FixedClock& operator=(const FixedClock&) = delete;

  CalendarTime Now() const override { return now_; }
  bool Uses24HourClock() const override { return hours24_; }

  void Set(CalendarTime now, bool hours24) {
    now_ = now;
    hours24_ = hours24;
  }

 private:
  CalendarTime now_;
  bool hours24_;
};

}  // namespace lumirack::testing
