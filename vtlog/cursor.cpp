#include "vtlog/cursor.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr std::string_view kCursorVersion = "vtlog cursor 1";
// More than any head: a cursor file of a few lines is no larger.
constexpr std::size_t kLongestHex = 4096;

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unhex(std::string_view hex, std::string& out) {
  if (hex.size() % 2 != 0 || hex.size() > kLongestHex) return false;
  out.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<char>(high * 16 + low));
  }
  return true;
}

bool Number(std::string_view text, std::uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

// "<offset> <head hex> <path>"
bool ParseErrorPlace(std::string_view value, FilePlace& place) {
  const std::size_t first = value.find(' ');
  const std::size_t second = first == std::string_view::npos ? first : value.find(' ', first + 1);
  return second != std::string_view::npos && Number(value.substr(0, first), place.offset) &&
         Unhex(value.substr(first + 1, second - first - 1), place.head) &&
         !(place.path = plat::FromUtf8(value.substr(second + 1))).empty();
}

bool ParseLine(std::string_view line, ShipCursor& cursor) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return line.empty();
  const std::string_view key = line.substr(0, eq);
  const std::string_view value = line.substr(eq + 1);
  if (key == "file") return cursor.log.path = plat::FromUtf8(value), true;
  if (key == "head") return Unhex(value, cursor.log.head);
  if (key == "offset") return Number(value, cursor.log.offset);
  if (key == "error") {
    FilePlace place;
    if (!ParseErrorPlace(value, place)) return false;
    cursor.errors.push_back(std::move(place));
  }
  return true;  // a key of a later version
}

}  // namespace

bool ParseCursor(std::string_view text, ShipCursor& cursor) {
  cursor = {};
  std::size_t at = 0;
  for (bool first = true; at < text.size(); first = false) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    if (first ? line != kCursorVersion : !ParseLine(line, cursor)) return false;
    at = end + 1;
  }
  return at > 0;
}

std::string FormatCursor(const ShipCursor& cursor) {
  std::string out(kCursorVersion);
  out += "\nfile=" + plat::ToUtf8(cursor.log.path) + "\nhead=" + Hex(cursor.log.head) +
         "\noffset=" + std::to_string(cursor.log.offset) + "\n";
  for (const FilePlace& place : cursor.errors) {
    out += "error=" + std::to_string(place.offset) + " " + Hex(place.head) + " " +
           plat::ToUtf8(place.path) + "\n";
  }
  return out;
}

CursorLoad LoadCursor(const std::string& path, ShipCursor& cursor) {
  cursor = {};
  std::error_code ec;
  const std::filesystem::path native = std::filesystem::u8path(path);
  if (!std::filesystem::exists(native, ec)) return CursorLoad::Missing;
  std::ifstream in(native, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  // An empty file (made ready by hand) is a cursor at the start.
  if (in && text.str().empty()) return CursorLoad::Missing;
  if (!in || !ParseCursor(text.str(), cursor)) return CursorLoad::Invalid;
  return CursorLoad::Loaded;
}

bool SaveCursor(const std::string& path, const ShipCursor& cursor) {
  return plat::ReplaceFileDurably(path, FormatCursor(cursor));
}
