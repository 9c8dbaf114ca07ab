// The codes of a run, by name: what the execution log's records carry, what
// the launcher answers for its own failures, and the message ids that report
// them. Every code ends up in a record, so they live with the log.
#pragma once

// Record codes (the absolute value a record line carries).
inline constexpr int kStartRecord = 101;     // a job starts
inline constexpr int kSuccessRecord = 102;   // a job ended with an engine result of 1 or more
inline constexpr int kRefusedRecord = 1283;  // a write-error file's record whose log was refused
inline constexpr int kUnwrittenRecord =
    1284;  // a write-error file's 101 or 102 that was not written

// Result codes of the launcher's own failures (negative: they are exit codes).
inline constexpr int kResultNotInstalled = -2001;   // no program directory, library or entry point
inline constexpr int kResultInvalidJobId = -2911;   // the -Lid value is not a job identifier
inline constexpr int kResultLogRefused = -1283;     // the log's location cannot be used
inline constexpr int kResultLogUnwritten = -1284;   // a record could not be written
inline constexpr int kEngineStillActive = 259;      // the engine's STILL_ACTIVE, answered with -API
inline constexpr int kResultApiStillActive = -259;  // what -API makes of it

// Message ids: kMessageIdBase plus the result's absolute value.
inline constexpr int kMessageIdBase = 10000;
constexpr unsigned MessageIdOf(int result) {
  return static_cast<unsigned>(kMessageIdBase + (result < 0 ? -result : result));
}
inline constexpr unsigned kMessageNotInstalled = MessageIdOf(kResultNotInstalled);
inline constexpr unsigned kMessageInvalidJobId = MessageIdOf(kResultInvalidJobId);
inline constexpr unsigned kMessageLogRefused = MessageIdOf(kResultLogRefused);
inline constexpr unsigned kMessageLogUnwritten = MessageIdOf(kResultLogUnwritten);
