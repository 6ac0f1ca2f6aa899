// Install with a host that lacks SETUSERENV: the procedure catches the missing service itself.

#include <gtest/gtest.h>

#include "install_fixture.h"

using install_test::InstallTest;
using install_test::kFrameLine;

using MissingService = InstallTest;

TEST_F(MissingService, LoggedShownAndTheSetVariableStillCounts) {
  answer_dirs(root() + "Dic", root() + "Home");
  EXPECT_FALSE(run());
  const std::string dict_value = install_test::slashes(root() + "Dic/");
  EXPECT_EQ(log_text(), std::string(kFrameLine) + "環境変数ISPELL_DICTDIRに" + dict_value +
                            "を設定しました．\r\n関数SETUSERENVのロードに失敗．\r\n");
  std::vector<std::string> expected = success_texts();
  expected.back() = "失敗\r\n";
  EXPECT_EQ(texts(), expected);
  EXPECT_TRUE(reboots_);
}
