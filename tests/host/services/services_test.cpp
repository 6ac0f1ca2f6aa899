// The reference host keeps its promises: what a plug-in gets from each service.

#include <gtest/gtest.h>

#include "host/host_config.h"
#include "host/progress_window.h"
#include "host/services.h"
#include "plugin/plugin_abi.h"
#include "plugin_patterns.h"

namespace {

class HostServices : public ::testing::Test {
 protected:
  void SetUp() override { host::reset(); }
  void TearDown() override {
    host::delete_registry_variable(true, "PLUGIN_HOST_TEST");
    host::delete_registry_variable(false, "PLUGIN_HOST_TEST");
    host::reset();
  }
};

TEST_F(HostServices, AnswersFollowTheConfiguration) {
  EXPECT_EQ(USESNETWORK(), 1);
  EXPECT_STREQ(GETPROXY(), "");
  EXPECT_EQ(GETHOZONDIR(), nullptr);
  host::config().uses_network = false;
  host::config().proxy = "127.0.0.8";
  host::config().port = 8888;
  host::config().hozon_dir = "C:\\保存\\";
  EXPECT_EQ(USESNETWORK(), 0);
  EXPECT_STREQ(GETPROXY(), "127.0.0.8");
  EXPECT_EQ(GETPORT(), 8888);
  EXPECT_STREQ(GETHOZONDIR(), "C:\\保存\\");
  host::config().proxy.reset();
  EXPECT_EQ(GETPROXY(), nullptr);
}

TEST_F(HostServices, EnvironmentVariablesGoWhereWindowsKeepsThem) {
  EXPECT_EQ(SETSYSTEMENV("PLUGIN_HOST_TEST", "C:/辞書/"), 1);
  EXPECT_EQ(SETUSERENV("PLUGIN_HOST_TEST", "D:\\home\\"), 1);
  EXPECT_EQ(host::read_registry_variable(true, "PLUGIN_HOST_TEST").value_or("<absent>"),
            "C:/辞書/");
  EXPECT_EQ(host::read_registry_variable(false, "PLUGIN_HOST_TEST").value_or("<absent>"),
            "D:\\home\\");

  host::config().user_env_ok = false;
  EXPECT_EQ(SETUSERENV("PLUGIN_HOST_TEST", "E:\\other\\"), 0);
  EXPECT_EQ(host::read_registry_variable(false, "PLUGIN_HOST_TEST").value_or("<absent>"),
            "D:\\home\\");

  ASSERT_EQ(host::env_calls().size(), 3u);
  EXPECT_TRUE(host::env_calls()[0].system);
  EXPECT_EQ(host::env_calls()[0].value, "C:/辞書/");
  EXPECT_FALSE(host::env_calls()[2].ok);
}

TEST_F(HostServices, DirectoryChoicesAreScripted) {
  host::config().dir_answers = {std::string("D:\\dic"), std::nullopt};
  EXPECT_STREQ(DIRINPUT(nullptr, "辞書", "C:\\a\\"), "D:\\dic");
  EXPECT_EQ(DIRINPUT(nullptr, "ホーム", "C:\\b\\"), nullptr);
  EXPECT_EQ(DIRINPUT(nullptr, "exhausted", ""), nullptr);  // no person to ask
  ASSERT_EQ(host::dir_input_calls().size(), 3u);
  EXPECT_EQ(host::dir_input_calls()[1].prompt, "ホーム");
  EXPECT_EQ(host::dir_input_calls()[1].initial, "C:\\b\\");
}

TEST_F(HostServices, UnpackingGoesThroughTheHandler) {
  std::string seen;
  host::config().tar_handler = [&](HWND, const std::string& archive, const std::string& dest) {
    seen = archive + "|" + dest;
    return archive.find("good") != std::string::npos;
  };
  EXPECT_EQ(TARDLG(nullptr, "C:\\good.tar.xz", "C:\\t\\"), 1);
  EXPECT_EQ(seen, "C:\\good.tar.xz|C:\\t\\");
  EXPECT_EQ(TARDLG(nullptr, "C:\\bad.tar.xz", "C:\\t\\"), 0);
  EXPECT_EQ(TARDLG(nullptr, nullptr, "C:\\t\\"), 0);
  ASSERT_EQ(host::tar_calls().size(), 3u);
  EXPECT_TRUE(host::tar_calls()[0].ok);
  EXPECT_FALSE(host::tar_calls()[1].ok);
}

TEST_F(HostServices, RegexHandlesAreCheckedAndMatchesRecorded) {
  EXPECT_EQ(REGEX_MATCH(0, "x"), 0);
  EXPECT_EQ(REGEX_MATCH(99, "x"), 0);
  EXPECT_STREQ(REGEX_GETMATCHSTR(99, 1), "");
  EXPECT_EQ(REGEX_GETMATCHPOS(99), -1);
  EXPECT_EQ(REGEX_COMPILE("(unclosed"), 0);

  const int handle = REGEX_COMPILE(GetInfo::kArchivePattern);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(REGEX_MATCH(handle, "old/ispell-3.3.02-w32.tar.xz.sig"), 1);
  EXPECT_EQ(REGEX_GETMATCHPOS(handle), 4);
  EXPECT_EQ(REGEX_GETMATCHLEN(handle), 24);
  EXPECT_STREQ(REGEX_GETMATCHSTR(handle, 0), "ispell-3.3.02-w32.tar.xz");
  EXPECT_EQ(REGEX_MATCH(handle, "ispell-3.3.02-w64.tar.xz"), 0);
  EXPECT_EQ(REGEX_MATCH(handle, nullptr), 0);
}

TEST(ProgressWindow, AppendsTextsAndAnswersCancelFromTheScript) {
  host::ProgressWindow window;
  ASSERT_NE(window.hwnd(), nullptr);
  SendMessageA(window.hwnd(), PM_APPEND_PROGRESS, 0, reinterpret_cast<LPARAM>("接続……"));
  SendMessageA(window.hwnd(), PM_APPEND_PROGRESS, 0, reinterpret_cast<LPARAM>("成功\r\n"));
  EXPECT_EQ(window.text(), "接続……成功\r\n");
  EXPECT_EQ(window.texts().size(), 2u);

  window.cancel_at(2);
  EXPECT_EQ(SendMessageA(window.hwnd(), PM_QUERY_CANCEL, 0, 0), 0);
  EXPECT_NE(SendMessageA(window.hwnd(), PM_QUERY_CANCEL, 0, 0), 0);
  EXPECT_NE(SendMessageA(window.hwnd(), PM_QUERY_CANCEL, 0, 0), 0);
  EXPECT_EQ(window.cancel_queries(), 3);
}

}  // namespace
