// Paths: existence, status, one-level directory creation and the wildcard
// listing the rotation prunes by.
#include "platform/win32/text.h"
// shlwapi after windows.h, as configured there.
#include <shlwapi.h>
// shlwapi names its A or W variant by this macro; the platform's own
// function of that name must keep it.
#undef PathIsDirectory

#include "platform/backend.h"
#include "platform/platform.h"

namespace plat {

bool backend::PathExists(const std::u16string& path) {
  return PathFileExistsW(win32::Wide(path)) != FALSE;
}

bool backend::PathIsDirectory(const std::u16string& path) {
  return PathIsDirectoryW(win32::Wide(path)) != FALSE;
}

bool backend::MakeOneDirectory(const std::u16string& path) {
  return CreateDirectoryW(win32::Wide(path), nullptr) != FALSE;
}

bool backend::GetFileStatus(const std::u16string& path, FileStatus& status) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(win32::Wide(path), GetFileExInfoStandard, &data) == FALSE) {
    return false;
  }
  status.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                          data.nFileSizeLow);
  status.modTime = win32::UnixSeconds(data.ftLastWriteTime);
  status.modTimeNanos = static_cast<std::int32_t>(
      (win32::Ticks(data.ftLastWriteTime) % win32::kTicksPerSecond) * 100);
  return true;
}

bool backend::ListDirectory(const std::u16string& pattern, std::vector<DirEntry>& out) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileExW(win32::Wide(pattern), FindExInfoStandard, &data,
                                 FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    std::u16string name = win32::FromWide(data.cFileName, wcslen(data.cFileName));
    if (name == u"." || name == u"..") continue;
    out.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    found = true;
  } while (FindNextFileW(find, &data) != FALSE);
  FindClose(find);
  return found;
}

}  // namespace plat
