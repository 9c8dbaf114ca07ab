// The sample engine: a stand-in for the suite's engine library, used by the
// demo and the tests. It answers with the number after -Xrc, sleeps the
// milliseconds after -Xms, and traces each call when QORVANE_ENGINE_TRACE
// names a file.
//
// Two more variables let a test spoil the execution log between the start
// record and the end record of a job, which only the engine's turn can do:
// - QORVANE_ENGINE_BLOCK names a file (the log) that the engine moves aside to
//   the same name with ".away" appended, where the start record can still be
//   read, and replaces by a directory, so that the end record's access is
//   refused.
// - QORVANE_ENGINE_HOLD names a file (the output directory's "rotation.lock")
//   that the engine opens with write access and read-sharing, as a rotation
//   does, and never closes: the handle lasts until the launcher's process
//   ends, so every lock probe of the end record meets a sharing violation.
//   The engine also loads itself once more from the program directory and
//   keeps that load, so that the launcher's unload leaves the library, and
//   with it the record of the handle, in place until the end.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "cmdline/options.h"
#include "install/install.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

// A decimal number with an optional sign; false when there are no digits.
bool ParseNumber(std::u16string_view text, std::int64_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  const std::size_t digitsStart = i;
  std::int64_t v = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && v < 10000000000LL) {
    v = v * 10 + (text[i++] - u'0');
  }
  if (i == digitsStart) return false;
  value = negative ? -v : v;
  return true;
}

void Trace(std::uint32_t displayWord, const char16_t* reserved, const char16_t* commandLine,
           const char16_t* errorLog) {
  std::u16string traceFile;
  if (!plat::GetEnvironment(u"QORVANE_ENGINE_TRACE", traceFile) || traceFile.empty()) return;
  char word[16];
  std::snprintf(word, sizeof word, "0x%04X", static_cast<unsigned>(displayWord & 0xFFFFu));
  const std::string line = std::string("display=") + word + " arg3=[" + plat::ToUtf8(reserved) +
                           "] cmd=[" + plat::ToUtf8(commandLine) + "] errlog=[" +
                           plat::ToUtf8(errorLog) + "]\n";
  plat::FileHandle file;
  if (plat::OpenFile(traceFile, plat::OpenMode::AppendShared, file) == plat::OpenStatus::Opened) {
    plat::WriteBytes(*file, line.data(), line.size());
  }
}

// The handle of QORVANE_ENGINE_HOLD and the library's own extra load, kept on
// purpose until the process ends.
plat::FileObject* heldOpen = nullptr;
plat::LibraryObject* pinnedSelf = nullptr;

void SpoilLogForTests() {
  std::u16string path;
  if (plat::GetEnvironment(u"QORVANE_ENGINE_BLOCK", path) && !path.empty()) {
    plat::MoveNoReplace(path, path + u".away");
    plat::MakeOneDirectory(path);
  }
  if (plat::GetEnvironment(u"QORVANE_ENGINE_HOLD", path) && !path.empty() && heldOpen == nullptr) {
    plat::FileHandle file;
    if (plat::OpenFile(path, plat::OpenMode::WriteShareRead, file) == plat::OpenStatus::Opened) {
      heldOpen = file.release();
    }
    std::u16string programDir;
    if (GetProgramDir(programDir) != 0) {
      pinnedSelf = plat::OpenLibrary(programDir + u"\\Qorvane.dll").release();
    }
  }
}

}  // namespace

extern "C" std::int32_t Qorvane4EXE(void* /*parentWindow*/, std::uint32_t displayWord,
                                    const char16_t* reserved, const char16_t* commandLine,
                                    const char16_t* errorLog) {
  const std::u16string line = commandLine != nullptr ? commandLine : u"";
  Trace(displayWord, reserved != nullptr ? reserved : u"", line.c_str(),
        errorLog != nullptr ? errorLog : u"");
  SpoilLogForTests();
  std::int64_t sleepMs = 0;
  if (HasOption(line, u"-Xms") && ParseNumber(GetOptionValue(line, u"-Xms"), sleepMs) &&
      sleepMs > 0) {
    plat::SleepMilliseconds(static_cast<int>(sleepMs));
  }
  std::int64_t result = 1;
  if (HasOption(line, u"-Xrc") && ParseNumber(GetOptionValue(line, u"-Xrc"), result)) {
    return static_cast<std::int32_t>(result);
  }
  return 1;
}
