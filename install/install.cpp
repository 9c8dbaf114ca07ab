#include "install/install.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "platform/platform.h"

namespace {

constexpr std::size_t kValueCapacity = 1560;  // characters of VANTREL_V12 used: 1559
constexpr std::size_t kFieldCapacity = 260;   // characters of one field: 259
constexpr std::size_t kPathCapacity = 260;    // settings file path: 259
constexpr std::size_t kSettingCapacity = 2600;
constexpr std::size_t kFieldCount = 5;

struct InstallRoots {
  std::array<std::u16string, kFieldCount> fields;
  std::array<bool, kFieldCount> rejected{};
};

// The five semicolon-separated fields of VANTREL_V12. The scan stops at the
// first empty field ("A;;C" gives "A" and four empty fields). A field too long
// for a directory is rejected on its own: it counts as unavailable, never as
// a cut-off directory that happens to exist, nor as an empty one that would
// put the suite's files at the root of the drive.
InstallRoots ScanInstallRoots() {
  InstallRoots roots;
  std::u16string value;
  if (!plat::GetEnvironment(u"VANTREL_V12", value)) return roots;
  // Only 1559 characters are used; a field that the cut runs through is
  // rejected like an overlong one rather than handed out shortened.
  const bool cut = value.size() > kValueCapacity - 1 && value[kValueCapacity - 1] != u';';
  value.resize(std::min(value.size(), kValueCapacity - 1));

  std::size_t pos = 0;
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    if (i > 0) {
      // The separator between two fields; the scan ends without one.
      if (pos >= value.size() || value[pos] != u';') break;
      ++pos;
    }
    const std::size_t end = std::min(value.find(u';', pos), value.size());
    if (end == pos) break;
    if (end - pos > kFieldCapacity - 1 || (cut && end == value.size())) {
      roots.rejected[i] = true;
    } else {
      roots.fields[i] = value.substr(pos, end - pos);
    }
    pos = end;
  }
  return roots;
}

// 0 for a rejected field, out then left as it was, so that callers treat the
// directory as unavailable.
int ReadRootWithSuffix(int index, const char16_t* suffix, std::u16string& out) {
  if (index < 0 || index >= static_cast<int>(kFieldCount)) return 1;
  const InstallRoots roots = ScanInstallRoots();
  const auto i = static_cast<std::size_t>(index);
  if (roots.rejected[i]) return 0;
  out = roots.fields[i] + suffix;
  return 1;
}

}  // namespace

bool GetSettingsFilePath(std::u16string& path) {
  std::u16string dir;
  if (GetSystemDir(dir) == 0) return false;
  path = dir + u"\\" + std::u16string(kSettingsFileName);
  return path.size() <= kPathCapacity - 1;
}

int ReadInstallRoot(int index, std::u16string& out) {
  return ReadRootWithSuffix(index, u"", out);
}
int GetProgramDir(std::u16string& out) {
  return ReadRootWithSuffix(0, u"", out);
}
int GetPrivateDir(std::u16string& out) {
  return ReadRootWithSuffix(1, u"\\private", out);
}
int GetSystemDir(std::u16string& out) {
  return ReadRootWithSuffix(1, u"\\system", out);
}
int GetLogBaseDir(std::u16string& out) {
  return ReadRootWithSuffix(2, u"", out);
}

int ReadSettingString(const std::u16string& section, const std::u16string& key,
                      const std::u16string& def, std::u16string& destination) {
  std::u16string path;
  if (!GetSettingsFilePath(path)) {
    destination = def.substr(0, kSettingCapacity - 1);
    return 1;
  }
  destination = plat::ReadProfileString(section, key, def, kSettingCapacity, path);
  return 1;
}

int ReadSettingInt(const std::u16string& section, const std::u16string& key, int def) {
  std::u16string path;
  if (!GetSettingsFilePath(path)) return def;
  return plat::ReadProfileInt(section, key, def, path);
}

bool ReadCommonFlag(const std::u16string& key) {
  return ReadSettingInt(u"Common", key, 0) == 1;
}
