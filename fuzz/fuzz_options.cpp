// Option lookup, removal, job identifier validation and job numbers on
// arbitrary command lines, against plain references where the line is short.
#include <cstdlib>

#include "cmdline/options.h"
#include "fuzz/fuzz_text.h"
#include "platform/fault.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The option search by its definition: every word start, in order.
std::size_t NaiveOptionEnd(std::u16string_view text, std::u16string_view name) {
  for (std::size_t j = 0; j < text.size(); ++j) {
    if ((j == 0 || text[j - 1] == u' ') && text.substr(j).starts_with(name)) {
      return j + name.size();
    }
  }
  return std::u16string_view::npos;
}

std::u16string NaiveRemove(std::u16string text, std::u16string_view part) {
  for (std::size_t at; (at = text.find(part)) != std::u16string::npos;) text.erase(at, part.size());
  return text;
}

bool IsAsciiLetterOrDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

constexpr std::u16string_view kNames[] = {u"-Lid", u"-Lfn", u"-Lrf", u"-API"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qvfuzz::ByteReader reader{data, size};
  const std::uint8_t mode = reader.Byte();
  const std::int64_t seconds = static_cast<std::int64_t>(reader.Bits64());
  const int msLow = reader.Byte();
  const int ms = (msLow | (reader.Byte() << 8)) % 1000;
  // Either one of the launcher's own names and parts or a short one of the
  // fuzzer's making (possibly empty).
  std::u16string name(kNames[mode % 4]);
  std::u16string part = u" -API";
  if (mode & 0x10) name = reader.Text(6);
  if (mode & 0x20) part = reader.Text(6);
  const std::u16string text = reader.Text(40000);
  const bool small = text.size() <= 300;

  const int has = HasOption(text, name);
  const std::u16string value = GetOptionValue(text, name);
  Check(has == 0 || has == 1);
  Check(has == 1 || value.empty());
  Check(text.find(value) != std::u16string::npos);
  if (small && !name.empty()) {
    const std::size_t k = NaiveOptionEnd(text, name);
    Check(has == (k != std::u16string_view::npos ? 1 : 0));
    if (k != std::u16string_view::npos) {
      const std::u16string_view rest = std::u16string_view(text).substr(k);
      const bool quoted = !rest.empty() && rest.front() == u'"';
      const std::u16string_view body = quoted ? rest.substr(1) : rest;
      Check(value == body.substr(0, body.find(quoted ? u'"' : u' ')));
    }
  }

  std::u16string removed = text;
  RemoveAllOccurrences(removed, part);
  Check(removed.size() <= text.size());
  if (!part.empty()) {
    Check(removed.find(part) == std::u16string::npos);
    Check((text.size() - removed.size()) % part.size() == 0);
    if (small) Check(removed == NaiveRemove(text, part));
  } else {
    Check(removed == text);
  }

  std::u16string jobId = (mode & 0x40) ? GetOptionValue(text, u"-Lid") : text;
  const std::u16string before = jobId;
  bool expected = before.size() <= 128;
  for (char16_t c : before) expected = expected && IsAsciiLetterOrDigit(c);
  Check(ValidateJobId(jobId) == expected);
  Check(jobId == (expected ? before : u"vtJobIdError"));

  Check(JobNumberSeed(seconds, ms, text) < 1000000000u);
  plat::SetClockOverride(plat::WallClock{seconds, ms});
  const int number = GenerateJobNumber(text);
  Check(number >= 0 && number <= 99999);
  return 0;
}
