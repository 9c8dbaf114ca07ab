#include "vtlog/output.h"

#include <algorithm>
#include <cstdio>
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

bool IsHigh(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Every code point of text to emit; a lone surrogate is passed as itself.
template <typename Emit>
void ForEachCodePoint(std::u16string_view text, Emit emit) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
      emit(0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00), false);
      ++i;
    } else {
      emit(char32_t(c), IsHigh(c) || IsLow(c));
    }
  }
}

// Printable ASCII that JSON takes as it is.
bool PlainJson(char32_t c) {
  return c >= 0x20 && c < 0x80 && c != U'"' && c != U'\\';
}

// Copies the longest start of text that needs no more than a copy and
// returns its length: records are mostly ASCII, so most of a field goes in
// one piece.
template <typename Plain>
std::size_t AppendPlainRun(std::string& out, std::u16string_view text, Plain plain) {
  const std::size_t old = out.size();
  out.resize(old + text.size());
  char* to = out.data() + old;
  std::size_t n = 0;
  for (; n < text.size() && plain(text[n]); ++n) to[n] = static_cast<char>(text[n]);
  out.resize(old + n);
  return n;
}

// The length of the code point at the start of text: 2 for a surrogate pair.
std::size_t CodePointLength(std::u16string_view text) {
  return text.size() > 1 && IsHigh(text[0]) && IsLow(text[1]) ? 2 : 1;
}

void AppendJsonString(std::string& out, std::u16string_view text) {
  out.push_back('"');
  for (;;) {
    text.remove_prefix(AppendPlainRun(out, text, PlainJson));
    if (text.empty()) break;
    const std::size_t length = CodePointLength(text);
    ForEachCodePoint(text.substr(0, length), [&](char32_t c, bool lone) {
      if (c == U'"' || c == U'\\') {
        out.push_back('\\');
        out.push_back(static_cast<char>(c));
      } else if (c < 0x20 || lone) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
        out += buffer;
      } else {
        plat::AppendUtf8CodePoint(out, c);
      }
    });
    text.remove_prefix(length);
  }
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
  for (;;) {
    text.remove_prefix(AppendPlainRun(out, text, [](char16_t c) { return c < 0x80; }));
    if (text.empty()) break;
    const std::size_t length = CodePointLength(text);
    ForEachCodePoint(text.substr(0, length), [&](char32_t c, bool lone) {
      plat::AppendUtf8CodePoint(out, lone ? U'\uFFFD' : c);
    });
    text.remove_prefix(length);
  }
}

// A time stamp in the text form: "YYYY/MM/DD HH:MM:SS.mmm" and the column gap.
void AppendTextTime(std::string& out, std::u16string_view date, std::u16string_view time) {
  AppendUtf8(out, date);
  out += " ";
  AppendUtf8(out, time);
  out += "  ";
}

void AppendCsvField(std::string& out, std::u16string_view text) {
  // A plain loop: find_first_of tries the whole set at every character.
  if (std::none_of(text.begin(), text.end(),
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
  line.out += std::to_string(value);
}

void JsonNull(JsonLine& line, std::string_view name) {
  AppendName(line, name);
  line.out += "null";
}

void EndJson(JsonLine& line) {
  line.out += line.first ? "{}\n" : "}\n";
}

std::string StatusText(const ExecRecord& record) {
  std::string out;
  AppendUtf8(out, record.className);
  out.push_back(':');
  AppendUtf8(out, record.prefix);
  out.push_back('-');
  AppendPadded(out, record.subCode, 2);
  out.push_back('-');
  AppendPadded(out, record.figure, 2);
  out.push_back('-');
  AppendPadded(out, record.code, 4);
  return out;
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
      out += StatusText(record);
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
      out += std::to_string(record.subCode) + "," + std::to_string(record.figure) + "," +
             std::to_string(record.code) + "," + (hasResult ? std::to_string(result) : "") + ",";
      AppendCsvField(out, record.commandLine);
      out += ",";
      AppendCsvField(out, source.file);
      out += "\n";
      return;
    case OutputFormat::Json: {
      JsonLine line = BeginJson(out);
      JsonField(line, "timestamp", IsoTimestamp(record));
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
      out += (timed ? FormatDuration(ms) : "-") + "  " + OutcomeText(run) + "  ";
      AppendUtf8(out, first.commandLine);
      out += "\n";
      return;
    }
    case OutputFormat::Csv:
      AppendCsvField(out, run.job);
      out += "," + (run.hasStart ? IsoTimestamp(run.start) : "") + "," +
             (run.hasEnd ? IsoTimestamp(run.end) : "") + "," + (timed ? std::to_string(ms) : "") +
             "," + OutcomeName(run.outcome) + "," +
             (failed ? std::to_string(FailedResult(run)) : "") + ",";
      AppendCsvField(out, first.commandLine);
      out += "\n";
      return;
    case OutputFormat::Json: {
      JsonLine line = BeginJson(out);
      JsonField(line, "component", component);
      JsonField(line, "job", run.job);
      run.hasStart ? JsonField(line, "start", IsoTimestamp(run.start)) : JsonNull(line, "start");
      run.hasEnd ? JsonField(line, "end", IsoTimestamp(run.end)) : JsonNull(line, "end");
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
