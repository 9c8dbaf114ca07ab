#include "launcher/launcher.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLineAfterProgramName, SkipsTheNameByTheQuotingRule) {
  const struct {
    std::u16string full;
    std::u16string expected;
  } cases[] = {
      {u"Qorvane.exe -Lid1", u"-Lid1"},
      {u"\"C:\\Program Files\\Qorvane.exe\" -Lid1 -Xrc2", u"-Lid1 -Xrc2"},
      {u"C:\\a\"b c\"d.exe  \t -x", u"-x"},  // quotes switch a quoted stretch on and off
      {u"Qorvane.exe", u""},
      {u"Qorvane.exe   ", u""},
      {u"\"unterminated name -x", u""},
      {u"Qorvane.exe \x01\x1f  x  y ", u"x  y "},  // later blanks are the engine's business
      {u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CommandLineAfterProgramName(c.full), c.expected);
  }
}

}  // namespace
