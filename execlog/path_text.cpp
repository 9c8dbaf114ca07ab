#include "execlog/path_text.h"

#include <new>

#include "platform/fault.h"
#include "platform/platform.h"

namespace {

// The longest directory, base name and extension that a path may have.
constexpr std::size_t kMaxPartLength = 255;

bool AllocationFails() {
  return plat::FaultHit(plat::FaultOp::Alloc, u"");
}

struct PathParts {
  std::u16string_view drive;
  std::u16string_view directory;
  std::u16string_view baseName;
  std::u16string_view extension;
};

// All parts empty when one of them is too long, so that no caller ever works
// with a cut-off name.
PathParts SplitPath(std::u16string_view path) {
  PathParts parts;
  std::u16string_view rest = path;
  if (rest.size() >= 2 && rest[1] == u':') {
    parts.drive = rest.substr(0, 2);
    rest.remove_prefix(2);
  }
  const std::size_t slash = rest.find_last_of(u"\\/");
  if (slash != std::u16string_view::npos) {
    parts.directory = rest.substr(0, slash + 1);
    rest.remove_prefix(slash + 1);
  }
  const std::size_t dot = rest.rfind(u'.');
  if (dot != std::u16string_view::npos) {
    parts.baseName = rest.substr(0, dot);
    parts.extension = rest.substr(dot);
  } else {
    parts.baseName = rest;
  }
  if (parts.directory.size() > kMaxPartLength || parts.baseName.size() > kMaxPartLength ||
      parts.extension.size() > kMaxPartLength) {
    return PathParts{};
  }
  return parts;
}

}  // namespace

WideBuffer AllocWideText(std::int32_t count) {
  if (count < 0 || AllocationFails()) return nullptr;
  return WideBuffer(new (std::nothrow) char16_t[static_cast<std::size_t>(count)]());
}

WideBuffer FreeWideText(WideBuffer buffer) {
  buffer.reset();
  return nullptr;
}

bool AssignWideText(std::u16string& target, std::u16string_view value) {
  if (AllocationFails()) return false;
  target.assign(value);
  return true;
}

std::u16string SplitDirectory(std::u16string_view path) {
  const PathParts parts = SplitPath(path);
  return std::u16string(parts.drive) + std::u16string(parts.directory);
}

std::u16string SplitBaseName(std::u16string_view path) {
  return std::u16string(SplitPath(path).baseName);
}

std::u16string SplitExtension(std::u16string_view path) {
  return std::u16string(SplitPath(path).extension);
}

std::u16string SplitFileName(std::u16string_view path) {
  const PathParts parts = SplitPath(path);
  return std::u16string(parts.baseName) + std::u16string(parts.extension);
}

std::u16string ReplaceAll(std::u16string text, std::u16string_view find,
                          std::u16string_view replacement) {
  if (text.empty() || find.empty()) return text;
  if (AllocationFails()) return text;
  std::u16string result;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (std::u16string_view(text).substr(pos, find.size()) == find) {
      result += replacement;
      pos += find.size();
    } else {
      result += text[pos];
      ++pos;
    }
  }
  // A result that is not longer goes back into the text's own buffer.
  if (result.size() > text.size()) return result;
  text.assign(result);
  return text;
}

std::u16string LowerAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return out;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  return LowerAscii(a) == LowerAscii(b);
}

int DirectoryExists(const std::u16string& path) {
  return plat::PathExists(path) && plat::PathIsDirectory(path) ? 1 : 0;
}

int FileOpenable(const std::u16string& path) {
  return plat::CanOpenForReading(path) ? 1 : 0;
}

int MakeDirectory(const std::u16string& path) {
  return plat::MakeOneDirectory(path) ? 1 : 0;
}

bool EnsureDirectory(const std::u16string& path) {
  return DirectoryExists(path) != 0 || MakeDirectory(path) != 0 || DirectoryExists(path) != 0;
}
