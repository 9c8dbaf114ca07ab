// The launcher as the program Qorvane: the platform's entry point hands over
// the module and the whole command line.
#include "launcher/launcher.h"
#include "platform/platform.h"

int plat::ProgramMain(plat::ModuleHandle module, std::u16string_view commandLine) {
  return RunLauncher(module, CommandLineAfterProgramName(commandLine));
}
