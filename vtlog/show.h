// "vtlog show": the records of a component's log and its rotated
// generations, filtered, in text, CSV or JSON; optionally followed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "execlog/log_settings.h"
#include "vtlog/log_read.h"
#include "vtlog/output.h"

struct RecordFilter {
  std::u16string job;        // empty: every job
  std::u16string className;  // lower case; empty: every class
  std::optional<std::int64_t> since;
  std::optional<std::int64_t> until;
};

bool RecordPasses(const RecordFilter& filter, const ExecRecord& record);

struct ShowOptions {
  std::u16string component = u"Orbeck";
  std::u16string file;  // one file instead of the component's logs
  RecordFilter filter;
  OutputFormat format = OutputFormat::Text;
  bool follow = false;
  bool errorFiles = false;
};

// Everything up to now; with follow, the loop that never returns. 0 when every
// file and line could be read, 1 when something could not.
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
