// Console output of vtlog: text, CSV and JSON lines, always valid UTF-8,
// handed to the console in large blocks.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "vtlog/log_read.h"

struct VtlogOutput {
  std::function<void(std::string_view)> out;  // results
  std::function<void(std::string_view)> err;  // what could not be read, usage
  std::function<void()> flush;
  // False once the reader of the output has gone: a follower stops then.
  std::function<bool()> wanted;
  // True while everything given to out has reached its reader; false for good
  // once a write or a flush failed. With durable, what a disk file was given
  // is flushed to the disk first. Empty: always true.
  std::function<bool(bool durable)> written{};
};

// Collects the output and hands it to sink in blocks: a console or a pipe
// under Windows costs a system call per write, whatever its length. err and
// flush pass the collected output on first, so the two streams keep their
// order. written passes the collected output on first.
VtlogOutput BufferedOutput(VtlogOutput& sink, std::string& buffer);

enum class OutputFormat { Text, Csv, Json };

// UTF-8 of text appended to out; a lone surrogate, which UTF-8 cannot carry,
// becomes U+FFFD.
void AppendUtf8(std::string& out, std::u16string_view text);
// A CSV field, quoted when it holds a comma, a quote or a line end.
void AppendCsvField(std::string& out, std::u16string_view text);

// One JSON object on one line, written field by field into a buffer of its
// own and handed to out in large pieces (the end of the object at the
// latest). Strings keep lone surrogates as \u escapes, so nothing of the log
// is lost.
struct JsonLine {
  explicit JsonLine(std::string& target) : out(target) {}
  JsonLine(const JsonLine&) = delete;
  JsonLine& operator=(const JsonLine&) = delete;
  std::string& out;
  bool first = true;
  std::size_t used = 0;
  // Written through a pointer: std::string's own appends reload its state
  // after every byte stored. Not cleared: only what was written is read.
  std::array<char, 4096> buffer;
};
void JsonField(JsonLine& line, std::string_view name, std::u16string_view value);
void JsonField(JsonLine& line, std::string_view name, std::string_view utf8);
void JsonField(JsonLine& line, std::string_view name, std::int64_t value);
void JsonNull(JsonLine& line, std::string_view name);
// The record's time as its ISO 8601 string.
void JsonTimestamp(JsonLine& line, std::string_view name, const ExecRecord& record);
// "}" and the line end (or what close says) into out.
void EndJson(JsonLine& line, std::string_view close = "}\n");

// Where a record was read.
struct RecordSource {
  std::u16string_view component;
  std::u16string_view file;  // full path
  std::string_view origin;   // "log", "write-error" or "name-error"
};

// "Class:PREFIX-SS-FF-CCCC" as the writer prints it.
void AppendStatusText(std::string& out, const ExecRecord& record);
// The JSON members that are the same for every record of one source, made
// once for it rather than for each of its records: "component", and "file"
// and "origin" at the end of the line.
struct SourceJson {
  std::u16string component;  // what they were made of
  std::u16string file;
  std::string origin;
  std::string componentMember;  // ,"component":"..."
  std::string tail;             // ,"file":"...","origin":"..."}
};
// One record with its line end appended to out. cache, when given, keeps the
// JSON of the source from one record to the next.
void AppendRecord(std::string& out, const ExecRecord& record, OutputFormat format,
                  const RecordSource& source, SourceJson* cache = nullptr);
std::string RecordCsvHeader();

struct PairedJob;
// One job run with its line end appended to out: start, end, duration,
// outcome, result, command line.
void AppendJob(std::string& out, const PairedJob& run, OutputFormat format,
               std::u16string_view component);
std::string JobCsvHeader();

// Exit codes in the convention monitoring plugins use.
inline constexpr int kExitOk = 0;        // nothing wrong
inline constexpr int kExitWarning = 1;   // failures found, or lines that could not be read
inline constexpr int kExitCritical = 2;  // check: errors in the installation
inline constexpr int kExitUnknown = 3;   // no answer: no log, nothing readable, wrong usage

// A JSON string literal, for callers that build their lines by hand.
std::string JsonString(std::u16string_view text);
inline std::string JsonString(std::string_view utf8) {
  return JsonString(plat::FromUtf8(utf8));
}

struct CheckReport;
// The configuration by group, then the findings and their count; in JSON
// one object.
void AppendCheckReport(std::string& out, const CheckReport& report, OutputFormat format,
                       std::u16string_view component);
