// Entry point of the native launcher. The arguments are joined with single
// spaces into the command line a Windows program would receive; a caller that
// needs the exact text passes it as one argument.
#include <string>

#include "launcher/launcher.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  std::string full = "qorvane";
  for (int i = 1; i < argc; ++i) {
    full += ' ';
    full += argv[i];
  }
  return RunLauncher(plat::OwnModule(), CommandLineAfterProgramName(plat::FromUtf8(full)));
}
