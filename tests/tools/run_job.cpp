// Starts the launcher once with a command line and prints its exit code as a
// parent process sees it: all 32 bits on Windows, the low 8 bits natively.
//
// usage: run_job LAUNCHER [COMMAND LINE]
#include <cstdio>

#include "platform/testing.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  plat::Process process = plat::StartProcess(plat::FromUtf8(argc > 1 ? argv[1] : ""),
                                             plat::FromUtf8(argc > 2 ? argv[2] : ""));
  std::int64_t exitCode = 0;
  if (argc < 2 || !process || !plat::WaitProcess(*process, exitCode)) {
    std::fprintf(stderr, "usage: run_job LAUNCHER [COMMAND LINE]\n");
    return 2;
  }
  std::printf("%lld\n", static_cast<long long>(exitCode));
  return 0;
}
