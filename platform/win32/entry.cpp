// Entry point of Qorvane.exe: a GUI-subsystem program that opens no window.
#include <windows.h>

#include "launcher/launcher.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The command line is taken from the process itself so that the rule for
  // skipping the program name is the launcher's own, not the runtime's.
  const auto* full = reinterpret_cast<const char16_t*>(GetCommandLineW());
  return RunLauncher(instance, CommandLineAfterProgramName(full));
}
