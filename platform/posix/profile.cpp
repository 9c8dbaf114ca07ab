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
    const KeyValue pair = SplitKeyValue(line);
    if (!SameName(UpToNul(Trim(pair.key)), key)) continue;
    if (!pair.value) return std::nullopt;
    return UpToNul(Trim(*pair.value));
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
  const std::u16string text = DecodeProfileText(bytes);
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
