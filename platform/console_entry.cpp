// Entry point of a console program (vtlog) on every build.
#include <string>
#include <vector>

#include "platform/platform.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = plat::ConsoleArguments(argc, argv);
  plat::UseUtf8Console();
  return plat::ConsoleMain(args);
}
