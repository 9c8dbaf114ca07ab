// Wall clock, calendar conversion and sleeping on POSIX.
#include <time.h>

#include <cerrno>

#include "platform/backend.h"
#include "platform/calendar.h"
#include "platform/platform.h"

namespace plat {
namespace {

bool ToCalendar(std::int64_t seconds, bool local, Calendar& out) {
  const time_t t = static_cast<time_t>(seconds);
  if (static_cast<std::int64_t>(t) != seconds) return false;
  struct tm parts {};
  if (local) {
    tzset();  // the zone may have been changed through the environment meanwhile
    if (localtime_r(&t, &parts) == nullptr) return false;
  } else if (gmtime_r(&t, &parts) == nullptr) {
    return false;
  }
  CalendarFromTm(parts, out);
  return true;
}

}  // namespace

WallClock backend::Now() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return WallClock{static_cast<std::int64_t>(now.tv_sec), static_cast<int>(now.tv_nsec / 1000000)};
}

bool ToLocalCalendar(std::int64_t seconds, Calendar& out) {
  return ToCalendar(seconds, true, out);
}

bool ToUtcCalendar(std::int64_t seconds, Calendar& out) {
  return ToCalendar(seconds, false, out);
}

void SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  struct timespec left {
    milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L
  };
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace plat
