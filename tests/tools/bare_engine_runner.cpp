// What the launcher does at its core and nothing else: load Qorvane.dll from
// this program's directory, call Qorvane4EXE once with the command line and
// exit with its result. The process benchmark sets a launcher job against it.
//
// usage: bare_engine_runner [COMMAND LINE]
#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "platform/testing.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  plat::Library library = plat::OpenLibrary(plat::ExecutableDirectory() + kEngineLibrary);
  if (!library) return -2001;
  auto entry = reinterpret_cast<EngineEntry>(plat::FindExport(*library, kEngineExport));
  if (entry == nullptr) return -2001;
  const std::u16string line = plat::FromUtf8(commandLine);
  return entry(nullptr, 0x1201, u"", line.c_str(), u"");
}
