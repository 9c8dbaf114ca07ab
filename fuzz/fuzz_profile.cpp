// The private-profile reader of the native port on any settings file: the
// bytes are written to a scratch file, then one section and key, picked by
// the input, are read with several capacities and defaults. Most inputs are built from section
// headers, key names, quotes and numbers, in one of the four encodings the
// reader tells apart; an input whose first byte is odd is the file as it
// stands.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_text.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr std::u16string_view kPieces[] = {
    u"[Common]", u"[Orbeck]",   u"[ common ]", u"[",  u"]",          u"Logsetup", u"ErrorLevel",
    u"ProcDisp", u"errorlevel", u"=",          u"\"", u"'",          u" ",        u"\t",
    u"\r\n",     u"\n",         u"\r",         u"0x", u"0b",         u"0o",       u"-",
    u"+",        u"7",          u"12",         u"ff", u"9999999999", u"\u00e9",   u"\u3042",
    u"\0",       u"\xD800",     u";"};
constexpr std::u16string_view kSections[] = {u"Common", u"Orbeck", u"", u"COMMON", u" common"};
constexpr std::u16string_view kKeys[] = {u"Logsetup", u"ErrorLevel", u"ProcDisp", u"", u"e"};
constexpr std::size_t kCapacities[] = {1, 2, 3, 4, 8, 30, 264};
constexpr std::size_t kWhole = 1 << 20;

std::string Encode(const std::u16string& text, int encoding) {
  std::string out;
  switch (encoding) {
    case 0:
      return plat::ToUtf8(text);
    case 1:
      return "\xEF\xBB\xBF" + plat::ToUtf8(text);
    default:
      out = encoding == 2 ? "\xFF\xFE" : "\xFE\xFF";
      for (char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        out += encoding == 2 ? std::string{low, high} : std::string{high, low};
      }
      return out;
  }
}

// An optional sign and one to nine decimal digits, nothing else.
bool PlainDecimal(const std::u16string& text) {
  const std::size_t start = !text.empty() && (text[0] == u'-' || text[0] == u'+') ? 1 : 0;
  if (text.size() <= start || text.size() - start > 9) return false;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
  }
  return true;
}

// A directory of its own for the settings file, removed when the run ends.
struct Scratch {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("qv-fuzz-profile-" + std::to_string(plat::Now().seconds));
  std::u16string file;
  Scratch() {
    std::filesystem::create_directories(dir);
    file = plat::FromUtf8((dir / "VantrelV12.ini").string());
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

const std::u16string& ScratchFile() {
  static const Scratch scratch;
  return scratch.file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string& path = ScratchFile();
  qvfuzz::ByteReader in{data, size};
  const std::uint8_t mode = in.Byte();
  const std::uint8_t pick = in.Byte();
  std::string bytes;
  if (mode & 1) {
    bytes.assign(reinterpret_cast<const char*>(in.data), in.size);
  } else {
    std::u16string text;
    while (!in.Empty() && text.size() < 8000) text += kPieces[in.Byte() % std::size(kPieces)];
    bytes = Encode(text, (mode >> 1) & 3);
  }
  // A new file each time: truncating a file that was just written makes some
  // file systems flush it first, which would cost more than the whole input.
  std::filesystem::remove(plat::ToUtf8(path));
  std::ofstream(plat::ToUtf8(path), std::ios::binary) << bytes;

  const std::u16string section(kSections[pick % std::size(kSections)]);
  const std::u16string key(kKeys[pick / std::size(kSections) % std::size(kKeys)]);
  const std::u16string whole = plat::ReadProfileString(section, key, u"\x01", kWhole, path);
  const std::u16string other = plat::ReadProfileString(section, key, u"zz ", kWhole, path);
  // The default shows only when the key is absent, for every default alike.
  Check(whole == other || (whole == u"\x01" && other == u"zz"));
  for (std::size_t capacity : kCapacities) {
    const std::u16string part = plat::ReadProfileString(section, key, u"\x01", capacity, path);
    Check(part.size() < capacity);
    Check(whole.starts_with(part));
  }
  const std::u16string text = plat::ReadProfileString(section, key, u"", 30, path);
  const int a = plat::ReadProfileInt(section, key, 7, path);
  const int b = plat::ReadProfileInt(section, key, -3, path);
  if (text.empty()) {
    Check(a == 7 && b == -3);
  } else {
    Check(a == b);
    if (PlainDecimal(text)) Check(a == std::stoi(plat::ToUtf8(text)));
  }
  return 0;
}
