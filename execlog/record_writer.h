// The execution-log record writer and its lock-file protocol.
//
// Writers of every suite component append to the same logs from their own
// processes. They exclude each other through the log's share mode (write
// access, read-sharing only) and back off while a rotation holds
// "rotation.lock" in the output directory open in the same way.
#pragma once

#include <cstdint>
#include <string>

#include "execlog/record_format.h"
#include "platform/platform.h"

// Appends one record line to the log and answers 0, -1283 (the log's location
// refused access, also a device or pipe in place of the log) or -1284 (a start
// or end record, 101 or 102, could not be written, or a record reached no file
// at all). A record that misses the log goes to "LogWriteError_<jobId>.log" in
// outputDir, or in the private directory when that file cannot be made or
// written; both are written under the log's share mode. In error-only mode a
// record is preceded by the first line of the run's per-job file.
std::int32_t WriteExecLogRecord(int enabled, const std::u16string& outputDir,
                                std::int32_t retryCount, std::int32_t code,
                                const std::u16string& messagePrefix, std::int32_t subCode,
                                const std::u16string& jobId, const std::u16string& logFileName,
                                const std::u16string& commandLine, int errorOnly);

// -1 access refused (or the directory cannot be made), -2 sharing violation,
// 1 otherwise. Creates the file, empty, when it does not exist.
int ProbeFileAccess(const std::u16string& path);
// Write access with read-sharing only, created when missing, positioned at
// the end; null when the open (or the move to the end) fails, or when the
// file is not a regular file on a disk.
plat::FileHandle OpenLogForAppend(const std::u16string& path);

// The name of this run's per-job file in the output directory: the job
// identifier, "_" and the process id, so that jobs sharing an identifier at
// once each keep their own start line.
std::u16string JobFileName(const std::u16string& jobId);

// Jitter delay in milliseconds for a job identifier (2 to 10).
int JitterDelayMs(const std::u16string& jobId);
