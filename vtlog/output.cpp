#include "vtlog/output.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "execlog/path_text.h"
#include "platform/text.h"
#include "vtlog/check.h"
#include "vtlog/jobs.h"

namespace {

constexpr std::size_t kBlockBytes = std::size_t{64} * 1024;

// Decimal digits of a value that is not negative, at least width of them.
void AppendPadded(std::string& out, std::int64_t value, int width) {
  char buffer[24];
  char* end = buffer + sizeof buffer;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && p > buffer);
  while (end - p < width) *--p = '0';
  out.append(p, static_cast<std::size_t>(end - p));
}

void AppendNumber(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, static_cast<std::size_t>(end - buffer));
}

bool IsHigh(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Printable ASCII that JSON takes as it is.
bool PlainJson(char32_t c) {
  return c >= 0x20 && c < 0x80 && c != U'"' && c != U'\\';
}

// What may be copied byte for byte: any ASCII in UTF-8 text, printable ASCII
// but the quote and the backslash in a JSON string, ASCII but the comma, the
// quote and the line ends in an unquoted CSV field.
enum class Plain { Ascii, Json, Csv };

template <Plain kind>
bool IsPlain(char16_t c) {
  switch (kind) {
    case Plain::Ascii:
      return c < 0x80;
    case Plain::Json:
      return PlainJson(c);
    case Plain::Csv:
      return c < 0x80 && c != u',' && c != u'"' && c != u'\r' && c != u'\n';
  }
  return false;
}

// The same test on four code units at once, in the 16-bit lanes of w.
constexpr std::uint64_t Lanes(std::uint64_t unit) {
  return unit * 0x0001000100010001ULL;
}
template <Plain kind>
bool LanesPlain(std::uint64_t w) {
  if ((w & Lanes(0xFF80)) != 0) return false;
  // Every lane is below 0x80 now, so no sum below carries into the next lane:
  // bit 7 of a lane is clear after + 0x7F exactly when the lane was zero.
  constexpr std::uint64_t kHigh = Lanes(0x80);
  const auto anyEqual = [w](char16_t c) { return (~((w ^ Lanes(c)) + Lanes(0x7F)) & kHigh) != 0; };
  switch (kind) {
    case Plain::Ascii:
      return true;
    case Plain::Json:
      return ((w + Lanes(0x60)) & kHigh) == kHigh && !anyEqual(u'"') && !anyEqual(u'\\');
    case Plain::Csv:
      return !anyEqual(u',') && !anyEqual(u'"') && !anyEqual(u'\r') && !anyEqual(u'\n');
  }
  return false;
}

// Records are mostly ASCII: eight code units are tested and copied at a time
// while they are plain. False when the units at from are not (or not eight).
template <Plain kind>
bool CopyPlainBlock(const char16_t* from, char* to) {
  if constexpr (std::endian::native != std::endian::little) return false;
  std::uint64_t a = 0, b = 0;
  std::memcpy(&a, from, sizeof a);
  std::memcpy(&b, from + 4, sizeof b);
  if (!LanesPlain<kind>(a) || !LanesPlain<kind>(b)) return false;
  // The low bytes of the lanes, in the order of the code units.
  const auto pack = [](std::uint64_t w) {
    const std::uint64_t x = w | (w >> 8);
    return static_cast<std::uint32_t>((x & 0xFFFF) | ((x >> 16) & 0xFFFF0000));
  };
  const std::uint64_t bytes = pack(a) | (std::uint64_t{pack(b)} << 32);
  std::memcpy(to, &bytes, sizeof bytes);
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
  if (IsHigh(c) && left > 1 && IsLow(from[1])) {
    to = plat::EncodeUtf8CodePoint(to,
                                   0x10000 + ((char32_t(c) - 0xD800) << 10) + (from[1] - 0xDC00));
    return 2;
  }
  const bool lone = IsHigh(c) || IsLow(c);
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

// text appended to out as UTF-8, or as the inside of a JSON string.
template <Plain kind>
void AppendConverted(std::string& out, std::u16string_view text) {
  // A code unit becomes at most six bytes (a \u escape), a pair four.
  const std::size_t old = out.size();
  out.resize(old + text.size() * (kind == Plain::Json ? 6 : 3));
  char* const start = out.data() + old;
  char* to = start;
  const char16_t* from = text.data();
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size;) {
    for (; i + 8 <= size && CopyPlainBlock<kind>(from + i, to); i += 8) to += 8;
    // The block that held something else, a code point at a time.
    for (const std::size_t end = std::min(size, i + 8); i < end;) {
      i += ConvertCodePoint<kind>(from + i, size - i, to);
    }
  }
  out.resize(old + static_cast<std::size_t>(to - start));
}

void AppendJsonString(std::string& out, std::u16string_view text) {
  out.push_back('"');
  AppendConverted<Plain::Json>(out, text);
  out.push_back('"');
}

void AppendName(JsonLine& line, std::string_view name) {
  line.out += line.first ? "{\"" : ",\"";
  line.first = false;
  line.out += name;
  line.out += "\":";
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

void AppendCsvField(std::string& out, std::u16string_view text) {
  std::size_t plain = 0;
  char block[8];
  while (plain + 8 <= text.size() && CopyPlainBlock<Plain::Csv>(text.data() + plain, block)) {
    plain += 8;
  }
  const std::u16string_view rest = text.substr(plain);
  if (std::none_of(rest.begin(), rest.end(),
                   [](char16_t c) { return c == u',' || c == u'"' || c == u'\r' || c == u'\n'; })) {
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

JsonLine BeginJson(std::string& out) {
  return JsonLine{out, true};
}

void JsonField(JsonLine& line, std::string_view name, std::u16string_view value) {
  AppendName(line, name);
  AppendJsonString(line.out, value);
}

void JsonField(JsonLine& line, std::string_view name, std::string_view utf8) {
  if (std::all_of(utf8.begin(), utf8.end(),
                  [](char c) { return PlainJson(static_cast<unsigned char>(c)); })) {
    AppendName(line, name);
    line.out += '"';
    line.out += utf8;
    line.out += '"';
    return;
  }
  JsonField(line, name, plat::FromUtf8(utf8));
}

void JsonField(JsonLine& line, std::string_view name, std::int64_t value) {
  AppendName(line, name);
  AppendNumber(line.out, value);
}

void JsonTimestamp(JsonLine& line, std::string_view name, const ExecRecord& record) {
  AppendName(line, name);
  line.out += '"';
  AppendIsoTimestamp(line.out, record);
  line.out += '"';
}

void JsonNull(JsonLine& line, std::string_view name) {
  AppendName(line, name);
  line.out += "null";
}

void EndJson(JsonLine& line) {
  line.out += line.first ? "{}\n" : "}\n";
}

void AppendStatusText(std::string& out, const ExecRecord& record) {
  AppendUtf8(out, record.className);
  out.push_back(':');
  AppendUtf8(out, record.prefix);
  out.push_back('-');
  AppendPadded(out, record.subCode, 2);
  out.push_back('-');
  AppendPadded(out, record.figure, 2);
  out.push_back('-');
  AppendPadded(out, record.code, 4);
}

std::string RecordCsvHeader() {
  return "date,time,job,class,prefix,subCode,figure,code,result,commandLine,file\n";
}

void AppendRecord(std::string& out, const ExecRecord& record, OutputFormat format,
                  const RecordSource& source) {
  const bool fallback = source.origin != "log";
  std::int64_t result = 0;
  const bool hasResult = RecordResult(record, result);
  switch (format) {
    case OutputFormat::Text:
      if (fallback) {
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
      return;
    case OutputFormat::Csv:
      for (const std::u16string* field :
           {&record.date, &record.time, &record.job, &record.className, &record.prefix}) {
        AppendCsvField(out, *field);
        out += ",";
      }
      for (const std::int64_t number : {record.subCode, record.figure, record.code}) {
        AppendNumber(out, number);
        out += ",";
      }
      if (hasResult) AppendNumber(out, result);
      out += ",";
      AppendCsvField(out, record.commandLine);
      out += ",";
      AppendCsvField(out, source.file);
      out += "\n";
      return;
    case OutputFormat::Json: {
      JsonLine line = BeginJson(out);
      JsonTimestamp(line, "timestamp", record);
      JsonField(line, "component", source.component);
      JsonField(line, "job", record.job);
      if (hasResult) JsonField(line, "result", result);
      JsonField(line, "class", record.className);
      JsonField(line, "prefix", record.prefix);
      JsonField(line, "subCode", record.subCode);
      JsonField(line, "figure", record.figure);
      JsonField(line, "code", record.code);
      JsonField(line, "commandLine", record.commandLine);
      JsonField(line, "file", source.file);
      JsonField(line, "origin", source.origin);
      EndJson(line);
      return;
    }
  }
}

std::string JobCsvHeader() {
  return "job,start,end,durationMs,outcome,result,commandLine\n";
}

void AppendJob(std::string& out, const PairedJob& run, OutputFormat format,
               std::u16string_view component) {
  std::int64_t ms = 0;
  const bool timed = JobDurationMs(run, ms);
  const ExecRecord& first = run.hasStart ? run.start : run.end;
  const bool failed = run.outcome == JobOutcome::Failed;
  switch (format) {
    case OutputFormat::Text: {
      const auto time = [&](bool has, const ExecRecord& r) {
        if (!has) {
          out += "-  ";
          return;
        }
        AppendTextTime(out, r.date, r.time);
      };
      AppendUtf8(out, run.job);
      out += "  ";
      time(run.hasStart, run.start);
      time(run.hasEnd, run.end);
      timed ? AppendDuration(out, ms) : out.push_back('-');
      out += "  ";
      out += OutcomeName(run.outcome);
      if (failed) {
        out += " ";
        AppendNumber(out, FailedResult(run));
      }
      out += "  ";
      AppendUtf8(out, first.commandLine);
      out += "\n";
      return;
    }
    case OutputFormat::Csv:
      AppendCsvField(out, run.job);
      out += ",";
      if (run.hasStart) AppendIsoTimestamp(out, run.start);
      out += ",";
      if (run.hasEnd) AppendIsoTimestamp(out, run.end);
      out += ",";
      if (timed) AppendNumber(out, ms);
      out += ",";
      out += OutcomeName(run.outcome);
      out += ",";
      if (failed) AppendNumber(out, FailedResult(run));
      out += ",";
      AppendCsvField(out, first.commandLine);
      out += "\n";
      return;
    case OutputFormat::Json: {
      JsonLine line = BeginJson(out);
      JsonField(line, "component", component);
      JsonField(line, "job", run.job);
      run.hasStart ? JsonTimestamp(line, "start", run.start) : JsonNull(line, "start");
      run.hasEnd ? JsonTimestamp(line, "end", run.end) : JsonNull(line, "end");
      timed ? JsonField(line, "durationMs", ms) : JsonNull(line, "durationMs");
      JsonField(line, "outcome", std::string_view(OutcomeName(run.outcome)));
      failed ? JsonField(line, "result", FailedResult(run)) : JsonNull(line, "result");
      JsonField(line, "commandLine", first.commandLine);
      EndJson(line);
      return;
    }
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
      JsonLine line = BeginJson(out);
      JsonField(line, "group", item.group);
      JsonField(line, "name", item.name);
      JsonField(line, "value", item.value);
      JsonField(line, "source", item.source);
      out += "}";
    }
    out += "],\"findings\":[";
    for (const Finding& f : report.findings) {
      if (&f != &report.findings.front()) out += ",";
      JsonLine line = BeginJson(out);
      JsonField(line, "severity", std::string_view(SeverityName(f.severity)));
      JsonField(line, "file", f.file);
      JsonField(line, "line", f.line);
      JsonField(line, "kind", f.kind);
      JsonField(line, "message", f.message);
      JsonField(line, "effect", f.effect);
      out += "}";
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
    errors += f.severity == Severity::Error ? 1 : 0;
    warnings += f.severity == Severity::Warning ? 1 : 0;
    out += std::string("  ") + SeverityName(f.severity) + ": ";
    AppendUtf8(out, f.file);
    out += (f.line > 0 ? ":" + std::to_string(f.line) : "") + ": " + f.kind + ": " + f.message +
           "; " + f.effect + "\n";
  }
  out += std::to_string(errors) + " errors, " + std::to_string(warnings) + " warnings\n";
}
