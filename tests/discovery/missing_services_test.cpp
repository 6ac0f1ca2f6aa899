// A host that lacks services the discovery needs: the name is logged, GetInfo answers false
// and leaves the earlier result in place.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/setting.h"
#include "discovery/discovery_state.h"
#include "discovery/driver.h"
#include "discovery/get_info.h"
#include "discovery_fixture.h"
#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "host/progress_window.h"
#include "plugin/host_module.h"
#include "test_support.h"

using testing::ElementsAre;
using testing_support::log_lines;

namespace {

class EmptyListing : public GetInfo::network {
 public:
  bool connect(int) override { return true; }
  bool change_directory(const char*) override { return true; }
  bool get_file_list(GetInfo::file_list& list) override {
    list.resize(1);
    list[0].name = "ispell-3.3.02-w32.tar.xz";
    return true;
  }
  orelib::string scheme() override { return "fake"; }
};

class Missing : public testing_support::DiscoveryTest {
 protected:
  void SetUp() override {
    DiscoveryTest::SetUp();
    g_discovery.info_result = true;
    g_discovery.download_url = "http://earlier/";
  }

  host::ProgressWindow window_;
};

}  // namespace

#ifdef WITHOUT_SOME_SERVICES

TEST_F(Missing, DownloadDirectoryWithTheNetworkOff) {
  host::config().uses_network = false;
  EXPECT_FALSE(get_info(window_.hwnd()));
  EXPECT_THAT(log(), ElementsAre("関数GETHOZONDIRのロードに失敗．"));
  EXPECT_TRUE(g_discovery.info_result);
  EXPECT_EQ("http://earlier/", g_discovery.download_url);
}

TEST_F(Missing, ProxyForAnHttpMirror) {
  g_setting.url = "http://127.0.0.1/never/";
  EXPECT_FALSE(get_info(window_.hwnd()));
  EXPECT_THAT(log(), ElementsAre("関数GETPROXYのロードに失敗．"));
  EXPECT_EQ(1u, window_.texts().size());
  EXPECT_TRUE(g_discovery.info_result);
}

TEST_F(Missing, PatternCompilerEndsTheListing) {
  EmptyListing net;
  try {
    GetInfo::run_listing(net);
    ADD_FAILURE() << "no load_function";
  } catch (const load_function& missing) {
    EXPECT_EQ("REGEX_COMPILE", missing.name);
  }
  EXPECT_EQ("http://earlier/", g_discovery.download_url);
  EXPECT_FALSE(g_discovery.default_selected);
}

#else

TEST_F(Missing, NetworkQuestion) {
  g_setting.url = "ftp://127.0.0.1/never/";
  EXPECT_FALSE(get_info(window_.hwnd()));
  EXPECT_THAT(log(), ElementsAre("関数USESNETWORKのロードに失敗．"));
  EXPECT_TRUE(g_discovery.info_result);
  EXPECT_EQ(1u, window_.texts().size());
}

TEST_F(Missing, ThroughThePluginsExports) {
  host::LoadedPlugin plugin(testing_support::plugin_path());
  ASSERT_TRUE(plugin.ok()) << plugin.missing();
  const std::string log_path = dir_.file("plugin.log");
  plugin.PluginInit(dir_.file("plugin.ini").c_str(), log_path.c_str());
  EXPECT_FALSE(plugin.GetInfo(window_.hwnd()));
  const DownloadRequest request = plugin.GetDownloadData();
  EXPECT_FALSE(request.ok);
  EXPECT_EQ(0, request.count);
  EXPECT_EQ(nullptr, request.files);
  plugin.unload();
  EXPECT_THAT(log_lines(log_path),
              ElementsAre("ispellの情報取得開始", "関数USESNETWORKのロードに失敗．",
                          "ispellの情報取得終了", "関数USESNETWORKのロードに失敗．"));
}

#endif
