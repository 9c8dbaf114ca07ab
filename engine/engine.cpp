#include "engine/engine.h"

#include "engine/error_reporter.h"
#include "install/install.h"
#include "platform/platform.h"

std::uint32_t ComputeDisplayWord() {
  if (ReadCommonFlag(u"FromExec")) return 0x1103;
  const int procDisp = ReadSettingInt(u"Orbeck", u"ProcDisp", 2);
  const std::uint32_t processPart = procDisp == 2 ? 1 : procDisp == 3 ? 2 : 3;
  const std::uint32_t errorPart = ReadErrorDisp() == kErrorDispSilent ? 0x200 : 0x100;
  return 0x1000 + errorPart + processPart;
}

EngineRunStatus RunEngine(const std::u16string& programDir, std::uint32_t displayWord,
                          const std::u16string& commandLine, std::int32_t& result) {
  plat::Library library = plat::OpenLibrary(programDir + kEngineLibrary);
  if (!library) return EngineRunStatus::LibraryMissing;
  // The library is unloaded by its handle on every path, found export or not.
  auto entry = reinterpret_cast<EngineEntry>(plat::FindExport(*library, kEngineExport));
  if (entry == nullptr) return EngineRunStatus::EntryPointMissing;
  result = entry(nullptr, displayWord, u"", commandLine.c_str(), u"");
  return EngineRunStatus::Called;
}
