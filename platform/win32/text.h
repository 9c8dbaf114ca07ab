// Shared by the Win32 backend's files: the system headers and the passage of
// the launcher's UTF-16 text to and from the W functions.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>

namespace plat::win32 {

// wchar_t is a UTF-16 code unit here, so the text passes unchanged.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// 100-nanosecond ticks since 1601-01-01 UTC.
inline std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochOffsetSeconds = 11644473600;
constexpr std::uint64_t kTicksPerSecond = 10000000;

inline std::int64_t UnixSeconds(const FILETIME& time) {
  return static_cast<std::int64_t>(Ticks(time) / kTicksPerSecond) - kEpochOffsetSeconds;
}

}  // namespace plat::win32
