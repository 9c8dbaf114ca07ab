#include "install/install.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

TEST(InstallRoots, FieldsFollowTheScanRule) {
  const std::u16string rejected = u"(rejected)";  // answers 0, output left alone
  const std::u16string f259(259, u'a');
  const struct {
    std::u16string value;
    std::u16string fields[5];
  } cases[] = {
      {u"A;;C", {u"A", u"", u"", u"", u""}},
      {u";B", {u"", u"", u"", u"", u""}},
      {f259 + u";" + f259 + u"b;D", {f259, rejected, u"D", u"", u""}},
      // Only 1559 characters are used: a field that the cut runs through is
      // rejected, one that ends exactly at the cut is whole.
      {u"P;" + std::u16string(1400, u's') + u";D" + std::u16string(200, u'd'),
       {u"P", rejected, rejected, u"", u""}},
      {u"P;" + std::u16string(1300, u's') + u";" + std::u16string(256, u'd') + u";X",
       {u"P", rejected, std::u16string(256, u'd'), u"", u""}},
  };
  for (const auto& c : cases) {
    qvtest::ScopedEnv env(u"VANTREL_V12", c.value);
    for (int i = 0; i < 5; ++i) {
      std::u16string out = rejected;
      EXPECT_EQ(ReadInstallRoot(i, out), c.fields[i] == rejected ? 0 : 1) << i;
      EXPECT_EQ(out, c.fields[i]) << plat::ToUtf8(c.value.substr(0, 20)) << " field " << i;
    }
  }
  qvtest::ScopedEnv env(u"VANTREL_V12", u"C:\\Suite\\bin;C:\\Suite;D:\\Data");
  std::u16string dirs[3];
  GetPrivateDir(dirs[0]);
  GetSystemDir(dirs[1]);
  GetSettingsFilePath(dirs[2]);
  EXPECT_EQ(dirs[0] + u" " + dirs[1] + u" " + dirs[2],
            u"C:\\Suite\\private C:\\Suite\\system C:\\Suite\\system\\VantrelV12.ini");
}

}  // namespace
