// Files: the share-mode open that the record writer and the rotation lock
// rely on, the reads, writes and seeks on the handle, and the moves and
// deletes that the share modes can refuse.
#include "platform/win32/text.h"
// After <windows.h>, which text.h brings in.
#include <share.h>
#include <stdio.h>

#include <algorithm>
#include <limits>

#include "platform/backend.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace plat {

struct FileObject {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::u16string path;  // for fault rules that name a path
};

void FileCloser::operator()(FileObject* file) const {
  if (file == nullptr) return;
  if (file->handle != INVALID_HANDLE_VALUE) CloseHandle(file->handle);
  delete file;
}

namespace {

struct OpenRequest {
  DWORD access;
  DWORD share;
  DWORD disposition;
};

OpenRequest RequestFor(OpenMode mode) {
  switch (mode) {
    case OpenMode::WriteShareRead:
      return {GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS};
    case OpenMode::ReadShared:
      // Deny-none as the runtime's streams share: read and write, not delete.
      return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING};
    case OpenMode::ReadSharedAll:
      return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING};
    case OpenMode::AppendShared:
      // Append-only access puts every write at the end, whoever else writes.
      return {FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS};
  }
  return {0, 0, 0};
}

}  // namespace

OpenStatus backend::OpenFile(const std::u16string& path, OpenMode mode, FileHandle& out) {
  OpenRequest request = RequestFor(mode);
  HANDLE handle = CreateFileW(win32::Wide(path), request.access, request.share, nullptr,
                              request.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    switch (GetLastError()) {
      case ERROR_SHARING_VIOLATION:
        return OpenStatus::SharingViolation;
      case ERROR_ACCESS_DENIED:
      // A console name (CON, CONIN$) in a process without a console: no
      // file at all.
      case ERROR_INVALID_HANDLE:
        return OpenStatus::AccessDenied;
      default:
        return OpenStatus::Other;
    }
  }
  out.reset(new FileObject{handle, path});
  return OpenStatus::Opened;
}

bool SeekFileEnd(FileObject& file) {
  LARGE_INTEGER zero{};
  return SetFilePointerEx(file.handle, zero, nullptr, FILE_END) != FALSE;
}

bool SeekFileTo(FileObject& file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())) return false;
  LARGE_INTEGER target{};
  target.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file.handle, target, nullptr, FILE_BEGIN) != FALSE;
}

bool FileSizeOf(FileObject& file, std::uint64_t& size) {
  LARGE_INTEGER value{};
  if (GetFileSizeEx(file.handle, &value) == FALSE) return false;
  size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

bool FilePosition(FileObject& file, std::uint64_t& position) {
  LARGE_INTEGER zero{};
  LARGE_INTEGER value{};
  if (SetFilePointerEx(file.handle, zero, &value, FILE_CURRENT) == FALSE) return false;
  position = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

const std::u16string& backend::PathOf(const FileObject& file) {
  return file.path;
}

bool backend::WriteBytes(FileObject& file, const void* data, std::size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD written = 0;
    if (WriteFile(file.handle, next, chunk, &written, nullptr) == FALSE || written == 0) {
      return false;
    }
    next += written;
    size -= written;
  }
  return true;
}

bool SetFileModTime(FileObject& file, std::int64_t seconds, std::int32_t nanos) {
  const std::uint64_t ticks =
      static_cast<std::uint64_t>(seconds + win32::kEpochOffsetSeconds) * win32::kTicksPerSecond +
      static_cast<std::uint64_t>(nanos / 100);
  FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  return SetFileTime(file.handle, nullptr, nullptr, &time) != FALSE;
}

std::ptrdiff_t backend::ReadBytes(FileObject& file, void* data, std::size_t size) {
  DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  DWORD read = 0;
  if (ReadFile(file.handle, data, chunk, &read, nullptr) == FALSE) return -1;
  return static_cast<std::ptrdiff_t>(read);
}

bool backend::CanOpenForReading(const std::u16string& path) {
  // The runtime's deny-none open, as the log's readers use; it refuses a directory.
  FILE* stream = _wfsopen(win32::Wide(path), L"r", _SH_DENYNO);
  if (stream == nullptr) return false;
  fclose(stream);
  return true;
}

bool backend::MoveNoReplace(const std::u16string& from, const std::u16string& to,
                            bool* otherVolume) {
  // Without MOVEFILE_COPY_ALLOWED a move to another volume is refused, not copied.
  if (MoveFileExW(win32::Wide(from), win32::Wide(to), 0) != FALSE) return true;
  if (otherVolume != nullptr && GetLastError() == ERROR_NOT_SAME_DEVICE) *otherVolume = true;
  return false;
}

bool backend::RemoveFile(const std::u16string& path) {
  return DeleteFileW(win32::Wide(path)) != FALSE;
}

bool backend::RemoveFileOfSize(const std::u16string& path, std::uint64_t size) {
  // Opened for deletion sharing no write: a writer's open fails from the
  // measure until the handle closes, and the delete happens at that close.
  HANDLE handle = CreateFileW(win32::Wide(path), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER now{};
  FILE_DISPOSITION_INFO disposition{TRUE};
  const bool removed =
      GetFileSizeEx(handle, &now) != FALSE && static_cast<std::uint64_t>(now.QuadPart) == size &&
      SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) !=
          FALSE;
  CloseHandle(handle);
  return removed;
}

}  // namespace plat

namespace plat {

bool IsDiskFile(FileObject& file) {
  return GetFileType(file.handle) == FILE_TYPE_DISK;
}

bool TruncateFile(FileObject& file, std::uint64_t size) {
  return SeekFileTo(file, size) && SetEndOfFile(file.handle) != FALSE;
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  BY_HANDLE_FILE_INFORMATION info[2]{};
  const std::u16string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    // No access asked and every sharing allowed: a file held by a writer
    // still answers.
    HANDLE handle = CreateFileW(win32::Wide(*paths[i]), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const BOOL known = GetFileInformationByHandle(handle, &info[i]);
    CloseHandle(handle);
    if (known == FALSE) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

std::uint32_t CurrentProcessId() {
  return GetCurrentProcessId();
}

bool VolumeFreeBytes(const std::u16string& path, std::uint64_t& bytes) {
  ULARGE_INTEGER available{};
  if (GetDiskFreeSpaceExW(win32::Wide(path), &available, nullptr, nullptr) == FALSE) return false;
  bytes = available.QuadPart;
  return true;
}

bool SameVolume(const std::u16string& a, const std::u16string& b) {
  // The mount point of each path: a volume mounted into a folder is one of
  // its own, as it is for a move.
  wchar_t roots[2][MAX_PATH + 1] = {};
  const std::u16string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    if (GetVolumePathNameW(win32::Wide(*paths[i]), roots[i], MAX_PATH + 1) == FALSE) return false;
  }
  return _wcsicmp(roots[0], roots[1]) == 0;
}

bool ReplaceFileDurably(const std::string& path, std::string_view bytes) {
  const std::u16string target = FromUtf8(path);
  const std::u16string temporary = target + u".tmp";
  HANDLE file = CreateFileW(win32::Wide(temporary), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    ok = WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) != FALSE && wrote > 0;
    done += wrote;
  }
  ok = FlushFileBuffers(file) != FALSE && ok;
  ok = CloseHandle(file) != FALSE && ok;
  if (!ok || MoveFileExW(win32::Wide(temporary), win32::Wide(target),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
    DeleteFileW(win32::Wide(temporary));
    return false;
  }
  return true;
}

bool SyncStandardOutput() {
  // Only a disk file: FlushFileBuffers on a pipe waits for its reader.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE || out == nullptr || GetFileType(out) != FILE_TYPE_DISK) {
    return true;
  }
  return FlushFileBuffers(out) != FALSE;
}

}  // namespace plat
