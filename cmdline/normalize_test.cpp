#include "cmdline/normalize.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace {

using Tokens = std::vector<std::u16string>;

struct SplitCase {
  std::u16string input;
  Tokens tokens;
  std::u16string normalized;
};

const SplitCase kCases[] = {
    {u"", {}, u""},
    {u"    ", {}, u""},
    {u"  a   b  ", {u"a", u"b"}, u"a b"},
    {u"-Lid12345 -Lfn\"C:\\Log Files\\x.log\"",
     {u"-Lid12345", u"-Lfn\"C:\\Log Files\\x.log\""},
     u"-Lid12345 -Lfn\"C:\\Log Files\\x.log\""},
    {u"\"-Lfn C:\\Log Files\\x.log\" -Lid5",
     {u"\"-Lfn C:\\Log Files\\x.log\"", u"-Lid5"},
     u"-Lfn C:\\Log Files\\x.log -Lid5"},
    // White space other than the space still unquotes; other characters do not.
    {u"\"-a\tb\"", {u"\"-a\tb\""}, u"-a\tb"},
    {u"\"-a\u3000b\"", {u"\"-a\u3000b\""}, u"-a\u3000b"},
    {u"\"-a\u200Bb\"", {u"\"-a\u200Bb\""}, u"\"-a\u200Bb\""},
    {u"\"-a\nb\"", {u"\"-a\nb\""}, u"\"-a\nb\""},
    {u"\"-abc\"", {u"\"-abc\""}, u"\"-abc\""},
    {u"\"-\"", {u"\"-\""}, u"\"-\""},
    {u"\"C:\\Program Files\\x\" y",
     {u"\"C:\\Program Files\\x\"", u"y"},
     u"\"C:\\Program Files\\x\" y"},
    // A closing quote may end a token right in front of the next one.
    {u"\"a\"b", {u"\"a\"", u"b"}, u"\"a\" b"},
    {u"\"\"\"\"\"\"", {u"\"\"", u"\"\"", u"\"\""}, u"\"\" \"\" \"\""},
    {u"-ab\"c d\"e f", {u"-ab\"c d\"", u"e", u"f"}, u"-ab\"c d\" e f"},
    {u"-Lid\"\"x", {u"-Lid\"\"", u"x"}, u"-Lid\"\" x"},
    {u"-\"a b\" c", {u"-\"a b\"", u"c"}, u"-\"a b\" c"},
    // A quoted option ends only at a quote that closes a word.
    {u"\"-x \"y\" z\"", {u"\"-x \"y\"", u"z\""}, u"-x \"y z\""},
    {u"\"-a b\"c d\"", {u"\"-a b\"c d\""}, u"-a b\"c d"},
    {u"\"- \" x", {u"\"- \"", u"x"}, u"-  x"},
    // Only "#", digits and letters form the name; a quote after anything else
    // is ordinary.
    {u"-L.fn\"a b\"", {u"-L.fn\"a", u"b\""}, u"-L.fn\"a b\""},
    {u"-a_b\"c d\"", {u"-a_b\"c", u"d\""}, u"-a_b\"c d\""},
    {u"-Lid#12", {u"-Lid#12"}, u"-Lid#12"},
    {u"x\"a b\"", {u"x\"a", u"b\""}, u"x\"a b\""},
    // Unclosed quotes run to the end.
    {u"\"abc def", {u"\"abc def"}, u"\"abc def"},
    {u"\"-abc def", {u"\"-abc def"}, u"\"-abc def"},
    {u"-abc\"def  ghi", {u"-abc\"def  ghi"}, u"-abc\"def  ghi"},
    // Only the space separates.
    {u"a\u00A0b", {u"a\u00A0b"}, u"a\u00A0b"},
    {u"a\tb  c", {u"a\tb", u"c"}, u"a\tb c"},
    {u"\"", {u"\""}, u"\""},
    {u"-", {u"-"}, u"-"},
    {u"\"-", {u"\"-"}, u"\"-"},
    {u" - \" \"- ", {u"-", u"\" \"", u"-"}, u"- \" \" -"},
    // Lone surrogates are ordinary code units.
    {u"\xD800 \"-\xDC00 x\"", {u"\xD800", u"\"-\xDC00 x\""}, u"\xD800 -\xDC00 x"},
};

TEST(NormalizeTest, SplitsAndRebuildsEveryCase) {
  for (const SplitCase& c : kCases) {
    SCOPED_TRACE(plat::ToUtf8(c.input));
    EXPECT_EQ(SplitCommandLineTokens(c.input), c.tokens);
    EXPECT_EQ(NormalizeCommandLine(c.input), c.normalized);
  }
}

TEST(NormalizeTest, WhiteSpaceSetHoldsExactlyItsEighteenCodePoints) {
  const std::u16string inSet =
      u"\u0020\u0009\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009"
      u"\u200A\u202F\u205F\u3000";
  const std::u16string notInSet = u"\n\v\f\r\u0085\u180E\u200B\u2028\u2029\u3001x";
  for (char16_t c : inSet) EXPECT_TRUE(ContainsWhiteSpace(u"ab" + std::u16string(1, c) + u"cd"));
  for (char16_t c : notInSet) EXPECT_FALSE(ContainsWhiteSpace(std::u16string(1, c)));
  EXPECT_FALSE(ContainsWhiteSpace(u""));
}

// The longest Windows command line, made of quotes only: every pair closes
// at once, so the line grows by one separator per pair.
TEST(NormalizeTest, LongestLineOfQuotesSplitsIntoPairs) {
  const std::u16string line(32767, u'"');
  const std::u16string out = NormalizeCommandLine(line);
  ASSERT_EQ(out.size(), 32767u + 16383u);
  EXPECT_EQ(out.substr(0, 6), u"\"\" \"\" ");
  EXPECT_EQ(out.substr(out.size() - 4), u"\"\" \"");
  EXPECT_EQ(SplitCommandLineTokens(line).size(), 16384u);
}

}  // namespace
