// vtlog as a console program on every build. Output is UTF-8.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vtlog/vtlog.h"

int plat::ConsoleMain(const std::vector<std::string>& args) {
  // A short write or a failed flush (a full volume, a closed pipe) is kept:
  // a follower stops, and no cursor is moved past output that was lost.
  static bool failed = false;
  VtlogOutput output;
  output.out = [](std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) failed = true;
  };
  output.err = [](std::string_view text) {
    if (std::fflush(stdout) != 0) failed = true;
    std::fwrite(text.data(), 1, text.size(), stderr);
  };
  output.flush = [] {
    if (std::fflush(stdout) != 0) failed = true;
  };
  // A service manager's stop ends a follower after its step, with the cursor
  // saved after the last record written.
  plat::WatchStopRequests();
  output.wanted = [] { return !failed && !plat::StopRequested(); };
  output.written = [](bool durable) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) failed = true;
    if (!failed && durable && !plat::SyncStandardOutput()) failed = true;
    return !failed;
  };
  const int code = RunVtlog(args, output);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fputs("vtlog: the output could not be written completely\n", stderr);
    return code == kExitOk ? kExitUnknown : code;
  }
  return code;
}
