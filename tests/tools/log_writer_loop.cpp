// A competing process for the record writer's multi-process tests.
//
// usage: log_writer_loop OUTPUT_DIR NAME TAG COUNT [MODE]
//   write (default): COUNT start records into OUTPUT_DIR\NAME, job TAG and the
//     four-digit record number, command line "record TAG NUMBER x...".
//   shared: the same as failure records (-2911) of the one job vtJobIdError,
//     as invalid identifiers give.
//   Both exit with the number of records the writer did not answer with 0.
//   hold: keeps OUTPUT_DIR\rotation.lock (or OUTPUT_DIR\TAG unless TAG is x)
//     open as a rotation does for COUNT milliseconds, or until the file
//     OUTPUT_DIR\NAME.release appears; creates OUTPUT_DIR\NAME once it holds.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "execlog/record_writer.h"
#include "platform/platform.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = plat::ConsoleArguments(argc, argv);
  if (args.size() < 4) {
    std::fprintf(stderr, "usage: log_writer_loop OUTPUT_DIR NAME TAG COUNT [MODE]\n");
    return 2;
  }
  const std::u16string dir = plat::FromUtf8(args[0]);
  const std::u16string name = dir + u"\\" + plat::FromUtf8(args[1]);
  const int count = std::atoi(args[3].c_str());
  const std::string mode = args.size() > 4 ? args[4] : "write";
  if (mode == "hold") {
    plat::FileHandle held = OpenLogForAppend(
        dir + u"\\" + (args[2] == "x" ? u"rotation.lock" : plat::FromUtf8(args[2])));
    if (!held) return 1;
    plat::FileHandle marker;
    plat::OpenFile(name, plat::OpenMode::AppendShared, marker);
    marker.reset();
    // A long hold keeps a slow machine inside the window; the test lets go
    // early once what it waits for has finished.
    for (int waited = 0; waited < count && !plat::PathExists(name + u".release"); waited += 10) {
      plat::SleepMilliseconds(10);
    }
    return 0;
  }
  if (mode != "write" && mode != "shared") return 2;
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", i);
    const std::u16string job =
        mode == "shared" ? u"vtJobIdError" : plat::FromUtf8(args[2] + number);
    const std::u16string line =
        plat::FromUtf8("record " + args[2] + " " + number + " " + std::string(300, 'x'));
    failures +=
        WriteExecLogRecord(1, dir, mode == "shared" ? 200 : 10000, mode == "shared" ? -2911 : 101,
                           u"HS", 0, job, name, line, 0) != 0;
  }
  return failures > 100 ? 100 : failures;
}
