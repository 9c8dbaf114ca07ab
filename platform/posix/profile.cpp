// Private-profile reads of the native port. A settings file must mean the same
// to both builds, so these answer as the Windows build's GetPrivateProfileStringW
// and GetPrivateProfileIntW do, oddities included; tests/profile holds the
// table of answers both builds are held to.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/backend.h"
#include "platform/platform.h"
#include "platform/posix/text.h"
#include "platform/text.h"

namespace plat {
namespace {

// ---------------------------------------------------------------- the file

enum class Load {
  Read,
  // No such file in an existing directory: Windows reads an empty profile.
  Missing,
  // A directory, a missing directory, a read error: Windows hands back the
  // default without reading it as a profile value (no quotes removed). So do
  // FIFOs and devices here, which could block or never end.
  Unreadable,
};

bool IsDirectory(const std::string& sys) {
  struct stat st {};
  return stat(sys.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ParentOf(const std::string& sys) {
  const std::size_t slash = sys.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : sys.substr(0, slash);
}

Load ReadWholeFile(const std::u16string& path, std::string& bytes) {
  const std::string sys = posix::SystemPath(path);
  const int fd = open(sys.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    return errno == ENOENT && IsDirectory(ParentOf(sys)) ? Load::Missing : Load::Unreadable;
  }
  Load result = Load::Read;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) result = Load::Unreadable;
  char chunk[65536];
  while (result == Load::Read) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got > 0) {
      bytes.append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      result = Load::Unreadable;
    }
  }
  close(fd);
  return result;
}

// ------------------------------------------------------------ the encoding

// UTF-16 big-endian after its byte-order mark: the bytes of each pair swapped,
// then read as the suite's UTF-16LE (a last odd byte still counts, as a
// character of its own value).
std::u16string DecodeUtf16Be(std::string_view bytes) {
  std::string swapped(bytes);
  for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
  return DecodeUtf16Le(swapped);
}

enum class Malformed {
  // Files marked as UTF-8: one U+FFFD per broken sequence, where a lead byte
  // and a second byte that cannot follow it count as one sequence.
  Replace,
  // Unmarked 8-bit files (the ANSI code page of this port is UTF-8): a byte
  // that starts no valid sequence is read as Latin-1.
  Latin1,
};

bool IsContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

std::u16string DecodeUtf8(std::string_view bytes, Malformed malformed) {
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
      const bool sound = length == 2 ||
                         (length == 3 && high >= 0x20 && (high < 0x360 || high >= 0x380)) ||
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
      if (c >= 0x10000) {
        c -= 0x10000;
        text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
      } else {
        text.push_back(static_cast<char16_t>(c));
      }
      i += length;
    } else if (malformed == Malformed::Replace) {
      text.push_back(u'\uFFFD');
      i += broken;
    } else {
      text.push_back(lead);
      ++i;
    }
  }
  return text;
}

std::u16string Decode(std::string_view bytes) {
  if (bytes.starts_with(kUtf16LeMark)) return DecodeUtf16Le(bytes.substr(2));
  if (bytes.starts_with("\xFE\xFF")) return DecodeUtf16Be(bytes.substr(2));
  if (bytes.starts_with("\xEF\xBB\xBF")) return DecodeUtf8(bytes.substr(3), Malformed::Replace);
  return DecodeUtf8(bytes, Malformed::Latin1);
}

// ------------------------------------------------------------ the profile

// Names and values end at a NUL character, wherever the line itself ends.
std::u16string_view UpToNul(std::u16string_view text) {
  return text.substr(0, std::min(text.find(u'\0'), text.size()));
}

// Letter case is ignored for A-Z only.
bool SameName(std::u16string_view a, std::u16string_view b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

// The value of key in the first section named section; nullopt when there is
// none, or when the first line of that name carries no "=". Lines before the
// first header form a section with the empty name, and only the first section
// of a name is searched.
std::optional<std::u16string_view> FindValue(std::u16string_view text, std::u16string_view section,
                                             std::u16string_view key) {
  bool inSection = SameName(u"", section);
  while (!text.empty()) {
    const std::size_t end = std::min(text.find_first_of(u"\r\n"), text.size());
    const std::u16string_view line = Trim(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty()) continue;
    const std::size_t close = line.rfind(u']');
    if (line.front() == u'[' && close != std::u16string_view::npos) {
      if (inSection) return std::nullopt;
      inSection = SameName(UpToNul(Trim(line.substr(1, close - 1))), section);
      continue;
    }
    if (!inSection) continue;
    const std::size_t equals = line.find(u'=');
    if (!SameName(UpToNul(Trim(line.substr(0, equals))), key)) continue;
    if (equals == std::u16string_view::npos) return std::nullopt;
    return UpToNul(Trim(line.substr(equals + 1)));
  }
  return std::nullopt;
}

// At most capacity - 1 characters; a text in matching quotes loses them. The
// system drops the closing quote by cutting the last character it copied, so
// when the room ends right at the closing quote the value loses its own last
// character as well ("abc" in quotes reads "ab" with capacity 4).
std::u16string CopyOut(std::u16string_view text, std::size_t capacity) {
  const std::size_t room = capacity - 1;
  const bool quoted = text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
                      text.back() == text.front();
  if (!quoted) return std::u16string(text.substr(0, std::min(room, text.size())));
  const std::size_t inner = text.size() - 2;
  std::size_t copied = std::min(room, inner + 1);
  if (copied > 0 && copied >= inner) --copied;
  return std::u16string(text.substr(1, copied));
}

}  // namespace

std::u16string backend::ReadProfileString(const std::u16string& section, const std::u16string& key,
                                          const std::u16string& def, std::size_t capacity,
                                          const std::u16string& path) {
  std::string bytes;
  if (ReadWholeFile(path, bytes) == Load::Unreadable) return UnreadProfileDefault(def, capacity);
  const std::u16string text = Decode(bytes);
  const std::optional<std::u16string_view> value =
      FindValue(text, Trim(UpToNul(section)), Trim(UpToNul(key)));
  return CopyOut(value ? *value : ProfileDefault(def), capacity);
}

int backend::ReadProfileInt(const std::u16string& section, const std::u16string& key, int def,
                            const std::u16string& path) {
  // The system reads the value as text of at most 29 characters, then as a
  // number: characters up to the space skipped, one sign, a prefix "0x", "0o"
  // or "0b" (lower case) for the base, digits up to the first other
  // character, wrapping around in 32 bits. An empty value gives the default.
  const std::u16string text = backend::ReadProfileString(section, key, u"", 30, path);
  if (text.empty()) return def;
  std::size_t i = 0;
  while (i < text.size() && text[i] <= u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  std::uint32_t base = 10;
  if (i + 1 < text.size() && text[i] == u'0') {
    if (text[i + 1] == u'x') base = 16;
    if (text[i + 1] == u'o') base = 8;
    if (text[i + 1] == u'b') base = 2;
    if (base != 10) i += 2;
  }
  std::uint32_t number = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    std::uint32_t digit = base;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    if (digit >= base) break;
    number = number * base + digit;
  }
  if (negative) number = 0u - number;
  return static_cast<int>(number);
}

}  // namespace plat
