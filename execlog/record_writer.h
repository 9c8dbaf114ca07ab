// The execution-log record writer and its lock-file protocol.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

std::int32_t WriteExecLogRecord(int enabled, const std::u16string& outputDir,
                                std::int32_t retryCount, std::int32_t code,
                                const std::u16string& messagePrefix, std::int32_t subCode,
                                const std::u16string& jobId, const std::u16string& logFileName,
                                const std::u16string& commandLine, int errorOnly);

// -1 access refused (or the directory cannot be made), -2 sharing violation,
// 1 otherwise. Creates the file, empty, when it does not exist.
int ProbeFileAccess(const std::u16string& path);
// Write access with read-sharing only, created when missing, positioned at
// the end; null when the open fails.
plat::FileHandle OpenLogForAppend(const std::u16string& path);

// The record line (without file framing) for a code's absolute value.
std::u16string FormatExecLogRecord(const std::u16string& timeStamp, const std::u16string& jobId,
                                   const std::u16string& messagePrefix, std::int32_t subCode,
                                   std::int32_t absCode, const std::u16string& commandLine);
// Jitter delay in milliseconds for a job identifier (2 to 10).
int JitterDelayMs(const std::u16string& jobId);
