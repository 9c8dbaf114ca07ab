#include "vtlog/output.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "execlog/path_text.h"
#include "platform/text.h"
#include "vtlog/check.h"
#include "vtlog/jobs.h"

namespace {

constexpr std::size_t kBlockBytes = std::size_t{64} * 1024;

// A job's duration, "H:MM:SS.mmm"; negative when the local clock went back
// between its records.
void AppendDuration(std::string& out, std::int64_t ms) {
  if (ms < 0) {
    out.push_back('-');
    ms = -ms;
  }
  const std::int64_t seconds = ms / 1000;
  plat::AppendZeroPadded(out, seconds / 3600, 1);
  out.push_back(':');
  plat::AppendZeroPadded(out, seconds / 60 % 60, 2);
  out.push_back(':');
  plat::AppendZeroPadded(out, seconds % 60, 2);
  out.push_back('.');
  plat::AppendZeroPadded(out, ms % 1000, 3);
}

void AppendNumber(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, static_cast<std::size_t>(end - buffer));
}

// Printable ASCII that JSON takes as it is.
bool PlainJson(char32_t c) {
  return c >= 0x20 && c < 0x80 && c != U'"' && c != U'\\';
}

// What may be copied byte for byte: any ASCII in UTF-8 text, printable ASCII
// but the quote and the backslash in a JSON string, ASCII but the comma, the
// quote and the line ends in an unquoted CSV field.
enum class Plain { Ascii, Json, Csv };

// Written as a sum of comparisons rather than with || (or a switch) so that
// a loop over a block of code units becomes vector instructions.
template <Plain kind>
bool NotPlain(char16_t unit) {
  const unsigned c = unit;
  switch (kind) {
    case Plain::Ascii:
      return c >= 0x80;
    case Plain::Json:
      return (c < 0x20) + (c >= 0x80) + (c == '"') + (c == '\\') != 0;
    case Plain::Csv:
      return (c >= 0x80) + (c == ',') + (c == '"') + (c == '\r') + (c == '\n') != 0;
  }
  return true;
}

template <Plain kind>
bool IsPlain(char16_t c) {
  return !NotPlain<kind>(c);
}

// Records are mostly ASCII: a block of code units is tested and copied at
// once while it is plain. False when the units at from are not.
constexpr std::size_t kBlock = 16;
template <Plain kind>
bool CopyPlainBlock(const char16_t* from, char* to) {
  // Local copies and an unsigned sum: the shape the compiler turns into
  // vector instructions.
  char16_t units[kBlock];  // NOLINT(*-avoid-c-arrays)
  char bytes[kBlock];      // NOLINT(*-avoid-c-arrays)
  std::memcpy(units, from, sizeof units);
  unsigned other = 0;
  for (std::size_t k = 0; k < kBlock; ++k) {
    other |= NotPlain<kind>(units[k]) ? 1U : 0U;
    bytes[k] = static_cast<char>(units[k]);
  }
  if (other != 0) return false;
  std::memcpy(to, bytes, sizeof bytes);
  return true;
}

// One code point at from (of left units) written at to: a surrogate pair as
// one character, a lone surrogate as U+FFFD (UTF-8 cannot carry it) or, in
// JSON, as its \u escape so that nothing of the log is lost. Returns the units
// used.
template <Plain kind>
std::size_t ConvertCodePoint(const char16_t* from, std::size_t left, char*& to) {
  const char16_t c = from[0];
  if (IsPlain<kind>(c)) {
    *to++ = static_cast<char>(c);
    return 1;
  }
  if (plat::IsHighSurrogate(c) && left > 1 && plat::IsLowSurrogate(from[1])) {
    to = plat::EncodeUtf8CodePoint(to, plat::JoinSurrogates(c, from[1]));
    return 2;
  }
  const bool lone = plat::IsHighSurrogate(c) || plat::IsLowSurrogate(c);
  if (kind == Plain::Json && (c == u'"' || c == u'\\')) {
    *to++ = '\\';
    *to++ = static_cast<char>(c);
  } else if (kind == Plain::Json && (c < 0x20 || lone)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const char escape[] = {
        '\\', 'u', kHex[c >> 12], kHex[(c >> 8) & 15], kHex[(c >> 4) & 15], kHex[c & 15]};
    to = std::copy(std::begin(escape), std::end(escape), to);
  } else {
    to = plat::EncodeUtf8CodePoint(to, lone ? U'\uFFFD' : char32_t(c));
  }
  return 1;
}

// The positions of the bytes of flags (each 0 or 1) as the bits of a mask.
std::uint32_t FlagMask(const unsigned char (&flags)[kBlock]) {  // NOLINT(*-avoid-c-arrays)
  std::uint32_t mask = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Byte k's low bit to bit k of the top byte, eight bytes at a time.
    for (std::size_t k = 0; k < kBlock; k += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, flags + k, sizeof word);
      mask |= static_cast<std::uint32_t>((word * 0x0102040810204080ULL) >> 56) << k;
    }
  } else {
    for (std::size_t k = 0; k < kBlock; ++k) mask |= std::uint32_t{flags[k]} << k;
  }
  return mask;
}

// A JSON block of printable ASCII written at to, quotes and backslashes
// escaped (paths are full of them): the block's bytes are copied whole up to
// each one, which gets its backslash. False, with nothing written, when the
// block holds anything else. Writes up to three blocks' worth of bytes from
// to on, which Convert's room (six bytes a unit) has for a whole block.
bool EscapeAsciiBlock(const char16_t* from, char*& to) {
  char16_t units[kBlock];       // NOLINT(*-avoid-c-arrays)
  char bytes[2 * kBlock]{};     // NOLINT(*-avoid-c-arrays)
  unsigned char flags[kBlock];  // NOLINT(*-avoid-c-arrays)
  std::memcpy(units, from, sizeof units);
  unsigned other = 0;
  for (std::size_t k = 0; k < kBlock; ++k) {
    const unsigned c = units[k];
    other |= (c < 0x20) + (c >= 0x80) != 0 ? 1U : 0U;
    flags[k] = (c == '"') + (c == '\\') != 0 ? 1 : 0;
    bytes[k] = static_cast<char>(c);
  }
  if (other != 0) return false;
  std::size_t start = 0;
  for (std::uint32_t escapes = FlagMask(flags); escapes != 0; escapes &= escapes - 1) {
    const auto k = static_cast<std::size_t>(std::countr_zero(escapes));
    std::memcpy(to, bytes + start, kBlock);
    to += k - start;
    *to++ = '\\';
    start = k;
  }
  std::memcpy(to, bytes + start, kBlock);
  to += kBlock - start;
  return true;
}

// The room Convert needs for text of units code units: six bytes a unit (a
// \u escape) and the quotes.
constexpr std::size_t ConvertRoom(std::size_t units) {
  return units * 6 + 2;
}

// text written at to as UTF-8, or as a JSON string with its quotes; to has
// ConvertRoom. Returns the end of what was written.
template <Plain kind>
char* Convert(std::u16string_view text, char* to) {
  constexpr bool kJson = kind == Plain::Json;
  if (kJson) *to++ = '"';
  const char16_t* from = text.data();
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size;) {
    if constexpr (kJson) {
      while (i + kBlock <= size && EscapeAsciiBlock(from + i, to)) i += kBlock;
    } else {
      for (; i + kBlock <= size && CopyPlainBlock<kind>(from + i, to); i += kBlock) to += kBlock;
    }
    // The block that held something else (or a short rest), the plain units
    // in a tight loop, the others a code point at a time.
    const std::size_t stop = std::min(size, i + kBlock);
    for (; i < stop && IsPlain<kind>(from[i]); ++i) *to++ = static_cast<char>(from[i]);
    while (i < stop) {
      i += ConvertCodePoint<kind>(from + i, size - i, to);
    }
  }
  if (kJson) *to++ = '"';
  return to;
}

template <Plain kind>
void AppendConverted(std::string& out, std::u16string_view text) {
  const std::size_t longest = ConvertRoom(text.size());
  // Most fields are short: converted on the stack and appended in one piece.
  constexpr std::size_t kLocal = 1024;
  if (longest <= kLocal) {
    char local[kLocal];
    out.append(local, static_cast<std::size_t>(Convert<kind>(text, local) - local));
    return;
  }
  const std::size_t old = out.size();
  out.resize(old + longest);
  char* const start = out.data() + old;
  out.resize(old + static_cast<std::size_t>(Convert<kind>(text, start) - start));
}

void AppendJsonString(std::string& out, std::u16string_view text) {
  AppendConverted<Plain::Json>(out, text);
}

// Room for bytes at the end of the line's buffer, handing what it holds to
// out first when needed; nullptr when even an empty buffer is too small.
char* JsonRoom(JsonLine& line, std::size_t bytes) {
  if (line.used + bytes > line.buffer.size()) {
    line.out.append(line.buffer.data(), line.used);
    line.used = 0;
    if (bytes > line.buffer.size()) return nullptr;
  }
  return line.buffer.data() + line.used;
}

void JsonPut(JsonLine& line, std::string_view text) {
  char* to = JsonRoom(line, text.size());
  if (to == nullptr) {
    line.out += text;
    return;
  }
  std::memcpy(to, text.data(), text.size());
  line.used += text.size();
}

void AppendName(JsonLine& line, std::string_view name) {
  char* to = JsonRoom(line, name.size() + 4);
  if (to == nullptr) {  // no name is that long; kept whole all the same
    line.out += line.first ? "{\"" : ",\"";
    line.out += name;
    line.out += "\":";
  } else {
    to[0] = line.first ? '{' : ',';
    to[1] = '"';
    // A loop rather than memcpy: a name is a few bytes, a call costs more.
    for (std::size_t k = 0; k < name.size(); ++k) to[2 + k] = name[k];
    to[name.size() + 2] = '"';
    to[name.size() + 3] = ':';
    line.used += name.size() + 4;
  }
  line.first = false;
}

}  // namespace

VtlogOutput BufferedOutput(VtlogOutput& sink, std::string& buffer) {
  buffer.reserve(kBlockBytes * 2);
  auto pass = [&sink, &buffer] {
    if (!buffer.empty()) sink.out(buffer);
    buffer.clear();
  };
  VtlogOutput out;
  out.out = [&buffer, pass](std::string_view text) {
    buffer += text;
    if (buffer.size() >= kBlockBytes) pass();
  };
  out.err = [&sink, pass](std::string_view text) {
    pass();
    if (sink.flush) sink.flush();
    sink.err(text);
  };
  out.flush = [&sink, pass] {
    pass();
    if (sink.flush) sink.flush();
  };
  out.wanted = [&sink] { return !sink.wanted || sink.wanted(); };
  out.written = [&sink, pass](bool durable) {
    pass();
    if (sink.flush) sink.flush();
    return !sink.written || sink.written(durable);
  };
  return out;
}

void AppendUtf8(std::string& out, std::u16string_view text) {
  AppendConverted<Plain::Ascii>(out, text);
}

// A time stamp in the text form: "YYYY/MM/DD HH:MM:SS.mmm" and the column gap.
void AppendTextTime(std::string& out, std::u16string_view date, std::u16string_view time) {
  AppendUtf8(out, date);
  out += " ";
  AppendUtf8(out, time);
  out += "  ";
}

// Whether a CSV field must be quoted: it holds a comma, a quote or a line
// end. One pass, a block of code units at a time.
bool CsvNeedsQuotes(std::u16string_view text) {
  const auto special = [](unsigned c) {
    return (c == ',') + (c == '"') + (c == '\r') + (c == '\n') != 0;
  };
  std::size_t i = 0;
  for (; i + kBlock <= text.size(); i += kBlock) {
    unsigned hit = 0;
    for (std::size_t k = 0; k < kBlock; ++k) hit |= special(text[i + k]) ? 1U : 0U;
    if (hit != 0) return true;
  }
  return std::any_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(), special);
}

void AppendCsvField(std::string& out, std::u16string_view text) {
  if (!CsvNeedsQuotes(text)) {
    AppendUtf8(out, text);
    return;
  }
  out.push_back('"');
  for (std::size_t start = 0;;) {
    const std::size_t quote = text.find(u'"', start);
    AppendUtf8(out, text.substr(start, quote - start));
    if (quote == std::u16string_view::npos) break;
    out += "\"\"";
    start = quote + 1;
  }
  out.push_back('"');
}

void JsonField(JsonLine& line, std::string_view name, std::u16string_view value) {
  AppendName(line, name);
  char* to = JsonRoom(line, ConvertRoom(value.size()));
  if (to == nullptr) {
    AppendJsonString(line.out, value);
    return;
  }
  line.used += static_cast<std::size_t>(Convert<Plain::Json>(value, to) - to);
}

void JsonField(JsonLine& line, std::string_view name, std::string_view utf8) {
  if (std::all_of(utf8.begin(), utf8.end(),
                  [](char c) { return PlainJson(static_cast<unsigned char>(c)); })) {
    AppendName(line, name);
    JsonPut(line, "\"");
    JsonPut(line, utf8);
    JsonPut(line, "\"");
    return;
  }
  JsonField(line, name, plat::FromUtf8(utf8));
}

void JsonField(JsonLine& line, std::string_view name, std::int64_t value) {
  AppendName(line, name);
  char* to = JsonRoom(line, 24);
  if (to == nullptr) return;  // only for more than a whole buffer
  line.used += static_cast<std::size_t>(std::to_chars(to, to + 24, value).ptr - to);
}

void JsonTimestamp(JsonLine& line, std::string_view name, const ExecRecord& record) {
  AppendName(line, name);
  char* const start = JsonRoom(line, kIsoTimestampLength + 2);
  if (start == nullptr) return;  // only for more than a whole buffer
  char* to = start;
  *to++ = '"';
  to = WriteIsoTimestamp(record, to);
  *to++ = '"';
  line.used += static_cast<std::size_t>(to - start);
}

void JsonNull(JsonLine& line, std::string_view name) {
  AppendName(line, name);
  JsonPut(line, "null");
}

void EndJson(JsonLine& line, std::string_view close) {
  if (line.first) JsonPut(line, "{");
  JsonPut(line, close);
  line.out.append(line.buffer.data(), line.used);
  line.used = 0;
}

void AppendStatusText(std::string& out, const ExecRecord& record) {
  AppendUtf8(out, record.className);
  out.push_back(':');
  AppendUtf8(out, record.prefix);
  out.push_back('-');
  plat::AppendZeroPadded(out, record.subCode, 2);
  out.push_back('-');
  plat::AppendZeroPadded(out, record.figure, 2);
  out.push_back('-');
  plat::AppendZeroPadded(out, record.code, 4);
}

std::string RecordCsvHeader() {
  return "date,time,job,class,prefix,subCode,figure,code,result,commandLine,file\n";
}

namespace {

void RenderSourceJson(const RecordSource& source, SourceJson& json) {
  json.component = source.component;
  json.file = source.file;
  json.origin = source.origin;
  json.componentMember.clear();
  JsonLine component(json.componentMember);
  component.first = false;
  JsonField(component, "component", source.component);
  EndJson(component, "");
  json.tail.clear();
  JsonLine tail(json.tail);
  tail.first = false;
  JsonField(tail, "file", source.file);
  JsonField(tail, "origin", source.origin);
  EndJson(tail);
}

void AppendRecordText(std::string& out, const ExecRecord& record, const RecordSource& source) {
  if (source.origin != "log") {
    out += "[";
    out += source.origin;
    out += " ";
    AppendUtf8(out, SplitFileName(source.file));
    out += "] ";
  }
  AppendTextTime(out, record.date, record.time);
  AppendUtf8(out, record.job);
  out += "  ";
  AppendStatusText(out, record);
  out += "  ";
  AppendUtf8(out, record.commandLine);
  out += "\n";
}

void AppendRecordCsv(std::string& out, const ExecRecord& record, const RecordSource& source) {
  for (const std::u16string* field :
       {&record.date, &record.time, &record.job, &record.className, &record.prefix}) {
    AppendCsvField(out, *field);
    out += ",";
  }
  for (const std::int64_t number : {record.subCode, record.figure, record.code}) {
    AppendNumber(out, number);
    out += ",";
  }
  std::int64_t result = 0;
  if (RecordResult(record, result)) AppendNumber(out, result);
  out += ",";
  AppendCsvField(out, record.commandLine);
  out += ",";
  AppendCsvField(out, source.file);
  out += "\n";
}

// The members of the record's file are rendered once per file when the
// caller keeps a cache.
void AppendRecordJson(std::string& out, const ExecRecord& record, const RecordSource& source,
                      SourceJson* cache) {
  JsonLine line(out);
  SourceJson once;
  SourceJson& json = cache != nullptr ? *cache : once;
  if (cache == nullptr || json.file != source.file || json.component != source.component ||
      json.origin != source.origin) {
    RenderSourceJson(source, json);
  }
  JsonTimestamp(line, "timestamp", record);
  JsonPut(line, json.componentMember);
  JsonField(line, "job", record.job);
  std::int64_t result = 0;
  if (RecordResult(record, result)) JsonField(line, "result", result);
  JsonField(line, "class", record.className);
  JsonField(line, "prefix", record.prefix);
  JsonField(line, "subCode", record.subCode);
  JsonField(line, "figure", record.figure);
  JsonField(line, "code", record.code);
  JsonField(line, "commandLine", record.commandLine);
  JsonPut(line, json.tail);
  EndJson(line, "");
}

}  // namespace

void AppendRecord(std::string& out, const ExecRecord& record, OutputFormat format,
                  const RecordSource& source, SourceJson* cache) {
  switch (format) {
    case OutputFormat::Text:
      return AppendRecordText(out, record, source);
    case OutputFormat::Csv:
      return AppendRecordCsv(out, record, source);
    case OutputFormat::Json:
      return AppendRecordJson(out, record, source, cache);
  }
}

std::string JobCsvHeader() {
  return "job,start,end,durationMs,outcome,result,commandLine\n";
}

namespace {

// A job's start or end in the text form; "-" when it has none.
void AppendJobTime(std::string& out, bool has, const ExecRecord& record) {
  if (has) {
    AppendTextTime(out, record.date, record.time);
  } else {
    out += "-  ";
  }
}

void AppendJobText(std::string& out, const PairedJob& run) {
  std::int64_t ms = 0;
  AppendUtf8(out, run.job);
  out += "  ";
  AppendJobTime(out, run.hasStart, run.start);
  AppendJobTime(out, run.hasEnd, run.end);
  JobDurationMs(run, ms) ? AppendDuration(out, ms) : out.push_back('-');
  out += "  ";
  out += OutcomeName(run.outcome);
  if (run.outcome == JobOutcome::Failed) {
    out += " ";
    AppendNumber(out, FailedResult(run));
  }
  out += "  ";
  AppendUtf8(out, (run.hasStart ? run.start : run.end).commandLine);
  out += "\n";
}

void AppendJobCsv(std::string& out, const PairedJob& run) {
  std::int64_t ms = 0;
  AppendCsvField(out, run.job);
  out += ",";
  if (run.hasStart) AppendIsoTimestamp(out, run.start);
  out += ",";
  if (run.hasEnd) AppendIsoTimestamp(out, run.end);
  out += ",";
  if (JobDurationMs(run, ms)) AppendNumber(out, ms);
  out += ",";
  out += OutcomeName(run.outcome);
  out += ",";
  if (run.outcome == JobOutcome::Failed) AppendNumber(out, FailedResult(run));
  out += ",";
  AppendCsvField(out, (run.hasStart ? run.start : run.end).commandLine);
  out += "\n";
}

void AppendJobJson(std::string& out, const PairedJob& run, std::u16string_view component) {
  std::int64_t ms = 0;
  JsonLine line(out);
  JsonField(line, "component", component);
  JsonField(line, "job", run.job);
  run.hasStart ? JsonTimestamp(line, "start", run.start) : JsonNull(line, "start");
  run.hasEnd ? JsonTimestamp(line, "end", run.end) : JsonNull(line, "end");
  JobDurationMs(run, ms) ? JsonField(line, "durationMs", ms) : JsonNull(line, "durationMs");
  JsonField(line, "outcome", std::string_view(OutcomeName(run.outcome)));
  run.outcome == JobOutcome::Failed ? JsonField(line, "result", FailedResult(run))
                                    : JsonNull(line, "result");
  JsonField(line, "commandLine", (run.hasStart ? run.start : run.end).commandLine);
  EndJson(line);
}

}  // namespace

void AppendJob(std::string& out, const PairedJob& run, OutputFormat format,
               std::u16string_view component) {
  switch (format) {
    case OutputFormat::Text:
      return AppendJobText(out, run);
    case OutputFormat::Csv:
      return AppendJobCsv(out, run);
    case OutputFormat::Json:
      return AppendJobJson(out, run, component);
  }
}

std::string JsonString(std::u16string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

void AppendCheckReport(std::string& out, const CheckReport& report, OutputFormat format,
                       std::u16string_view component) {
  const int code = CheckExitCode(report.findings);
  if (format == OutputFormat::Json) {
    out += "{\"component\":" + JsonString(component) + ",\"items\":[";
    for (const ConfigItem& item : report.items) {
      if (&item != &report.items.front()) out += ",";
      JsonLine line(out);
      JsonField(line, "group", item.group);
      JsonField(line, "name", item.name);
      JsonField(line, "value", item.value);
      JsonField(line, "source", item.source);
      EndJson(line, "}");
    }
    out += "],\"findings\":[";
    for (const Finding& f : report.findings) {
      if (&f != &report.findings.front()) out += ",";
      JsonLine line(out);
      JsonField(line, "severity", std::string_view(SeverityName(f.severity)));
      JsonField(line, "file", f.file);
      JsonField(line, "line", f.line);
      JsonField(line, "kind", f.kind);
      JsonField(line, "message", f.message);
      JsonField(line, "effect", f.effect);
      JsonField(line, "count", f.count);
      EndJson(line, "}");
    }
    out += "],\"exitCode\":" + std::to_string(code) + "}\n";
    return;
  }
  std::string group;
  for (const ConfigItem& item : report.items) {
    if (item.group != group) out += (group = item.group) + "\n";
    out += "  " + item.name + " = ";
    AppendUtf8(out, item.value);
    out += (item.source.empty() ? "" : "  (" + item.source + ")") + "\n";
  }
  int errors = 0, warnings = 0;
  out += "findings\n";
  for (const Finding& f : report.findings) {
    errors += f.severity == Severity::Error ? static_cast<int>(f.count) : 0;
    warnings += f.severity == Severity::Warning ? static_cast<int>(f.count) : 0;
    out += std::string("  ") + SeverityName(f.severity) + ": ";
    AppendUtf8(out, f.file);
    out += (f.line > 0 ? ":" + std::to_string(f.line) : "") + ": " + f.kind + ": " + f.message +
           "; " + f.effect + "\n";
  }
  out += std::to_string(errors) + " errors, " + std::to_string(warnings) + " warnings\n";
}
