// Conversions between the launcher's UTF-16 text and UTF-8, for the POSIX
// backend's system calls and for console output. Lone surrogates survive a
// round trip (they are encoded as three-byte sequences), so no path or
// command line is altered on its way through.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// UTF-16 surrogates: a high and a low one stand together for one code point
// past U+FFFF.
constexpr bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}
constexpr char32_t JoinSurrogates(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}
// Appends c as UTF-16: a surrogate pair past U+FFFF, U+FFFD past U+10FFFF.
void AppendUtf16CodePoint(std::u16string& out, char32_t c);

std::string ToUtf8(std::u16string_view text);
// Appends the UTF-8 bytes of one code point (a lone surrogate as three bytes).
void AppendUtf8CodePoint(std::string& out, char32_t c);
// The same bytes written at to (room for four); returns the end of them.
char* EncodeUtf8CodePoint(char* to, char32_t c);
enum class Utf8Malformed {
  // One U+FFFD per broken sequence, where a lead byte and a second byte that
  // cannot follow it count as one sequence.
  Replace,
  // A byte that starts no valid sequence is read as Latin-1.
  Latin1,
};
// Text of UTF-8 bytes. Overlong forms, code points past U+10FFFF and, unless
// kept, encoded surrogates are malformed.
std::u16string DecodeUtf8(std::string_view bytes, Utf8Malformed malformed, bool keepSurrogates);
// DecodeUtf8 with replacement, keeping encoded surrogates: the inverse of ToUtf8.
std::u16string FromUtf8(std::string_view text);
// ASCII-only literal helper for tests and tools.
std::u16string Widen(std::string_view ascii);
// Splits one command-line text into arguments: blanks and tabs separate,
// double quotes group and are dropped (as a Windows program's runtime splits
// its command line).
std::vector<std::string> SplitArguments(std::string_view text);

// The suite's file encoding: UTF-16LE bytes of text, whatever the host's byte
// order, without a byte-order mark.
std::string EncodeUtf16Le(std::u16string_view text);
// Text of UTF-16LE bytes (a byte-order mark, if any, is kept as U+FEFF). A last
// odd byte becomes a code unit of its own, so no byte of a file goes unseen.
std::u16string DecodeUtf16Le(std::string_view bytes);
// The code units of the whole pairs of bytes appended to text (a last odd
// byte is left out: a reader keeps it for the next read).
void AppendUtf16Le(std::u16string& text, std::string_view bytes);
// The byte-order mark that starts every UTF-16LE file the suite writes.
inline constexpr std::string_view kUtf16LeMark{"\xFF\xFE", 2};

// The text of a settings file, as a private-profile read decodes its bytes:
// UTF-16LE, UTF-16BE or UTF-8 after their byte-order marks; unmarked bytes as
// UTF-8 whose bytes that start no valid sequence count as Latin-1.
std::u16string DecodeProfileText(std::string_view bytes);

// Decimal digits of value, at least width of them counting a minus sign (as
// printf's "%0*lld" writes them).
void AppendZeroPadded(std::string& out, std::int64_t value, int width);
std::string ZeroPadded(std::int64_t value, int width);
std::u16string WideZeroPadded(std::int64_t value, int width);

namespace detail {
template <typename Char>
constexpr bool ParseDigits(std::basic_string_view<Char> text, std::size_t maxDigits,
                           std::int64_t& value) {
  if (text.empty() || text.size() > maxDigits || text.size() > 18) return false;
  value = 0;
  for (Char c : text) {
    if (c < Char('0') || c > Char('9')) return false;
    value = value * 10 + (c - Char('0'));
  }
  return true;
}
}  // namespace detail
// A whole number of one to maxDigits decimal digits and nothing else (at
// most 18, so no overflow).
inline bool ParseDigits(std::string_view text, std::size_t maxDigits, std::int64_t& value) {
  return detail::ParseDigits(text, maxDigits, value);
}
inline bool ParseDigits(std::u16string_view text, std::size_t maxDigits, std::int64_t& value) {
  return detail::ParseDigits(text, maxDigits, value);
}

// Text without leading and trailing blanks: spaces and the controls from tab
// to carriage return, as a private-profile read skips them.
std::u16string_view Trim(std::u16string_view text);

// A settings line split at its first "=": the key before it and the value
// after it; no "=": the whole line is the key and there is no value.
struct KeyValue {
  std::u16string_view key;
  std::optional<std::u16string_view> value;
};
KeyValue SplitKeyValue(std::u16string_view line);

}  // namespace plat
