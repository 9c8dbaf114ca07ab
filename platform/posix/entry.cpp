// Entry point of a program without a console on POSIX (the launcher). The
// arguments are joined with single spaces behind a program name into the
// command line a Windows program would receive.
#include <string>

#include "platform/platform.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  std::string full = "program";
  for (int i = 1; i < argc; ++i) {
    full += ' ';
    full += argv[i];
  }
  return plat::ProgramMain(plat::OwnModule(), plat::FromUtf8(full));
}
