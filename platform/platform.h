// Operating-system services of the launcher, stated in the launcher's own terms.
// Two backends implement this header: platform/win32 (the product) and
// platform/posix (the native port); platform.cpp states the services a fault
// rule can make fail once for both. Services only tests use are in
// platform/testing.h. Nothing outside platform/ talks to the operating system
// directly.
//
// Paths are UTF-16 with "\" as the separator, as the suite writes them; the
// POSIX backend maps "\" to "/" at the system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plat {

// ---------------------------------------------------------------- environment

// Value of an environment variable; false when it is absent.
bool GetEnvironment(const std::u16string& name, std::u16string& value);

// ------------------------------------------------------------ private profile

// As GetPrivateProfileStringW: the value of key in [section] of the file at
// path, or def when file, section or key is absent; at most capacity - 1
// characters are returned (capacity >= 1).
std::u16string ReadProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& def, std::size_t capacity,
                                 const std::u16string& path);
// As GetPrivateProfileIntW.
int ReadProfileInt(const std::u16string& section, const std::u16string& key, int def,
                   const std::u16string& path);

// ---------------------------------------------------------------------- files

enum class OpenStatus { Opened, SharingViolation, AccessDenied, Other };

enum class OpenMode {
  // Write access, others may only read, open or create (CreateFileW with
  // GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS). While held, every other open
  // for writing of the file fails with SharingViolation, and the file can be
  // neither moved nor deleted.
  WriteShareRead,
  // Binary read, others free to read and write ("rb", deny-none). Fails on a
  // directory.
  ReadShared,
  // Binary append, created when missing, others free to read and write ("ab",
  // deny-none). Every write lands at the end.
  AppendShared,
  // Binary read, others free to read, write, move and delete; for readers
  // that must never hold up the launcher (a rotation's move, pruning's
  // deletes). Fails on a directory.
  ReadSharedAll,
};

struct FileObject;
struct FileCloser {
  void operator()(FileObject* file) const;
};
using FileHandle = std::unique_ptr<FileObject, FileCloser>;

OpenStatus OpenFile(const std::u16string& path, OpenMode mode, FileHandle& out);
bool SeekFileEnd(FileObject& file);
bool SeekFileTo(FileObject& file, std::uint64_t offset);
bool FileSizeOf(FileObject& file, std::uint64_t& size);
bool FilePosition(FileObject& file, std::uint64_t& position);
// Writes all bytes at the current position; false on any failure.
bool WriteBytes(FileObject& file, const void* data, std::size_t size);
// Sets the last-write time of a file open for writing (a copy keeps its
// original's time).
bool SetFileModTime(FileObject& file, std::int64_t seconds, std::int32_t nanos);
// Bytes read, 0 at the end of the file, -1 on failure.
std::ptrdiff_t ReadBytes(FileObject& file, void* data, std::size_t size);

bool PathExists(const std::u16string& path);
bool PathIsDirectory(const std::u16string& path);
// Creates one directory; its parent must exist. False also when it exists.
bool MakeOneDirectory(const std::u16string& path);
// Opens for reading ("r", deny-none) and closes at once. False for a directory.
bool CanOpenForReading(const std::u16string& path);
// Renames a file within its volume. Fails when the target exists, while
// another process holds the source open (without delete-sharing), and when
// the target is on another volume (otherVolume is then set): such a move
// would be a copy and a delete, which a kill could leave half done, so the
// caller copies as it sees fit.
bool MoveNoReplace(const std::u16string& from, const std::u16string& to,
                   bool* otherVolume = nullptr);
// Deletes a file. Fails while another process holds it open.
bool RemoveFile(const std::u16string& path);
// Deletes a file only while it holds exactly size bytes, measured under a hold
// that no writer can open past: a record appended since the caller last looked
// keeps the file. Fails as RemoveFile does, and on any other size.
bool RemoveFileOfSize(const std::u16string& path, std::uint64_t size);

struct FileStatus {
  bool isDirectory = false;
  std::int64_t size = 0;          // bytes, 64-bit
  std::int64_t modTime = 0;       // last write, seconds since 1970-01-01 UTC
  std::int32_t modTimeNanos = 0;  // the last write's fraction of its second
};
bool GetFileStatus(const std::u16string& path, FileStatus& status);

struct DirEntry {
  std::u16string name;  // without its directory
  bool isDirectory = false;
};
// Lists a directory by a pattern such as "D:\log\*orbeck*": directory, "\",
// then a name pattern with "*" and "?" matched ignoring letter case. Appends
// to out; false when the directory cannot be read or nothing matches.
bool ListDirectory(const std::u16string& pattern, std::vector<DirEntry>& out);

// ---------------------------------------------------------------------- time

struct WallClock {
  std::int64_t seconds = 0;  // since 1970-01-01 00:00 UTC
  int milliseconds = 0;      // 0 to 999
};
WallClock Now();

struct Calendar {
  int year = 0;   // with century
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
};
bool ToLocalCalendar(std::int64_t seconds, Calendar& out);
bool ToUtcCalendar(std::int64_t seconds, Calendar& out);

void SleepMilliseconds(int milliseconds);

// ------------------------------------------------------------------ libraries

struct LibraryObject;
struct LibraryCloser {
  void operator()(LibraryObject* library) const;
};
using Library = std::unique_ptr<LibraryObject, LibraryCloser>;

// Loads the library at path (null when it cannot be loaded); reset() unloads.
Library OpenLibrary(const std::u16string& path);
// Address of a named export, or null.
void* FindExport(LibraryObject& library, const char* name);

// ---------------------------------------------- string table and message box

using ModuleHandle = void*;
// The running executable's module (GetModuleHandleA(NULL)).
ModuleHandle OwnModule();
// Narrow text of a string id in the system's ANSI code page (UTF-8 on POSIX),
// as LoadStringA into a buffer of capacity bytes: at most capacity - 1 bytes.
// Empty when the id is missing.
std::string LoadNarrowString(ModuleHandle module, unsigned id, std::size_t capacity);
// A modal message box (MessageBoxA); on POSIX written to standard error.
int ShowMessageBox(void* owner, const std::string& text, const std::string& caption,
                   unsigned flags);

// ------------------------------------------------------------- program entry

// The platform owns the programs' entry points; each program defines the one
// function its kind of entry point calls, and its result is the exit code.
// A program without a console (the launcher; wWinMain on Windows, main on
// POSIX) gets its own module and the whole command line with the program's
// name first. On POSIX that is a name without blanks and the arguments joined
// by single spaces; a caller that needs its exact text passes it as one
// argument, as StartProcess does.
int ProgramMain(ModuleHandle module, std::u16string_view commandLine);
// A console program (vtlog; main everywhere) gets its arguments from
// ConsoleArguments, once the console shows UTF-8.
int ConsoleMain(const std::vector<std::string>& args);

// The arguments of a console program in UTF-8, without the program's name:
// on Windows taken from the wide command line, since main's narrow arguments
// lose what the ANSI code page cannot hold; on POSIX argv, where a single
// argument holding a blank (the whole command line that StartProcess hands
// over) is split as Windows splits a command line.
std::vector<std::string> ConsoleArguments(int argc, char** argv);
// Makes the console show UTF-8 output (a no-op where it already does).
void UseUtf8Console();

}  // namespace plat

namespace plat {

// ------------------------------------------- checks of the record writer's files

// True when the open file is a regular file on a disk, not a device (NUL,
// CON), a pipe or a console: only such a file keeps the records written to it.
bool IsDiskFile(FileObject& file);
// Cuts the open file back to size bytes, taking back a record that a full
// volume let in only in part.
bool TruncateFile(FileObject& file, std::uint64_t size);
// True when both paths name one existing file, as the file system compares
// them (volume and file identity), however their texts differ.
bool SameFile(const std::u16string& a, const std::u16string& b);
// The id of the running process.
std::uint32_t CurrentProcessId();
// The bytes the caller may still write on the volume that holds the existing
// path; false when the volume cannot be asked.
bool VolumeFreeBytes(const std::u16string& path, std::uint64_t& bytes);
// True when both existing paths lie on one volume, so that a move between
// them is a rename and needs no room; false when either cannot be asked.
bool SameVolume(const std::u16string& a, const std::u16string& b);
// Replaces the file at path (a native path, UTF-8) by bytes so that a crash or
// a power loss leaves the old content or the new, never a part: written beside
// it, flushed to the disk, renamed over it.
bool ReplaceFileDurably(const std::string& path, std::string_view bytes);
// Flushes what the standard output was given to the disk when it is a disk
// file (a pipe or a console passes on at once); false when that fails.
bool SyncStandardOutput();
// From the call on, a request to stop (SIGTERM or SIGINT; Ctrl+C, Ctrl+Break
// or the console closing on Windows) no longer ends the process at once but
// sets a flag that StopRequested reads, so a program can finish its step.
void WatchStopRequests();
bool StopRequested();

}  // namespace plat
