// The execution-log record writer and its lock-file protocol.
//
// Writers of every suite component append to the same logs from their own
// processes. They exclude each other through the log's share mode (write
// access, read-sharing only) and back off while a rotation holds
// "rotation.lock" in the output directory open in the same way.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// Appends one record line to the log and answers 0, -1283 (the log's location
// refused access) or -1284 (a start or end record, 101 or 102, could not be
// written). A record that misses the log goes to "LogWriteError_<jobId>.log"
// in outputDir, or in the private directory when that file cannot be made or
// written.
std::int32_t WriteExecLogRecord(int enabled, const std::u16string& outputDir,
                                std::int32_t retryCount, std::int32_t code,
                                const std::u16string& messagePrefix, std::int32_t subCode,
                                const std::u16string& jobId, const std::u16string& logFileName,
                                const std::u16string& commandLine, int errorOnly);

// -1 access refused (or the directory cannot be made), -2 sharing violation,
// 1 otherwise. Creates the file, empty, when it does not exist.
int ProbeFileAccess(const std::u16string& path);
// Write access with read-sharing only, created when missing, positioned at
// the end; null when the open (or the move to the end) fails.
plat::FileHandle OpenLogForAppend(const std::u16string& path);

// The record line, CR LF included, for a code's absolute value (64-bit, so
// that the absolute value of the most negative code still fits).
std::u16string FormatExecLogRecord(const std::u16string& timeStamp, const std::u16string& jobId,
                                   const std::u16string& messagePrefix, std::int32_t subCode,
                                   std::int64_t absCode, const std::u16string& commandLine);
// "YYYY/MM/DD,HH:MM:SS.mmm" in local time.
std::u16string FormatRecordTimeStamp(const plat::WallClock& clock);
// Jitter delay in milliseconds for a job identifier (2 to 10).
int JitterDelayMs(const std::u16string& jobId);
