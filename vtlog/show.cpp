#include "vtlog/show.h"

#include <algorithm>
#include <vector>

#include "execlog/path_text.h"
#include "execlog/rotation.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kHeadBytes = 256;
constexpr int kFollowIntervalMs = 500;

// Up to kHeadBytes of the file; false when it cannot be opened.
bool ReadFileHead(const std::u16string& path, std::string& head, std::uint64_t& size) {
  plat::FileHandle file;
  if (plat::OpenFile(path, plat::OpenMode::ReadSharedAll, file) != plat::OpenStatus::Opened ||
      !plat::FileSizeOf(*file, size)) {
    return false;
  }
  head.assign(kHeadBytes, '\0');
  std::size_t got = 0;
  while (got < head.size()) {
    const std::ptrdiff_t n = plat::ReadBytes(*file, head.data() + got, head.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  head.resize(got);
  return true;
}

// The rotated file that starts like the log did and is at least as long as
// what was read of it: newest candidates first.
std::u16string FindMovedLog(const FollowState& state, const LogSettings& settings) {
  std::vector<RotationCandidate> list;
  if (!ListRotationCandidates(settings, list)) return {};
  SortRotationCandidates(list);
  for (const RotationCandidate& entry : list) {
    std::u16string path = settings.rotateDir + u"\\" + entry.name;
    if (EqualsIgnoreCase(path, settings.logFilePath)) continue;
    std::string head;
    std::uint64_t size = 0;
    if (ReadFileHead(path, head, size) && head.starts_with(state.head) &&
        size >= state.cursor.offset) {
      return path;
    }
  }
  return {};
}

struct PendingRecord {
  ExecRecord record;
  std::int64_t key = 0;
  std::string source;
  std::u16string file;
};

}  // namespace

bool RecordPasses(const RecordFilter& filter, const ExecRecord& record) {
  if (!filter.job.empty() && record.job != filter.job) return false;
  if (!filter.className.empty() && LowerAscii(record.className) != filter.className) return false;
  if (filter.since || filter.until) {
    const std::int64_t key = RecordTimeKey(record);
    if (filter.since && key < *filter.since) return false;
    if (filter.until && key > *filter.until) return false;
  }
  return true;
}

void FollowStep(FollowState& state, const LogSettings* settings, const RecordFn& onRecord,
                const ProblemFn& onProblem) {
  std::string current;
  std::uint64_t size = 0;
  const bool exists = ReadFileHead(state.cursor.path, current, size);
  const bool sameFile = exists && current.starts_with(state.head) && size >= state.cursor.offset;
  if (!sameFile && state.cursor.offset > 0) {
    // Rotated away (or replaced): finish the old file where it went first.
    const std::u16string moved = settings != nullptr ? FindMovedLog(state, *settings) : u"";
    if (!moved.empty()) {
      LogCursor old = state.cursor;
      old.path = moved;
      ReadLogRecords(old, true, onRecord, onProblem);
    } else {
      onProblem(plat::ToUtf8(state.cursor.path) +
                ": the log was replaced; records written just before that may be missing");
    }
    state.cursor = LogCursor{state.cursor.path, 0, 0, 0};
    state.head.clear();
  }
  if (!exists) return;
  if (state.head.size() < kHeadBytes) {
    if (!ReadFileHead(state.cursor.path, current, size)) return;
    state.head = current;
  }
  ReadLogRecords(state.cursor, false, onRecord, onProblem);
}

int RunShow(const ShowOptions& options, VtlogOutput& output) {
  bool trouble = false;
  const ProblemFn problem = [&](const std::string& message) {
    trouble = true;
    output.err("vtlog: " + message + "\n");
  };
  LogSettings settings;
  if (!LoadComponentSettings(options.component, settings)) {
    output.err("vtlog: unknown component \"" + plat::ToUtf8(options.component) + "\"\n");
    return 2;
  }
  std::vector<LogFileRef> files;
  if (!options.file.empty()) {
    files.push_back({options.file, LogFileKind::Live});
  } else {
    files = LogGenerations(settings);
  }
  if (files.empty() && !options.follow) {
    problem(plat::ToUtf8(settings.logFilePath) + ": no log and no rotated generation found");
  }
  if (options.format == OutputFormat::Csv) output.out(CsvHeader());

  // Records that missed the log are few; they are merged in by time.
  std::vector<PendingRecord> pending;
  if (options.errorFiles) {
    for (const LogFileRef& file : ErrorFiles(settings)) {
      LogCursor cursor{file.path};
      const char* source = file.kind == LogFileKind::WriteError ? "write-error" : "name-error";
      ReadLogRecords(
          cursor, true,
          [&](const ExecRecord& record, std::int64_t, bool) {
            if (RecordPasses(options.filter, record)) {
              pending.push_back({record, RecordTimeKey(record), source, file.path});
            }
          },
          problem);
    }
    std::stable_sort(pending.begin(), pending.end(),
                     [](const PendingRecord& a, const PendingRecord& b) { return a.key < b.key; });
  }
  std::size_t nextPending = 0;
  auto flushPending = [&](std::int64_t upTo) {
    for (; nextPending < pending.size() && pending[nextPending].key <= upTo; ++nextPending) {
      const PendingRecord& p = pending[nextPending];
      output.out(FormatRecord(p.record, options.format, p.source, p.file));
    }
  };
  const RecordFn print = [&](const ExecRecord& record, std::int64_t, bool) {
    if (!RecordPasses(options.filter, record)) return;
    flushPending(RecordTimeKey(record));
    output.out(FormatRecord(record, options.format, "", u""));
  };

  FollowState follow{LogCursor{options.file.empty() ? settings.logFilePath : options.file}, ""};
  for (const LogFileRef& file : files) {
    const bool live = file.kind == LogFileKind::Live;
    if (options.follow && live) {
      FollowStep(follow, nullptr, print, problem);
      continue;
    }
    LogCursor cursor{file.path};
    ReadLogRecords(cursor, true, print, problem);
  }
  flushPending(INT64_MAX);
  output.flush();
  if (!options.follow) {
    ReleaseLogSettings(settings);
    return trouble ? 1 : 0;
  }
  const LogSettings* rotation = options.file.empty() ? &settings : nullptr;
  for (;;) {
    plat::SleepMilliseconds(kFollowIntervalMs);
    // Settings are read afresh, as each launcher run does.
    if (rotation != nullptr) {
      ReleaseLogSettings(settings);
      LoadComponentSettings(options.component, settings);
    }
    FollowStep(follow, rotation, print, problem);
    output.flush();
  }
}
