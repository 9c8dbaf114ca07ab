// Libraries, the executable's string table and the message box.
#include <algorithm>
#include <climits>

#include "platform/platform.h"
#include "platform/testing.h"
#include "platform/win32/text.h"

namespace plat {

struct LibraryObject {
  HMODULE module = nullptr;
};

void LibraryCloser::operator()(LibraryObject* library) const {
  if (library == nullptr) return;
  FreeLibrary(library->module);
  delete library;
}

Library OpenLibrary(const std::u16string& path) {
  HMODULE module = LoadLibraryW(win32::Wide(path));
  if (module == nullptr) return nullptr;
  return Library(new LibraryObject{module});
}

void* FindExport(LibraryObject& library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(library.module, name));
}

ModuleHandle OwnModule() {
  return GetModuleHandleA(nullptr);
}

std::string LoadNarrowString(ModuleHandle module, unsigned id, std::size_t capacity) {
  // A zero capacity would make LoadStringA hand out the resource itself.
  if (capacity == 0) return {};
  int size = static_cast<int>(std::min<std::size_t>(capacity, INT_MAX));
  std::string buffer(static_cast<std::size_t>(size), '\0');
  int length = LoadStringA(static_cast<HINSTANCE>(module), id, buffer.data(), size);
  buffer.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return buffer;
}

std::u16string LoadWideString(ModuleHandle module, unsigned id) {
  // With no buffer LoadStringW points into the resource: the text in full,
  // without a terminator and without a limit of ours.
  const wchar_t* text = nullptr;
  int length =
      LoadStringW(static_cast<HINSTANCE>(module), id, reinterpret_cast<wchar_t*>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return win32::FromWide(text, static_cast<std::size_t>(length));
}

int ShowMessageBox(void* owner, const std::string& text, const std::string& caption,
                   unsigned flags) {
  return MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), flags);
}

bool DismissMessageBox(const std::string& caption, int timeoutMs, std::string& text) {
  for (int waited = 0; waited <= timeoutMs; waited += 10) {
    if (HWND box = FindWindowA("#32770", caption.c_str())) {
      char buffer[1024] = {};
      GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
      text = buffer;
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      // Gone before the next search, so that one box is never read twice.
      for (int i = 0; i < 500 && IsWindow(box); ++i) Sleep(10);
      return true;
    }
    Sleep(10);
  }
  return false;
}

}  // namespace plat
