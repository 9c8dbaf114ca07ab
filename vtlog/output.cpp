#include "vtlog/output.h"

#include <cstdio>

#include "execlog/path_text.h"
#include "platform/text.h"

namespace {

std::string Padded(std::int64_t value, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*lld", width, static_cast<long long>(value));
  return buffer;
}

}  // namespace

std::string JsonString(std::u16string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool pair = high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) {
      out += plat::ToUtf8(text.substr(i, 2));
      ++i;
    } else if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF)) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    } else {
      out += plat::ToUtf8(text.substr(i, 1));
    }
  }
  return out + "\"";
}

std::string CsvField(std::u16string_view text) {
  std::string utf8 = plat::ToUtf8(text);
  if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::u16string StatusText(const ExecRecord& record) {
  return record.className + u":" + record.prefix + u"-" +
         plat::Widen(Padded(record.subCode, 2) + "-" + Padded(record.figure, 2) + "-" +
                     Padded(record.code, 4));
}

std::string CsvHeader() {
  return "date,time,job,class,prefix,subCode,figure,code,commandLine,source\n";
}

std::string FormatRecord(const ExecRecord& record, OutputFormat format, std::string_view source,
                         std::u16string_view file) {
  const std::u16string fileName = SplitFileName(file);
  switch (format) {
    case OutputFormat::Text: {
      std::string line;
      if (!source.empty()) line = "[" + std::string(source) + " " + plat::ToUtf8(fileName) + "] ";
      return line + plat::ToUtf8(record.date) + " " + plat::ToUtf8(record.time) + "  " +
             plat::ToUtf8(record.job) + "  " + plat::ToUtf8(StatusText(record)) + "  " +
             plat::ToUtf8(record.commandLine) + "\n";
    }
    case OutputFormat::Csv:
      return CsvField(record.date) + "," + CsvField(record.time) + "," + CsvField(record.job) +
             "," + CsvField(record.className) + "," + CsvField(record.prefix) + "," +
             std::to_string(record.subCode) + "," + std::to_string(record.figure) + "," +
             std::to_string(record.code) + "," + CsvField(record.commandLine) + "," +
             (source.empty() ? std::string() : CsvField(plat::FromUtf8(source) + u" " + fileName)) +
             "\n";
    case OutputFormat::Json: {
      std::string line =
          "{\"date\":" + JsonString(record.date) + ",\"time\":" + JsonString(record.time) +
          ",\"job\":" + JsonString(record.job) + ",\"class\":" + JsonString(record.className) +
          ",\"prefix\":" + JsonString(record.prefix) +
          ",\"subCode\":" + std::to_string(record.subCode) +
          ",\"figure\":" + std::to_string(record.figure) +
          ",\"code\":" + std::to_string(record.code) +
          ",\"commandLine\":" + JsonString(record.commandLine);
      if (!source.empty()) {
        line += ",\"source\":" + JsonString(source) + ",\"file\":" + JsonString(fileName);
      }
      return line + "}\n";
    }
  }
  return {};
}
