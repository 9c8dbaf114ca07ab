// A scratch installation for the vtlog tests: program directory, suite root
// with its system and private directories, data root with "log", and
// VANTREL_V12 naming them for the length of a test.
#pragma once

#include <filesystem>
#include <string>

#include "execlog/record_writer.h"
#include "tests/support/test_support.h"

namespace vtlogtest {

class TestInstall {
 public:
  TestInstall()
      : env_(u"VANTREL_V12", dir_ / u"bin" + u";" + dir_ / u"suite" + u";" + dir_ / u"data") {
    for (const char16_t* sub : {u"bin", u"suite\\system", u"suite\\private", u"data\\log"}) {
      std::filesystem::create_directories(qvtest::NativePath(dir_ / sub));
    }
  }
  std::u16string operator/(std::u16string_view name) const { return dir_ / name; }
  std::u16string logDir() const { return dir_ / u"data\\log"; }
  std::u16string setupPath() const { return dir_ / u"suite\\private\\logsetup_w.properties"; }
  // The log settings file, UTF-16LE with its byte-order mark.
  void LogSetup(std::u16string_view text) const {
    qvtest::WriteBytes(setupPath(), qvtest::Utf16Le(text));
  }

 private:
  qvtest::ScopedTempDir dir_;
  qvtest::ScopedEnv env_;
};

// A record line as the writer formats it, CR LF included.
inline std::u16string Record(const char* stamp, const char16_t* job, std::int64_t code,
                             const char16_t* commandLine) {
  return FormatExecLogRecord(plat::Widen(stamp), job, u"HS", 0, code, commandLine);
}

}  // namespace vtlogtest
