// Conversions between the launcher's UTF-16 text and UTF-8, for the POSIX
// backend's system calls and for console output. Lone surrogates survive a
// round trip (they are encoded as three-byte sequences), so no path or
// command line is altered on its way through.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plat {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
// ASCII-only literal helper for tests and tools.
std::u16string Widen(std::string_view ascii);
// Splits one command-line text into arguments: blanks and tabs separate,
// double quotes group and are dropped (as a Windows program's runtime splits
// its command line).
std::vector<std::string> SplitArguments(std::string_view text);

}  // namespace plat
