// Starts the launcher once with a command line and prints its exit code as a
// parent process sees it: all 32 bits on Windows, the low 8 bits natively.
// usage: run_job LAUNCHER [COMMAND LINE]
#include <cstdio>

#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

int main(int argc, char** argv) {
  const std::string exe = argc > 1 ? argv[1] : "", line = argc > 2 ? argv[2] : "";
  plat::Process process = qvtest::StartProgram(plat::FromUtf8(exe), plat::FromUtf8(line));
  std::int64_t exitCode = 0;
  const bool ran = argc > 1 && process && plat::WaitProcess(*process, exitCode);
  std::fprintf(ran ? stdout : stderr, ran ? "%lld\n" : "usage: run_job LAUNCHER [COMMAND LINE]\n",
               static_cast<long long>(exitCode));
  return ran ? 0 : 2;
}
