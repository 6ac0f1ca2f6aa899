// The activity log's exact bytes.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "config/setting.h"
#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "plugin/log.h"
#include "test_support.h"

using testing_support::file_exists;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;

namespace {

class LogTest : public ::testing::Test {
 protected:
  void TearDown() override { g_setting.log_file.clear(); }
  ScratchDir dir_{"log"};
};

TEST_F(LogTest, LinesEndInCrLfAndAreAppended) {
  g_setting.log_file = dir_.file("a.log");
  log_line("a");
  log_line("b");
  log_line("");
  log_line("ispellの情報取得開始");
  EXPECT_EQ(read_file(g_setting.log_file), "a\r\nb\r\n\r\nispellの情報取得開始\r\n");
}

TEST_F(LogTest, ExistingBytesAreKeptEvenWithoutAFinalNewline) {
  g_setting.log_file = dir_.file("old.log");
  write_file(g_setting.log_file, "host line\r\nunfinished");
  log_line("next");
  EXPECT_EQ(read_file(g_setting.log_file), "host line\r\nunfinishednext\r\n");
}

TEST_F(LogTest, TextModeTurnsEveryLineFeedIntoCrLf) {
  g_setting.log_file = dir_.file("crlf.log");
  log_line("230 ok\r\n230-more\nend");
  EXPECT_EQ(read_file(g_setting.log_file), "230 ok\r\r\n230-more\r\nend\r\n");
}

TEST_F(LogTest, UnopenableLogsDropTheLineSilently) {
  g_setting.log_file.clear();
  log_line("nowhere");  // before PluginInit
  g_setting.log_file = dir_.file("no-such-dir\\x.log");
  log_line("nowhere either");
  EXPECT_FALSE(file_exists(g_setting.log_file));
  g_setting.log_file = dir_.path();  // a directory
  log_line("not a file");
  SUCCEED();
}

TEST_F(LogTest, LinesFromTwoThreadsNeverInterleave) {
  g_setting.log_file = dir_.file("threads.log");
  const std::string a(300, 'a');
  const std::string b(300, 'b');
  constexpr int kLines = 300;
  std::thread first([&] {
    for (int i = 0; i < kLines; ++i) log_line(a);
  });
  std::thread second([&] {
    for (int i = 0; i < kLines; ++i) log_line(b);
  });
  first.join();
  second.join();

  const std::string bytes = read_file(g_setting.log_file);
  int count_a = 0;
  int count_b = 0;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = bytes.substr(start, end - start);
    if (line == a)
      ++count_a;
    else if (line == b)
      ++count_b;
    else
      FAIL() << "mixed line at byte " << start;
    start = end + 2;
  }
  EXPECT_EQ(count_a, kLines);
  EXPECT_EQ(count_b, kLines);
}

TEST_F(LogTest, ThePluginLogsToThePathGivenAtInit) {
  host::reset();
  host::config().uses_network = false;
  host::config().hozon_dir = dir_.path();
  host::config().install_dir = "C:\\w32tex\\";
  const std::string log = dir_.file("plugin.log");
  write_file(log, "earlier run\r\n");
  {
    host::LoadedPlugin plugin(testing_support::plugin_path());
    ASSERT_TRUE(plugin.ok());
    ASSERT_TRUE(plugin.PluginInit(dir_.file("p.ini").c_str(), log.c_str()));
    plugin.GetInfo(nullptr);
  }
  const std::string bytes = read_file(log);
  EXPECT_EQ(bytes.rfind("earlier run\r\nispellの情報取得開始\r\n", 0), 0u) << bytes;
  EXPECT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(bytes.size() - std::string("ispellの情報取得終了\r\n").size()),
            "ispellの情報取得終了\r\n");
}

}  // namespace
