// Turns fuzzer bytes into launcher command lines. Most bytes pick a character
// that the normaliser or the option search treats specially, so that quotes,
// hyphens, option names and spaces meet often; a byte from 0xF8 on takes the
// next two bytes as any UTF-16 code unit, lone surrogates included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qvfuzz {

inline constexpr std::u16string_view kAlphabet =
    u"   \"\"\"---LLidfnrAPI#0123x.:_\\\t\u00A0\u3000\u200B\n\xD800\xDC00\uFFFF";

struct ByteReader {
  const std::uint8_t* data;
  std::size_t size;

  bool Empty() const { return size == 0; }
  std::uint8_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  std::uint64_t Bits64() {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | Byte();
    return v;
  }
  // Text of at most limit characters; a zero byte ends it early.
  std::u16string Text(std::size_t limit) {
    std::u16string out;
    while (!Empty() && out.size() < limit) {
      const std::uint8_t b = Byte();
      if (b == 0) break;
      if (b >= 0xF8) {
        const unsigned low = Byte();
        out.push_back(static_cast<char16_t>(low | (Byte() << 8)));
      } else {
        out.push_back(kAlphabet[b % kAlphabet.size()]);
      }
    }
    return out;
  }
};

}  // namespace qvfuzz
