// Starts the launcher once with a command line and prints its exit code as
// the parent process sees it: all 32 bits on Windows (a Unix parent of Wine
// would see only the low 8), the low 8 bits natively.
//
// usage: run_job LAUNCHER [COMMAND LINE]
#include <cstdio>
#include <string>

#include "platform/testing.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: run_job LAUNCHER [COMMAND LINE]\n");
    return 2;
  }
  const std::string commandLine = argc > 2 ? argv[2] : "";
  plat::Process process = plat::StartProcess(plat::FromUtf8(argv[1]), plat::FromUtf8(commandLine));
  std::int64_t exitCode = 0;
  if (!process || !plat::WaitProcess(*process, exitCode)) {
    std::fprintf(stderr, "run_job: cannot run %s\n", argv[1]);
    return 2;
  }
  std::printf("%lld\n", static_cast<long long>(exitCode));
  return 0;
}
