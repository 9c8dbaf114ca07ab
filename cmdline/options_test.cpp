#include "cmdline/options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::string_literals;

// {text, name, value}; "(none)": the name is not found.
TEST(OptionsTest, FindsOptionsAndValuesAtWordStarts) {
  const std::u16string cases[][3] = {
      {u"-Lid12345 -Lfnx.log", u"-Lfn", u"x.log"},
      {u"-Li", u"-Lid", u"(none)"},
      {u"-Lfn\"C:\\a b\\x.log\" -Lid1", u"-Lfn", u"C:\\a b\\x.log"},
      {u"x-Lid5 -lid5 a\t-Lid5", u"-Lid", u"(none)"},
      {u"-Lid -Lid5", u"-Lid", u""},
      {u"-Lfn\"C:\\x -Lidab\"c d", u"-Lid", u"ab\"c"},  // quoting plays no part
      // Every space starts a word: after a run of spaces, and after a word
      // that is a prefix of the name.
      {u"a  -API", u"-API", u""},
      {u"aa aab", u"aab", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c[0]) + " / " + plat::ToUtf8(c[1]));
    EXPECT_EQ(HasOption(c[0], c[1]), c[2] == u"(none)" ? 0 : 1);
    EXPECT_EQ(GetOptionValue(c[0], c[1]), c[2] == u"(none)" ? u"" : c[2]);
  }
}

TEST(OptionsTest, RemovesEveryOccurrenceIncludingThoseACutForms) {
  const std::u16string cases[][3] = {
      {u"a -API b -API", u" -API", u"a b"}, {u" -API -APIX", u" -API", u"X"},
      {u"x - -APIAPI", u" -API", u"x"},     {u"-API x", u" -API", u"-API x"},
      {u"abaabab", u"aba", u"b"},
  };
  for (const auto& c : cases) {
    std::u16string text = c[0];
    RemoveAllOccurrences(text, c[1]);
    EXPECT_EQ(text, c[2]) << plat::ToUtf8(c[0]);
  }
}

TEST(OptionsTest, ValidatesJobIdentifiers) {
  const std::u16string max(128, u'7');
  for (const std::u16string& valid : {u""s, u"AZaz09"s, max}) {
    std::u16string jobId = valid;
    EXPECT_TRUE(ValidateJobId(jobId) && jobId == valid);
  }
  // Beyond the bounds of each range, and the first character beyond 128.
  for (const std::u16string& invalid :
       {u"/"s, u":"s, u"@"s, u"["s, u"`"s, u"{"s, u"\u00E9"s, max + u"8"}) {
    std::u16string jobId = invalid;
    EXPECT_FALSE(ValidateJobId(jobId));
    EXPECT_EQ(jobId, u"vtJobIdError");
  }
}

// Worked seeds: "d" and "e" stand in for missing characters; beyond the year
// 5000 the value is divided down to fifteen digits. The generator is seeded
// afresh on each call, whatever was drawn before.
TEST(OptionsTest, JobNumbers) {
  EXPECT_EQ(JobNumberSeed(1700000000, 123, u"abcde"), 2340u);
  EXPECT_EQ(JobNumberSeed(1700000000, 123, u"0123456789"), 2293u);
  EXPECT_EQ(JobNumberSeed(100000000000, 4, u""), 115u);
  qvtest::ScopedFaults faults;
  plat::SetClockOverride(plat::WallClock{std::numeric_limits<std::int64_t>::max(), 999});
  const int number = GenerateJobNumber(u"-Lid");
  std::rand();
  EXPECT_TRUE(number >= 0 && number <= 99999 && GenerateJobNumber(u"-Lid") == number);
}

}  // namespace
