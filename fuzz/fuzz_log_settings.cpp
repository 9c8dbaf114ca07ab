// The log settings file "logsetup_w.properties" as any bytes: read through the
// file reader of a scratch installation, applied line by line, finalised and
// released, with memory running out at a chosen point or not at all. Most
// inputs are built from the file's own keys, so that values meet their
// limits often; an input whose first byte is odd is the file as it stands.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "execlog/log_settings.h"
#include "fuzz/fuzz_text.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr std::u16string_view kKeys[] = {u"runtime.output.dir",
                                         u"runtime.output.errcodeonly",
                                         u"runtime.output.retrycount",
                                         u"runtime.rotate.active",
                                         u"runtime.rotate.dir",
                                         u"runtime.rotate.rule.dateflg",
                                         u"runtime.rotate.rule.datetype",
                                         u"runtime.rotate.rule.sizeflg",
                                         u"runtime.rotate.rule.size",
                                         u"runtime.rotate.times",
                                         u"runtime.rotate.name.description",
                                         u"runtime.rotate.name.position",
                                         u"runtime.orbeck.active",
                                         u"runtime.orbeck.outfile",
                                         u"runtime.orbeck.erractive",
                                         u"runtime.vorn.outfile",
                                         u"runtime.lunder.active"};
constexpr std::u16string_view kValueChars = u"0123456789012-+ \t\\/:.YYMMDDab=";
constexpr std::u16string_view kComponents[] = {u"Orbeck", u"Vorn", u"Lunder", u"orbeck", u""};
constexpr std::u16string_view kLogFileOptions[] = {
    u"", u"job.log", u"E:\\x\\job.log", u"rel/job.log", u"E:\\x\\", u"C:job.log"};

// The file's text built from keys, "=", value characters and line ends.
std::u16string BuildText(qvfuzz::ByteReader& in) {
  std::u16string text;
  while (!in.Empty() && text.size() < 20000) {
    const std::uint8_t b = in.Byte();
    if (b < 102) {
      text += kKeys[b % std::size(kKeys)];
      text += u'=';
    } else if (b < 200) {
      text += kValueChars[b % kValueChars.size()];
    } else if (b < 224) {
      text += u"\r\n";
    } else if (b < 232) {
      text += u'\r';
    } else if (b < 240) {
      text += u'\n';
    } else if (b < 246) {
      text += u'\0';
    } else {
      const unsigned low = in.Byte();
      text += static_cast<char16_t>(low | (in.Byte() << 8));
    }
  }
  return text;
}

// The reader by its rules: code units from byte 2, pieces of at most 254 that
// end after their first LF, each cut at its first NUL.
std::u16string ExpectedText(const std::string& bytes) {
  std::u16string units;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  std::u16string text;
  std::size_t pos = 0;
  while (pos < units.size()) {
    std::size_t end = pos;
    while (end < units.size() && end - pos < 254) {
      if (units[end++] == u'\n') break;
    }
    const std::u16string_view piece = std::u16string_view(units).substr(pos, end - pos);
    text += piece.substr(0, piece.find(u'\0'));
    pos = end;
  }
  return text;
}

struct Installation {
  std::filesystem::path root;
  std::u16string settingsFile;
  ~Installation() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

const Installation& Scratch() {
  static const Installation installation = [] {
    Installation made;
    made.root = std::filesystem::temp_directory_path() /
                ("qv-fuzz-logsettings-" + std::to_string(plat::Now().seconds));
    std::filesystem::create_directories(made.root / "suite" / "private");
    const std::u16string root = plat::FromUtf8(made.root.string());
    plat::SetEnvironment(u"VANTREL_V12", root + u"/bin;" + root + u"/suite;" + root + u"/data");
    made.settingsFile = root + u"/suite/private/logsetup_w.properties";
    return made;
  }();
  return installation;
}

// Index in components of a capitalised component name; -1 for any other.
int ComponentIndex(std::u16string_view name) {
  constexpr std::u16string_view kNames[] = {u"Vorn",  u"Bralden", u"Mirvo",
                                            u"Quelp", u"Orbeck",  u"Lunder"};
  for (int i = 0; i < 6; ++i) {
    if (kNames[i] == name) return i;
  }
  return -1;
}

bool Within(const std::u16string& text, std::size_t longest) {
  return text.size() <= longest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Installation& scratch = Scratch();
  qvfuzz::ByteReader in{data, size};
  const std::uint8_t mode = in.Byte();
  // Below 128: memory runs out at one allocation of loading and finalising,
  // or from it on.
  const std::uint8_t fault = in.Byte();
  const bool faulted = fault < 128;
  std::string bytes;
  if (mode & 1) {
    bytes.assign(reinterpret_cast<const char*>(in.data), in.size);
  } else {
    bytes = (mode & 2) ? "\xFF\xFE" : "";
    for (char16_t unit : BuildText(in)) {
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>(unit >> 8));
    }
    if (mode & 4) bytes.push_back('\x0D');
  }
  // A new file each time: truncating a file that was just written makes some
  // file systems flush it first, which would cost more than the whole input.
  std::filesystem::remove(plat::ToUtf8(scratch.settingsFile));
  std::ofstream(plat::ToUtf8(scratch.settingsFile), std::ios::binary) << bytes;

  const std::optional<std::u16string> text = ReadWideTextFile(scratch.settingsFile);
  Check(text.has_value() && *text == ExpectedText(bytes));

  plat::ClearFaults();
  if (faulted) plat::InjectFault({plat::FaultOp::Alloc, fault % 32, fault < 64 ? 1 : -1, u""});
  LogSettings settings;
  InitLogSettings(settings);
  settings.componentName = kComponents[(mode >> 3) % std::size(kComponents)];
  LoadLogSettings(settings);
  FinalizeLogSettings(settings);
  const std::u16string beforeOption = settings.logFilePath;
  const std::u16string outputBefore = settings.outputDir;
  ApplyLogFileOption(settings, kLogFileOptions[(mode >> 5) % std::size(kLogFileOptions)]);
  plat::ClearFaults();

  for (const std::u16string* flag :
       {&settings.errCodeOnly, &settings.rotateActive, &settings.rotateDateFlag,
        &settings.rotateDateType, &settings.rotateSizeFlag, &settings.rotateNamePosition}) {
    Check(Within(*flag, 1));
  }
  Check(Within(settings.rotateSize, 2) && Within(settings.rotateTimes, 2));
  Check(Within(settings.rotateNameDescription, 11) && Within(settings.retryCountText, 5));
  for (const ComponentLogSettings& component : settings.components) {
    Check(Within(component.active, 1) && Within(component.errActive, 1));
    Check(faulted || !component.outFile.empty());
  }
  Check(settings.retryCount >= 1 && settings.retryCount <= 10000);
  Check(settings.rotateNamePos == 0 || settings.rotateNamePos == 1);
  Check(settings.rotateDateUnit >= 0 && settings.rotateDateUnit <= 2);
  for (std::int32_t flag : {settings.componentActive, settings.rotateEnabled, settings.rotateBySize,
                            settings.rotateByDate}) {
    Check(flag == 0 || flag == 1);
  }
  Check(faulted || (!outputBefore.empty() && !settings.rotateDir.empty()));
  Check(settings.logSizeMiB >= 0);
  // Only a known component has a log, composed of the output directory and
  // its file name; without them (memory ran out) there is no log path, a
  // location the launcher refuses.
  const int index = ComponentIndex(settings.componentName);
  const bool composed = index >= 0 && !outputBefore.empty() &&
                        !settings.components[index].outFile.empty() &&
                        beforeOption == outputBefore + u"\\" + settings.components[index].outFile;
  if (!composed) Check(beforeOption.empty());
  if (!faulted) Check(composed == (index >= 0));

  ReleaseLogSettings(settings);
  Check(settings.outputDir.empty() && settings.rotateDir.empty() && settings.logFilePath.empty());
  return 0;
}
