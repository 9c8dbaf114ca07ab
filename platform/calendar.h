// The calendar fields of a broken-down time, shared by both backends.
#pragma once

#include <ctime>

#include "platform/platform.h"

namespace plat {

inline void CalendarFromTm(const std::tm& parts, Calendar& out) {
  out.year = parts.tm_year + 1900;
  out.month = parts.tm_mon + 1;
  out.day = parts.tm_mday;
  out.hour = parts.tm_hour;
  out.minute = parts.tm_min;
  out.second = parts.tm_sec;
}

}  // namespace plat
