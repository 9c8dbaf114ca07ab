// Holds a file open from a second process, for the share-mode tests.
// usage: file_holder PATH write|append|read
// Opens PATH for writing with read-sharing, for appending, or for reading
// shared with all; creates PATH.held once it holds the file, and keeps it
// until PATH.release appears (a minute at most). Exits 1 when the open fails.
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = plat::ConsoleArguments(argc, argv);
  if (args.size() != 2) return 2;
  const std::u16string path = plat::FromUtf8(args[0]);
  const plat::OpenMode mode = args[1] == "write"    ? plat::OpenMode::WriteShareRead
                              : args[1] == "append" ? plat::OpenMode::AppendShared
                                                    : plat::OpenMode::ReadSharedAll;
  plat::FileHandle file;
  plat::FileHandle marker;
  if (plat::OpenFile(path, mode, file) != plat::OpenStatus::Opened) return 1;
  plat::OpenFile(path + u".held", plat::OpenMode::AppendShared, marker);
  for (int i = 0; i < 6000 && !plat::PathExists(path + u".release"); ++i) {
    plat::SleepMilliseconds(10);
  }
  return 0;
}
