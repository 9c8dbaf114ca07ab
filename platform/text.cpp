#include "platform/text.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace plat {

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = JoinSurrogates(c, text[++i]);
    }
    AppendUtf8CodePoint(out, c);
  }
  return out;
}

char* EncodeUtf8CodePoint(char* to, char32_t c) {
  if (c < 0x80) {
    *to++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *to++ = static_cast<char>(0xC0 | (c >> 6));
    *to++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *to++ = static_cast<char>(0xE0 | (c >> 12));
    *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *to++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *to++ = static_cast<char>(0xF0 | (c >> 18));
    *to++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *to++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return to;
}

void AppendUtf8CodePoint(std::string& out, char32_t c) {
  char bytes[4];
  out.append(bytes, static_cast<std::size_t>(EncodeUtf8CodePoint(bytes, c) - bytes));
}

void AppendUtf16CodePoint(std::u16string& out, char32_t c) {
  if (c >= 0x10000 && c <= 0x10FFFF) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(c > 0x10FFFF ? u'\uFFFD' : static_cast<char16_t>(c));
  }
}

namespace {

bool IsContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

}  // namespace

std::u16string DecodeUtf8(std::string_view bytes, Utf8Malformed malformed, bool keepSurrogates) {
  std::u16string text;
  text.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
    const unsigned char lead = at(0);
    if (lead < 0x80) {
      text.push_back(lead);
      ++i;
      continue;
    }
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    std::size_t valid = length == 0 ? 0 : 1;  // bytes of a sound prefix
    std::size_t broken = 1;                   // bytes one U+FFFD stands for
    if (valid == 1 && i + 1 < bytes.size() && IsContinuation(at(1))) {
      // The first two bytes already rule out overlong forms, surrogates and
      // code points past U+10FFFF.
      const unsigned high = length == 3   ? ((lead & 0x0Fu) << 6) | (at(1) & 0x3Fu)
                            : length == 4 ? ((lead & 0x07u) << 6) | (at(1) & 0x3Fu)
                                          : 0x80u;
      const bool sound =
          length == 2 ||
          (length == 3 && high >= 0x20 && (keepSurrogates || high < 0x360 || high >= 0x380)) ||
          (length == 4 && high >= 0x10 && high <= 0x10F);
      broken = 2;
      if (sound) {
        valid = 2;
        while (valid < length && i + valid < bytes.size() && IsContinuation(at(valid))) ++valid;
        broken = valid;
      }
    }
    if (length != 0 && valid == length) {
      char32_t c = lead & (0x7F >> length);
      for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (at(k) & 0x3Fu);
      AppendUtf16CodePoint(text, c);
      i += length;
    } else if (malformed == Utf8Malformed::Replace) {
      text.push_back(u'\uFFFD');
      i += broken;
    } else {
      text.push_back(lead);
      ++i;
    }
  }
  return text;
}

std::u16string FromUtf8(std::string_view text) {
  return DecodeUtf8(text, Utf8Malformed::Replace, true);
}

void AppendZeroPadded(std::string& out, std::int64_t value, int width) {
  char buffer[24];
  char* const end = buffer + sizeof buffer;
  char* p = end;
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  const int digits = std::min(width - (value < 0 ? 1 : 0), 20);
  while (end - p < digits) *--p = '0';
  if (value < 0) *--p = '-';
  out.append(p, static_cast<std::size_t>(end - p));
}

std::string ZeroPadded(std::int64_t value, int width) {
  std::string out;
  AppendZeroPadded(out, value, width);
  return out;
}

std::u16string WideZeroPadded(std::int64_t value, int width) {
  return Widen(ZeroPadded(value, width));
}

std::u16string Widen(std::string_view ascii) {
  return {ascii.begin(), ascii.end()};
}

std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> args;
  std::string current;
  bool inArg = false;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inArg = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inArg) args.push_back(current);
      current.clear();
      inArg = false;
    } else {
      current += c;
      inArg = true;
    }
  }
  if (inArg) args.push_back(current);
  return args;
}

std::string EncodeUtf16Le(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

void AppendUtf16Le(std::u16string& text, std::string_view bytes) {
  // Sized once and filled by index: a reader decodes hundreds of MiB of log.
  const std::size_t old = text.size();
  const std::size_t pairs = bytes.size() / 2;
  text.resize(old + pairs);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(text.data() + old, bytes.data(), pairs * 2);
  } else {
    for (std::size_t k = 0; k < pairs; ++k) {
      text[old + k] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                            (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
    }
  }
}

std::u16string DecodeUtf16Le(std::string_view bytes) {
  std::u16string text;
  AppendUtf16Le(text, bytes);
  if (bytes.size() % 2 != 0) text.push_back(static_cast<unsigned char>(bytes.back()));
  return text;
}

std::u16string_view Trim(std::u16string_view text) {
  const auto blank = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

KeyValue SplitKeyValue(std::u16string_view line) {
  const std::size_t equals = line.find(u'=');
  if (equals == std::u16string_view::npos) return {line, std::nullopt};
  return {line.substr(0, equals), line.substr(equals + 1)};
}

namespace {

// UTF-16 big-endian: the bytes of each pair swapped, then read as the suite's
// UTF-16LE (a last odd byte still counts, as a character of its own value).
std::u16string DecodeUtf16Be(std::string_view bytes) {
  std::string swapped(bytes);
  for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
  return DecodeUtf16Le(swapped);
}

}  // namespace

std::u16string DecodeProfileText(std::string_view bytes) {
  if (bytes.starts_with(kUtf16LeMark)) return DecodeUtf16Le(bytes.substr(2));
  if (bytes.starts_with("\xFE\xFF")) return DecodeUtf16Be(bytes.substr(2));
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    return DecodeUtf8(bytes.substr(3), Utf8Malformed::Replace, false);
  }
  // Unmarked 8-bit files: the ANSI code page of the native port is UTF-8.
  return DecodeUtf8(bytes, Utf8Malformed::Latin1, false);
}

}  // namespace plat
