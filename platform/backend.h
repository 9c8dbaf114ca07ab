// The backends' half of the services a fault rule can make fail. platform.cpp
// defines each of these services once: it consults the rules, then calls the
// backend's function of the same name here. The backends never look at the
// rules themselves, so they cannot differ in which faults they honour; they
// only pass through the pause points that fall inside them (platform/fault.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace plat::backend {

OpenStatus OpenFile(const std::u16string& path, OpenMode mode, FileHandle& out);
// The path the file was opened by, for rules that name a path.
const std::u16string& PathOf(const FileObject& file);
bool WriteBytes(FileObject& file, const void* data, std::size_t size);
std::ptrdiff_t ReadBytes(FileObject& file, void* data, std::size_t size);
bool CanOpenForReading(const std::u16string& path);
bool MoveNoReplace(const std::u16string& from, const std::u16string& to, bool* otherVolume);
bool RemoveFile(const std::u16string& path);
bool RemoveFileOfSize(const std::u16string& path, std::uint64_t size);

bool PathExists(const std::u16string& path);
bool PathIsDirectory(const std::u16string& path);
bool MakeOneDirectory(const std::u16string& path);
bool GetFileStatus(const std::u16string& path, FileStatus& status);
bool ListDirectory(const std::u16string& pattern, std::vector<DirEntry>& out);

// capacity >= 1.
std::u16string ReadProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& def, std::size_t capacity,
                                 const std::u16string& path);
int ReadProfileInt(const std::u16string& section, const std::u16string& key, int def,
                   const std::u16string& path);

WallClock Now();

}  // namespace plat::backend

namespace plat {

// The default of a private-profile string read as the system uses it: up to a
// NUL, without trailing spaces (only spaces, and never its first character).
std::u16string_view ProfileDefault(std::u16string_view def);
// What the read gives when the file cannot be read (a directory, a missing
// directory, a read error): that default, at most capacity - 1 characters,
// and not unquoted as a value from the file would be.
std::u16string UnreadProfileDefault(std::u16string_view def, std::size_t capacity);

}  // namespace plat
