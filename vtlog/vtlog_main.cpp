// vtlog as a console program on every build. Output is UTF-8.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vtlog/vtlog.h"

int plat::ConsoleMain(const std::vector<std::string>& args) {
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
