#include "cmdline/options.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

// {text, name, value}; "(none)": the name is not found.
TEST(OptionsTest, FindsOptionsAndValuesAtWordStarts) {
  const std::u16string cases[][3] = {
      {u"-Lid12345 -Lfnx.log", u"-Lfn", u"x.log"},
      {u"-Lid 12345", u"-Lid", u""},
      {u"-Li", u"-Lid", u"(none)"},
      {u"-Lfn\"C:\\a b\\x.log\" -Lid1", u"-Lfn", u"C:\\a b\\x.log"},
      {u"-Lfn\"C:\\a b", u"-Lfn", u"C:\\a b"},
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
      {u"a -API b -API", u" -API", u"a b"}, {u"a -APIX b", u" -API", u"aX b"},
      {u"x - -APIAPI", u" -API", u"x"},     {u"-API x", u" -API", u"-API x"},
      {u"abaabab", u"aba", u"b"},           {u"abc", u"", u"abc"},
  };
  for (const auto& c : cases) {
    std::u16string text = c[0];
    RemoveAllOccurrences(text, c[1]);
    EXPECT_EQ(text, c[2]) << plat::ToUtf8(c[0]);
  }
}

TEST(OptionsTest, ValidatesJobIdentifiers) {
  const std::u16string max(128, u'7');
  const std::pair<std::u16string, bool> cases[] = {
      {u"", true},         {u"AZaz09", true},  {max, true},
      {max + u"8", false}, {u"ab-1", false},   {u"a b", false},
      {u"\u00E9", false},  {u"\uFF21", false}, {u"@[`{/:", false},
  };
  for (const auto& [given, valid] : cases) {
    std::u16string jobId = given;
    EXPECT_EQ(ValidateJobId(jobId), valid) << plat::ToUtf8(given);
    EXPECT_EQ(jobId, valid ? given : u"vtJobIdError");
  }
}

TEST(OptionsTest, JobNumbers) {
  const struct {
    std::int64_t seconds;
    int ms;
    std::u16string line;
    std::uint32_t seed;
  } cases[] = {
      {1700000000, 123, u"abcde", 2340},       // "d" and "e" stand in for both
      {1700000000, 123, u"0123456789", 2293},  // only "e" stands in
      {1700000000, 123, u"0123456789X", 1774},
      {100000000000, 4, u"", 115},  // beyond the year 5000: divided to fifteen digits
  };
  qvtest::ScopedFaults faults;
  for (const auto& c : cases) {
    EXPECT_EQ(JobNumberSeed(c.seconds, c.ms, c.line), c.seed) << c.seconds << " " << c.ms;
    plat::SetClockOverride(plat::WallClock{c.seconds, c.ms});
    const int number = GenerateJobNumber(c.line);
    EXPECT_TRUE(number >= 0 && number <= 99999);
    std::rand();  // seeded afresh each time
    EXPECT_EQ(GenerateJobNumber(c.line), number);
  }
}

}  // namespace
