// Fuzzer bytes as text: most bytes pick a character of an alphabet of what the
// target treats specially; from 0xF8 on, the next two are any UTF-16 unit.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

namespace qvfuzz {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

inline std::u16string Text(const std::uint8_t* data, std::size_t size,
                           std::u16string_view alphabet) {
  std::u16string out;
  for (std::size_t i = 0; i < size; ++i) {
    const bool any = data[i] >= 0xF8 && i + 2 < size;
    out.push_back(any ? static_cast<char16_t>(data[i + 1] | data[i + 2] << 8)
                      : alphabet[data[i] % alphabet.size()]);
    i += any ? 2 : 0;
  }
  return out;
}

// Quotes, hyphens, the launcher's option letters and the blanks it knows.
inline constexpr std::u16string_view kCommandLine =
    u"   \"\"\"---LLidfnrAPI#0123x.:_\\\t\u00A0\u3000\u200B\n\xD800\xDC00\uFFFF";

}  // namespace qvfuzz
