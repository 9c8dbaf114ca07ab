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

bool MoveNoReplace(const std::u16string& from, const std::u16string& to) {
  if (FaultHit(FaultOp::Move, from)) return false;
  return MoveFileW(win32::Wide(from), win32::Wide(to)) != FALSE;
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

namespace {

// Volume and file index of an existing file or directory, opened without
// access so that no holder of the file is disturbed.
bool FileIdentity(const std::u16string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE file =
      CreateFileW(win32::Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(file, &info) != FALSE;
  CloseHandle(file);
  return known;
}

}  // namespace

bool SameFile(const std::u16string& a, const std::u16string& b) {
  BY_HANDLE_FILE_INFORMATION ia{};
  BY_HANDLE_FILE_INFORMATION ib{};
  return FileIdentity(a, ia) && FileIdentity(b, ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
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
