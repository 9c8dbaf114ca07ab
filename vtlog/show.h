// "vtlog show": the records of a component's log and its rotated
// generations, filtered, in text, CSV or JSON; optionally followed, and
// resumed where a collector stopped.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "execlog/log_settings.h"
#include "vtlog/log_read.h"
#include "vtlog/output.h"

struct RecordFilter {
  std::set<std::u16string> jobs;  // empty: every job
  std::u16string className;       // lower case; empty: every class
  std::optional<std::int64_t> since;
  std::optional<std::int64_t> until;
  bool failed = false;  // only records that report a failure result
};

bool RecordPasses(const RecordFilter& filter, const ExecRecord& record);

struct ShowOptions {
  std::u16string component = u"Orbeck";
  std::u16string file{};  // one file instead of the component's logs
  RecordFilter filter{};
  OutputFormat format = OutputFormat::Text;
  bool follow = false;
  bool errorFiles = false;
  std::optional<std::size_t> lines{};  // only the last so many records
  std::string cursorFile;              // where the last run stopped; empty: none
  int intervalMs = 500;                // between looks at a followed log
};

// Everything up to now; with follow, on until the output is no longer
// wanted. kExitOk, kExitWarning (failures shown with filter.failed, or lines
// that could not be read), kExitUnknown (no log at all).
int RunShow(const ShowOptions& options, VtlogOutput& output);

// Following one log across rotations, as "tail -F" does. The log is opened
// only for each read and shares moving and deleting, so a follower never keeps
// the rotation from moving it or pruning from deleting it.
struct FollowState {
  LogCursor cursor;
  std::string head;  // first bytes of the file being followed, its identity
};

// One look at the log: a log that was moved away or replaced is read to its
// end where the rotation put it (settings given), then the new log from its
// start; then the new records of the current log.
void FollowStep(FollowState& state, const LogSettings* settings, const RecordFn& onRecord,
                const ProblemFn& onProblem);
