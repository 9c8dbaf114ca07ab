// The native private-profile reader on any file (UTF-8, UTF-16LE, raw bytes):
// the default shows only when the key is absent, a smaller buffer gets a
// prefix of the value, and the integer read agrees with the string read.
#include <filesystem>
#include <fstream>

#include "fuzz/fuzz_text.h"
#include "platform/platform.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace std::literals;
  static const std::string file = std::filesystem::temp_directory_path() / "qv-fuzz-profile.ini";
  if (size < 1) return 0;
  const std::u16string text = qvfuzz::Text(data + 1, size - 1, u"[]=\"' \t\r\nSKsk0x-+7\0\u00e9"sv);
  std::filesystem::remove(file);  // a new file: truncating one may flush it first
  std::ofstream(file, std::ios::binary)
      << (data[0] % 3 == 0   ? plat::ToUtf8(text)
          : data[0] % 3 == 1 ? "\xFF\xFE" + plat::EncodeUtf16Le(text)
                             : std::string(data + 1, data + size));
  const std::u16string path = plat::FromUtf8(file);
  const std::u16string section = (data[0] & 8) ? u"s" : u"S";
  const std::u16string whole = plat::ReadProfileString(section, u"K", u"\x01", 1 << 20, path);
  const std::u16string other = plat::ReadProfileString(section, u"K", u"zz ", 1 << 20, path);
  qvfuzz::Check(whole == other || (whole == u"\x01" && other == u"zz"));  // the default: absent
  for (std::size_t capacity : {1, 2, 3, 4, 30}) {
    const std::u16string part = plat::ReadProfileString(section, u"K", u"\x01", capacity, path);
    qvfuzz::Check(part.size() < capacity && whole.starts_with(part));
  }
  const int a = plat::ReadProfileInt(section, u"K", 7, path);
  const int b = plat::ReadProfileInt(section, u"K", -3, path);
  qvfuzz::Check(plat::ReadProfileString(section, u"K", u"", 30, path).empty() ? a == 7 && b == -3
                                                                              : a == b);
  return 0;
}
