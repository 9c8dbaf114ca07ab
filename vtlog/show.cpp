#include "vtlog/show.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <vector>

#include "execlog/path_text.h"
#include "execlog/rotation.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kHeadBytes = 256;
// What --follow shows of the past when neither --lines nor a cursor says.
constexpr std::size_t kFollowBacklog = 10;

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

// The file still starts as it did and is not shorter than what was read.
bool SameFile(const std::u16string& path, const std::string& head, std::uint64_t offset) {
  std::string current;
  std::uint64_t size = 0;
  return ReadFileHead(path, current, size) && current.starts_with(head) && size >= offset;
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
    if (SameFile(path, state.head, state.cursor.offset)) return path;
  }
  return {};
}

// The cursor file: which file (by its first bytes) and how far into it.
// A text of "key=value" lines, rewritten whole after each batch of output.
std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

std::string Unhex(std::string_view hex) {
  std::string out;
  auto value = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(value(hex[i]) * 16 + value(hex[i + 1])));
  }
  return out;
}

bool LoadCursor(const std::string& path, FollowState& state) {
  std::ifstream in(std::filesystem::u8path(path));
  std::string line;
  if (!in || !std::getline(in, line) || line != "vtlog cursor 1") return false;
  while (std::getline(in, line)) {
    const std::size_t eq = line.find('=');
    const std::string key = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
    if (key == "file") state.cursor.path = plat::FromUtf8(value);
    if (key == "head") state.head = Unhex(value);
    if (key == "offset") state.cursor.offset = std::strtoull(value.c_str(), nullptr, 10);
  }
  return !state.head.empty();
}

// Written beside it and renamed over it, so a crash leaves the old cursor
// or the new one, never half of one.
bool SaveCursor(const std::string& path, const FollowState& state) {
  // A log of no more than its byte-order mark says nothing of which log it
  // is: the cursor stays on the end of the last one read.
  if (state.head.size() <= 2 || state.cursor.offset <= 2) return true;
  const std::filesystem::path target = std::filesystem::u8path(path);
  std::filesystem::path temporary = target;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << "vtlog cursor 1\nfile=" << plat::ToUtf8(state.cursor.path)
        << "\nhead=" << Hex(state.head) << "\noffset=" << state.cursor.offset << "\n";
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temporary, target, ec);
  return !ec;
}

struct Pending {
  std::int64_t key = 0;
  ExecRecord record;
  const LogFileRef* file = nullptr;
};

const char* OriginOf(LogFileKind kind) {
  return kind == LogFileKind::WriteError  ? "write-error"
         : kind == LogFileKind::NameError ? "name-error"
                                          : "log";
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
  LoadComponentSettings(options.component, settings);
  const bool oneFile = !options.file.empty();
  std::vector<LogFileRef> files;
  if (oneFile) {
    files.push_back({options.file, LogFileKind::Live});
  } else {
    files = LogGenerations(settings);
  }
  std::vector<LogFileRef> errorFiles;
  if (options.errorFiles) errorFiles = ErrorFiles(settings);
  const bool noDirectory = !oneFile && !plat::PathIsDirectory(settings.outputDir);
  if (!oneFile && files.empty() && errorFiles.empty() && (!options.follow || noDirectory)) {
    output.err("vtlog: " + MissingLogCause(settings) + "\n");
    ReleaseLogSettings(settings);
    return kExitUnknown;
  }

  // Where to begin: after the cursor, in the file it names by identity
  // (the live log, or the generation the rotation moved it to).
  FollowState follow{LogCursor{oneFile ? options.file : settings.logFilePath}, ""};
  std::size_t firstFile = 0;
  std::uint64_t firstOffset = 0;
  FollowState saved;
  const bool resumed = !options.cursorFile.empty() && LoadCursor(options.cursorFile, saved);
  if (resumed) {
    firstFile = files.size();
    for (std::size_t i = files.size(); i-- > 0;) {
      if (SameFile(files[i].path, saved.head, saved.cursor.offset)) {
        firstFile = i;
        firstOffset = saved.cursor.offset;
        break;
      }
    }
    if (firstFile == files.size()) {
      problem("the cursor's file is gone (pruned, or another log): reading every generation");
      firstFile = 0;
    }
  }

  std::size_t found = 0;
  std::deque<std::string> backlog;
  const std::optional<std::size_t> keep =
      options.lines ? options.lines
                    : (options.follow && !resumed ? std::optional(kFollowBacklog) : std::nullopt);
  std::string line;
  SourceJson sourceJson;
  bool live = false;  // past the history: every record goes out at once
  const auto print = [&](const ExecRecord& record, const LogFileRef& file) {
    if (!RecordPasses(options.filter, record)) return;
    ++found;
    line.clear();
    AppendRecord(line, record, options.format, {options.component, file.path, OriginOf(file.kind)},
                 &sourceJson);
    if (!keep || live) return output.out(line);
    if (*keep == 0) return;
    if (backlog.size() == *keep) backlog.pop_front();
    backlog.push_back(line);
  };
  if (options.format == OutputFormat::Csv) output.out(RecordCsvHeader());

  // Records that missed the log are few; they are merged in by time. Their
  // cursors stay at their ends for following.
  std::vector<Pending> pending;
  std::map<std::u16string, std::pair<LogFileRef, LogCursor>> followed;
  // An error file, read on from where the last look left it.
  const auto readErrorFile =
      [&](const LogFileRef& file, bool atEnd,
          const std::function<void(const ExecRecord&, const LogFileRef&)>& use) {
        std::pair<LogFileRef, LogCursor>& entry = followed[file.path];
        entry.first = file;
        entry.second.path = file.path;
        ReadLogRecords(
            entry.second, atEnd,
            [&](const ExecRecord& record, std::int64_t, bool) { use(record, entry.first); },
            problem);
      };
  for (const LogFileRef& file : errorFiles) {
    readErrorFile(file, true, [&](const ExecRecord& record, const LogFileRef& ref) {
      if (RecordPasses(options.filter, record)) {
        pending.push_back({RecordTimeKey(record), record, &ref});
      }
    });
  }
  std::stable_sort(pending.begin(), pending.end(),
                   [](const Pending& a, const Pending& b) { return a.key < b.key; });
  std::size_t nextPending = 0;
  const auto printPending = [&](std::int64_t upTo) {
    for (; nextPending < pending.size() && pending[nextPending].key <= upTo; ++nextPending) {
      print(pending[nextPending].record, *pending[nextPending].file);
    }
  };
  std::size_t unopened = 0;
  for (std::size_t i = firstFile; i < files.size(); ++i) {
    const LogFileRef& file = files[i];
    const RecordFn onRecord = [&](const ExecRecord& record, std::int64_t, bool) {
      if (nextPending < pending.size()) printPending(RecordTimeKey(record));
      print(record, file);
    };
    const bool live = file.kind == LogFileKind::Live;
    if (live && (options.follow || !options.cursorFile.empty())) {
      // A torn last line is left for the next look, or the next run.
      if (i == firstFile) {
        follow.cursor.offset = firstOffset;
        follow.head = saved.head;
      }
      FollowStep(follow, nullptr, onRecord, problem);
      continue;
    }
    LogCursor cursor{file.path, i == firstFile ? firstOffset : 0};
    if (!ReadLogRecords(cursor, true, onRecord, problem)) ++unopened;
  }
  printPending(INT64_MAX);
  for (const std::string& text : backlog) output.out(text);
  live = true;
  output.flush();
  if (!options.cursorFile.empty() && !SaveCursor(options.cursorFile, follow)) {
    problem(options.cursorFile + ": the cursor cannot be written");
  }
  if (!options.follow) {
    ReleaseLogSettings(settings);
    if (unopened == files.size() && errorFiles.empty()) return kExitUnknown;
    return (options.filter.failed && found > 0) || trouble ? kExitWarning : kExitOk;
  }
  const RecordFn now = [&](const ExecRecord& record, std::int64_t, bool) {
    print(record, {follow.cursor.path, LogFileKind::Live});
  };
  while (!output.wanted || output.wanted()) {
    plat::SleepMilliseconds(options.intervalMs);
    // Settings are read afresh, as each launcher run does.
    if (!oneFile) {
      ReleaseLogSettings(settings);
      LoadComponentSettings(options.component, settings);
    }
    FollowStep(follow, oneFile ? nullptr : &settings, now, problem);
    if (options.errorFiles) {
      for (const LogFileRef& file : ErrorFiles(settings)) readErrorFile(file, false, print);
    }
    output.flush();
    if (!options.cursorFile.empty()) SaveCursor(options.cursorFile, follow);
  }
  ReleaseLogSettings(settings);
  return kExitOk;
}
