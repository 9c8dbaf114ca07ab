// Any UTF-16 text through vtlog's output converters and through the plain
// reference of bench/output_reference.h: UTF-8, a JSON string (alone and as a
// field of a line, long enough to pass the line's buffer) and a CSV field
// must come out byte for byte the same.
#include "bench/output_reference.h"
#include "fuzz/fuzz_text.h"
#include "vtlog/output.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace std::literals;
  const std::u16string text =
      qvfuzz::Text(data, size, u"ab\\\",\r\n\x01\x1F\x7F\u00E9\u3042\xD800\xDC00\U0001F600 "sv);
  std::string utf8, csv, line;
  AppendUtf8(utf8, text);
  qvfuzz::Check(utf8 == outref::Convert(text, outref::Form::Utf8));
  AppendCsvField(csv, text);
  qvfuzz::Check(csv == outref::CsvField(text));
  const std::string json = outref::Convert(text, outref::Form::Json);
  qvfuzz::Check(JsonString(text) == json);
  JsonLine fields(line);
  JsonField(fields, "a", text);
  JsonField(fields, "b", text);
  EndJson(fields);
  qvfuzz::Check(line == "{\"a\":" + json + ",\"b\":" + json + "}\n");
  return 0;
}
