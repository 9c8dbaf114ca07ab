// Entry point of a GUI-subsystem program (the launcher, which opens no window).
#include "platform/platform.h"
#include "platform/win32/text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The whole command line, taken from the process itself, so that the rule
  // for skipping the program name is the program's own, not the runtime's.
  return plat::ProgramMain(instance, reinterpret_cast<const char16_t*>(GetCommandLineW()));
}
