#include "vtlog/log_read.h"

#include <gtest/gtest.h>

#include "tests/support/test_install.h"

namespace {

using vtlogtest::Record;

TEST(VtlogReadTest, BadInputLosesNoReadableRecord) {
  const std::u16string a = Record("2026/12/05,18:31:54.123", u"1", 101, u"-a");
  const std::u16string b = Record("2026/12/05,18:31:55.000", u"1", 102, u"-b,c");
  // NUL, lone surrogates, an LF inside, CR LF at its end.
  const std::string junk("\x00\x01\xFF\xD8\x0A\x00\x00\xDC\x7F\x00\x0D\x00\x0A\x00", 14);
  const std::u16string t = u"2026/12/05,18:31:54.123,";
  const std::u16string notRecords =
      t + u"7,Information:HS-00-01-0101,,,,,\r\n" + t +
      u"7,Information:HS-00-01-0101,,x,,,,-L\r\n" + t + u",Information:HS-00-01-0101,,,,,,\r\n" +
      t + u"7,Info:HS-00-01-0101,,,,,,\r\n" + t + u"7,Information:HS-00-01-01x1,,,,,,\r\n" +
      u"2026/13/05,18:31:54.123,7,Error:HS-00-09-2911,,,,,,\r\n" +
      u"2026/12/05,24:31:54.123,7,Error:HS-00-09-2911,,,,,,\r\n";
  std::u16string many;
  for (int i = 0; i < 3000; ++i) many += (i % 100 == 0 ? u"junk\r\n" : u"") + a;
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // bytes, records, a problem
      {qvtest::Utf16Le(a + b + t + u"J,OtherError:HS-00-103-12345,,,,,,-x,\r\n"), "-a|-b,c|-x,|",
       ""},
      {qvtest::Utf16Le(a + notRecords + b), "-a|-b,c|", "line 2: not a record"},
      {"", "", ""},
      {qvtest::Utf16Le(a + b.substr(0, b.size() - 2)), "-a|-b,c torn|",
       "line 2: last line has no line end"},
      {qvtest::Utf16Le(a + b.substr(0, 20)), "-a|", "line 2: not a record"},
      {qvtest::Utf16Le(a + b, false), "-a|-b,c|", "no byte-order mark"},
      {qvtest::Utf16Le(a) + junk + qvtest::Utf16Le(b, false), "-a|-b,c|", "line 3: not a record"},
      {qvtest::Utf16Le(a + b) + "x", "-a|-b,c|", "odd last byte"},
      {qvtest::Utf16Le(std::u16string(70000, u'x') + u"\r\n" + a), "-a|",
       "line 1: longer than any record"},
      {"2026/12/05,18:31:54.123,1,Information:HS-00-01-0101,,,,,,-a\r\n", "", "not a record"},
      // Records across read chunks; ten junk lines quoted, then one count.
      {qvtest::Utf16Le(many), "3000", "30 lines in all were no record"},
  };
  qvtest::ScopedTempDir dir;
  for (const auto& [bytes, expected, problem] : cases) {
    qvtest::WriteBytes(dir / u"x.log", bytes);
    std::string got, reported;
    int count = 0;
    LogCursor cursor{dir / u"x.log"};
    ReadLogRecords(
        cursor, true,
        [&](const ExecRecord& r, std::int64_t, bool torn) {
          ++count;
          got += plat::ToUtf8(r.commandLine) + (torn ? " torn|" : "|");
        },
        [&](const std::string& message) { reported += message + "\n"; });
    EXPECT_EQ(expected == "3000" ? std::to_string(count) : got, expected) << reported;
    EXPECT_TRUE(problem.empty() ? reported.empty() : reported.find(problem) != std::string::npos)
        << reported;
  }
}

TEST(VtlogReadTest, TimeArgumentsAgainstTheCalendarAndZones) {
  ExecRecord record;
  ASSERT_TRUE(
      ParseExecRecord(u"2026/12/05,18:31:54.123,1,Information:HS-00-01-0101,,,,,,", record));
  const std::int64_t key = RecordTimeKey(record);
  // UTC 18:31:54.123 lies as far from the record as local time is ahead of UTC.
  const std::int64_t ahead = key / 1000 - 1796495514, utc = (ahead > 0) - (ahead < 0);
  // Sign of (bound - record); 9: refused.
  // clang-format off
  const std::tuple<std::string, bool, int> cases[] = {
      {"2026/12/05", false, -1}, {"2026-12-05", true, 1}, {"2026-12-05 18:31", true, 1},
      {"2026-12-05T18:31:54", false, -1}, {"2026/12/05,18:31:54.124", false, 1},
      {"2026-12-05T18:31:54.123Z", false, utc}, {"2026-12-05T19:31:54.123+01:00", false, utc},
      {"2026-12-05T16:01:54.123-0230", false, utc}, {"2028-02-29", false, 1},
      {"2026-02-29", false, 9}, {"2026-04-31", false, 9}, {"05.12.2026", false, 9},
      {"2026-12-05 25:00", false, 9}, {"2026-12-05x", false, 9}, {"-1x", false, 9}};
  // clang-format on
  for (const auto& [text, rangeEnd, compare] : cases) {
    std::int64_t bound = 0;
    ASSERT_EQ(ParseTimeArgument(text, rangeEnd, bound), compare != 9) << text;
    if (compare != 9) {
      EXPECT_EQ((bound > key) - (bound < key), compare) << text;
    }
  }
}

}  // namespace
