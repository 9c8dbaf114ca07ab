// Private-profile reads: the system's own.
#include <algorithm>
#include <limits>

#include "platform/backend.h"
#include "platform/platform.h"
#include "platform/win32/text.h"

namespace plat {

std::u16string backend::ReadProfileString(const std::u16string& section, const std::u16string& key,
                                          const std::u16string& def, std::size_t capacity,
                                          const std::u16string& path) {
  DWORD size =
      static_cast<DWORD>(std::min<std::size_t>(capacity, std::numeric_limits<DWORD>::max()));
  std::u16string buffer(size, u'\0');
  DWORD length =
      GetPrivateProfileStringW(win32::Wide(section), win32::Wide(key), win32::Wide(def),
                               reinterpret_cast<wchar_t*>(buffer.data()), size, win32::Wide(path));
  buffer.resize(std::min<DWORD>(length, size - 1));
  return buffer;
}

int backend::ReadProfileInt(const std::u16string& section, const std::u16string& key, int def,
                            const std::u16string& path) {
  return static_cast<int>(
      GetPrivateProfileIntW(win32::Wide(section), win32::Wide(key), def, win32::Wide(path)));
}

}  // namespace plat
