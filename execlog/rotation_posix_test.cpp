// The rotation directory with today's name and every numbered name taken.
// Ten thousand files cost next to nothing on a native file system and most
// of a minute under Wine, and nothing here depends on Windows.
#include <gtest/gtest.h>

#include "execlog/rotation.h"
#include "tests/support/test_support.h"

TEST(RotationFullDirectory, EveryNumberTakenLeavesNoFreeNumberUntilOneIsFreed) {
  qvtest::ScopedTempDir dir;
  const std::u16string rotated = dir / u"orbeck_20261205.log";
  qvtest::WriteBytes(rotated, "");
  for (int n = 1; n <= 9998; ++n) qvtest::WriteBytes(NumberedRotatedName(rotated, n), "");
  EXPECT_EQ(NextFreeSuffix(rotated), 0);
  qvtest::WriteBytes(NumberedRotatedName(rotated, 9999), "");  // beyond the range: no help
  EXPECT_EQ(NextFreeSuffix(rotated), 0);
  std::filesystem::remove(qvtest::NativePath(NumberedRotatedName(rotated, 9998)));
  EXPECT_EQ(NextFreeSuffix(rotated), 9998);
  std::filesystem::remove(qvtest::NativePath(NumberedRotatedName(rotated, 4321)));
  EXPECT_EQ(NextFreeSuffix(rotated), 4321);
}
