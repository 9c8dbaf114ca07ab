#include "vtlog/show.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

#include "execlog/path_text.h"
#include "platform/platform.h"

namespace {

// What --follow shows of the past when neither --lines nor a cursor says.
constexpr std::size_t kFollowBacklog = 10;
// A listing taken while a rotation renames files is taken again.
constexpr int kListingAttempts = 20;
// A file replaced between the listing and its read starts a new listing.
constexpr int kChainRounds = 8;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr std::size_t kUnsettled = kNone - 1;
// A file holds a whole line once a place in it is past its byte-order mark.
constexpr std::uint64_t kMarkBytes = 2;

// First bytes that hold a whole first line (or as many as a head keeps)
// name one file: its first record's time stamp, job and command line.
bool Identifiable(std::string_view head) {
  return head.size() >= kFileHeadBytes || head.find(std::string_view("\n\0", 2)) != head.npos;
}

// One file of the log's chain as one open found it.
struct ChainFile {
  LogFileRef ref;
  std::string head{};
  std::uint64_t size = 0;
  bool opened = false;
};

bool HeadOf(const std::u16string& path, std::string& head, std::uint64_t& size) {
  plat::FileHandle file;
  return plat::OpenFile(path, plat::OpenMode::ReadSharedAll, file) == plat::OpenStatus::Opened &&
         ReadFileHead(*file, head, size);
}

std::vector<LogFileRef> ChainFiles(const LogSettings& settings, const std::u16string& oneFile) {
  if (!oneFile.empty()) return {{oneFile, LogFileKind::Live}};
  return LogGenerations(settings);
}

bool SamePaths(const std::vector<LogFileRef>& a, const std::vector<LogFileRef>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const LogFileRef& x, const LogFileRef& y) { return x.path == y.path; });
}

// The file the place is in: heads are read newest first up to it (all of
// them for a place that names no file yet: it starts at the oldest).
std::size_t Locate(std::vector<ChainFile>& chain, const FilePlace& place) {
  bool unopened = false;
  for (std::size_t i = chain.size(); i-- > 0;) {
    ChainFile& file = chain[i];
    file.opened = HeadOf(file.ref.path, file.head, file.size);
    unopened = unopened || !file.opened;
    if (place.head.empty()
            ? i == 0
            : file.opened && file.head.starts_with(place.head) && file.size >= place.offset) {
      return i;
    }
  }
  // A file that could not be opened (one a rotation was moving) may be the
  // place's own.
  return unopened ? kUnsettled : kNone;
}

// The generations oldest first, then the live log, each from the place's
// file on with its first bytes; listed again until a listing agrees with the
// one before, so that no rotation fell between the listing and the opens.
// Without such a listing (rotations at every moment), or with a file that
// could not be opened where the place was sought, first is kUnsettled: a
// file renamed after the listing may be missing from it, and a place found
// in none is no proof that its file is gone.
std::vector<ChainFile> ListChain(const LogSettings& settings, const std::u16string& oneFile,
                                 const FilePlace& place, std::size_t& first) {
  std::vector<LogFileRef> files = ChainFiles(settings, oneFile);
  std::vector<ChainFile> chain;
  for (int attempt = 0;; ++attempt) {
    chain.clear();
    for (const LogFileRef& ref : files) chain.push_back(ChainFile{ref});
    first = Locate(chain, place);
    std::vector<LogFileRef> again = ChainFiles(settings, oneFile);
    if (SamePaths(files, again) && first != kUnsettled) return chain;
    if (attempt == kListingAttempts) {
      first = kUnsettled;
      return chain;
    }
    files = std::move(again);
    plat::SleepMilliseconds(attempt);
  }
}

using UseFn = std::function<void(const ExecRecord& record, const LogFileRef& file)>;

struct ChainRead {
  const LogSettings& settings;
  const std::u16string& oneFile;
  bool keepTorn;  // the live log's last line without its end waits for the next look
  bool exact;     // a place kept from look to look: it passes no file left unread
  const UseFn& use;
  const ProblemFn& problem;
};

struct ChainCount {
  std::size_t files = 0;
  std::size_t unopened = 0;
};

void Unopened(const ChainRead& r, const std::u16string& path, ChainCount& count) {
  ++count.unopened;
  r.problem(plat::ToUtf8(path) + ": cannot be opened for reading");
}

// One listing read from the place on: the rest of its file, then every later
// generation and the live log, in order. The place ends after the last whole
// record read. False when a listed file was replaced before its read, or
// (but in the last round) when an exact place met a file it could not open:
// a rotation may have been moving it.
bool ReadChainOnce(const ChainRead& r, FilePlace& place, ChainCount& count, bool last) {
  std::size_t first = kNone;
  const std::vector<ChainFile> chain = ListChain(r.settings, r.oneFile, place, first);
  count = {chain.size(), 0};
  if (first == kUnsettled) {
    r.problem("the log rotated throughout this look: its records are read at the next one");
    return true;
  }
  if (first == kNone) {
    // Pruning removes the oldest first: what is left is newer than the place.
    r.problem(plat::ToUtf8(place.path) +
              ": the cursor's file is gone (pruned, or another log): reading every generation");
    place = {};
    first = 0;
  }
  for (std::size_t i = first; i < chain.size(); ++i) {
    const ChainFile& file = chain[i];
    // The next look starts at a file left unread, not after it.
    const auto unopened = [&] {
      if (r.exact && !last) return false;
      Unopened(r, file.ref.path, count);
      return !r.exact;
    };
    if (!file.opened) {
      if (unopened()) continue;
      return last;
    }
    const bool live = file.ref.kind == LogFileKind::Live;
    FilePlace at = i == first && !place.head.empty() ? place : FilePlace{{}, file.head, 0};
    at.path = file.ref.path;
    // A log still without a whole first line cannot be told from the next
    // one, which a rotation may put in its place before the read.
    if (live && !Identifiable(at.head)) break;
    const auto onRecord = [&](const ExecRecord& record, std::int64_t, bool) {
      r.use(record, file.ref);
    };
    const PlaceRead result = ReadPlace(at, !(live && r.keepTorn), onRecord, r.problem);
    // Moved away since the listing: the next listing shows where it went.
    const bool gone = result == PlaceRead::Unopened && !plat::PathExists(file.ref.path);
    if (result == PlaceRead::Changed || gone) return false;
    if (result == PlaceRead::Unopened && !unopened()) return last;
    if (at.offset > kMarkBytes) place = at;
  }
  return true;
}

ChainCount ReadChain(const ChainRead& r, FilePlace& place) {
  ChainCount count;
  for (int round = 0; round < kChainRounds; ++round) {
    if (ReadChainOnce(r, place, count, round + 1 == kChainRounds)) break;
    plat::SleepMilliseconds(round);
  }
  return count;
}

// Every error file from where the cursor left it; a file replaced since is
// read from its start, the places of files that are gone are dropped.
void ReadErrorFiles(const LogSettings& settings, std::vector<FilePlace>& places, bool keepTorn,
                    const UseFn& use, const ProblemFn& problem) {
  std::vector<FilePlace> next;
  for (const LogFileRef& file : ErrorFiles(settings)) {
    FilePlace at{file.path};
    for (const FilePlace& known : places) {
      if (known.path == file.path) at = known;
    }
    const auto onRecord = [&](const ExecRecord& record, std::int64_t, bool) { use(record, file); };
    PlaceRead result = ReadPlace(at, !keepTorn, onRecord, problem);
    if (result == PlaceRead::Changed) {
      at = FilePlace{file.path};
      result = ReadPlace(at, !keepTorn, onRecord, problem);
    }
    if (result == PlaceRead::Unopened) {
      problem(plat::ToUtf8(file.path) + ": cannot be opened for reading");
    }
    next.push_back(std::move(at));
  }
  places = std::move(next);
}

const char* OriginOf(LogFileKind kind) {
  return kind == LogFileKind::WriteError  ? "write-error"
         : kind == LogFileKind::NameError ? "name-error"
                                          : "log";
}

struct Pending {
  std::int64_t key = 0;
  ExecRecord record{};
  LogFileRef file{};
};

// One run of show: what it read, where it stands, what it holds back.
struct ShowRun {
  const ShowOptions& options;
  VtlogOutput& output;
  LogSettings settings{};
  bool trouble = false;
  ProblemFn problem{};
  ShipCursor cursor{};
  std::size_t found = 0;
  std::optional<std::size_t> keep{};  // only the last so many of the history
  std::deque<std::string> backlog{};
  bool live = false;  // past the history: every record goes out at once
  std::string line{};
  SourceJson sourceJson{};
  std::vector<Pending> pending{};  // error-file records, merged into the history by time
  std::size_t nextPending = 0;
  std::string saved{};  // the cursor as last saved
};

void Print(ShowRun& run, const ExecRecord& record, const LogFileRef& file) {
  if (!RecordPasses(run.options.filter, record)) return;
  ++run.found;
  run.line.clear();
  AppendRecord(run.line, record, run.options.format,
               {run.options.component, file.path, OriginOf(file.kind)}, &run.sourceJson);
  if (!run.keep || run.live) return run.output.out(run.line);
  if (*run.keep == 0) return;
  if (run.backlog.size() == *run.keep) run.backlog.pop_front();
  run.backlog.push_back(run.line);
}

void PrintPending(ShowRun& run, std::int64_t upTo) {
  for (; run.nextPending < run.pending.size() && run.pending[run.nextPending].key <= upTo;
       ++run.nextPending) {
    Print(run, run.pending[run.nextPending].record, run.pending[run.nextPending].file);
  }
}

bool Shipping(const ShowOptions& options) {
  return !options.cursorFile.empty();
}

// The log's chain and the error files up to now, the error-file records
// merged in by time; with --lines (or following without a cursor) only the
// last records.
ChainCount ShowHistory(ShowRun& run) {
  const ShowOptions& options = run.options;
  const bool keepTorn = options.follow || Shipping(options);
  if (options.errorFiles) {
    ReadErrorFiles(
        run.settings, run.cursor.errors, keepTorn,
        [&](const ExecRecord& record, const LogFileRef& file) {
          if (RecordPasses(options.filter, record)) {
            run.pending.push_back({RecordTimeKey(record), record, file});
          }
        },
        run.problem);
  }
  std::stable_sort(run.pending.begin(), run.pending.end(),
                   [](const Pending& a, const Pending& b) { return a.key < b.key; });
  const UseFn use = [&](const ExecRecord& record, const LogFileRef& file) {
    if (run.nextPending < run.pending.size()) PrintPending(run, RecordTimeKey(record));
    Print(run, record, file);
  };
  const ChainCount count =
      ReadChain({run.settings, options.file, keepTorn, keepTorn, use, run.problem}, run.cursor.log);
  PrintPending(run, INT64_MAX);
  for (const std::string& text : run.backlog) run.output.out(text);
  run.backlog.clear();
  run.live = true;
  return count;
}

// The output given so far surely written, then the cursor saved after it.
// False when the output failed: the cursor is left where it was.
bool Settle(ShowRun& run) {
  VtlogOutput& output = run.output;
  output.flush();
  if (output.written && !output.written(Shipping(run.options))) {
    output.err("vtlog: the output could not be written (a full volume, or its reader has gone)" +
               std::string(Shipping(run.options)
                               ? "; the cursor stays after the last record surely "
                                 "written\n"
                               : "\n"));
    return false;
  }
  // Each save waits for the disk: only a cursor that moved is saved.
  if (!Shipping(run.options) || FormatCursor(run.cursor) == run.saved) return true;
  if (SaveCursor(run.options.cursorFile, run.cursor)) {
    run.saved = FormatCursor(run.cursor);
  } else {
    run.problem(run.options.cursorFile + ": the cursor cannot be written");
  }
  return true;
}

int Follow(ShowRun& run) {
  const ShowOptions& options = run.options;
  const UseFn use = [&](const ExecRecord& record, const LogFileRef& file) {
    Print(run, record, file);
  };
  while (!run.output.wanted || run.output.wanted()) {
    plat::SleepMilliseconds(options.intervalMs);
    // Settings are read afresh, as each launcher run does.
    if (options.file.empty()) {
      ReleaseLogSettings(run.settings);
      LoadComponentSettings(options.component, run.settings);
    }
    ReadChain({run.settings, options.file, true, true, use, run.problem}, run.cursor.log);
    if (options.errorFiles) {
      ReadErrorFiles(run.settings, run.cursor.errors, true, use, run.problem);
    }
    if (!Settle(run)) return kExitUnknown;
  }
  return kExitOk;
}

// The cursor a previous run left; false (and said why) for a file that is
// no cursor, which is never overwritten.
bool ResumeCursor(ShowRun& run) {
  if (!Shipping(run.options)) return true;
  const CursorLoad load = LoadCursor(run.options.cursorFile, run.cursor);
  if (load == CursorLoad::Loaded) run.saved = FormatCursor(run.cursor);
  if (load != CursorLoad::Invalid) return true;
  run.output.err("vtlog: " + run.options.cursorFile +
                 ": not a vtlog cursor; give a new path, or remove it to ship every record "
                 "again\n");
  return false;
}

// kExitUnknown when there is nothing to read at all; -1 to go on.
int CheckSomethingToRead(ShowRun& run) {
  const ShowOptions& options = run.options;
  if (!options.file.empty()) return -1;
  const bool noDirectory = !plat::PathIsDirectory(run.settings.outputDir);
  if (LogGenerations(run.settings).empty() &&
      (!options.errorFiles || ErrorFiles(run.settings).empty()) &&
      (!options.follow || noDirectory)) {
    run.output.err("vtlog: " + MissingLogCause(run.settings) + "\n");
    return kExitUnknown;
  }
  return -1;
}

int ShowAll(ShowRun& run) {
  const ShowOptions& options = run.options;
  if (const int code = CheckSomethingToRead(run); code >= 0) return code;
  if (!ResumeCursor(run)) return kExitUnknown;
  run.keep = options.lines ? options.lines
                           : (options.follow && !Shipping(options) ? std::optional(kFollowBacklog)
                                                                   : std::nullopt);
  if (options.format == OutputFormat::Csv) run.output.out(RecordCsvHeader());
  const FilePlace loaded = run.cursor.log;
  const ChainCount count = ShowHistory(run);
  // Nothing read names no file: the cursor keeps its place.
  if (run.cursor.log.head.empty()) run.cursor.log = loaded;
  if (!Settle(run)) return kExitUnknown;
  if (options.follow) return Follow(run);
  const bool errorRecords = options.errorFiles && !run.cursor.errors.empty();
  if (count.unopened == count.files && !errorRecords) return kExitUnknown;
  return (options.filter.failed && run.found > 0) || run.trouble ? kExitWarning : kExitOk;
}

}  // namespace

bool RecordPasses(const RecordFilter& filter, const ExecRecord& record) {
  if (!filter.jobs.empty() && !filter.jobs.contains(record.job)) return false;
  if (!filter.className.empty() && LowerAscii(record.className) != filter.className) return false;
  std::int64_t result = 0;
  if (filter.failed && !RecordResult(record, result)) return false;
  if (filter.since || filter.until) {
    const std::int64_t key = RecordTimeKey(record);
    if (filter.since && key < *filter.since) return false;
    if (filter.until && key > *filter.until) return false;
  }
  return true;
}

PlaceRead ReadPlace(FilePlace& place, bool atEnd, const RecordFn& onRecord,
                    const ProblemFn& onProblem) {
  plat::FileHandle file;
  std::string head;
  std::uint64_t size = 0;
  if (plat::OpenFile(place.path, plat::OpenMode::ReadSharedAll, file) != plat::OpenStatus::Opened ||
      !ReadFileHead(*file, head, size)) {
    return PlaceRead::Unopened;
  }
  if (!head.starts_with(place.head) || size < place.offset) return PlaceRead::Changed;
  LogCursor cursor{place.path, place.offset};
  if (!ReadOpenLogRecords(*file, cursor, atEnd, onRecord, onProblem)) return PlaceRead::Unopened;
  place.offset = cursor.offset;
  place.head = std::move(head);
  return PlaceRead::Read;
}

int RunShow(const ShowOptions& options, VtlogOutput& output) {
  ShowRun run{options, output};
  run.problem = [&run](const std::string& message) {
    run.trouble = true;
    run.output.err("vtlog: " + message + "\n");
  };
  LoadComponentSettings(options.component, run.settings);
  const int code = ShowAll(run);
  ReleaseLogSettings(run.settings);
  return code;
}
