// Operations on paths: existence, directories, moves, deletes, status and the
// wildcard listing the rotation prunes by.
#include "platform/win32/win32_text.h"
// shlwapi after windows.h, as configured there.
#include <share.h>
#include <shlwapi.h>
#include <stdio.h>

#include "platform/fault.h"
#include "platform/platform.h"

// shlwapi names its A or W variant by this macro; the launcher's own
// function of that name must keep it.
#undef PathIsDirectory

namespace plat {

bool PathExists(const std::u16string& path) {
  if (FaultHit(FaultOp::Status, path)) return false;
  return PathFileExistsW(win32::Wide(path)) != FALSE;
}

bool PathIsDirectory(const std::u16string& path) {
  if (FaultHit(FaultOp::Status, path)) return false;
  return PathIsDirectoryW(win32::Wide(path)) != FALSE;
}

bool MakeOneDirectory(const std::u16string& path) {
  if (FaultHit(FaultOp::MakeDir, path)) return false;
  return CreateDirectoryW(win32::Wide(path), nullptr) != FALSE;
}

bool CanOpenForReading(const std::u16string& path) {
  if (FaultHit(FaultOp::Open, path)) return false;
  // The runtime's deny-none open, as the log's readers use; it refuses a directory.
  FILE* stream = _wfsopen(win32::Wide(path), L"r", _SH_DENYNO);
  if (stream == nullptr) return false;
  fclose(stream);
  return true;
}

bool MoveNoReplace(const std::u16string& from, const std::u16string& to, bool* otherVolume) {
  if (otherVolume != nullptr) *otherVolume = false;
  if (FaultHit(FaultOp::Move, from)) return false;
  // Without MOVEFILE_COPY_ALLOWED a move to another volume is refused, not copied.
  if (MoveFileExW(win32::Wide(from), win32::Wide(to), 0) != FALSE) return true;
  if (otherVolume != nullptr && GetLastError() == ERROR_NOT_SAME_DEVICE) *otherVolume = true;
  return false;
}

bool RemoveFile(const std::u16string& path) {
  if (FaultHit(FaultOp::Remove, path)) return false;
  return DeleteFileW(win32::Wide(path)) != FALSE;
}

bool GetFileStatus(const std::u16string& path, FileStatus& status) {
  if (FaultHit(FaultOp::Status, path)) return false;
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

bool ListDirectory(const std::u16string& pattern, std::vector<DirEntry>& out) {
  if (FaultHit(FaultOp::List, pattern)) return false;
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
