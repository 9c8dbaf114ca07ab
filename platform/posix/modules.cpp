// Libraries, the string table and the message box of the native build. The
// texts are compiled from the same source as the Windows resource script; a
// message box becomes a block of text on standard error.
#include <dlfcn.h>

#include <cstdio>
#include <string_view>

#include "platform/platform.h"
#include "platform/posix/text.h"
#include "platform/testing.h"
#include "platform/text.h"

struct plat::LibraryObject {
  void* handle = nullptr;
};

namespace plat {
namespace {

struct StringEntry {
  unsigned id;
  const char* text;  // UTF-8
};

constexpr StringEntry kStrings[] = {
#define QORVANE_STRING(id, text) {id, text},
#include "resources/strings.inc"
#undef QORVANE_STRING
};

// Stands for the executable's module; only its address matters.
const char kOwnModule = 0;

// Null names the executable as well, as it does for LoadStringA.
const char* FindText(ModuleHandle module, unsigned id) {
  if (module != nullptr && module != OwnModule()) return nullptr;
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) return entry.text;
  }
  return nullptr;
}

const char* BoxClass(unsigned flags) {
  switch (flags & 0xF0) {
    case 0x10:
      return "error";
    case 0x30:
      return "warning";
    case 0x40:
      return "information";
    default:
      return "message";
  }
}

}  // namespace

void LibraryCloser::operator()(LibraryObject* library) const {
  if (library == nullptr) return;
  dlclose(library->handle);
  delete library;
}

Library OpenLibrary(const std::u16string& path) {
  void* handle = dlopen(posix::SystemPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  return Library(new LibraryObject{handle});
}

void* FindExport(LibraryObject& library, const char* name) {
  return dlsym(library.handle, name);
}

ModuleHandle OwnModule() {
  return const_cast<char*>(&kOwnModule);
}

std::string LoadNarrowString(ModuleHandle module, unsigned id, std::size_t capacity) {
  const char* text = FindText(module, id);
  if (text == nullptr || capacity == 0) return {};
  std::string_view bytes(text);
  if (bytes.size() > capacity - 1) {
    std::size_t end = capacity - 1;
    // Never cut a character in two: back off over continuation bytes.
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
    bytes = bytes.substr(0, end);
  }
  return std::string(bytes);
}

std::u16string LoadWideString(ModuleHandle module, unsigned id) {
  const char* text = FindText(module, id);
  return text == nullptr ? std::u16string() : FromUtf8(text);
}

int ShowMessageBox(void* owner, const std::string& text, const std::string& caption,
                   unsigned flags) {
  const std::string block = "[" + caption + "] " + BoxClass(flags) + "\n" + text + "\n\n";
  std::fwrite(block.data(), 1, block.size(), stderr);
  std::fflush(stderr);
  return 1;  // IDOK: the only button
}

bool DismissMessageBox(const std::string& caption, int timeoutMs, std::string& text) {
  return false;
}

}  // namespace plat
