// The clock, its calendar conversion and sleeping.
#include <time.h>

#include "platform/backend.h"
#include "platform/calendar.h"
#include "platform/platform.h"
#include "platform/win32/text.h"

namespace plat {

WallClock backend::Now() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  WallClock clock;
  clock.seconds = win32::UnixSeconds(now);
  clock.milliseconds = static_cast<int>(win32::Ticks(now) / 10000 % 1000);
  return clock;
}

bool ToLocalCalendar(std::int64_t seconds, Calendar& out) {
  __time64_t time = seconds;
  tm parts{};
  if (_localtime64_s(&parts, &time) != 0) return false;
  CalendarFromTm(parts, out);
  return true;
}

bool ToUtcCalendar(std::int64_t seconds, Calendar& out) {
  __time64_t time = seconds;
  tm parts{};
  if (_gmtime64_s(&parts, &time) != 0) return false;
  CalendarFromTm(parts, out);
  return true;
}

void SleepMilliseconds(int milliseconds) {
  Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

}  // namespace plat
