#include "vtlog/log_read.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "execlog/path_text.h"
#include "execlog/rotation.h"
#include "install/install.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr std::size_t kChunkBytes = std::size_t{64} * 1024;
// A real record is far shorter (a command line holds at most 32767
// characters); anything longer is junk and is skipped, not collected.
constexpr std::size_t kLongestLine = std::size_t{64} * 1024;
constexpr std::int64_t kVerbatimProblems = 10;

constexpr std::array<std::u16string_view, kComponentCount> kComponentNames = {
    u"Vorn", u"Bralden", u"Mirvo", u"Quelp", u"Orbeck", u"Lunder"};

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Exactly count digits at text[pos].
bool FixedDigits(std::u16string_view text, std::size_t pos, std::size_t count, int& value) {
  if (pos + count > text.size()) return false;
  value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (!IsDigit(text[i])) return false;
    value = value * 10 + (text[i] - u'0');
  }
  return true;
}

// One or more digits making up the whole text (at most 18, so no overflow).
bool AllDigits(std::u16string_view text, std::int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char16_t c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - u'0');
  }
  return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool ParseDate(std::u16string_view text, char16_t separator, int& y, int& m, int& d) {
  return text.size() == 10 && text[4] == separator && text[7] == separator &&
         FixedDigits(text, 0, 4, y) && FixedDigits(text, 5, 2, m) && FixedDigits(text, 8, 2, d) &&
         m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.mmm" into milliseconds of the day.
bool ParseClock(std::u16string_view text, bool requireMillis, std::int64_t& ms) {
  int h = 0, mi = 0, s = 0, milli = 0;
  if (!FixedDigits(text, 0, 2, h) || text.size() < 5 || text[2] != u':' ||
      !FixedDigits(text, 3, 2, mi)) {
    return false;
  }
  if (text.size() > 5 && (text[5] != u':' || !FixedDigits(text, 6, 2, s))) return false;
  if (text.size() > 8 && (text[8] != u'.' || !FixedDigits(text, 9, 3, milli))) return false;
  if (text.size() > 12 || (requireMillis && text.size() != 12)) return false;
  if (h > 23 || mi > 59 || s > 60) return false;
  ms = ((h * 60 + mi) * 60 + s) * 1000LL + milli;
  return true;
}

void EmitLine(LogCursor& cursor, std::u16string_view line, bool overlong, bool torn,
              const RecordFn& onRecord, const ProblemFn& onProblem) {
  const std::string where =
      plat::ToUtf8(cursor.path) + ": line " + std::to_string(cursor.lineNumber);
  if (torn) {
    onProblem(where + ": last line has no line end (cut off, or still being written)");
  }
  if (line.empty() && !overlong) return;
  ExecRecord record;
  if (!overlong && ParseExecRecord(line, record)) {
    onRecord(record, cursor.lineNumber, torn);
    return;
  }
  if (++cursor.unreadable <= kVerbatimProblems) {
    onProblem(where + (overlong ? ": longer than any record, skipped"
                                : ": not a record, skipped: " + Excerpt(line)));
  }
}

}  // namespace

bool ParseExecRecord(std::u16string_view line, ExecRecord& record) {
  std::array<std::size_t, 9> commas{};
  std::size_t pos = 0;
  for (std::size_t& comma : commas) {
    comma = line.find(u',', pos);
    if (comma == std::u16string_view::npos) return false;
    pos = comma + 1;
  }
  // The five fields between status and command line are always empty.
  for (std::size_t i = 4; i < 9; ++i) {
    if (commas[i] != commas[i - 1] + 1) return false;
  }
  const std::u16string_view date = line.substr(0, commas[0]);
  const std::u16string_view time = line.substr(commas[0] + 1, commas[1] - commas[0] - 1);
  const std::u16string_view job = line.substr(commas[1] + 1, commas[2] - commas[1] - 1);
  const std::u16string_view status = line.substr(commas[2] + 1, commas[3] - commas[2] - 1);
  int y = 0, m = 0, d = 0;
  std::int64_t ms = 0;
  if (!ParseDate(date, u'/', y, m, d) || !ParseClock(time, true, ms) || job.empty()) return false;

  const std::size_t colon = status.find(u':');
  if (colon == std::u16string_view::npos) return false;
  const std::u16string_view className = status.substr(0, colon);
  if (className != u"Information" && className != u"Warning" && className != u"Error" &&
      className != u"OtherError") {
    return false;
  }
  // PREFIX-SS-FF-CCCC; the prefix itself may not hold a hyphen.
  const std::u16string_view rest = status.substr(colon + 1);
  std::array<std::u16string_view, 4> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::size_t hyphen = i + 1 < parts.size() ? rest.find(u'-', start) : rest.size();
    if (hyphen == std::u16string_view::npos) return false;
    parts[i] = rest.substr(start, hyphen - start);
    start = hyphen + 1;
  }
  if (parts[0].empty() || parts[3].find(u'-') != std::u16string_view::npos) return false;
  ExecRecord out;
  if (!AllDigits(parts[1], out.subCode) || !AllDigits(parts[2], out.figure) ||
      !AllDigits(parts[3], out.code)) {
    return false;
  }
  out.date = date;
  out.time = time;
  out.job = job;
  out.className = className;
  out.prefix = parts[0];
  out.commandLine = line.substr(commas[8] + 1);
  record = std::move(out);
  return true;
}

std::int64_t RecordTimeKey(const ExecRecord& record) {
  int y = 0, m = 0, d = 0;
  std::int64_t ms = 0;
  if (!ParseDate(record.date, u'/', y, m, d) || !ParseClock(record.time, true, ms)) return 0;
  return DaysFromCivil(y, m, d) * 86400000LL + ms;
}

std::int64_t NowTimeKey() {
  const plat::WallClock now = plat::Now();
  plat::Calendar c;
  if (!plat::ToLocalCalendar(now.seconds, c)) return 0;
  return DaysFromCivil(c.year, c.month, c.day) * 86400000LL +
         ((c.hour * 60 + c.minute) * 60 + c.second) * 1000LL + now.milliseconds;
}

bool ParseTimeArgument(std::string_view text, bool rangeEnd, std::int64_t& key) {
  const std::u16string wide = plat::FromUtf8(text);
  const std::u16string_view view = wide;
  int y = 0, m = 0, d = 0;
  if (view.size() < 10) return false;
  const char16_t separator = view[4];
  if ((separator != u'/' && separator != u'-') ||
      !ParseDate(view.substr(0, 10), separator, y, m, d)) {
    return false;
  }
  std::int64_t ms = rangeEnd ? 86400000LL - 1 : 0;
  if (view.size() > 10) {
    if (view[10] != u' ' && view[10] != u'T' && view[10] != u',') return false;
    const std::u16string_view clock = view.substr(11);
    if (!ParseClock(clock, false, ms)) return false;
    // A bound given to the minute or second covers that whole minute or second.
    if (rangeEnd) ms += clock.size() == 5 ? 59999 : clock.size() == 8 ? 999 : 0;
  }
  key = DaysFromCivil(y, m, d) * 86400000LL + ms;
  return true;
}

bool ReadLogRecords(LogCursor& cursor, bool atEnd, const RecordFn& onRecord,
                    const ProblemFn& onProblem) {
  plat::FileHandle file;
  if (plat::OpenFile(cursor.path, plat::OpenMode::ReadSharedAll, file) !=
      plat::OpenStatus::Opened) {
    onProblem(plat::ToUtf8(cursor.path) + ": cannot be opened for reading");
    return false;
  }
  std::uint64_t pos = cursor.offset;
  if (pos == 0) {
    std::array<unsigned char, 2> mark{};
    std::size_t got = 0;
    while (got < mark.size()) {
      const std::ptrdiff_t n = plat::ReadBytes(*file, mark.data() + got, mark.size() - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got == 0 || (got == 1 && !atEnd)) return true;  // empty, or the mark is being written
    if (got == 2 && mark[0] == 0xFF && mark[1] == 0xFE) {
      pos = 2;
    } else {
      onProblem(plat::ToUtf8(cursor.path) +
                ": no byte-order mark (FF FE); read as UTF-16LE from the first byte");
    }
  }
  if (!plat::SeekFileTo(*file, pos)) {
    onProblem(plat::ToUtf8(cursor.path) + ": cannot seek to byte " + std::to_string(pos));
    return false;
  }

  std::vector<unsigned char> chunk(kChunkBytes);
  std::u16string line;
  bool overlong = false;
  std::uint64_t lineStart = pos;
  int carry = -1;  // a byte waiting for its partner
  for (;;) {
    const std::ptrdiff_t n = plat::ReadBytes(*file, chunk.data(), chunk.size());
    if (n < 0) {
      onProblem(plat::ToUtf8(cursor.path) + ": read failed after byte " + std::to_string(pos));
      break;
    }
    if (n == 0) break;
    for (std::ptrdiff_t i = 0; i < n; ++i) {
      if (carry < 0) {
        carry = chunk[static_cast<std::size_t>(i)];
        continue;
      }
      const auto unit = static_cast<char16_t>(carry | (chunk[static_cast<std::size_t>(i)] << 8));
      carry = -1;
      pos += 2;
      if (unit == u'\n') {
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        ++cursor.lineNumber;
        EmitLine(cursor, line, overlong, false, onRecord, onProblem);
        line.clear();
        overlong = false;
        lineStart = pos;
      } else if (line.size() < kLongestLine) {
        line.push_back(unit);
      } else {
        overlong = true;
      }
    }
  }
  if (!atEnd) {
    cursor.offset = lineStart;
    return true;
  }
  if (!line.empty() || overlong) {
    ++cursor.lineNumber;
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    EmitLine(cursor, line, overlong, true, onRecord, onProblem);
  }
  if (carry >= 0) onProblem(plat::ToUtf8(cursor.path) + ": odd last byte ignored");
  if (cursor.unreadable > kVerbatimProblems) {
    onProblem(plat::ToUtf8(cursor.path) + ": " + std::to_string(cursor.unreadable) +
              " lines in all were no record");
  }
  cursor.offset = pos + (carry >= 0 ? 1 : 0);
  return true;
}

std::u16string CanonicalComponentName(std::u16string_view name) {
  for (std::u16string_view known : kComponentNames) {
    if (EqualsIgnoreCase(known, name)) return std::u16string(known);
  }
  return {};
}

bool LoadComponentSettings(std::u16string_view component, LogSettings& settings) {
  const std::u16string name = CanonicalComponentName(component);
  if (name.empty()) return false;
  InitLogSettings(settings);
  settings.componentName = name;
  LoadLogSettings(settings);
  FinalizeLogSettings(settings);
  return true;
}

namespace {

// A file of the rotation listing that is a rotated generation: not the lock
// file, no fallback file, not the live log in a shared directory.
bool IsGeneration(const LogSettings& settings, std::u16string_view name) {
  const std::u16string lower = LowerAscii(name);
  const bool sameDir = EqualsIgnoreCase(settings.rotateDir, settings.outputDir);
  return lower != u"rotation.lock" && !lower.starts_with(u"logwriteerror_") &&
         !lower.starts_with(u"lognameerror_") &&
         !(sameDir && EqualsIgnoreCase(name, SplitFileName(settings.logFilePath)));
}

}  // namespace

std::vector<LogFileRef> LogGenerations(const LogSettings& settings) {
  std::vector<LogFileRef> files;
  std::vector<RotationCandidate> list;
  if (ListRotationCandidates(settings, list)) SortRotationCandidates(list);
  // The listing is newest first; the generations are shown oldest first.
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (IsGeneration(settings, it->name)) {
      files.push_back({settings.rotateDir + u"\\" + it->name, LogFileKind::Rotated});
    }
  }
  if (!settings.logFilePath.empty() && plat::PathExists(settings.logFilePath)) {
    files.push_back({settings.logFilePath, LogFileKind::Live});
  }
  return files;
}

std::size_t CountGenerations(const LogSettings& settings) {
  std::vector<RotationCandidate> list;
  ListRotationCandidates(settings, list);
  return static_cast<std::size_t>(std::count_if(
      list.begin(), list.end(),
      [&](const RotationCandidate& entry) { return IsGeneration(settings, entry.name); }));
}

std::vector<LogFileRef> ErrorFiles(const LogSettings& settings) {
  std::vector<LogFileRef> files;
  std::u16string privateDir;
  GetPrivateDir(privateDir);
  for (const std::u16string& dir : {settings.outputDir, privateDir}) {
    if (dir.empty()) continue;
    for (const auto& [pattern, kind] : {std::pair{u"LogWriteError_*.log", LogFileKind::WriteError},
                                        std::pair{u"LogNameError_*.log", LogFileKind::NameError}}) {
      std::vector<plat::DirEntry> entries;
      plat::ListDirectory(dir + u"\\" + pattern, entries);
      for (const plat::DirEntry& entry : entries) {
        if (!entry.isDirectory) files.push_back({dir + u"\\" + entry.name, kind});
      }
    }
  }
  return files;
}

std::string Excerpt(std::u16string_view text, std::size_t longest) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size() && i < longest; ++i) {
    const char16_t c = text[i];
    if (c >= 0x20 && c < 0x7F && c != u'"' && c != u'\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  out += text.size() > longest ? "\"..." : "\"";
  return out;
}
