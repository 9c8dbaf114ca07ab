// Where a shipper stopped: in the log's chain (the file by its first bytes,
// and the byte after the last whole record shown) and in each error file.
// Saved as "key=value" lines after the output before it was surely written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A place in a file known by its first bytes, wherever it was moved.
struct FilePlace {
  std::u16string path;  // where it was last seen
  std::string head{};   // its first bytes; empty: not yet any file
  std::uint64_t offset = 0;
};

struct ShipCursor {
  FilePlace log{};                // in the log or one of its generations
  std::vector<FilePlace> errors;  // write-error and name-error files
};

// "vtlog cursor 1", then "file=", "head=" (hex), "offset=" of the log and an
// "error=<offset> <head hex> <path>" line for each error file. False for
// text that is no cursor.
bool ParseCursor(std::string_view text, ShipCursor& cursor);
std::string FormatCursor(const ShipCursor& cursor);

enum class CursorLoad { Loaded, Missing, Invalid };
// path is a native path in UTF-8.
CursorLoad LoadCursor(const std::string& path, ShipCursor& cursor);
// Written beside it, flushed to the disk and renamed over it, so a crash
// leaves the old cursor or the new one, never half of one.
bool SaveCursor(const std::string& path, const ShipCursor& cursor);
