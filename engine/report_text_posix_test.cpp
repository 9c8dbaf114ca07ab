// The reporter's box texts as the native build shows them: on standard error,
// in UTF-8, headed by the caption and the class.
#include <gtest/gtest.h>

#include <string>

#include "engine/error_reporter.h"

namespace {

TEST(ReportTextNative, BoxTextsMatchTheStringTable) {
  const struct {
    std::uint32_t id;
    std::uint32_t detail;
    std::string expected;
  } cases[] = {
      {12001, 22,
       "[Vantrel Orbeck] error\nError: HS - 22 - 00 - 2001\n一般不正\n\n"
       "正しくｲﾝｽﾄｰﾙされていません。\n\n"},
      {12911, 0,
       "[Vantrel Orbeck] error\nError: HS - 00 - 09 - 2911\nMirvoQuelp\n\n"
       "ジョブIDに使用できない文字が指定されました。\n\n"},
      {11284, 0,
       "[Vantrel Orbeck] warning\nWarning: HS - 00 - 02 - 1284\nﾃﾞｨｽｸ\n\n"
       "他のプログラムで使用されているため実行ログファイルに書き込みができません。\n\n"},
      {11283, 0,
       "[Vantrel Orbeck] warning\nWarning: HS - 00 - 02 - 1283\nﾃﾞｨｽｸ\n\n"
       "権限がないため実行ログファイルに書き込みができません。\n\n"},
      {11000, 0, "[Vantrel Orbeck] warning\nWarning: HS - 00 - 00 - 1000\n一般不正\n\n\n\n"},
      {11999, 0, "[Vantrel Orbeck] warning\nWarning: HS - 00 - 09 - 1999\nMirvoQuelp\n\n\n\n"},
      {13000, 0, "[Vantrel Orbeck] information\nｲﾝﾌｫﾒｰｼｮﾝ\n\n\n\n"},
      {11201, 0,
       "[Vantrel Orbeck] warning\nWarning: HS - 00 - 02 - 1201\nﾃﾞｨｽｸ\n\n"
       "ｴﾗｰﾛｸﾞﾌｧｲﾙが開けません。\n\n"},
  };
  for (const auto& c : cases) {
    ErrorContextPtr context = CreateErrorContext(plat::OwnModule(), "Vantrel Orbeck");
    context->displayMode = 1;
    testing::internal::CaptureStderr();
    ReportError(nullptr, *context, c.id, c.detail);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expected) << c.id;
  }
}

}  // namespace
