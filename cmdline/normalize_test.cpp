#include "cmdline/normalize.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

TEST(NormalizeTest, SplitsAndRebuilds) {
  const std::u16string cases[][2] = {
      {u"  a   b  ", u"a b"},
      {u"\"-Lfn C:\\Log Files\\x.log\" -Lid5", u"-Lfn C:\\Log Files\\x.log -Lid5"},
      // Only a quoted option holding white space of the set loses its quotes.
      {u"\"-a\u3000b\"", u"-a\u3000b"},
      {u"\"-a\u200Bb\"", u"\"-a\u200Bb\""},
      // A closing quote may end a token right in front of the next one.
      {u"\"a\"b", u"\"a\" b"},
      // A quoted option ends only at a quote that closes a word.
      {u"\"-x \"y\" z\"", u"-x \"y z\""},
      // Only "#", digits and letters form the name before a quoted value.
      {u"-L.fn\"a b\"", u"-L.fn\"a b\""},
      {u"-Lid#1\"2  3\"", u"-Lid#1\"2  3\""},
      {u"a\u00A0b\tc  d", u"a\u00A0b\tc d"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeCommandLine(c[0]), c[1]) << plat::ToUtf8(c[0]);
  EXPECT_EQ(SplitCommandLineTokens(u"-ab\"c d\"e f").size(), 3u);
}

TEST(NormalizeTest, WhiteSpaceSetHoldsExactlyItsEighteenCodePoints) {
  const std::u16string set = u" \t\u00A0\u1680\u2000\u2005\u200A\u202F\u205F\u3000";
  for (char16_t c : set) EXPECT_TRUE(ContainsWhiteSpace(std::u16string(1, c)));
  for (char16_t c : u"\n\r\u0085\u180E\u200B\u2028\u3001x")
    EXPECT_FALSE(ContainsWhiteSpace({&c, 1}));
}

}  // namespace
