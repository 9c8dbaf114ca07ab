// The services a test can make fail, stated once for both backends: the fault
// rules are consulted here, before the backend is called.
#include "platform/platform.h"

#include <algorithm>

#include "platform/backend.h"
#include "platform/fault.h"

namespace plat {

OpenStatus OpenFile(const std::u16string& path, OpenMode mode, FileHandle& out) {
  out.reset();
  OpenStatus injected = OpenStatus::Other;
  if (FaultHit(FaultOp::Open, path, &injected)) {
    // A rule can only make an open fail; there is no handle to report success with.
    return injected == OpenStatus::Opened ? OpenStatus::Other : injected;
  }
  return backend::OpenFile(path, mode, out);
}

bool WriteBytes(FileObject& file, const void* data, std::size_t size) {
  Pause(PausePoint::BeforeWrite, backend::PathOf(file));
  std::size_t shortWrite = 0;
  if (FaultHit(FaultOp::Write, backend::PathOf(file), nullptr, &shortWrite)) {
    // As a full volume does: part of the bytes land, and the write fails.
    backend::WriteBytes(file, data, std::min(shortWrite, size));
    return false;
  }
  return backend::WriteBytes(file, data, size);
}

std::ptrdiff_t ReadBytes(FileObject& file, void* data, std::size_t size) {
  if (FaultHit(FaultOp::Read, backend::PathOf(file))) return -1;
  return backend::ReadBytes(file, data, size);
}

bool CanOpenForReading(const std::u16string& path) {
  return !FaultHit(FaultOp::Open, path) && backend::CanOpenForReading(path);
}

bool MoveNoReplace(const std::u16string& from, const std::u16string& to, bool* otherVolume) {
  if (otherVolume != nullptr) *otherVolume = false;
  return !FaultHit(FaultOp::Move, from) && backend::MoveNoReplace(from, to, otherVolume);
}

bool RemoveFile(const std::u16string& path) {
  Pause(PausePoint::BeforeRemove, path);
  return !FaultHit(FaultOp::Remove, path) && backend::RemoveFile(path);
}

bool RemoveFileOfSize(const std::u16string& path, std::uint64_t size) {
  Pause(PausePoint::BeforeRemove, path);
  return !FaultHit(FaultOp::Remove, path) && backend::RemoveFileOfSize(path, size);
}

bool PathExists(const std::u16string& path) {
  return !FaultHit(FaultOp::Status, path) && backend::PathExists(path);
}

bool PathIsDirectory(const std::u16string& path) {
  return !FaultHit(FaultOp::Status, path) && backend::PathIsDirectory(path);
}

bool MakeOneDirectory(const std::u16string& path) {
  return !FaultHit(FaultOp::MakeDir, path) && backend::MakeOneDirectory(path);
}

bool GetFileStatus(const std::u16string& path, FileStatus& status) {
  return !FaultHit(FaultOp::Status, path) && backend::GetFileStatus(path, status);
}

bool ListDirectory(const std::u16string& pattern, std::vector<DirEntry>& out) {
  return !FaultHit(FaultOp::List, pattern) && backend::ListDirectory(pattern, out);
}

std::u16string_view ProfileDefault(std::u16string_view def) {
  def = def.substr(0, std::min(def.find(u'\0'), def.size()));
  while (def.size() > 1 && def.back() == u' ') def.remove_suffix(1);
  return def;
}

std::u16string UnreadProfileDefault(std::u16string_view def, std::size_t capacity) {
  def = ProfileDefault(def);
  return std::u16string(def.substr(0, std::min(capacity - 1, def.size())));
}

// A failed read of the file answers as an unreadable file does.
std::u16string ReadProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& def, std::size_t capacity,
                                 const std::u16string& path) {
  if (capacity == 0) return {};
  if (FaultHit(FaultOp::Read, path)) return UnreadProfileDefault(def, capacity);
  return backend::ReadProfileString(section, key, def, capacity, path);
}

int ReadProfileInt(const std::u16string& section, const std::u16string& key, int def,
                   const std::u16string& path) {
  if (FaultHit(FaultOp::Read, path)) return def;
  return backend::ReadProfileInt(section, key, def, path);
}

WallClock Now() {
  if (const std::optional<WallClock> fixed = ClockOverride()) return *fixed;
  return backend::Now();
}

}  // namespace plat
