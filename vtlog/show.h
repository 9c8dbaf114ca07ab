// "vtlog show": the records of a component's log and its rotated
// generations, filtered, in text, CSV or JSON; optionally followed, and
// resumed where a collector stopped.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "execlog/log_settings.h"
#include "vtlog/cursor.h"
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
  std::optional<std::size_t> lines{};  // only the last so many records (no cursor)
  std::string cursorFile;              // where the last run stopped; empty: none
  int intervalMs = 500;                // between looks at a followed log
};

// Everything up to now; with follow, on until the output is no longer
// wanted. kExitOk, kExitWarning (failures shown with filter.failed, or lines
// that could not be read), kExitUnknown (no log at all, nothing readable, or
// output that could not be written: the cursor then stays where the output
// last surely reached).
int RunShow(const ShowOptions& options, VtlogOutput& output);

// The records of the file at place.path from place.offset, when it still
// starts with place.head: its first bytes and its records come from one open,
// so a file renamed in between is never taken for another. place moves to
// the end of what was read.
enum class PlaceRead { Read, Changed, Unopened };
PlaceRead ReadPlace(FilePlace& place, bool atEnd, const RecordFn& onRecord,
                    const ProblemFn& onProblem);
