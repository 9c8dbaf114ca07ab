// The execution-log record line, written by every component's launcher and
// read back by vtlog: "date,time,job,Class:PREFIX-SS-FF-CCCC,,,,,,commandLine".
// Its fields, class words, figures and time stamp are defined here only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

// One record line: "date,time,job,Class:PREFIX-SS-FF-CCCC,,,,,,commandLine".
struct ExecRecord {
  std::u16string date;  // YYYY/MM/DD, local
  std::u16string time;  // HH:MM:SS.mmm, local
  std::u16string job;
  std::u16string className;  // Information, Warning, Error or OtherError
  std::u16string prefix;
  std::int64_t subCode = 0;
  std::int64_t figure = 0;
  std::int64_t code = 0;       // the code's absolute value, as the writer prints it
  std::u16string commandLine;  // everything after the ninth comma
  std::int64_t timeKey = 0;    // RecordTimeKey, worked out once by the parser
};

// The record line, CR LF included, for a code's absolute value (64-bit, so
// that the absolute value of the most negative code still fits). Control
// characters of the job identifier and command line, tab aside, are written
// as their pictures (U+2400 plus the code), so a record is always one line.
std::u16string FormatExecLogRecord(const std::u16string& timeStamp, const std::u16string& jobId,
                                   const std::u16string& messagePrefix, std::int32_t subCode,
                                   std::int64_t absCode, const std::u16string& commandLine);
// "YYYY/MM/DD,HH:MM:SS.mmm" in local time.
std::u16string FormatRecordTimeStamp(const plat::WallClock& clock);

// False for anything that is not a whole record line (line end removed).
// record is filled only on success; its texts keep their storage from line to
// line, so a reader allocates nothing per record.
bool ParseExecRecord(std::u16string_view line, ExecRecord& record);
// The result the record reports, signed as the launcher returned it: none
// for a start (101) or a success (102) record, else minus the code.
bool RecordResult(const ExecRecord& record, std::int64_t& result);
// Milliseconds of the record's local date and time counted from a fixed day,
// for ordering, filters and durations.
std::int64_t RecordTimeKey(const ExecRecord& record);

// The pieces of the record's date and time, for readers of dates given in
// the same form.
inline constexpr std::int64_t kDayMs = 86400000;
// Exactly count digits at text[pos].
bool FixedDigits(std::u16string_view text, std::size_t pos, std::size_t count, int& value);
// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(int y, int m, int d);
// The time key (as RecordTimeKey) of a date and the milliseconds of its day.
std::int64_t DateTimeKey(int y, int m, int d, std::int64_t ms);
// The same of a calendar moment plus milliseconds.
std::int64_t CalendarTimeKey(const plat::Calendar& calendar, std::int64_t milliseconds);
// "YYYY<s>MM<s>DD" with a day the month has.
bool ParseDate(std::u16string_view text, char16_t separator, int& y, int& m, int& d);
// "HH:MM", "HH:MM:SS" or "HH:MM:SS.mmm" into milliseconds of the day.
bool ParseClock(std::u16string_view text, bool requireMillis, std::int64_t& ms);
