// Paths on POSIX: existence, status, one-level directory creation, and the
// listing by a Windows wildcard pattern ("*" and "?", letters matched without
// regard to case, as FindFirstFileExW matches names).
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

#include "platform/backend.h"
#include "platform/platform.h"
#include "platform/posix/text.h"
#include "platform/text.h"

namespace plat {
namespace {

// Lower case of one UTF-16 unit for the letters of Latin-1, Latin
// Extended-A, Greek, Cyrillic and the full-width Latin forms.
char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A)) {
    return static_cast<char16_t>(c + 0x20);
  }
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  if (c == 0x178) return 0xFF;
  // Latin Extended-A pairs: upper case at even units, except in the two
  // stretches where it sits at odd ones.
  const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
      c != 0x17F && ((c % 2 == 1) == oddUpper)) {
    return static_cast<char16_t>(c + 1);
  }
  return c;
}

// Wildcard match with backtracking to the last "*" only, so that no pattern
// costs more than name length times pattern length.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::u16string_view::npos;
  std::size_t resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool IsDirectoryEntry(DIR* dir, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) return false;
  struct stat st {};
  return fstatat(dirfd(dir), entry.d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool backend::ListDirectory(const std::u16string& pattern, std::vector<DirEntry>& out) {
  const std::size_t cut = pattern.find_last_of(u"\\/");
  const std::u16string directory =
      cut == std::u16string::npos ? u"." : (cut == 0 ? u"/" : pattern.substr(0, cut));
  const std::u16string namePattern =
      cut == std::u16string::npos ? pattern : pattern.substr(cut + 1);
  if (namePattern.empty()) return false;
  std::unique_ptr<DIR, DirCloser> dir(opendir(posix::SystemPath(directory).c_str()));
  if (!dir) return false;
  bool found = false;
  while (const dirent* entry = readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    std::u16string name = FromUtf8(entry->d_name);
    if (!WildcardMatch(namePattern, name)) continue;
    out.push_back(DirEntry{std::move(name), IsDirectoryEntry(dir.get(), *entry)});
    found = true;
  }
  return found;
}

bool backend::PathExists(const std::u16string& path) {
  struct stat st {};
  return stat(posix::SystemPath(path).c_str(), &st) == 0;
}

bool backend::PathIsDirectory(const std::u16string& path) {
  struct stat st {};
  return stat(posix::SystemPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool backend::MakeOneDirectory(const std::u16string& path) {
  return mkdir(posix::SystemPath(path).c_str(), 0777) == 0;
}

bool backend::GetFileStatus(const std::u16string& path, FileStatus& status) {
  struct stat st {};
  if (stat(posix::SystemPath(path).c_str(), &st) != 0) return false;
  status.isDirectory = S_ISDIR(st.st_mode);
  status.size = static_cast<std::int64_t>(st.st_size);
  status.modTime = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  status.modTimeNanos = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
  return true;
}

}  // namespace plat
