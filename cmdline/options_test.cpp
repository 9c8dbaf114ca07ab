#include "cmdline/options.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "cmdline/normalize.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

struct OptionCase {
  std::u16string text;
  std::u16string name;
  int present;
  std::u16string value;
};

const OptionCase kOptionCases[] = {
    {u"", u"-Lid", 0, u""},
    {u"-Lid12345 -Lfnx.log", u"-Lid", 1, u"12345"},
    {u"-Lid12345 -Lfnx.log", u"-Lfn", 1, u"x.log"},
    {u"-Lid 12345", u"-Lid", 1, u""},
    {u"-Lid", u"-Lid", 1, u""},
    {u"-Li", u"-Lid", 0, u""},
    {u"-Lfn\"C:\\a b\\x.log\" -Lid1", u"-Lfn", 1, u"C:\\a b\\x.log"},
    {u"-Lfn\"C:\\a b\\x.log\" -Lid1", u"-Lid", 1, u"1"},
    {u"-Lfn\"C:\\a b", u"-Lfn", 1, u"C:\\a b"},
    {u"-Lid\"", u"-Lid", 1, u""},
    {u"x-Lid5", u"-Lid", 0, u""},
    {u"-Lidx -Lid5", u"-Lid", 1, u"x"},
    {u"-Lid -Lid5", u"-Lid", 1, u""},
    {u"-lid5", u"-Lid", 0, u""},
    {u"-Lidab\"c d", u"-Lid", 1, u"ab\"c"},
    {u"-Lid\"\"", u"-Lid", 1, u""},
    // Quoting plays no part in the search.
    {u"-Lfn\"C:\\x -Lid5\"", u"-Lid", 1, u"5\""},
    {u"-Lrfx", u"-Lrf", 1, u"x"},
    {u"-API -Lid5", u"-API", 1, u""},
    {u"a -lrf", u"-Lrf", 0, u""},
    {u"a\t-Lrf", u"-Lrf", 0, u""},
    {u"a\u00A0-Lrf", u"-Lrf", 0, u""},
    // Every space starts a word: after a run of spaces, and after a word that
    // is a prefix of the name.
    {u"a  -API", u"-API", 1, u""},
    {u"   -Lid7", u"-Lid", 1, u"7"},
    {u"-L -Lid5", u"-Lid", 1, u"5"},
    {u"-Li -Lid6", u"-Lid", 1, u"6"},
    {u"-Li-Lid5", u"-Lid", 0, u""},
    {u"aa aab", u"aab", 1, u""},
    {u"-Lid5", u"", 0, u""},
};

TEST(OptionsTest, FindsOptionsAndValuesAtWordStarts) {
  for (const OptionCase& c : kOptionCases) {
    SCOPED_TRACE(plat::ToUtf8(c.text) + " / " + plat::ToUtf8(c.name));
    EXPECT_EQ(HasOption(c.text, c.name), c.present);
    EXPECT_EQ(GetOptionValue(c.text, c.name), c.value);
  }
}

// What the job bracket reads after normalising: a quoted whole option loses
// its quotes, so a space after the name leaves "-Lfn" empty.
TEST(OptionsTest, ValuesOfNormalisedLines) {
  const struct {
    std::u16string raw, name, value;
  } cases[] = {
      {u"\"-Lid12 3\"", u"-Lid", u"12"},
      {u"\"-Lfn C:\\Log Files\\x.log\"", u"-Lfn", u""},
      {u"-Lfn\"C:\\Log Files\\x.log\"", u"-Lfn", u"C:\\Log Files\\x.log"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetOptionValue(NormalizeCommandLine(c.raw), c.name), c.value);
  }
}

// Removal by the letter: cut the first occurrence, search again from the start.
std::u16string RemoveNaively(std::u16string text, std::u16string_view part) {
  if (part.empty()) return text;
  for (std::size_t at; (at = text.find(part)) != std::u16string::npos;) text.erase(at, part.size());
  return text;
}

TEST(OptionsTest, RemovesEveryOccurrenceIncludingThoseACutForms) {
  const struct {
    std::u16string text, part, expected;
  } cases[] = {
      {u"a -API b -API", u" -API", u"a b"},
      {u"a -APIX b", u" -API", u"aX b"},
      {u"x - -APIAPI", u" -API", u"x"},
      {u"x - - -APIAPIAPI y", u" -API", u"x y"},
      {u"-API x", u" -API", u"-API x"},
      {u" -API -API", u" -API", u""},
      {u"a  -API", u" -API", u"a "},
      {u"", u" -API", u""},
      {u"abc", u"", u"abc"},
      {u"aabb", u"ab", u""},
      {u"aaab", u"ab", u"aa"},
      {u"abaabab", u"aba", u"b"},
  };
  for (const auto& c : cases) {
    std::u16string text = c.text;
    RemoveAllOccurrences(text, c.part);
    EXPECT_EQ(text, c.expected) << plat::ToUtf8(c.text);
    EXPECT_EQ(text, RemoveNaively(c.text, c.part));
  }
}

TEST(OptionsTest, RemovalAgreesWithTheNaiveCutOnRandomLines) {
  const std::u16string parts[] = {u" -API", u"aa", u"aba", u"abab", u"a", u"aab"};
  const std::u16string alphabets[] = {u" -API", u"ab", u"ab "};
  std::mt19937 random(12345);
  for (int round = 0; round < 30000; ++round) {
    const std::u16string& part = parts[round % std::size(parts)];
    const std::u16string& alphabet = alphabets[(round / 7) % std::size(alphabets)];
    std::u16string text(random() % 24, u' ');
    for (char16_t& c : text) c = alphabet[random() % alphabet.size()];
    std::u16string removed = text;
    RemoveAllOccurrences(removed, part);
    ASSERT_EQ(removed, RemoveNaively(text, part))
        << plat::ToUtf8(text) << " / " << plat::ToUtf8(part);
  }
}

// Nested occurrences over the longest command line: every cut forms the next
// occurrence, and all of them go.
TEST(OptionsTest, RemovesDeeplyNestedOccurrencesFromTheLongestLine) {
  const int depth = 32760 / 5;
  std::u16string text = u"x";
  for (int i = 0; i < depth; ++i) text += u" -";
  for (int i = 0; i < depth; ++i) text += u"API";
  text += u" y";
  RemoveAllOccurrences(text, u" -API");
  EXPECT_EQ(text, u"x y");
}

TEST(OptionsTest, ValidatesJobIdentifiers) {
  const std::u16string letters = u"AZaz09";
  const std::u16string max(128, u'7');
  const struct {
    std::u16string jobId;
    bool valid;
  } cases[] = {
      {u"", true},         {letters, true},         {max, true},
      {max + u"8", false}, {u"ab-1", false},        {u"a_b", false},
      {u"a b", false},     {u"\u00E9", false},      {u"\uFF21", false},
      {u"\u0661", false},  {u"5\"", false},         {std::u16string(u"a\0b", 3), false},
      {u"\xD800", false},  {u"vtJobIdError", true},
  };
  for (const auto& c : cases) {
    std::u16string jobId = c.jobId;
    EXPECT_EQ(ValidateJobId(jobId), c.valid) << plat::ToUtf8(c.jobId);
    EXPECT_EQ(jobId, c.valid ? c.jobId : u"vtJobIdError");
  }
}

TEST(OptionsTest, JobNumberSeedFromClockAndLine) {
  const struct {
    std::int64_t seconds;
    int ms;
    std::u16string line;
    std::uint32_t seed;
  } cases[] = {
      {1700000000, 123, u"-Lfnx.log", 2360},
      // Five characters or fewer: "d" and "e" stand in for both.
      {1700000000, 123, u"", 2340},
      {1700000000, 123, u"abcde", 2340},
      // Six to ten characters: only "e" stands in.
      {1700000000, 123, u"abcdef", 2338},
      {1700000000, 123, u"0123456789", 2293},
      {1700000000, 123, u"0123456789X", 1774},
      {1700000000, 999, u"0123456789X\uFFFF!!!!", 76065},
      // Beyond the year 5000 the value is divided down to fifteen digits,
      // rounding a fraction to the nearest whole number.
      {100000000000, 0, u"", 111},
      {100000000000, 0, u"abcdef", 111},
      {100000000000, 4, u"", 115},
      // Before 1970: the nine digits after the sign.
      {-1, 0, u"", 8890},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JobNumberSeed(c.seconds, c.ms, c.line), c.seed) << c.seconds << " " << c.ms;
  }
}

TEST(OptionsTest, JobNumberStaysInRangeAndDependsOnlyOnClockAndLine) {
  qvtest::ScopedFaults faults;
  const std::int64_t times[] = {0,
                                1700000000,
                                95617584000 /* year 5000 */,
                                32503680000,
                                999999999999,
                                std::numeric_limits<std::int64_t>::max(),
                                -86400,
                                std::numeric_limits<std::int64_t>::min()};
  for (std::int64_t t : times) {
    for (int length = 0; length <= 12; ++length) {
      const std::u16string line(static_cast<std::size_t>(length), u'\xFFFF');
      plat::SetClockOverride(plat::WallClock{t, 999});
      EXPECT_LT(JobNumberSeed(t, 999, line), 1000000000u);
      const int first = GenerateJobNumber(line);
      EXPECT_GE(first, 0);
      EXPECT_LE(first, 99999);
      // Seeded afresh each time: earlier draws change nothing.
      std::rand();
      EXPECT_EQ(GenerateJobNumber(line), first);
    }
  }
}

}  // namespace
