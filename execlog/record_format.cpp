#include "execlog/record_format.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "execlog/codes.h"
#include "platform/text.h"

namespace {

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// A text that cannot end a record's line: every control character but tab
// becomes its picture (U+2400 plus its code; CR shows as U+240D, LF as U+240A).
std::u16string OneLine(std::u16string_view text) {
  std::u16string line(text);
  for (char16_t& unit : line) {
    if (unit < 0x20 && unit != u'\t') unit = static_cast<char16_t>(0x2400 + unit);
  }
  return line;
}

constexpr std::array<std::u16string_view, 4> kClassNames = {u"Information", u"Warning", u"Error",
                                                            u"OtherError"};

// The class word of a record and its figure: the hundreds of the code within
// its class. OtherError counts its hundreds from 2000 as well, so 3500 shows 15.
std::u16string_view ClassOf(std::int64_t absCode, std::int64_t& figure) {
  const std::int64_t thousands = absCode / 1000 < 3 ? absCode / 1000 : 3;
  figure = (absCode - (thousands < 2 ? thousands : 2) * 1000) / 100;
  return kClassNames[static_cast<std::size_t>(thousands)];
}

// The five fields between status and command line are always empty.
constexpr std::u16string_view kEmptyFields = u",,,,,,";

// "Class:PREFIX-SS-FF-CCCC" into the record's class, prefix and numbers; the
// prefix itself may not hold a hyphen.
bool ParseStatus(std::u16string_view status, ExecRecord& record) {
  const std::size_t colon = status.find(u':');
  if (colon == std::u16string_view::npos) return false;
  const std::u16string_view className = status.substr(0, colon);
  if (std::find(kClassNames.begin(), kClassNames.end(), className) == kClassNames.end()) {
    return false;
  }
  const std::u16string_view rest = status.substr(colon + 1);
  std::array<std::u16string_view, 4> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::size_t hyphen = i + 1 < parts.size() ? rest.find(u'-', start) : rest.size();
    if (hyphen == std::u16string_view::npos) return false;
    parts[i] = rest.substr(start, hyphen - start);
    start = hyphen + 1;
  }
  // A hyphen left in the code fails as no digit.
  std::int64_t subCode = 0, figure = 0, code = 0;
  if (parts[0].empty() || !plat::ParseDigits(parts[1], 18, subCode) ||
      !plat::ParseDigits(parts[2], 18, figure) || !plat::ParseDigits(parts[3], 18, code)) {
    return false;
  }
  record.subCode = subCode;
  record.figure = figure;
  record.code = code;
  record.className.assign(className);
  record.prefix.assign(parts[0]);
  return true;
}

}  // namespace

bool FixedDigits(std::u16string_view text, std::size_t pos, std::size_t count, int& value) {
  if (pos + count > text.size()) return false;
  value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (!IsDigit(text[i])) return false;
    value = value * 10 + (text[i] - u'0');
  }
  return true;
}

std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::int64_t DateTimeKey(int y, int m, int d, std::int64_t ms) {
  return DaysFromCivil(y, m, d) * kDayMs + ms;
}

std::int64_t CalendarTimeKey(const plat::Calendar& c, std::int64_t milliseconds) {
  return DateTimeKey(c.year, c.month, c.day,
                     ((c.hour * 60 + c.minute) * 60 + c.second) * 1000LL + milliseconds);
}

bool ParseDate(std::u16string_view text, char16_t separator, int& y, int& m, int& d) {
  return text.size() == 10 && text[4] == separator && text[7] == separator &&
         FixedDigits(text, 0, 4, y) && FixedDigits(text, 5, 2, m) && FixedDigits(text, 8, 2, d) &&
         m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

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

std::u16string FormatRecordTimeStamp(const plat::WallClock& clock) {
  plat::Calendar calendar;
  if (!plat::ToLocalCalendar(clock.seconds, calendar) &&
      !plat::ToUtcCalendar(clock.seconds, calendar)) {
    calendar = plat::Calendar{};
  }
  int milliseconds = clock.milliseconds < 0     ? 0
                     : clock.milliseconds > 999 ? 999
                                                : clock.milliseconds;
  char text[96];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d,%02d:%02d:%02d.%03d", calendar.year,
                calendar.month, calendar.day, calendar.hour, calendar.minute, calendar.second,
                milliseconds);
  return plat::Widen(text);
}

std::u16string FormatExecLogRecord(const std::u16string& timeStamp, const std::u16string& jobId,
                                   const std::u16string& messagePrefix, std::int32_t subCode,
                                   std::int64_t absCode, const std::u16string& commandLine) {
  std::int64_t figure = 0;
  const std::u16string_view classWord = ClassOf(absCode, figure);
  std::u16string line = timeStamp;
  line += u",";
  line += OneLine(jobId);
  line += u",";
  line += classWord;
  line += u":";
  line += messagePrefix;
  for (const std::u16string& number :
       {plat::WideZeroPadded(subCode, 2), plat::WideZeroPadded(figure, 2),
        plat::WideZeroPadded(absCode, 4)}) {
    line += u"-";
    line += number;
  }
  line += kEmptyFields;
  line += OneLine(commandLine);
  line += u"\r\n";
  return line;
}

bool ParseExecRecord(std::u16string_view line, ExecRecord& record) {
  // The date and the time have fixed widths, so only the job and the status
  // are searched for their ends.
  constexpr std::size_t kDateEnd = 10, kTimeEnd = 23;
  if (line.size() <= kTimeEnd || line[kDateEnd] != u',' || line[kTimeEnd] != u',') return false;
  const std::size_t jobEnd = line.find(u',', kTimeEnd + 1);
  if (jobEnd == std::u16string_view::npos) return false;
  const std::size_t statusEnd = line.find(u',', jobEnd + 1);
  if (statusEnd == std::u16string_view::npos ||
      line.substr(statusEnd, kEmptyFields.size()) != kEmptyFields) {
    return false;
  }
  const std::u16string_view date = line.substr(0, kDateEnd);
  const std::u16string_view time = line.substr(kDateEnd + 1, kTimeEnd - kDateEnd - 1);
  const std::u16string_view job = line.substr(kTimeEnd + 1, jobEnd - kTimeEnd - 1);
  int y = 0, m = 0, d = 0;
  std::int64_t ms = 0;
  if (!ParseDate(date, u'/', y, m, d) || !ParseClock(time, true, ms) || job.empty() ||
      !ParseStatus(line.substr(jobEnd + 1, statusEnd - jobEnd - 1), record)) {
    return false;
  }
  record.timeKey = DateTimeKey(y, m, d, ms);
  record.date.assign(date);
  record.time.assign(time);
  record.job.assign(job);
  record.commandLine.assign(line.substr(statusEnd + kEmptyFields.size()));
  return true;
}

bool RecordResult(const ExecRecord& record, std::int64_t& result) {
  if (record.code == kStartRecord || record.code == kSuccessRecord) return false;
  result = -record.code;
  return true;
}

std::int64_t RecordTimeKey(const ExecRecord& record) {
  return record.timeKey;
}
