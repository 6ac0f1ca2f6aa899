// The discovery driver's sequence over a scripted protocol object: progress texts, the four
// cancel checks, failures, and what each way out leaves in the discovery state.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/setting.h"
#include "discovery/discovery_state.h"
#include "discovery/driver.h"
#include "discovery/get_info.h"
#include "discovery/url.h"
#include "discovery_fixture.h"
#include "host/host_config.h"
#include "host/progress_window.h"
#include "plugin/host_module.h"
#include "test_support.h"

using GetInfo::file_info;
using GetInfo::file_list;
using testing::ElementsAre;

namespace {

class FakeNetwork : public GetInfo::network {
 public:
  bool connect(int timeout_seconds) override {
    calls.push_back("connect " + std::to_string(timeout_seconds));
    return connect_ok;
  }
  bool change_directory(const char* directory) override {
    calls.push_back(std::string("cd ") + directory);
    return cd_ok;
  }
  bool get_file_list(file_list& list) override {
    calls.push_back("list");
    if (list_ok) list = files;
    return list_ok;
  }
  orelib::string scheme() override { return "http"; }

  bool connect_ok = true;
  bool cd_ok = true;
  bool list_ok = true;
  file_list files;
  std::vector<std::string> calls;
};

file_info named(const std::string& name, std::uint32_t size) {
  file_info e;
  e.name = name;
  e.size = size;
  e.time = make_date_time(2011, 3, 5, 14, 7, 0, 0);
  return e;
}

const char* const kFirst = "♪ispellの情報取得♪\r\n";

class Driver : public testing_support::DiscoveryTest {
 protected:
  void SetUp() override {
    DiscoveryTest::SetUp();
    g_discovery.progress_window = window_.hwnd();
    g_discovery.remote_host = "mirror.test";
    g_discovery.remote_directory = "/pub/w32/";
    net_.files = {named("README", 1), named("ispell-3.3.02-w32.tar.xz", 2000),
                  named("ispell-3.3.01-w32.tar.xz", 1000)};
  }
  // What an earlier successful run left.
  void earlier_result() {
    g_discovery.download_url = "http://earlier/ispell.tar.xz";
    g_discovery.remote_size = 77;
    g_discovery.default_selected = true;
    g_discovery.info_result = true;
  }
  void expect_earlier_result_kept() const {
    EXPECT_EQ("http://earlier/ispell.tar.xz", g_discovery.download_url);
    EXPECT_EQ(77u, g_discovery.remote_size);
    EXPECT_TRUE(g_discovery.default_selected);
  }

  host::ProgressWindow window_;
  FakeNetwork net_;
};

}  // namespace

TEST_F(Driver, CompleteRunInOrder) {
  EXPECT_TRUE(GetInfo::run_listing(net_));
  EXPECT_THAT(net_.calls, ElementsAre("connect 20", "cd /pub/w32/", "list"));
  EXPECT_THAT(window_.texts(), ElementsAre("mirror.testに接続……", "成功\r\nディレクトリの移動……",
                                           "成功\r\nファイル一覧の取得……",
                                           "成功\r\nファイル情報の取得……", "成功\r\n切断"));
  EXPECT_EQ(4, window_.cancel_queries());
  EXPECT_EQ("http://mirror.test/pub/w32/ispell-3.3.02-w32.tar.xz", g_discovery.download_url);
  EXPECT_EQ(2000u, g_discovery.remote_size);
  EXPECT_TRUE(g_discovery.default_selected);  // no local archive yet
  EXPECT_TRUE(g_discovery.archive_found);
  EXPECT_TRUE(log().empty());
}

TEST_F(Driver, NoMatchingNameStillCompletes) {
  testing_support::write_file(archive(), "x");
  net_.files = {named("README", 1)};
  EXPECT_TRUE(GetInfo::run_listing(net_));
  EXPECT_EQ("", g_discovery.download_url);  // no archive, no URL
  EXPECT_EQ(0u, g_discovery.remote_size);
  EXPECT_FALSE(g_discovery.default_selected);
  EXPECT_FALSE(g_discovery.archive_found);  // so nothing is requested
  DeleteFileA(archive().c_str());
  EXPECT_TRUE(GetInfo::run_listing(net_));
  EXPECT_FALSE(g_discovery.default_selected);
  EXPECT_THAT(log(), ElementsAre("ミラーにispellのアーカイブがありません．",
                                 "ミラーにispellのアーカイブがありません．"));
  // The window shows the same steps as for a mirror with an archive.
  EXPECT_EQ("成功\r\n切断", window_.texts().back());
}

TEST_F(Driver, CancelAtEachCheckStopsThere) {
  const std::vector<std::vector<std::string>> calls_before_cancel = {
      {"connect 20"},
      {"connect 20", "cd /pub/w32/"},
      {"connect 20", "cd /pub/w32/", "list"},
      {"connect 20", "cd /pub/w32/", "list"}};
  for (int check = 1; check <= 4; ++check) {
    SCOPED_TRACE(check);
    host::ProgressWindow window;
    window.cancel_at(check);
    g_discovery.progress_window = window.hwnd();
    net_.calls.clear();
    earlier_result();
    clear_log();
    EXPECT_FALSE(GetInfo::run_listing(net_));
    EXPECT_EQ(calls_before_cancel[check - 1], net_.calls);
    ASSERT_EQ(static_cast<size_t>(check) + 2, window.texts().size());
    EXPECT_EQ("キャンセルされました．", window.texts().back());
    EXPECT_EQ(check, window.cancel_queries());
    EXPECT_THAT(log(), ElementsAre("キャンセルされました．"));
    expect_earlier_result_kept();
  }
}

TEST_F(Driver, EachFailureIsLoggedAndShown) {
  struct Case {
    bool connect_ok, cd_ok, list_ok;
    const char* sentence;
    size_t texts;
  };
  for (const Case c : {Case{false, true, true, "mirror.testへの接続に失敗．", 2},
                       Case{true, false, true, "カレントディレクトリの移動に失敗．", 3},
                       Case{true, true, false, "ファイルリストの取得に失敗．", 4}}) {
    SCOPED_TRACE(c.sentence);
    host::ProgressWindow window;
    g_discovery.progress_window = window.hwnd();
    net_.connect_ok = c.connect_ok;
    net_.cd_ok = c.cd_ok;
    net_.list_ok = c.list_ok;
    earlier_result();
    clear_log();
    EXPECT_FALSE(GetInfo::run_listing(net_));
    ASSERT_EQ(c.texts, window.texts().size());
    EXPECT_EQ("失敗", window.texts().back());
    EXPECT_THAT(log(), ElementsAre(c.sentence));
    expect_earlier_result_kept();
  }
}

TEST_F(Driver, WithoutAWindowNothingIsShownAndNothingCancels) {
  g_discovery.progress_window = nullptr;
  EXPECT_TRUE(GetInfo::run_listing(net_));
  EXPECT_EQ(2000u, g_discovery.remote_size);
}

TEST_F(Driver, UnknownSchemesAndBadPortsLeaveEverythingAsItWas) {
  const std::string unknown = "知らないプロトコルです．";
  const std::string bad_port = "のポート番号は1から65535の数ではありません．";
  const std::pair<const char*, std::string> cases[] = {
      {"HTTP://mirror.test/pub/", unknown},
      {"Ftp://mirror.test/pub/", unknown},
      {"gopher://mirror.test/", unknown},
      {"", unknown},
      {" http://mirror.test/", unknown},
      {"http://mirror.test:0/pub/", "mirror.test:0" + bad_port},
      {"https://mirror.test:65536/pub/", "mirror.test:65536" + bad_port},
      {"ftp://mirror.test:21x/pub/", "mirror.test:21x" + bad_port},
      {"http://mirror.test:/pub/", "mirror.test:" + bad_port},
      {"https://mirror.test:99999999999999999999", "mirror.test:99999999999999999999" + bad_port},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    host::ProgressWindow window;
    g_setting.url = c.first;
    earlier_result();
    clear_log();
    EXPECT_FALSE(get_info(window.hwnd()));
    EXPECT_THAT(window.texts(), ElementsAre(kFirst));
    EXPECT_THAT(log(), ElementsAre(c.second));
    EXPECT_TRUE(g_discovery.info_result);
    expect_earlier_result_kept();
  }
  g_setting.url.clear();
}

TEST_F(Driver, NetworkOffChecksOnlyTheLocalArchive) {
  host::config().uses_network = false;
  g_setting.url = "ftp://127.0.0.1/never-contacted/";
  earlier_result();
  EXPECT_TRUE(get_info(window_.hwnd()));
  EXPECT_THAT(window_.texts(), ElementsAre(kFirst));
  EXPECT_EQ(0, window_.cancel_queries());
  EXPECT_TRUE(g_discovery.info_result);
  EXPECT_FALSE(g_discovery.default_selected);
  EXPECT_EQ("", g_discovery.download_url);
  EXPECT_EQ(77u, g_discovery.remote_size);

  testing_support::write_file(archive(), "x");
  EXPECT_TRUE(get_info(window_.hwnd()));
  EXPECT_TRUE(g_discovery.default_selected);
  EXPECT_TRUE(log().empty());
  g_setting.url.clear();
}

TEST(MirrorUrl, SplitsAtTheFirstSlashOnly) {
  struct Case {
    const char* rest;
    const char* host;
    const char* directory;
    const char* http_listing;  // the URL links on the index page are resolved against
    const char* ftp_listing;
  };
  for (const Case c :
       {Case{"ftp.example.jp/pub/text/TeX/ptex-win32/w32/", "ftp.example.jp",
             "/pub/text/TeX/ptex-win32/w32/", "http://ftp.example.jp/pub/text/TeX/ptex-win32/w32/",
             "ftp://ftp.example.jp/pub/text/TeX/ptex-win32/w32/"},
        Case{"mirror.test", "mirror.test", "", "http://mirror.test/", "ftp://mirror.test/"},
        Case{"user@mirror.test:2121/a/b?q=1#f", "user@mirror.test:2121", "/a/b?q=1",
             "http://user@mirror.test:2121/a/b?q=1", "ftp://user@mirror.test:2121/a/b?q=1/"},
        Case{"mirror.test?C=M;O=A#top", "mirror.test", "?C=M;O=A", "http://mirror.test/?C=M;O=A",
             "ftp://mirror.test?C=M;O=A/"},
        Case{"mirror.test/pub", "mirror.test", "/pub", "http://mirror.test/pub",
             "ftp://mirror.test/pub/"},
        Case{"/only/dir/", "", "/only/dir/", "http:///only/dir/", "ftp:///only/dir/"},
        Case{"", "", "", "http:///", "ftp:///"}}) {
    SCOPED_TRACE(c.rest);
    GetInfo::split_mirror_url(c.rest);
    EXPECT_EQ(c.host, g_discovery.remote_host);
    EXPECT_EQ(c.directory, g_discovery.remote_directory);
    EXPECT_EQ(c.http_listing, GetInfo::listing_url("http").text());
    EXPECT_EQ(c.ftp_listing, GetInfo::listing_url("ftp").text());
  }
}

TEST(MirrorUrl, HostAndPort) {
  struct Case {
    const char* host;
    bool ok;
    const char* name;
    INTERNET_PORT port;
  };
  for (const Case c : {Case{"mirror.test", true, "mirror.test", 443},
                       Case{"mirror.test:8080", true, "mirror.test", 8080},
                       Case{"mirror.test:1", true, "mirror.test", 1},
                       Case{"mirror.test:065535", true, "mirror.test", 65535},
                       Case{"user@mirror.test:2121", true, "user@mirror.test", 2121},
                       Case{"[::1]", true, "[::1]", 443}, Case{"[::1]:8443", true, "[::1]", 8443},
                       Case{"mirror.test:0", false, "", 0}, Case{"mirror.test:65536", false, "", 0},
                       Case{"mirror.test:", false, "", 0}, Case{"mirror.test:+80", false, "", 0},
                       Case{"mirror.test: 80", false, "", 0}, Case{"[::1]:", false, "", 0}}) {
    SCOPED_TRACE(c.host);
    orelib::string name = "unchanged";
    INTERNET_PORT port = 7;
    EXPECT_EQ(c.ok, GetInfo::split_host_port(c.host, 443, name, port));
    EXPECT_EQ(c.ok ? c.name : "unchanged", name);
    EXPECT_EQ(c.ok ? c.port : 7, port);
  }
}

TEST(MirrorUrl, RedirectTargetsResolveAgainstTheCurrentUrl) {
  const GetInfo::url_parts base{"http", "mirror.test:8080", "/pub/w32/index.html?sort=1"};
  struct Case {
    const char* location;
    const char* url;
  };
  for (const Case c : {
           Case{"https://other.test/new/", "https://other.test/new/"},
           Case{"HTTP://Other.test", "http://Other.test/"},
           Case{"//other.test:81/a/./b/../c/", "http://other.test:81/a/c/"},
           Case{"/moved/#top", "http://mirror.test:8080/moved/"},
           Case{"../up/", "http://mirror.test:8080/pub/up/"},
           Case{"sub/?q=1", "http://mirror.test:8080/pub/w32/sub/?q=1"},
           Case{"../../../../x", "http://mirror.test:8080/x"},
           Case{"?sort=2", "http://mirror.test:8080/pub/w32/index.html?sort=2"},
           Case{"", "http://mirror.test:8080/pub/w32/index.html?sort=1"},
           Case{"#top", "http://mirror.test:8080/pub/w32/index.html?sort=1"},
           Case{"ftp://ftp.test/pub/", "ftp://ftp.test/pub/"},
           Case{"file:///C:/x", "file:///C:/x"},
       }) {
    EXPECT_EQ(c.url, GetInfo::resolve_reference(base, c.location).text()) << c.location;
  }
}

TEST(ProxyText, NeedsBothAHostAndAPort) {
  host::reset();
  HostModule host;
  ASSERT_TRUE(host.bind());
  host::config().proxy = std::string("proxy.test");
  host::config().port = 3128;
  EXPECT_EQ("proxy.test:3128", GetInfo::proxy_text(host));
  host::config().port = 0;
  EXPECT_EQ("", GetInfo::proxy_text(host));
  host::config().proxy = std::string();
  host::config().port = 8080;
  EXPECT_EQ("", GetInfo::proxy_text(host));
  host::config().proxy = std::nullopt;
  EXPECT_EQ("", GetInfo::proxy_text(host));
  host::config().proxy = std::string("proxy.test");
  host::config().port = -1;
  EXPECT_EQ("proxy.test:-1", GetInfo::proxy_text(host));
}
