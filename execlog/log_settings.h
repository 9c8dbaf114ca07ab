// The shared log settings file "logsetup_w.properties" and the LogSettings
// record of one component.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Owned texts are std::u16string; the empty text stands for the null pointer.
// Fixed texts of at most N characters are std::u16string kept within N.
struct ComponentLogSettings {
  std::u16string active;     // at most 1
  std::u16string outFile;    // owned
  std::u16string errActive;  // at most 1; kept, not acted on
};

inline constexpr std::size_t kComponentCount = 6;

struct LogSettings {
  std::u16string outputDir;              // owned
  std::u16string errCodeOnly;            // at most 1
  std::u16string rotateActive;           // at most 1
  std::u16string rotateDir;              // owned
  std::u16string rotateDateFlag;         // at most 1
  std::u16string rotateDateType;         // at most 1
  std::u16string rotateSizeFlag;         // at most 1
  std::u16string rotateSize;             // at most 2
  std::u16string rotateTimes;            // at most 2
  std::u16string rotateNameDescription;  // at most 11
  std::u16string rotateNamePosition;     // at most 1
  std::array<ComponentLogSettings, kComponentCount> components;
  std::u16string componentName;  // at most 9
  std::int64_t loadTime = 0;
  std::u16string logFilePath;  // owned
  std::int32_t logSizeMiB = 0;
  std::int32_t componentActive = 0;
  std::int32_t rotateEnabled = 0;
  std::int32_t rotateBySize = 0;
  std::int32_t rotateSizeLimitMiB = 10;
  std::int32_t rotateByDate = 0;
  std::int32_t rotateDateUnit = 1;
  std::int32_t rotateNamePos = 1;
  std::u16string retryCountText;  // at most 5
  std::int32_t retryCount = 200;
};

void InitLogSettings(LogSettings& settings);
// Reads the file and applies its lines. A file that cannot be found or read
// leaves the record as it was; nothing is reported.
void LoadLogSettings(LogSettings& settings);
// Defaults for empty directories and file names, then the derived fields.
// Without an output directory (a log base directory too long for one, or no
// memory) no log path is composed: logFilePath stays empty and an active
// component keeps componentActive 1, a log location that the launcher
// refuses.
void FinalizeLogSettings(LogSettings& settings);
// The "-Lfn" value; the empty value changes nothing. A value whose location
// cannot be formed (a part too long to split, a bare file name without an
// output directory) or that names one of the suite's settings files leaves no
// log location: outputDir and logFilePath become empty. Unchanged when memory
// runs out.
void ApplyLogFileOption(LogSettings& settings, std::u16string_view value);
// True when path names "logsetup_w.properties" or "VantrelV12.ini" in any
// directory, or the log settings file or settings file in use, compared as the
// file system compares names, or is the same file as one of those two.
bool NamesSettingsFile(const std::u16string& path);
void ReleaseLogSettings(LogSettings& settings);

// Steps of LoadLogSettings.
// Path of the log settings file: [Common] Logsetup, or the private directory
// + "\logsetup_w.properties". Empty when the path is longer than 263
// characters: such a value is rejected, never cut to a prefix.
std::u16string GetLogSetupPath();
// The file's text after its first two bytes; nullopt when it cannot be opened
// or read, or memory runs out. Read in pieces of at most 254 code units, each
// ending after its first LF; a NUL code unit drops the rest of its piece. An
// odd last byte is ignored.
std::optional<std::u16string> ReadWideTextFile(const std::u16string& path);
// Applies one line (without its line end). 0 only when memory for an owned
// copy ran out, which ends the load; 1 otherwise, also for an ignored line.
int ApplyLogSetupLine(std::u16string_view line, LogSettings& settings);

// The keys of the file in table order, each with its longest value (npos:
// no limit), for tools that must read the file as the launcher does.
// The suite's components in the order of LogSettings::components: the name
// of each ("Orbeck", its settings section) and the word of its keys and
// default log file ("orbeck": runtime.orbeck.active, orbeck.log).
std::u16string_view ComponentName(std::size_t index);
std::u16string_view ComponentWord(std::size_t index);

// The lock a rotation holds in the output directory while it moves logs;
// record writers wait while it is held.
inline constexpr char16_t kRotationLockName[] = u"rotation.lock";
inline std::u16string RotationLockPath(const std::u16string& outputDir) {
  return outputDir + u"\\" + kRotationLockName;
}

struct LogSetupKeyLimit {
  std::u16string_view key;
  std::size_t longest;
};
std::vector<LogSetupKeyLimit> LogSetupKeyLimits();

// The decimal reading rule of the settings: leading blanks, one sign, digits
// up to the first other character; 0 without digits. Saturates instead of
// overflowing.
std::int32_t DecimalValue(std::u16string_view text);
