#include "execlog/record_format.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(FormatExecLogRecordTest, ClassFiguresAndOneLine) {
  const std::pair<std::int64_t, std::u16string> cases[] = {
      {101, u"Information:HS-00-01-0101,,,,,,a, b"},
      {999, u"Information:HS-00-09-0999,,,,,,a, b"},
      {1283, u"Warning:HS-00-02-1283,,,,,,a, b"},
      {2911, u"Error:HS-00-09-2911,,,,,,a, b"},
      {3500, u"OtherError:HS-00-15-3500,,,,,,a, b"},
      {2147483648LL, u"OtherError:HS-00-21474816-2147483648,,,,,,a, b"}};
  for (const auto& [code, status] : cases) {
    EXPECT_EQ(FormatExecLogRecord(u"2026/12/05,18:31:54.123", u"00042", u"HS", 0, code, u"a, b"),
              u"2026/12/05,18:31:54.123,00042," + status + u"\r\n");
  }
  // Control characters but tab cannot end the line: their pictures stand in.
  EXPECT_EQ(
      FormatExecLogRecord(u"t", u"j\n", u"HS", 0, 102, u"-Xn\r\n7777\x01\x1f\t\u30C7|"),
      u"t,j\u240A,Information:HS-00-01-0102,,,,,,-Xn\u240D\u240A7777\u2401\u241F\t\u30C7|\r\n");
}

}  // namespace
