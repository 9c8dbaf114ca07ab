#include "platform/text.h"

#include <bit>
#include <cstring>

namespace plat {

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
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

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    auto cont = [&](std::size_t k) -> int {
      if (i + k >= text.size()) return -1;
      const auto b = static_cast<unsigned char>(text[i + k]);
      return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
    };
    char32_t c = 0xFFFD;
    std::size_t len = 1;
    if (b0 < 0x80) {
      c = b0;
    } else if ((b0 & 0xE0) == 0xC0 && cont(1) >= 0) {
      c = ((b0 & 0x1Fu) << 6) | static_cast<char32_t>(cont(1));
      len = 2;
    } else if ((b0 & 0xF0) == 0xE0 && cont(1) >= 0 && cont(2) >= 0) {
      c = ((b0 & 0x0Fu) << 12) | (static_cast<char32_t>(cont(1)) << 6) |
          static_cast<char32_t>(cont(2));
      len = 3;
    } else if ((b0 & 0xF8) == 0xF0 && cont(1) >= 0 && cont(2) >= 0 && cont(3) >= 0) {
      c = ((b0 & 0x07u) << 18) | (static_cast<char32_t>(cont(1)) << 12) |
          (static_cast<char32_t>(cont(2)) << 6) | static_cast<char32_t>(cont(3));
      len = 4;
    }
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else if (c > 0x10FFFF) {
      out.push_back(u'\uFFFD');
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += len;
  }
  return out;
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

}  // namespace plat
