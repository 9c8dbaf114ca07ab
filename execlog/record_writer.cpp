#include "execlog/record_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "execlog/path_text.h"
#include "install/install.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;
constexpr std::size_t kLongestLogPath = 255;
// The copied first line of the per-job file, in code units.
constexpr std::size_t kLongestJobLine = 9999;
constexpr int kLockWaitMs = 10;

// What every file of one call is written with: the arguments and the one time
// stamp of the call.
struct RecordContext {
  std::u16string timeStamp;
  const std::u16string& outputDir;
  const std::u16string& messagePrefix;
  std::int32_t subCode;
  const std::u16string& jobId;
  const std::u16string& commandLine;
  int errorOnly;
};

std::u16string InDirectory(const std::u16string& dir, const std::u16string& name) {
  return dir + u"\\" + name;
}

std::u16string Decimal(std::int64_t value, int minWidth) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*lld", minWidth, static_cast<long long>(value));
  return plat::Widen(text);
}

// UTF-16LE, whatever the host's byte order.
void AppendUnits(std::string& bytes, std::u16string_view units) {
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
}

// The per-job file's first line after its byte-order mark, its own line feed
// included; empty when the file is missing or holds no full code unit.
std::u16string ReadJobFileFirstLine(const std::u16string& path) {
  plat::FileHandle file;
  if (plat::OpenFile(path, plat::OpenMode::ReadShared, file) != plat::OpenStatus::Opened) {
    return {};
  }
  if (!plat::SeekFileTo(*file, 2)) return {};
  std::string bytes(kLongestJobLine * 2, '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    std::ptrdiff_t got = plat::ReadBytes(*file, bytes.data() + filled, bytes.size() - filled);
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  std::u16string line;
  for (std::size_t i = 0; i + 1 < filled; i += 2) {
    char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
    line.push_back(unit);
    if (unit == u'\n') break;
  }
  return line;
}

// The whole addition to a file as one piece, so that it lands in one write:
// the byte-order mark when the file is empty, in error-only mode the per-job
// file's first line, then the record.
std::string RecordBytes(const RecordContext& record, std::int64_t absCode, bool fileEmpty) {
  std::string bytes;
  if (fileEmpty) AppendUnits(bytes, std::u16string_view(&kByteOrderMark, 1));
  if (record.errorOnly == 1 && !record.outputDir.empty()) {
    AppendUnits(bytes, ReadJobFileFirstLine(InDirectory(record.outputDir, record.jobId)));
  }
  AppendUnits(bytes, FormatExecLogRecord(record.timeStamp, record.jobId, record.messagePrefix,
                                         record.subCode, absCode, record.commandLine));
  return bytes;
}

// Appends to a file opened at its end. A size that cannot be read counts as
// not empty: a second byte-order mark inside a log would corrupt it.
bool AppendRecord(plat::FileObject& file, const RecordContext& record, std::int64_t absCode) {
  std::uint64_t size = 1;
  bool empty = plat::FileSizeOf(file, size) && size == 0;
  std::string bytes = RecordBytes(record, absCode, empty);
  return plat::WriteBytes(file, bytes.data(), bytes.size());
}

std::u16string WriteErrorPath(const std::u16string& dir, const std::u16string& jobId) {
  return InDirectory(dir, u"LogWriteError_" + jobId + u".log");
}

// False when the write-error file in dir cannot be made, opened or written.
bool AppendToWriteErrorFile(const std::u16string& dir, const RecordContext& record,
                            std::int64_t absCode) {
  plat::FileHandle file;
  if (plat::OpenFile(WriteErrorPath(dir, record.jobId), plat::OpenMode::AppendShared, file) !=
      plat::OpenStatus::Opened) {
    return false;
  }
  return AppendRecord(*file, record, absCode);
}

// The record that missed the log goes beside it, or into the private directory
// when it cannot be put beside it: a write-error file that opens but takes no
// record must not lose a failure record whose result is 0. Gives back the
// caller's result.
std::int32_t WriteToWriteErrorFile(const RecordContext& record, std::int64_t absCode,
                                   std::int32_t result) {
  // Without an output directory the file would land at the root of the drive.
  if (!record.outputDir.empty() && AppendToWriteErrorFile(record.outputDir, record, absCode)) {
    return result;
  }
  std::u16string privateDir;
  if (GetPrivateDir(privateDir) != 0) AppendToWriteErrorFile(privateDir, record, absCode);
  return result;
}

}  // namespace

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
  const char16_t* classWord = u"OtherError";
  // OtherError counts its hundreds from 2000 as well, so 3500 shows 15.
  std::int64_t hundreds = (absCode - 2000) / 100;
  switch (absCode / 1000) {
    case 0:
      classWord = u"Information";
      hundreds = absCode / 100;
      break;
    case 1:
      classWord = u"Warning";
      hundreds = (absCode - 1000) / 100;
      break;
    case 2:
      classWord = u"Error";
      break;
    default:
      break;
  }
  std::u16string line = timeStamp;
  line += u",";
  line += jobId;
  line += u",";
  line += classWord;
  line += u":";
  line += messagePrefix;
  for (const std::u16string& number :
       {Decimal(subCode, 2), Decimal(hundreds, 2), Decimal(absCode, 4)}) {
    line += u"-";
    line += number;
  }
  line += u",,,,,,";
  line += commandLine;
  line += u"\r\n";
  return line;
}

int JitterDelayMs(const std::u16string& jobId) {
  std::uint32_t state = jobId.size() >= 3 && jobId[2] != 0 ? jobId[2] : 17u;
  state = state * 214013u + 2531011u;
  int draw = static_cast<int>((state >> 16) & 0x7FFF);
  return 2 + draw % 9;
}

int ProbeFileAccess(const std::u16string& path) {
  std::u16string dir = SplitDirectory(path);
  if (!dir.empty() && (dir.back() == u'\\' || dir.back() == u'/')) dir.pop_back();
  if (!EnsureDirectory(dir)) return -1;
  plat::FileHandle file;
  switch (plat::OpenFile(path, plat::OpenMode::WriteShareRead, file)) {
    case plat::OpenStatus::AccessDenied:
      return -1;
    case plat::OpenStatus::SharingViolation:
      return -2;
    case plat::OpenStatus::Opened:
    case plat::OpenStatus::Other:
      break;
  }
  return 1;
}

plat::FileHandle OpenLogForAppend(const std::u16string& path) {
  plat::FileHandle file;
  if (plat::OpenFile(path, plat::OpenMode::WriteShareRead, file) != plat::OpenStatus::Opened) {
    return nullptr;
  }
  // A handle not at the end would overwrite records of other jobs.
  if (!plat::SeekFileEnd(*file)) return nullptr;
  return file;
}

std::int32_t WriteExecLogRecord(int enabled, const std::u16string& outputDir,
                                std::int32_t retryCount, std::int32_t code,
                                const std::u16string& messagePrefix, std::int32_t subCode,
                                const std::u16string& jobId, const std::u16string& logFileName,
                                const std::u16string& commandLine, int errorOnly) {
  if (enabled == 0) return 0;
  if (errorOnly == 1 && code >= -999 && code <= 999) return 0;

  RecordContext record{FormatRecordTimeStamp(plat::Now()),
                       outputDir,
                       messagePrefix,
                       subCode,
                       jobId,
                       commandLine,
                       errorOnly};

  std::u16string logPath = logFileName.find(u'\\') != std::u16string::npos
                               ? logFileName
                               : InDirectory(outputDir, logFileName);
  if (logPath.size() > kLongestLogPath) {
    logPath = InDirectory(outputDir, u"LogNameError_" + jobId + u".log");
  }
  std::int64_t absCode = std::llabs(static_cast<long long>(code));

  // A log without a name has no location: refused like one that denies access.
  if (logFileName.empty() || ProbeFileAccess(logPath) == -1) {
    // A start record keeps its own code so that the job's start stays visible.
    if (absCode != 101) absCode = 1283;
    return WriteToWriteErrorFile(record, absCode, -1283);
  }

  std::u16string lockPath = InDirectory(outputDir, u"rotation.lock");
  // Settings that allow no attempt ask for no record, which is no failure.
  bool written = retryCount < 1;
  bool opened = false;
  int jitter = JitterDelayMs(jobId);
  for (std::int32_t attempt = 0; attempt < retryCount && !opened; ++attempt) {
    bool lastAttempt = attempt + 1 == retryCount;
    if (ProbeFileAccess(lockPath) == -2) {
      // A rotation is moving logs.
      if (!lastAttempt) plat::SleepMilliseconds(kLockWaitMs);
      continue;
    }
    plat::FileHandle log = OpenLogForAppend(logPath);
    if (!log) {
      // Another writer appends; jobs retry at moments of their own.
      if (!lastAttempt) plat::SleepMilliseconds(jitter);
      continue;
    }
    opened = true;
    written = AppendRecord(*log, record, absCode);
  }

  // Remove the lock file that the probes made, unless a rotation holds it.
  if (ProbeFileAccess(lockPath) != -2 && ProbeFileAccess(lockPath) != -1) {
    plat::RemoveFile(lockPath);
  }

  if (written) return 0;
  std::int32_t result = 0;
  if (absCode == 101 || absCode == 102) {
    result = -1284;
    absCode = 1284;
  }
  return WriteToWriteErrorFile(record, absCode, result);
}
