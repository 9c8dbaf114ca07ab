// A competing process for the record writer's multi-process tests.
//
// usage: log_writer_loop OUTPUT_DIR LOG_FILE JOB_PREFIX COUNT [MODE]
//   write (default): appends COUNT start records to OUTPUT_DIR\LOG_FILE, job
//     identifiers JOB_PREFIX followed by the four-digit record number, command
//     line "record JOB_PREFIX NUMBER " and a long run of "x"; exits with the
//     number of records the writer did not answer with 0.
//   hold: keeps OUTPUT_DIR\rotation.lock open as a rotation does for COUNT
//     milliseconds, or until the file OUTPUT_DIR\LOG_FILE.release appears;
//     creates the marker file OUTPUT_DIR\LOG_FILE once the lock is held.
//     Exits with 1 when the lock could not be taken.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "execlog/record_writer.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr int kAttempts = 10000;
constexpr std::size_t kPadding = 300;

std::string Numbered(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d", number);
  return text;
}

int WriteRecords(const std::u16string& outputDir, const std::u16string& logFile,
                 const std::string& prefix, int count) {
  const std::u16string logPath = outputDir + u"\\" + logFile;
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    std::string number = Numbered(i);
    std::u16string jobId = plat::FromUtf8(prefix + number);
    std::u16string commandLine =
        plat::FromUtf8("record " + prefix + " " + number + " " + std::string(kPadding, 'x'));
    if (WriteExecLogRecord(1, outputDir, kAttempts, 101, u"HS", 0, jobId, logPath, commandLine,
                           0) != 0) {
      ++failures;
    }
  }
  return failures > 100 ? 100 : failures;
}

int HoldLock(const std::u16string& outputDir, const std::u16string& marker, int milliseconds) {
  plat::FileHandle lock = OpenLogForAppend(outputDir + u"\\rotation.lock");
  if (!lock) return 1;
  plat::FileHandle signal;
  plat::OpenFile(outputDir + u"\\" + marker, plat::OpenMode::AppendShared, signal);
  signal.reset();
  // A long hold keeps a slow machine inside the window; the test lets go
  // early once the launcher under test has finished.
  const std::u16string release = outputDir + u"\\" + marker + u".release";
  for (int waited = 0; waited < milliseconds && !plat::PathExists(release); waited += 10) {
    plat::SleepMilliseconds(10);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = plat::ConsoleArguments(argc, argv);
  if (args.size() < 4) {
    std::fprintf(stderr, "usage: log_writer_loop OUTPUT_DIR LOG_FILE JOB_PREFIX COUNT [MODE]\n");
    return 2;
  }
  const std::u16string outputDir = plat::FromUtf8(args[0]);
  const std::u16string logFile = plat::FromUtf8(args[1]);
  const int count = std::atoi(args[3].c_str());
  const std::string mode = args.size() > 4 ? args[4] : "write";
  if (mode == "hold") return HoldLock(outputDir, logFile, count);
  if (mode == "write") return WriteRecords(outputDir, logFile, args[2], count);
  std::fprintf(stderr, "log_writer_loop: unknown mode %s\n", mode.c_str());
  return 2;
}
