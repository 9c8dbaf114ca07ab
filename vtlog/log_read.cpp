#include "vtlog/log_read.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "execlog/codes.h"
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

// The key of a moment given in seconds since 1970 UTC: its local calendar.
std::int64_t LocalKeyOf(std::int64_t seconds) {
  plat::Calendar c;
  if (!plat::ToLocalCalendar(seconds, c)) return seconds * 1000;
  return CalendarTimeKey(c, 0);
}

// Milliseconds that local time is ahead of UTC at the local moment key.
std::int64_t LocalOffsetMs(std::int64_t key) {
  // Offsets change at most a few times a year: one lookup per hour of keys.
  static std::int64_t cachedHour = INT64_MIN;
  static std::int64_t cachedOffset = 0;
  const std::int64_t hour = key / 3600000;
  if (hour == cachedHour) return cachedOffset;
  const std::int64_t guess = key / 1000;
  const std::int64_t first = LocalKeyOf(guess) - guess * 1000;
  const std::int64_t utc = guess - first / 1000;
  cachedOffset = LocalKeyOf(utc) - utc * 1000;
  cachedHour = hour;
  return cachedOffset;
}

// The first line feed in text from index from. memchr finds its byte
// many times faster than a loop over the code units; a hit that is the
// other byte of some other unit is passed over.
std::size_t FindLineEnd(std::u16string_view text, std::size_t from) {
  const char* bytes = reinterpret_cast<const char*>(text.data());
  const std::size_t size = text.size() * 2;
  for (std::size_t at = from * 2; at < size;) {
    const void* hit = std::memchr(bytes + at, '\n', size - at);
    if (hit == nullptr) break;
    const auto offset = static_cast<std::size_t>(static_cast<const char*>(hit) - bytes);
    if (text[offset / 2] == u'\n') return offset / 2;
    at = offset + 1;
  }
  return std::u16string_view::npos;
}

struct LineSink {
  LogCursor& cursor;
  const RecordFn& onRecord;
  const ProblemFn& onProblem;
  ExecRecord record;  // reused: its texts keep their storage
};

void EmitLine(LineSink& sink, std::u16string_view line, bool overlong, bool torn) {
  LogCursor& cursor = sink.cursor;
  auto where = [&] {
    return plat::ToUtf8(cursor.path) + ": line " + std::to_string(cursor.lineNumber);
  };
  if (torn)
    sink.onProblem(where() + ": last line has no line end (cut off, or still being written)");
  if (line.empty() && !overlong) return;
  if (!overlong && ParseExecRecord(line, sink.record)) {
    sink.onRecord(sink.record, cursor.lineNumber, torn);
    return;
  }
  if (++cursor.unreadable <= kVerbatimProblems) {
    sink.onProblem(where() + (overlong ? ": longer than any record, skipped"
                                       : ": not a record, skipped: " + Excerpt(line)));
  }
}

}  // namespace

std::int64_t NowTimeKey() {
  const plat::WallClock now = plat::Now();
  plat::Calendar c;
  if (!plat::ToLocalCalendar(now.seconds, c)) return 0;
  return CalendarTimeKey(c, now.milliseconds);
}

namespace {

// "-90s", "-15m", "-1h", "-2d", "-1w": that long before now.
bool ParseRelative(std::string_view text, std::int64_t& key) {
  if (text.size() < 3 || text.size() > 9 || text[0] != '-') return false;
  std::int64_t count = 0;
  if (!plat::ParseDigits(text.substr(1, text.size() - 2), 7, count)) return false;
  static constexpr std::pair<char, std::int64_t> kUnits[] = {
      {'s', 1000}, {'m', 60000}, {'h', 3600000}, {'d', kDayMs}, {'w', 7 * kDayMs}};
  for (const auto& [unit, ms] : kUnits) {
    if (text.back() == unit) {
      key = NowTimeKey() - count * ms;
      return true;
    }
  }
  return false;
}

// "Z", "+HH:MM", "+HHMM", "-HH:MM" into minutes east of UTC.
bool ParseZone(std::u16string_view text, std::int64_t& minutes) {
  if (text == u"Z") return minutes = 0, true;
  if (text.size() != 6 && text.size() != 5) return false;
  if (text[0] != u'+' && text[0] != u'-') return false;
  int h = 0, m = 0;
  const std::size_t mm = text.size() == 6 ? 4 : 3;
  if (!FixedDigits(text, 1, 2, h) || (text.size() == 6 && text[3] != u':') ||
      !FixedDigits(text, mm, 2, m) || h > 23 || m > 59) {
    return false;
  }
  minutes = (text[0] == u'-' ? -1 : 1) * (std::int64_t{h} * 60 + m);
  return true;
}

}  // namespace

bool ParseTimeArgument(std::string_view text, bool rangeEnd, std::int64_t& key) {
  const std::int64_t dayEnd = rangeEnd ? kDayMs - 1 : 0;
  if (text == "now") return key = NowTimeKey(), true;
  if (text == "today" || text == "yesterday") {
    const std::int64_t now = NowTimeKey();
    key = now - now % kDayMs - (text == "yesterday" ? kDayMs : 0) + dayEnd;
    return true;
  }
  if (ParseRelative(text, key)) return true;
  const std::u16string wide = plat::FromUtf8(text);
  std::u16string_view view = wide;
  int y = 0, m = 0, d = 0;
  if (view.size() < 10) return false;
  const char16_t separator = view[4];
  if ((separator != u'/' && separator != u'-') ||
      !ParseDate(view.substr(0, 10), separator, y, m, d)) {
    return false;
  }
  std::int64_t ms = dayEnd;
  std::int64_t zone = 0;
  bool zoned = false;
  if (view.size() > 10) {
    if (view[10] != u' ' && view[10] != u'T' && view[10] != u',') return false;
    std::u16string_view clock = view.substr(11);
    const std::size_t sign = clock.find_first_of(u"Z+-");
    if (sign != std::u16string_view::npos) {
      if (!ParseZone(clock.substr(sign), zone)) return false;
      clock = clock.substr(0, sign);
      zoned = true;
    }
    if (!ParseClock(clock, false, ms)) return false;
    // A bound given to the minute or second covers that whole minute or second.
    if (rangeEnd) ms += clock.size() == 5 ? 59999 : clock.size() == 8 ? 999 : 0;
  }
  key = DateTimeKey(y, m, d, ms);
  if (zoned) {
    // To UTC by the given zone, then to local time by the local zone then.
    const std::int64_t utcMs = key - zone * 60000;
    const std::int64_t seconds = utcMs / 1000 - (utcMs % 1000 < 0 ? 1 : 0);
    key = LocalKeyOf(seconds) + (utcMs - seconds * 1000);
  }
  return true;
}

char* WriteIsoTimestamp(const ExecRecord& record, char* to) {
  const std::int64_t offset = LocalOffsetMs(record.timeKey) / 60000;
  const std::int64_t a = offset < 0 ? -offset : offset;
  // The date and time of a parsed record are ASCII digits and separators,
  // 10 and 12 of them.
  const std::u16string_view date = std::u16string_view(record.date).substr(0, 10);
  const std::u16string_view time = std::u16string_view(record.time).substr(0, 12);
  for (char16_t c : date) *to++ = c == u'/' ? '-' : static_cast<char>(c);
  *to++ = 'T';
  for (char16_t c : time) *to++ = static_cast<char>(c);
  *to++ = offset < 0 ? '-' : '+';
  *to++ = static_cast<char>('0' + a / 600);
  *to++ = static_cast<char>('0' + a / 60 % 10);
  *to++ = ':';
  *to++ = static_cast<char>('0' + a % 60 / 10);
  *to++ = static_cast<char>('0' + a % 10);
  return to;
}

void AppendIsoTimestamp(std::string& out, const ExecRecord& record) {
  char text[kIsoTimestampLength];
  out.append(text, static_cast<std::size_t>(WriteIsoTimestamp(record, text) - text));
}

namespace {

// Reads until size bytes are in or the file ends; the count read.
std::size_t ReadFully(plat::FileObject& file, char* to, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const std::ptrdiff_t n = plat::ReadBytes(file, to + got, size - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

// Where the records of the file start: after its byte-order mark at offset
// 0, else the cursor's offset. False when there is nothing to read yet.
bool FirstRecordOffset(plat::FileObject& file, const LogCursor& cursor, bool atEnd,
                       const ProblemFn& onProblem, std::uint64_t& pos) {
  pos = cursor.offset;
  if (pos != 0) return true;
  std::array<char, 2> mark{};
  const std::size_t got = plat::SeekFileTo(file, 0) ? ReadFully(file, mark.data(), 2) : 0;
  if (got == 0 || (got == 1 && !atEnd)) return false;  // empty, or the mark is being written
  if (got == 2 && mark[0] == '\xFF' && mark[1] == '\xFE') {
    pos = 2;
  } else {
    onProblem(plat::ToUtf8(cursor.path) +
              ": no byte-order mark (FF FE); read as UTF-16LE from the first byte");
  }
  return true;
}

// The lines of the file from pos, chunk by chunk, to the file's end.
struct LineStream {
  LineSink sink;
  std::uint64_t pos = 0;
  std::u16string text;  // the line begun in the last chunk, then this chunk's units
  bool overlong = false;
  std::uint64_t lineStart = 0;  // byte offset of text[0]
  bool carry = false;           // chunk[0] holds a byte waiting for its partner
};

// The whole lines of text handed on; the start of an unfinished one kept.
void EmitWholeLines(LineStream& s) {
  std::size_t begin = 0;
  for (std::size_t end; (end = FindLineEnd(s.text, begin)) != std::u16string::npos;
       begin = end + 1) {
    std::u16string_view line(s.text.data() + begin, end - begin);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    ++s.sink.cursor.lineNumber;
    EmitLine(s.sink, line, s.overlong || line.size() > kLongestLine, false);
    s.overlong = false;
  }
  s.lineStart += 2 * begin;
  s.text.erase(0, begin);
  // Junk without line ends is skipped, not collected.
  if (s.text.size() > kLongestLine) {
    s.lineStart += 2 * s.text.size();
    s.text.clear();
    s.overlong = true;
  }
}

void ReadLines(plat::FileObject& file, LineStream& s) {
  std::string chunk(kChunkBytes + 1, '\0');
  s.text.reserve(kLongestLine + kChunkBytes);
  for (;;) {
    const std::ptrdiff_t n = plat::ReadBytes(file, chunk.data() + (s.carry ? 1 : 0), kChunkBytes);
    if (n < 0) {
      s.sink.onProblem(plat::ToUtf8(s.sink.cursor.path) + ": read failed after byte " +
                       std::to_string(s.pos));
      break;
    }
    if (n == 0) break;
    const std::size_t have = static_cast<std::size_t>(n) + (s.carry ? 1 : 0);
    plat::AppendUtf16Le(s.text, std::string_view(chunk.data(), have));
    s.pos += have & ~std::size_t{1};
    s.carry = (have & 1) != 0;
    if (s.carry) chunk[0] = chunk[have - 1];
    EmitWholeLines(s);
  }
}

// The end of a file nothing writes any more: a last line without its end
// is torn; the count of lines that were no record.
void FinishFile(LineStream& s) {
  LogCursor& cursor = s.sink.cursor;
  if (!s.text.empty() || s.overlong) {
    ++cursor.lineNumber;
    std::u16string_view line = s.text;
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    EmitLine(s.sink, line, s.overlong, true);
  }
  if (s.carry) s.sink.onProblem(plat::ToUtf8(cursor.path) + ": odd last byte ignored");
  if (cursor.unreadable > kVerbatimProblems) {
    s.sink.onProblem(plat::ToUtf8(cursor.path) + ": " + std::to_string(cursor.unreadable) +
                     " lines in all were no record");
  }
  cursor.offset = s.pos + (s.carry ? 1 : 0);
}

}  // namespace

bool ReadOpenLogRecords(plat::FileObject& file, LogCursor& cursor, bool atEnd,
                        const RecordFn& onRecord, const ProblemFn& onProblem) {
  LineStream s{{cursor, onRecord, onProblem, {}}, 0, {}, false, 0, false};
  if (!FirstRecordOffset(file, cursor, atEnd, onProblem, s.pos)) return true;
  if (!plat::SeekFileTo(file, s.pos)) {
    onProblem(plat::ToUtf8(cursor.path) + ": cannot seek to byte " + std::to_string(s.pos));
    return false;
  }
  s.lineStart = s.pos;
  ReadLines(file, s);
  if (atEnd) {
    FinishFile(s);
  } else {
    cursor.offset = s.overlong ? s.pos : s.lineStart;
  }
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
  return ReadOpenLogRecords(*file, cursor, atEnd, onRecord, onProblem);
}

bool ReadFileHead(plat::FileObject& file, std::string& head, std::uint64_t& size) {
  head.assign(kFileHeadBytes, '\0');
  if (!plat::FileSizeOf(file, size) || !plat::SeekFileTo(file, 0)) return false;
  head.resize(ReadFully(file, head.data(), head.size()));
  return true;
}

std::u16string CanonicalComponentName(std::u16string_view name) {
  for (std::size_t i = 0; i < kComponentCount; ++i) {
    if (EqualsIgnoreCase(ComponentName(i), name)) return std::u16string(ComponentName(i));
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

// The time key of the first record of the file; INT64_MIN without a whole
// record line at its start.
std::int64_t FirstRecordKey(const std::u16string& path) {
  plat::FileHandle file;
  std::string head;
  std::uint64_t size = 0;
  if (plat::OpenFile(path, plat::OpenMode::ReadSharedAll, file) != plat::OpenStatus::Opened ||
      !ReadFileHead(*file, head, size)) {
    return INT64_MIN;
  }
  std::u16string text;
  plat::AppendUtf16Le(text, head);
  std::u16string_view line = text;
  if (line.starts_with(u'\uFEFF')) line.remove_prefix(1);
  const std::size_t end = line.find(u'\n');
  if (end == std::u16string_view::npos) return INT64_MIN;
  line = line.substr(0, end);
  if (line.ends_with(u'\r')) line.remove_suffix(1);
  ExecRecord record;
  return ParseExecRecord(line, record) ? record.timeKey : INT64_MIN;
}

bool SameTime(const RotationCandidate& a, const RotationCandidate& b) {
  return a.modTime == b.modTime && a.modTimeNanos == b.modTimeNanos;
}

// Generations last written within one tick of the file clock (rotations a
// few milliseconds apart) have equal times. Among them the newer has the
// later first record; with equal first times, the rotation's numbering
// tells: the plain name is the newest of its date, and a displaced file takes
// a number above every one left (so long as pruning freed none).
void OrderTies(const LogSettings& settings, std::vector<RotationCandidate>& newestFirst) {
  using Key = std::tuple<std::int64_t, int, std::u16string>;
  for (std::size_t begin = 0, end = 1; begin < newestFirst.size(); begin = end, ++end) {
    while (end < newestFirst.size() && SameTime(newestFirst[begin], newestFirst[end])) ++end;
    if (end - begin < 2) continue;
    std::vector<std::pair<Key, RotationCandidate>> group;
    for (std::size_t i = begin; i < end; ++i) {
      const int number = RotatedNameNumber(settings, newestFirst[i].name);
      group.push_back({{FirstRecordKey(settings.rotateDir + u"\\" + newestFirst[i].name),
                        number == 0 ? INT_MAX : number, newestFirst[i].name},
                       std::move(newestFirst[i])});
    }
    std::sort(group.begin(), group.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    for (std::size_t i = begin; i < end; ++i) newestFirst[i] = std::move(group[i - begin].second);
  }
}

}  // namespace

std::vector<LogFileRef> LogGenerations(const LogSettings& settings) {
  std::vector<LogFileRef> files;
  std::vector<RotationCandidate> list;
  if (ListRotationCandidates(settings, list)) {
    SortRotationCandidates(list);
    OrderTies(settings, list);
  }
  // The listing is newest first; the generations are shown oldest first.
  // The listing holds generations only: no lock, fallback or live log.
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    files.push_back({settings.rotateDir + u"\\" + it->name, LogFileKind::Rotated});
  }
  // A finished copy that a killed rotation left after removing the log holds
  // records that stand nowhere else, newer than every generation.
  for (const StrandedCopy& copy : FindStrandedCopies(settings)) {
    if (!copy.logHoldsIt) files.push_back({copy.path, LogFileKind::Rotated});
  }
  if (!settings.logFilePath.empty() && plat::PathExists(settings.logFilePath)) {
    files.push_back({settings.logFilePath, LogFileKind::Live});
  }
  return files;
}

std::size_t CountGenerations(const LogSettings& settings) {
  std::vector<RotationCandidate> list;
  ListRotationCandidates(settings, list);
  return list.size();
}

std::string MissingLogCause(const LogSettings& settings) {
  std::u16string env;
  if (!plat::GetEnvironment(u"VANTREL_V12", env)) {
    return "VANTREL_V12 is not set: no installation, so no log to read";
  }
  const std::string log = plat::ToUtf8(settings.logFilePath);
  const std::u16string setup = GetLogSetupPath();
  if (!plat::PathIsDirectory(settings.outputDir)) {
    std::u16string dataRoot;
    GetLogBaseDir(dataRoot);
    const std::string dir = plat::ToUtf8(settings.outputDir);
    if (dataRoot.empty() && settings.outputDir == u"\\log") {
      return "field 2 (data root) of VANTREL_V12 is empty and runtime.output.dir is not set in " +
             plat::ToUtf8(setup) + ": no log directory";
    }
    return "the log directory " + dir + " does not exist (runtime.output.dir in " +
           plat::ToUtf8(setup) + ", default: the data root of VANTREL_V12 + \\log)";
  }
  if (settings.componentActive == 0) {
    return "no log " + log + ": runtime." + plat::ToUtf8(LowerAscii(settings.componentName)) +
           ".active is not \"1\" in " + plat::ToUtf8(setup) + ", so the component writes none";
  }
  return "no log " + log + " and no rotated generation: no job has written one yet";
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
