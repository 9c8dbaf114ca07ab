// Console output of vtlog: UTF-8 text, CSV and JSON lines.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "vtlog/log_read.h"

struct VtlogOutput {
  std::function<void(std::string_view)> out;  // results
  std::function<void(std::string_view)> err;  // what could not be read, usage
  std::function<void()> flush;
};

enum class OutputFormat { Text, Csv, Json };

// A JSON string literal. Lone surrogates, which UTF-8 cannot carry, become
// \u escapes, so every line stays valid JSON.
std::string JsonString(std::u16string_view text);
inline std::string JsonString(std::string_view utf8) {
  return JsonString(plat::FromUtf8(utf8));
}
// A CSV field, quoted when it holds a comma, a quote or a line end.
std::string CsvField(std::u16string_view text);
// "Class:PREFIX-SS-FF-CCCC" as the writer prints it.
std::u16string StatusText(const ExecRecord& record);
// One record in the chosen format, with its line end. source names a
// write-error or name-error file the record came from; empty for a log.
std::string FormatRecord(const ExecRecord& record, OutputFormat format, std::string_view source,
                         std::u16string_view file);
std::string CsvHeader();
