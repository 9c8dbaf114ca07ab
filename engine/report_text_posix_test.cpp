// The reporter's box texts as the native build shows them: on standard error,
// in UTF-8, headed by the caption and the class the message id gives.
#include <gtest/gtest.h>

#include "engine/error_reporter.h"

namespace {

TEST(ReportTextNative, BoxTextsMatchTheStringTable) {
  const std::pair<std::uint32_t, std::string> cases[] = {
      {12001,
       "[Vantrel Orbeck] error\nError: HS - 22 - 00 - 2001\n一般不正\n\n"
       "正しくｲﾝｽﾄｰﾙされていません。\n\n"},
      {11284,
       "[Vantrel Orbeck] warning\nWarning: HS - 22 - 02 - "
       "1284\nﾃﾞｨｽｸ\n\n他のプログラムで使用されているため実行ログファイルに書き込みができません。\n"
       "\n"},
      {13000, "[Vantrel Orbeck] information\nｲﾝﾌｫﾒｰｼｮﾝ\n\n\n\n"},
  };
  for (const auto& [id, expected] : cases) {
    ErrorContextPtr context = CreateErrorContext(plat::OwnModule(), "Vantrel Orbeck");
    context->displayMode = 1;
    testing::internal::CaptureStderr();
    ReportError(nullptr, *context, id, 22);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected) << id;
  }
}

}  // namespace
