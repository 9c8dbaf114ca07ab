// Lint of the two configuration files: every line that the launcher would
// ignore or read otherwise than it looks, with what the launcher does instead.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class Severity { Info, Warning, Error };

struct Finding {
  Severity severity = Severity::Warning;
  std::u16string file;
  std::int64_t line = 0;   // 0 for the file as a whole
  std::string kind;        // stable short name, e.g. "key-case"
  std::string message;     // what is wrong
  std::string effect;      // what the launcher does instead
  std::int64_t count = 1;  // findings this one stands for (a summary of repeats: more)
};

// Keeps the first keep findings of each kind (and severity) in each file;
// the rest of a kind become one finding after them that counts them and
// names their first and last line.
void SummariseRepeats(std::vector<Finding>& findings, std::size_t keep);

// One key of "logsetup_w.properties" and its longest value.
struct LogSetupKey {
  std::u16string_view key;
  std::size_t longest;  // npos: no limit
  enum Kind { Text, Flag, Retry, Number, DateType, Position } kind;
};
const std::vector<LogSetupKey>& LogSetupKeys();

// The known key nearest to text by edit distance (letter case ignored).
std::u16string_view NearestKey(std::u16string_view text,
                               const std::vector<std::u16string_view>& keys, std::size_t& distance);

// "logsetup_w.properties" at path, read as the launcher reads it. A file that
// cannot be opened gives one finding.
std::vector<Finding> LintLogSetupFile(const std::u16string& path);
// The keys of "VantrelV12.ini" that the launcher reads, with what it reads
// when a key has no value.
struct SettingsKey {
  std::u16string_view section;
  std::u16string_view key;
  enum Kind { Path, Flag, Integer } kind;
  int def;
};
const std::array<SettingsKey, 6>& SettingsKeys();

// "VantrelV12.ini": the keys of [Common] and [Orbeck] that the launcher reads.
std::vector<Finding> LintSettingsFile(const std::u16string& path);

const char* SeverityName(Severity severity);
