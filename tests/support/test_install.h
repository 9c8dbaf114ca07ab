// Test helpers of vtlog: the shared scratch installation and record lines.
#pragma once

#include <filesystem>
#include <string>

#include "execlog/record_writer.h"
#include "tests/support/test_support.h"

namespace vtlogtest {

using TestInstall = qvtest::ScratchInstall;

// A record line as the writer formats it, CR LF included.
inline std::u16string Record(const char* stamp, const char16_t* job, std::int64_t code,
                             const char16_t* commandLine) {
  return FormatExecLogRecord(plat::Widen(stamp), job, u"HS", 0, code, commandLine);
}

}  // namespace vtlogtest
