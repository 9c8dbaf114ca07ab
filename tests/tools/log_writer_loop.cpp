// A competing process for the record writer's multi-process tests.
// usage: log_writer_loop OUTPUT_DIR NAME TAG COUNT [MODE]
//   write (default): COUNT start records of jobs TAG+NNNN into OUTPUT_DIR\NAME,
//     command line "record TAG NNNN x...". shared: the same as failure records
//     (-2911) of the one job vtJobIdError, with one attempt at the log and
//     5 ms before every write into a write-error file, as on a slow disk.
//     Exits with the number of records not answered with 0.
//   hold: keeps OUTPUT_DIR\rotation.lock (or OUTPUT_DIR\TAG unless TAG is x)
//     open as a rotation does for COUNT ms, or until OUTPUT_DIR\NAME.release
//     appears; creates OUTPUT_DIR\NAME once it holds.
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "execlog/record_writer.h"
#include "platform/fault.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = plat::ConsoleArguments(argc, argv);
  if (args.size() < 4) return 2;
  const std::u16string dir = plat::FromUtf8(args[0]), name = dir + u"\\" + plat::FromUtf8(args[1]);
  const int count = std::atoi(args[3].c_str());
  const std::string mode = args.size() > 4 ? args[4] : "write";
  if (mode == "hold") {
    const std::u16string file = args[2] == "x" ? u"rotation.lock" : plat::FromUtf8(args[2]);
    plat::FileHandle held = OpenLogForAppend(dir + u"\\" + file), marker;
    if (!held) return 1;
    plat::OpenFile(name, plat::OpenMode::AppendShared, marker);
    marker.reset();
    for (int waited = 0; waited < count && !plat::PathExists(name + u".release"); waited += 10) {
      plat::SleepMilliseconds(10);
    }
    return 0;
  }
  const bool shared = mode == "shared";
  std::function<void(const std::u16string&)> slowDisk = [&](const std::u16string& path) {
    if (path.find(u"LogWriteError_") != std::u16string::npos) plat::SleepMilliseconds(5);
    plat::SetPause(plat::PausePoint::BeforeWrite, slowDisk);
  };
  if (shared) plat::SetPause(plat::PausePoint::BeforeWrite, slowDisk);
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", i);
    const std::u16string line =
        plat::FromUtf8("record " + args[2] + " " + number + " " + std::string(300, 'x'));
    failures += WriteExecLogRecord(1, dir, shared ? 1 : 10000, shared ? -2911 : 101, u"HS", 0,
                                   shared ? u"vtJobIdError" : plat::FromUtf8(args[2] + number),
                                   name, line, 0) != 0;
  }
  return failures > 100 ? 100 : failures;
}
