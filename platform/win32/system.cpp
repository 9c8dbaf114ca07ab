// Environment, private-profile reads, the clock and sleeping.
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <limits>
#include <optional>

#include "platform/calendar.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/win32/text.h"

namespace plat {

bool GetEnvironment(const std::u16string& name, std::u16string& value) {
  std::u16string buffer;
  DWORD needed = 1;
  // The value may change between the size query and the read: ask again then.
  for (;;) {
    buffer.assign(needed, u'\0');
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableW(win32::Wide(name),
                                           reinterpret_cast<wchar_t*>(buffer.data()), needed);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (length < needed) {
      buffer.resize(length);
      value = std::move(buffer);
      return true;
    }
    needed = length;
  }
}

bool SetEnvironment(const std::u16string& name, const std::u16string& value, bool remove) {
  // The system refuses these names; the runtime would pass them to its
  // invalid-parameter handler first.
  if (name.empty() || name.find(u'=') != std::u16string::npos) return false;
  // The runtime keeps its own copy for getenv; keep both views alike. An empty
  // value removes the variable there, as it does in the runtime.
  _wputenv_s(win32::Wide(name), remove ? L"" : win32::Wide(value));
  return SetEnvironmentVariableW(win32::Wide(name), remove ? nullptr : win32::Wide(value)) != FALSE;
}

std::u16string ReadProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& def, std::size_t capacity,
                                 const std::u16string& path) {
  if (capacity == 0) return {};
  DWORD size =
      static_cast<DWORD>(std::min<std::size_t>(capacity, std::numeric_limits<DWORD>::max()));
  std::u16string buffer(size, u'\0');
  DWORD length =
      GetPrivateProfileStringW(win32::Wide(section), win32::Wide(key), win32::Wide(def),
                               reinterpret_cast<wchar_t*>(buffer.data()), size, win32::Wide(path));
  buffer.resize(std::min<DWORD>(length, size - 1));
  return buffer;
}

int ReadProfileInt(const std::u16string& section, const std::u16string& key, int def,
                   const std::u16string& path) {
  return static_cast<int>(
      GetPrivateProfileIntW(win32::Wide(section), win32::Wide(key), def, win32::Wide(path)));
}

WallClock Now() {
  if (std::optional<WallClock> fixed = ClockOverride()) return *fixed;
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
