// Reading execution logs the way an operator needs them: record lines parsed
// into fields, files streamed in chunks (a log of several GiB costs constant
// memory), and the files of a component found as the rotation finds them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "execlog/log_settings.h"
#include "execlog/path_text.h"
#include "execlog/record_format.h"
#include "platform/platform.h"

// The time key (RecordTimeKey) of the local time now.
std::int64_t NowTimeKey();
// A --since/--until argument: "YYYY/MM/DD" or "YYYY-MM-DD", optionally
// followed (after " ", "T" or ",") by "HH:MM", "HH:MM:SS" or "HH:MM:SS.mmm"
// and a zone ("Z", "+HH:MM", "-HHMM"; without one, local time); "now",
// "today", "yesterday"; or a time back from now: "-90s", "-15m", "-1h",
// "-2d", "-1w". A bound without a time is the start of its day (rangeEnd:
// its last moment). Dates are checked against the calendar.
bool ParseTimeArgument(std::string_view text, bool rangeEnd, std::int64_t& key);
// "2026-12-05T18:31:54.123+01:00" appended to out: the record's local time
// with the offset from UTC that the local zone had then.
void AppendIsoTimestamp(std::string& out, const ExecRecord& record);
// The same text written at to (room for kIsoTimestampLength); returns its end.
inline constexpr std::size_t kIsoTimestampLength = 29;
char* WriteIsoTimestamp(const ExecRecord& record, char* to);

// Where a reader stands in one file. offset is the byte after the last line
// handed out, so a follower resumes there.
struct LogCursor {
  std::u16string path;
  std::uint64_t offset = 0;
  std::int64_t lineNumber = 0;
  std::int64_t unreadable = 0;  // lines that were no record
};

using RecordFn = std::function<void(const ExecRecord& record, std::int64_t line, bool torn)>;
using ProblemFn = std::function<void(const std::string& message)>;

// Streams the records of the file from cursor.offset (the record handed to
// onRecord lives only for the call). With atEnd, text after
// the last line end is a torn line: reported, and still shown when it parses;
// without it (following a live log) it is left for the next read. Every line
// that is no record is reported (the first few verbatim, then a count). False
// when the file cannot be opened.
bool ReadLogRecords(LogCursor& cursor, bool atEnd, const RecordFn& onRecord,
                    const ProblemFn& onProblem);
// The same from a file already open (opened sharing move and delete).
bool ReadOpenLogRecords(plat::FileObject& file, LogCursor& cursor, bool atEnd,
                        const RecordFn& onRecord, const ProblemFn& onProblem);

// A file's identity: its first bytes, which hold its first record's time
// stamp, job and command line. A rotation moves a file with its content, so
// they name it wherever it went.
inline constexpr std::size_t kFileHeadBytes = 256;
// Up to kFileHeadBytes of the open file, and its size.
bool ReadFileHead(plat::FileObject& file, std::string& head, std::uint64_t& size);

enum class LogFileKind { Rotated, Live, WriteError, NameError };

struct LogFileRef {
  std::u16string path;
  LogFileKind kind = LogFileKind::Live;
};

// The settings of a component as the launcher builds them: initialised,
// named, loaded, finalised. False for a name that is no component.
bool LoadComponentSettings(std::u16string_view component, LogSettings& settings);
// The capitalised component name for any spelling; empty when unknown.
std::u16string CanonicalComponentName(std::u16string_view name);

// Rotated generations oldest first (the rotation's own listing and order),
// then the live log when it exists.
std::vector<LogFileRef> LogGenerations(const LogSettings& settings);
// How many rotated generations the rotation directory holds.
std::size_t CountGenerations(const LogSettings& settings);
// Why there is no log to read, naming the setting behind it: VANTREL_V12
// unset, its data root empty, an output directory that does not exist, or
// a component that does not log.
std::string MissingLogCause(const LogSettings& settings);
// "LogWriteError_*.log" and "LogNameError_*.log" of the output directory and
// of the private directory.
std::vector<LogFileRef> ErrorFiles(const LogSettings& settings);

// Helpers shared by the subcommands.
// A short, printable excerpt of untrusted text for a message.
std::string Excerpt(std::u16string_view text, std::size_t longest = 60);
