// Conversions between the launcher's UTF-16 text and UTF-8, for the POSIX
// backend's system calls and for console output. Lone surrogates survive a
// round trip (they are encoded as three-byte sequences), so no path or
// command line is altered on its way through.
#pragma once

#include <string>
#include <string_view>

namespace plat {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
// ASCII-only literal helper for tests and tools.
std::u16string Widen(std::string_view ascii);

}  // namespace plat
