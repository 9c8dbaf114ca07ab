// Files on POSIX with Windows share modes. A handle that denies writers
// (WriteShareRead) keeps an exclusive flock on its descriptor, an appending
// handle a shared one; moves and deletes test for either before they act.
// flock belongs to the open file description, so a second open inside this
// process conflicts as well, as a second CreateFileW does on Windows.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/backend.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/posix/text.h"
#include "platform/text.h"

struct plat::FileObject {
  int fd = -1;
  std::u16string path;  // as the caller named it, for fault rules on reads and writes
};

namespace plat {

namespace {

using posix::SystemPath;

// A descriptor closed when it goes out of scope.
struct Descriptor {
  int fd = -1;
  Descriptor() = default;
  explicit Descriptor(int d) : fd(d) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
  int Release() {
    const int d = fd;
    fd = -1;
    return d;
  }
};

OpenStatus StatusOfError(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return OpenStatus::AccessDenied;
    default:
      return OpenStatus::Other;
  }
}

// True when the file open at fd is the one that bears the name sys now.
bool BearsName(int fd, const std::string& sys) {
  struct stat held {};
  struct stat named {};
  return fstat(fd, &held) == 0 && stat(sys.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

// Opens and locks. The lock is taken after the open, so the name may have been
// moved away or deleted in between (a rotation won the race); the lock would
// then guard a file nobody else looks for, and the open is repeated on the
// file that now bears the name, as Windows would have opened that one.
OpenStatus OpenLocked(const std::u16string& path, int flags, int lock, int& out) {
  const std::string sys = SystemPath(path);
  for (int attempt = 0; attempt < 8; ++attempt) {
    // Non-blocking, so that a FIFO in the log's place fails instead of
    // waiting for a reader; only regular files are logs.
    // A FIFO without a reader (ENXIO) or a device is no place for records:
    // refused, as a directory of that name is.
    Descriptor file(open(sys.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666));
    if (file.fd < 0) return errno == ENXIO ? OpenStatus::AccessDenied : StatusOfError(errno);
    struct stat kind {};
    if (fstat(file.fd, &kind) != 0) return OpenStatus::Other;
    if (!S_ISREG(kind.st_mode)) return OpenStatus::AccessDenied;
    Pause(PausePoint::OpenedBeforeLock, path);
    if (flock(file.fd, lock | LOCK_NB) != 0) {
      return errno == EWOULDBLOCK ? OpenStatus::SharingViolation : OpenStatus::Other;
    }
    if (BearsName(file.fd, sys)) {
      out = file.Release();
      return OpenStatus::Opened;
    }
  }
  return OpenStatus::SharingViolation;
}

OpenStatus OpenForReading(const std::string& sys, int& out) {
  // A FIFO or device must not hold up a run: only regular files are read.
  Descriptor file(open(sys.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.fd < 0) return StatusOfError(errno);
  struct stat st {};
  if (fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return OpenStatus::Other;
  out = file.Release();
  return OpenStatus::Opened;
}

// Windows will not move or delete a file while a handle without
// delete-sharing is open on it; every holder here keeps a flock. The
// exclusive lock is held by the caller until it has acted, so that no new
// holder slips in between. The name is acted on afterwards, so the lock must
// be on the file that bears it then: another process may delete the file and
// make a new one between the open and the lock (a writer's cleanup and a
// rotation on "rotation.lock"), and a lock on the old one would let the new
// one's holder lose it. False when the file is held, cannot be opened or
// cannot be locked: a file not shown unheld is left where it is.
bool LockAgainstHolders(const std::string& sys, Descriptor& guard) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    Descriptor file(open(sys.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    // A holder may have a file open that this process cannot read.
    if (file.fd < 0 && errno == EACCES) {
      file.fd = open(sys.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    }
    if (file.fd < 0) return false;
    if (flock(file.fd, LOCK_EX | LOCK_NB) != 0) return false;
    if (BearsName(file.fd, sys)) {
      guard.fd = file.Release();
      return true;
    }
  }
  return false;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void FileCloser::operator()(FileObject* file) const {
  if (file == nullptr) return;
  if (file->fd >= 0) close(file->fd);
  delete file;
}

OpenStatus backend::OpenFile(const std::u16string& path, OpenMode mode, FileHandle& out) {
  const std::string sys = SystemPath(path);
  int fd = -1;
  OpenStatus status = OpenStatus::Other;
  switch (mode) {
    case OpenMode::WriteShareRead:
      status = OpenLocked(path, O_WRONLY | O_CREAT, LOCK_EX, fd);
      break;
    case OpenMode::AppendShared:
      status = OpenLocked(path, O_WRONLY | O_APPEND | O_CREAT, LOCK_SH, fd);
      break;
    case OpenMode::ReadShared:
    case OpenMode::ReadSharedAll:  // a reader here holds up no move or delete
      status = OpenForReading(sys, fd);
      break;
  }
  if (status != OpenStatus::Opened) return status;
  out.reset(new FileObject{fd, path});
  return OpenStatus::Opened;
}

bool SeekFileEnd(FileObject& file) {
  return lseek(file.fd, 0, SEEK_END) >= 0;
}

bool SeekFileTo(FileObject& file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return lseek(file.fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool FileSizeOf(FileObject& file, std::uint64_t& size) {
  struct stat st {};
  if (fstat(file.fd, &st) != 0) return false;
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool FilePosition(FileObject& file, std::uint64_t& position) {
  const off_t at = lseek(file.fd, 0, SEEK_CUR);
  if (at < 0) return false;
  position = static_cast<std::uint64_t>(at);
  return true;
}

const std::u16string& backend::PathOf(const FileObject& file) {
  return file.path;
}

bool backend::WriteBytes(FileObject& file, const void* data, std::size_t size) {
  return WriteAll(file.fd, static_cast<const char*>(data), size);
}

bool SetFileModTime(FileObject& file, std::int64_t seconds, std::int32_t nanos) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanos}};
  return futimens(file.fd, times) == 0;
}

std::ptrdiff_t backend::ReadBytes(FileObject& file, void* data, std::size_t size) {
  if (size > SSIZE_MAX) size = SSIZE_MAX;
  for (;;) {
    const ssize_t n = read(file.fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

bool backend::CanOpenForReading(const std::u16string& path) {
  int fd = -1;
  if (OpenForReading(SystemPath(path), fd) != OpenStatus::Opened) return false;
  close(fd);
  return true;
}

bool backend::MoveNoReplace(const std::u16string& from, const std::u16string& to,
                            bool* otherVolume) {
  const std::string source = SystemPath(from);
  const std::string target = SystemPath(to);
  Descriptor guard;
  if (!LockAgainstHolders(source, guard)) return false;
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  int error = errno;
  if (error == EINVAL || error == ENOSYS) {
    // A file system without no-replace renames: a hard link fails on an
    // existing target just the same.
    if (link(source.c_str(), target.c_str()) == 0) {
      if (unlink(source.c_str()) == 0) return true;
      unlink(target.c_str());
      return false;
    }
    error = errno;
  }
  if (error == EXDEV && otherVolume != nullptr) *otherVolume = true;
  return false;
}

bool backend::RemoveFile(const std::u16string& path) {
  const std::string sys = SystemPath(path);
  Descriptor guard;
  if (!LockAgainstHolders(sys, guard)) return false;
  return unlink(sys.c_str()) == 0;
}

bool backend::RemoveFileOfSize(const std::u16string& path, std::uint64_t size) {
  const std::string sys = SystemPath(path);
  Descriptor guard;
  // The exclusive lock keeps writers out from the measure to the unlink.
  struct stat st {};
  if (!LockAgainstHolders(sys, guard) || fstat(guard.fd, &st) != 0 ||
      static_cast<std::uint64_t>(st.st_size) != size) {
    return false;
  }
  return unlink(sys.c_str()) == 0;
}

}  // namespace plat

namespace plat {

bool IsDiskFile(FileObject& file) {
  struct stat st {};
  return fstat(file.fd, &st) == 0 && S_ISREG(st.st_mode);
}

bool TruncateFile(FileObject& file, std::uint64_t size) {
  if (size > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return ftruncate(file.fd, static_cast<off_t>(size)) == 0 &&
         lseek(file.fd, static_cast<off_t>(size), SEEK_SET) >= 0;
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  struct stat first {};
  struct stat second {};
  return stat(posix::SystemPath(a).c_str(), &first) == 0 &&
         stat(posix::SystemPath(b).c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

std::uint32_t CurrentProcessId() {
  return static_cast<std::uint32_t>(getpid());
}

bool VolumeFreeBytes(const std::u16string& path, std::uint64_t& bytes) {
  struct statvfs volume {};
  if (statvfs(posix::SystemPath(path).c_str(), &volume) != 0) return false;
  bytes = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
  return true;
}

bool SameVolume(const std::u16string& a, const std::u16string& b) {
  struct stat first {};
  struct stat second {};
  return stat(posix::SystemPath(a).c_str(), &first) == 0 &&
         stat(posix::SystemPath(b).c_str(), &second) == 0 && first.st_dev == second.st_dev;
}

bool ReplaceFileDurably(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".tmp";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    ok = n > 0 || (n < 0 && errno == EINTR);
    done += n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  // The rename itself lasts once the directory that holds it is on the disk.
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : path.substr(0, slash);
  const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return true;
}

bool SyncStandardOutput() {
  struct stat st {};
  if (fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return true;
  return fsync(STDOUT_FILENO) == 0;
}

}  // namespace plat
