// The environment, as the system and the runtime both see it.
#include <stdlib.h>

#include "platform/platform.h"
#include "platform/testing.h"
#include "platform/win32/text.h"

namespace plat {

bool GetEnvironment(const std::u16string& name, std::u16string& value) {
  std::u16string buffer;
  DWORD needed = 1;
  // The value may change between the size query and the read: ask again then.
  for (;;) {
    buffer.assign(needed, u'\0');
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableW(win32::Wide(name),
                                           reinterpret_cast<wchar_t*>(buffer.data()), needed);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (length < needed) {
      buffer.resize(length);
      value = std::move(buffer);
      return true;
    }
    needed = length;
  }
}

bool SetEnvironment(const std::u16string& name, const std::u16string& value, bool remove) {
  // The system refuses these names; the runtime would pass them to its
  // invalid-parameter handler first.
  if (name.empty() || name.find(u'=') != std::u16string::npos) return false;
  // The runtime keeps its own copy for getenv; keep both views alike. An empty
  // value removes the variable there, as it does in the runtime.
  _wputenv_s(win32::Wide(name), remove ? L"" : win32::Wide(value));
  return SetEnvironmentVariableW(win32::Wide(name), remove ? nullptr : win32::Wide(value)) != FALSE;
}

namespace {
volatile LONG stopRequested = 0;
BOOL WINAPI NoteStopRequest(DWORD) {
  InterlockedExchange(&stopRequested, 1);
  return TRUE;
}
}  // namespace

void WatchStopRequests() {
  SetConsoleCtrlHandler(NoteStopRequest, TRUE);
}

bool StopRequested() {
  return InterlockedCompareExchange(&stopRequested, 0, 0) != 0;
}

}  // namespace plat
