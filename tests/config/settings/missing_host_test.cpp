// A host executable that exports no service at all.

#include <gtest/gtest.h>

#include "host/plugin_loader.h"
#include "ini_file.h"
#include "test_support.h"

using testing_support::ini_value;
using testing_support::read_file;
using testing_support::ScopedEnv;
using testing_support::ScratchDir;

TEST(BareHost, PluginInitReportsTheMissingServiceAndKeepsTheRest) {
  ScratchDir dir("bare");
  ScopedEnv dict("ISPELL_DICTDIR", nullptr);
  ScopedEnv home("HOME", "E:\\me");
  const std::string ini = dir.file("bare.ini");
  const std::string log = dir.file("bare.log");
  {
    host::LoadedPlugin plugin(testing_support::plugin_path());
    ASSERT_TRUE(plugin.ok());
    EXPECT_FALSE(plugin.PluginInit(ini.c_str(), log.c_str()));

    const DownloadRequest request = plugin.GetDownloadData();
    EXPECT_FALSE(request.ok);
    EXPECT_EQ(request.count, 0);
    EXPECT_EQ(request.files, nullptr);

    plugin.Set(nullptr);  // must neither crash nor show anything
  }
  EXPECT_EQ(read_file(log),
            "関数GETINSTALLDIRのロードに失敗．\r\n"
            "関数USESNETWORKのロードに失敗．\r\n"
            "関数USESNETWORKのロードに失敗．\r\n");
  EXPECT_EQ(ini_value(ini, "ispell", "Home").value_or(""), "E:\\me\\");
  EXPECT_EQ(ini_value(ini, "ispell", "IsURLList").value_or(""), "1");
}
