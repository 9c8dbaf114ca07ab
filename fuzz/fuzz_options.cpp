// Option lookup, removal, job identifier validation and job numbers on any
// command line, each held to what it promises.
#include "cmdline/options.h"
#include "fuzz/fuzz_text.h"
#include "platform/fault.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using qvfuzz::Check;
  if (size < 3) return 0;  // the name, the clock, then the text
  constexpr std::u16string_view kNames[] = {u"-Lid", u"-Lfn", u"-Lrf", u"-API"};
  const std::u16string name(kNames[data[0] % 4]);
  const std::u16string text = qvfuzz::Text(data + 3, size - 3, qvfuzz::kCommandLine);
  // A value is found only right behind the name, quoted or not.
  const int has = HasOption(text, name);
  const std::u16string value = GetOptionValue(text, name);
  Check(has == 1
            ? text.find(name + value) != text.npos || text.find(name + u'"' + value) != text.npos
            : has == 0 && value.empty());
  std::u16string removed = text;
  RemoveAllOccurrences(removed, name);
  Check(removed.find(name) == removed.npos && (text.size() - removed.size()) % name.size() == 0);
  std::u16string jobId = (data[0] & 0x10) ? value : text;
  const std::u16string before = jobId;
  Check(ValidateJobId(jobId) ? jobId == before && before.size() <= 128 : jobId == u"vtJobIdError");
  plat::SetClockOverride(plat::WallClock{std::int64_t{data[1]} << 24, data[2] % 1000});
  Check(GenerateJobNumber(text) >= 0 && GenerateJobNumber(text) <= 99999);
  return 0;
}
