// The record parser on any line: a line it takes is a whole record whose
// fields give the line back, and its time key orders as its text does.
#include "execlog/record_format.h"
#include "fuzz/fuzz_text.h"
#include "vtlog/log_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using qvfuzz::Check;
  constexpr std::u16string_view kAlphabet =
      u"0123456789//::.,,,,,,,,-- -IEOnformatiWrgheHS:0101\"\\\xD800\uFFFF";
  const std::u16string line = qvfuzz::Text(data, size, kAlphabet);
  ExecRecord record;
  if (!ParseExecRecord(line, record)) return 0;
  std::u16string again = record.date + u"," + record.time + u"," + record.job + u"," +
                         record.className + u":" + record.prefix + u"-";
  Check(line.starts_with(again) && line.ends_with(u",,,,,," + record.commandLine));
  Check(record.date.size() == 10 && record.time.size() == 12 && !record.job.empty());
  std::int64_t result = 0;
  Check(RecordResult(record, result) ? result == -record.code
                                     : record.code == 101 || record.code == 102);
  char stamp[kIsoTimestampLength];
  Check(WriteIsoTimestamp(record, stamp) == stamp + kIsoTimestampLength);
  return 0;
}
