// "logsetup_w.properties" as any bytes or built from its keys, loaded for a
// scratch installation with memory running out at a chosen allocation or not
// at all: fields stay within their sizes, and a log path is only the output
// directory and the component's file name.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "execlog/log_settings.h"
#include "fuzz/fuzz_text.h"
#include "platform/fault.h"
#include "platform/testing.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace std::literals;
  static const std::vector<LogSetupKeyLimit> keys = LogSetupKeyLimits();
  static const std::string file = [] {
    const std::string root = std::filesystem::temp_directory_path() / "qv-fuzz-logsettings";
    std::filesystem::create_directories(root + "/suite/private");
    plat::SetEnvironment(u"VANTREL_V12", plat::FromUtf8(root + "/bin;" + root + "/suite;"));
    return root + "/suite/private/logsetup_w.properties";
  }();
  if (size < 2) return 0;
  std::u16string text = u"\uFEFF";
  for (const char16_t c :
       qvfuzz::Text(data + 2, size - 2, u"0123456789-+ \t\\/:.YMDa=\r\n\n\0#"sv)) {
    text += c == u'#' ? std::u16string(keys[text.size() % keys.size()].key) + u"=" : u""s + c;
  }
  std::filesystem::remove(file);  // a new file: truncating one may flush it first
  std::ofstream(file, std::ios::binary)
      << ((data[0] & 1) ? std::string(data + 2, data + size) : plat::EncodeUtf16Le(text));
  const bool faulted = data[1] < 128;
  if (faulted) plat::InjectFault({plat::FaultOp::Alloc, data[1] % 32, data[1] < 64 ? 1 : -1, u""});
  LogSettings s;
  InitLogSettings(s);
  s.componentName = (data[0] & 2) ? u"Orbeck" : u"Vorn";
  LoadLogSettings(s);
  FinalizeLogSettings(s);
  plat::ClearFaults();
  const std::u16string& outFile = s.components[(data[0] & 2) ? 4 : 0].outFile;
  // An active component whose log cannot be composed has no log path: the
  // launcher refuses that location.
  qvfuzz::Check(s.logFilePath.empty() || s.logFilePath == s.outputDir + u"\\" + outFile);
  qvfuzz::Check(std::max({s.errCodeOnly.size(), s.rotateActive.size(), s.rotateDateFlag.size(),
                          s.rotateDateType.size(), s.rotateSizeFlag.size(),
                          s.rotateNamePosition.size(), s.components[4].active.size()}) <= 1);
  qvfuzz::Check(s.rotateSize.size() <= 2 && s.rotateTimes.size() <= 2 && s.logSizeMiB >= 0);
  qvfuzz::Check(s.rotateNameDescription.size() <= 11 && s.retryCountText.size() <= 5);
  qvfuzz::Check(s.retryCount >= 1 && s.retryCount <= 10000 && (faulted || !outFile.empty()));
  ApplyLogFileOption(s, (data[0] & 4) ? u"E:\\x\\job.log" : u"job.log");
  ReleaseLogSettings(s);
  qvfuzz::Check(s.outputDir.empty() && s.logFilePath.empty());
  return 0;
}
