// Entry point of vtlog, a console program on every build. Output is UTF-8.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vtlog/vtlog.h"

int main(int argc, char** argv) {
  std::vector<std::string> args = plat::ConsoleArguments(argc, argv);
  plat::UseUtf8Console();
  // A program started with one command-line text (as the test drivers start
  // processes on every build) gets it as a single argument; no subcommand
  // holds a blank, so such an argument is split here.
  if (args.size() == 1 && args[0].find_first_of(" \t") != std::string::npos) {
    args = SplitCommandLine(args[0]);
  }
  VtlogOutput output;
  output.out = [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); };
  output.err = [](std::string_view text) {
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
  };
  output.flush = [] { std::fflush(stdout); };
  const int code = RunVtlog(args, output);
  std::fflush(stdout);
  return code;
}
