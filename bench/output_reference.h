// The output converters of vtlog written the plain way, one code point at a
// time through a table of what each ASCII character becomes: the yardstick
// that bench_output measures the fast converters against and that
// fuzz_output holds them to, byte for byte.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace outref {

enum class Form { Utf8, Json, Csv };

// What each ASCII character becomes inside a JSON string.
inline const std::array<std::string, 128>& JsonAscii() {
  static const std::array<std::string, 128> table = [] {
    std::array<std::string, 128> t;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned c = 0; c < 128; ++c) {
      t[c] = c < 0x20 ? std::string("\\u00") + kHex[c >> 4] + kHex[c & 15]
                      : std::string(1, static_cast<char>(c));
    }
    t['"'] = "\\\"";
    t['\\'] = "\\\\";
    return t;
  }();
  return table;
}

// Text as UTF-8 (a lone surrogate as U+FFFD) or as a JSON string with its
// quotes (a lone surrogate as its \u escape).
inline std::string Convert(std::u16string_view text, Form form) {
  const bool json = form == Form::Json;
  std::string out = json ? "\"" : "";
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c < 0x80) {
      out += json ? JsonAscii()[c] : std::string(1, static_cast<char>(c));
      continue;
    }
    if (plat::IsHighSurrogate(c) && i + 1 < text.size() && plat::IsLowSurrogate(text[i + 1])) {
      c = plat::JoinSurrogates(c, text[++i]);
    } else if (plat::IsHighSurrogate(c) || plat::IsLowSurrogate(c)) {
      if (json) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += {'\\', 'u', kHex[c >> 12], kHex[(c >> 8) & 15], kHex[(c >> 4) & 15], kHex[c & 15]};
        continue;
      }
      c = U'\uFFFD';
    }
    plat::AppendUtf8CodePoint(out, c);
  }
  return json ? out + "\"" : out;
}

// A CSV field: quoted, its quotes doubled, when it holds a comma, a quote or
// a line end.
inline std::string CsvField(std::u16string_view text) {
  if (text.find_first_of(u",\"\r\n") == std::u16string_view::npos) {
    return Convert(text, Form::Utf8);
  }
  std::string out = "\"";
  for (const char c : Convert(text, Form::Utf8)) out += c == '"' ? "\"\"" : std::string(1, c);
  return out + "\"";
}

}  // namespace outref
