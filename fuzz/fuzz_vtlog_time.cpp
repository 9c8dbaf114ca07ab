// --since and --until on any text: a bound that parses as a day's start is
// never after the same text parsed as that day's end.
#include <string>

#include "fuzz/fuzz_text.h"
#include "vtlog/log_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::string_view kAlphabet = "0123456789/-:. TZ+,nowtdayesrmhw";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text.push_back(data[i] >= 0xF0 ? static_cast<char>(data[i]) : kAlphabet[data[i] % 32]);
  }
  std::int64_t from = 0, to = 0;
  const bool start = ParseTimeArgument(text, false, from);
  const bool end = ParseTimeArgument(text, true, to);
  qvfuzz::Check(start == end);
  // "now" and times back from now are read twice; the clock may move between.
  qvfuzz::Check(!start || from <= to || text == "now" || text.starts_with("-"));
  return 0;
}
