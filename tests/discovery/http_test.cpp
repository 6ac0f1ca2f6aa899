// Discovery over HTTP and https against real servers on loopback: the directory index of a
// real web server, crafted pages, error statuses, certificates, ports, redirects and a proxy;
// GetInfo -> IsDefault -> GetDownloadData.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>

#include "discovery_fixture.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing_support::complete_texts;
using testing_support::kMirrorDirectory;
using testing_support::server;
using testing_support::set_write_time;
using testing_support::system_time;

namespace {

const char* const kArchive = "ispell-3.3.02-w32.tar.xz";

class HttpMirror : public testing_support::MirrorTest {
 protected:
  void SetUp() override {
    MirrorTest::SetUp();
    testing_support::trust_test_authority(DISCOVERY_STATE_DIR "tls/ca.der");
  }

  std::string nginx(const std::string& path = kMirrorDirectory) {
    return "http://" + server(2) + path;
  }
  std::string crafted(const std::string& path) { return "http://" + server(3) + path; }
  // Server n over https (see scripts/servers/servers.py for what each one's certificate is).
  std::string https(int n, const std::string& path = kMirrorDirectory) {
    return "https://" + server(n) + path;
  }
  std::string redirect(const std::string& path) { return "http://" + server(18) + path; }

  // GetInfo after an earlier success fails at the listing with the log line between the
  // request's and the driver's, and asks for nothing to download.
  void expect_listing_failure(const std::string& url, const std::vector<std::string>& lines) {
    SCOPED_TRACE(url);
    use_url(nginx());
    ASSERT_TRUE(get_info());
    clear_log();
    use_url(url);
    EXPECT_FALSE(get_info());
    EXPECT_EQ(5u, texts_.size());
    EXPECT_EQ("失敗", texts_.back());
    std::vector<std::string> expected = {"ispellの情報取得開始"};
    expected.insert(expected.end(), lines.begin(), lines.end());
    expected.push_back("ファイルリストの取得に失敗．");
    expected.push_back("ispellの情報取得終了");
    EXPECT_EQ(expected, log());
    EXPECT_FALSE(plugin_->GetDownloadData().ok);
  }
};

// How often the proxy's log names a request line ("CONNECT host:port", say).
size_t proxy_requests(const std::string& request_line) {
  const std::string log = testing_support::read_file(DISCOVERY_STATE_DIR "tinyproxy.log");
  const std::string needle = "): " + request_line + " HTTP/";
  size_t count = 0;
  for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1))
    ++count;
  return count;
}

}  // namespace

TEST_F(HttpMirror, ChainFromIndexToDownloadRequest) {
  EXPECT_FALSE(plugin_->IsDefault());
  EXPECT_FALSE(plugin_->GetDownloadData().ok);  // nothing discovered yet
  use_url(nginx());
  ASSERT_TRUE(get_info());
  EXPECT_THAT(texts_, ElementsAreArray(complete_texts(server(2))));
  EXPECT_THAT(log(), ElementsAre("ispellの情報取得開始", "ispellの情報取得終了"));
  EXPECT_TRUE(plugin_->IsDefault());  // no local archive yet

  const DownloadRequest request = plugin_->GetDownloadData();
  ASSERT_TRUE(request.ok);
  ASSERT_EQ(1, request.count);
  ASSERT_NE(nullptr, request.files);
  EXPECT_EQ(0, request.padding[0] | request.padding[1] | request.padding[2]);
  EXPECT_STREQ(("http://" + server(2) + kMirrorDirectory + "ispell-3.3.02-w32.tar.xz").c_str(),
               request.files->url);
  EXPECT_STREQ("ispell.tar.xz", request.files->name);
  EXPECT_EQ(2097152u, request.files->size);
  const DownloadRequest again = plugin_->GetDownloadData();
  EXPECT_EQ(request.files, again.files);
  EXPECT_EQ(request.files->url, again.files->url);
}

TEST_F(HttpMirror, OfferedOnlyWhenStrictlyNewerThanTheLocalArchive) {
  // The index shows 05-Mar-2011 14:07 for the archive.
  testing_support::write_file(archive(), "downloaded before");
  use_url(nginx());
  set_write_time(archive(), system_time(2011, 3, 5, 14, 7, 0));
  ASSERT_TRUE(get_info());
  EXPECT_FALSE(plugin_->IsDefault());
  EXPECT_NE("", requested_url());  // requested all the same
  set_write_time(archive(), system_time(2011, 3, 5, 14, 6, 59));
  ASSERT_TRUE(get_info());
  EXPECT_TRUE(plugin_->IsDefault());
  set_write_time(archive(), system_time(2011, 3, 5, 14, 7, 1));
  ASSERT_TRUE(get_info());
  EXPECT_FALSE(plugin_->IsDefault());
}

TEST_F(HttpMirror, DirectoryWithoutArchiveRequestsNothing) {
  // Asking for the directory's URL would overwrite the saved archive with an index page.
  testing_support::write_file(archive(), "the archive saved before");
  use_url(nginx("/nomatch/"));
  ASSERT_TRUE(get_info());
  expect_listing_without_archive(server(2));
  EXPECT_EQ(testing_support::read_file(archive()), "the archive saved before");

  // Pages without any entry, a body of no bytes at all, and pages no reading is possible of:
  // built by a script in the browser, a listing in JSON.
  for (const std::string& url : {nginx("/empty/"), crafted("/empty/"), https(11, "/nomatch/"),
                                 crafted("/layouts/script/"), crafted("/layouts/json/")}) {
    SCOPED_TRACE(url);
    use_url(url);
    clear_log();
    EXPECT_TRUE(get_info());
    EXPECT_EQ(6u, texts_.size());
    EXPECT_FALSE(plugin_->GetDownloadData().ok);
    EXPECT_THAT(log(),
                ElementsAre("ispellの情報取得開始", "ミラーにispellのアーカイブがありません．",
                            "ispellの情報取得終了"));
  }
  // A mirror with an archive is asked for again.
  use_url(nginx());
  ASSERT_TRUE(get_info());
  EXPECT_EQ(nginx() + "ispell-3.3.02-w32.tar.xz", requested_url());
}

TEST_F(HttpMirror, IndexPageComesFromTheServerEveryTime) {
  // The server answers each request for the page with a newer archive, and allows any cache
  // to keep the page for an hour.
  const std::string page = crafted("/fresh/");
  use_url(page);
  ASSERT_TRUE(get_info());
  const std::string first = requested_url();
  ASSERT_TRUE(get_info());
  const std::string second = requested_url();
  EXPECT_THAT(first, testing::StartsWith(page + "ispell-"));
  EXPECT_THAT(second, testing::StartsWith(page + "ispell-"));
  EXPECT_NE(first, second);

  // The request asked caches on the way not to answer for the server, and the page was not
  // written to the local cache.
  const std::string headers = testing_support::fetch(crafted("/fresh/headers"));
  EXPECT_THAT(headers, testing::HasSubstr("\nPragma: no-cache\n"));
  // An entry would answer "buffer too small" to a query without a buffer.
  DWORD size = 0;
  const BOOL cached = GetUrlCacheEntryInfoA(page.c_str(), nullptr, &size);
  const DWORD error = GetLastError();
  EXPECT_FALSE(cached);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
}

TEST_F(HttpMirror, ErrorStatusesFailOthersAreParsed) {
  for (int status : {404, 503, 400, 599}) {
    SCOPED_TRACE(status);
    clear_log();
    use_url(crafted("/status/" + std::to_string(status) + "/"));
    EXPECT_FALSE(get_info());
    EXPECT_EQ("失敗", texts_.back());
    EXPECT_EQ(5u, texts_.size());
    EXPECT_THAT(log(),
                ElementsAre("ispellの情報取得開始",
                            "サーバがエラーコード" + std::to_string(status) + "を返しました．",
                            "ファイルリストの取得に失敗．", "ispellの情報取得終了"));
  }
  for (int status : {299, 600, 999}) {
    SCOPED_TRACE(status);
    use_url(crafted("/status/" + std::to_string(status) + "/"));
    EXPECT_TRUE(get_info());
    EXPECT_EQ(
        "http://" + server(3) + "/status/" + std::to_string(status) + "/ispell-2.0.00-w32.tar.xz",
        requested_url());
  }
}

TEST_F(HttpMirror, FailureKeepsTheEarlierFindingsButNotItsSuccess) {
  use_url(nginx());
  ASSERT_TRUE(get_info());
  const std::string found = requested_url();
  ASSERT_NE("", found);
  // An unknown scheme touches nothing at all.
  use_url("HTTP://" + server(2) + kMirrorDirectory);
  EXPECT_FALSE(get_info());
  EXPECT_EQ(1u, texts_.size());
  EXPECT_TRUE(plugin_->IsDefault());
  EXPECT_EQ(found, requested_url());
  // A failed listing records the failure; the earlier findings stay for IsDefault.
  use_url(crafted("/status/404/"));
  EXPECT_FALSE(get_info());
  EXPECT_TRUE(plugin_->IsDefault());
  EXPECT_FALSE(plugin_->GetDownloadData().ok);
  // Network off: an empty, valid request.
  host::config().uses_network = false;
  EXPECT_TRUE(get_info());
  const DownloadRequest off = plugin_->GetDownloadData();
  EXPECT_TRUE(off.ok);
  EXPECT_EQ(0, off.count);
  EXPECT_EQ(nullptr, off.files);
}

TEST_F(HttpMirror, NothingListening) {
  use_url("http://" + server(9) + "/pub/");
  EXPECT_FALSE(get_info());
  EXPECT_THAT(texts_,
              ElementsAre("♪ispellの情報取得♪\r\n", server(9) + "に接続……",
                          "成功\r\nディレクトリの移動……", "成功\r\nファイル一覧の取得……", "失敗"));
  EXPECT_THAT(log(), ElementsAre("ispellの情報取得開始", "GETリクエスト送信に失敗．",
                                 "ファイルリストの取得に失敗．", "ispellの情報取得終了"));
}

TEST_F(HttpMirror, CancelAtEachCheck) {
  use_url(nginx());
  ASSERT_TRUE(get_info());
  for (int check = 1; check <= 4; ++check) {
    SCOPED_TRACE(check);
    clear_log();
    EXPECT_FALSE(get_info(check));
    EXPECT_EQ("キャンセルされました．", texts_.back());
    EXPECT_EQ(static_cast<size_t>(check) + 3, texts_.size());
    EXPECT_THAT(log(), ElementsAre("ispellの情報取得開始", "キャンセルされました．",
                                   "ispellの情報取得終了"));
    EXPECT_TRUE(plugin_->IsDefault());
    EXPECT_FALSE(plugin_->GetDownloadData().ok);
  }
}

TEST_F(HttpMirror, ThroughAProxyOnlyWithHostAndPort) {
  // Server 10 is reached through the proxy first: WinINet keeps direct connections alive and
  // may reuse one for a later proxied request to the same server.
  const std::string proxied = "http://" + server(10) + "/proxy/ispell-7.7.77-w32.tar.xz";
  const std::string direct = "http://" + server(10) + "/proxy/ispell-1.1.11-w32.tar.xz";
  use_url("http://" + server(10) + "/proxy/");
  host::config().proxy = server(8);
  host::config().port = 8888;
  ASSERT_TRUE(get_info());
  EXPECT_EQ(proxied, requested_url());
  host::config().port = 0;
  ASSERT_TRUE(get_info());
  EXPECT_EQ(direct, requested_url());
  host::config().proxy = std::string();
  host::config().port = 8888;
  ASSERT_TRUE(get_info());
  EXPECT_EQ(direct, requested_url());

  // https through the proxy is a tunnel the proxy opens with CONNECT, and only then.
  const std::string tunnel = "CONNECT " + server(11) + ":443";
  const size_t tunnels = proxy_requests(tunnel);
  use_url(https(11));
  host::config().proxy = server(8);
  ASSERT_TRUE(get_info());
  EXPECT_EQ(https(11) + kArchive, requested_url());
  EXPECT_EQ(tunnels + 1, proxy_requests(tunnel));
  host::config().proxy = std::string();
  ASSERT_TRUE(get_info());
  EXPECT_EQ(tunnels + 1, proxy_requests(tunnel));
}

TEST_F(HttpMirror, ListingsOfEveryLayout) {
  // The archive, its size and its time as each listing gives them: the same tree from today's
  // servers in their stock configurations, then crafted pages. Every dated archive shows
  // 05-Mar-2011 14:07 (webfs, as ls does for an old file, the day alone, read as its first
  // minute): offered against a download of a second earlier, not against one of the same
  // minute.
  struct Row {
    std::string index;
    std::string archive;
    std::uint32_t size;
    bool dated;
    WORD hour = 14;
    WORD minute = 7;
  };
  const auto at = [](int server_number) { return "http://" + server(server_number); };
  const Row rows[] = {
      {at(2) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true},   // nginx: bytes
      {at(21) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true},  // nginx: K/M/G
      {at(22) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true},  // Apache: table
      {at(23) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true},  // Apache: <pre>
      {at(24) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true},  // Apache: old dates
      {at(25) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true},  // lighttpd
      {at(26) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true},  // caddy
      {at(27) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 0, false},       // names only
      {crafted("/months/"), "ispell-1.0.03-w32.tar.xz", 1048576, true},
      {crafted("/nul/"), "ispell-1.0.00-w32.tar.xz", 1048576, true},  // the page ends at its NUL
      {crafted("/many/"), "ispell-4.9.99-w32.tar.xz", 521216, true},
      {crafted("/highbytes/"), "ispell-\x93\xFA\x96\x7B\x8C\xEA-3.3.05-w32.tar.xz", 1048576, true},
      {crafted("/nodates/"), "ispell-3.3.04-w32.tar.xz", 0, false},  // links without dates
      {at(28) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true},  // fancyindex
      {at(29) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true},  // ... "2.0 MiB"
      {at(30) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true, 0, 0},  // webfs
      {at(31) + kMirrorDirectory, "ispell-3.3.02-w32.tar.xz", 2097152, true},        // mini-httpd
      {crafted("/layouts/caddy/"), "ispell-3.3.02-w32.tar.xz", 2097152, true},       // data-size
      {crafted("/layouts/object-store/"), "ispell-3.3.02-w32.tar.xz", 2097152, true},
      {crafted("/layouts/h5ai/"), "ispell-3.3.02-w32.tar.xz", 2097 * 1024, true},  // "2097 KB"
      {crafted("/layouts/directory-lister/"), "ispell-3.3.02-w32.tar.xz", 2097152, true},
      {crafted("/layouts/miniserve/"), "ispell-3.3.02-w32.tar.xz", 2097152, true},
      {crafted("/layouts/application/"), "files/ispell-3.3.02-w32.tar.xz", 2097152, true},
  };
  testing_support::write_file(archive(), "downloaded before");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.index);
    use_url(row.index);
    // A second before the minute the page shows.
    const WORD minutes = row.hour * 60 + row.minute;
    set_write_time(archive(), minutes == 0 ? system_time(2011, 3, 4, 23, 59, 59)
                                           : system_time(2011, 3, 5, (minutes - 1) / 60,
                                                         (minutes - 1) % 60, 59));
    ASSERT_TRUE(get_info());
    const DownloadRequest request = plugin_->GetDownloadData();
    ASSERT_EQ(1, request.count);
    EXPECT_EQ(row.index + row.archive, std::string(request.files->url));
    EXPECT_EQ(row.size, request.files->size);
    EXPECT_EQ(row.dated, plugin_->IsDefault());
    set_write_time(archive(), system_time(2011, 3, 5, row.hour, row.minute, 0));
    ASSERT_TRUE(get_info());
    EXPECT_FALSE(plugin_->IsDefault());
  }
  // One link per line at most: the first, which is no archive.
  use_url(crafted("/longline/"));
  ASSERT_TRUE(get_info());
  EXPECT_EQ(0, plugin_->GetDownloadData().count);
  const std::string month = "月変換でミスった．バグっぽいからヴォランテに文句いっといて．month = ";
  const std::vector<std::string> lines = log();
  EXPECT_EQ(2, std::count(lines.begin(), lines.end(), month + "Sept"));
  EXPECT_EQ(2, std::count(lines.begin(), lines.end(), month + "mar"));
}

TEST_F(HttpMirror, BodyThatStopsMidway) {
  // The server announces more than it sends and closes: WinINet ends the body at the close,
  // but a page cut short is no listing to download from.
  use_url(crafted("/truncated/"));
  EXPECT_FALSE(get_info());
  EXPECT_THAT(log(), ElementsAre("ispellの情報取得開始", "データの受信に失敗．",
                                 "ページがContent-Lengthの長さより前で切れています．",
                                 "ファイルリストの取得に失敗．", "ispellの情報取得終了"));
  EXPECT_EQ("", requested_url());

  // A reset after part of the page, which held an entry of an unknown month: the log is that of
  // a page never parsed, only the failed read.
  use_url(crafted("/reset/"));
  clear_log();
  EXPECT_FALSE(get_info());
  EXPECT_THAT(log(), ElementsAre("ispellの情報取得開始", "データの受信に失敗．",
                                 "ファイルリストの取得に失敗．", "ispellの情報取得終了"));
  EXPECT_FALSE(plugin_->GetDownloadData().ok);
}

TEST_F(HttpMirror, FiftyMegabytePage) {
  use_url(crafted("/huge/"));
  ASSERT_TRUE(get_info());
  EXPECT_EQ("http://" + server(3) + "/huge/ispell-1.0.03-w32.tar.xz", requested_url());
}

TEST_F(HttpMirror, HttpsAndPortsKeepTheirUrl) {
  struct Case {
    std::string url, shown_host, archive_url;
    std::vector<std::string> log = {};  // between the start and the end
  };
  const std::string port_8443 = server(11) + ":8443";
  const std::string port_8080 = server(11) + ":8080";
  const std::string http_archive = nginx() + "ispell-3.3.09-w32.tar.xz";
  const Case cases[] = {
      {https(11), server(11), https(11) + kArchive},
      {"https://" + port_8443 + kMirrorDirectory, port_8443,
       "https://" + port_8443 + kMirrorDirectory + kArchive},
      {"http://" + port_8080 + kMirrorDirectory, port_8080,
       "http://" + port_8080 + kMirrorDirectory + kArchive},
      // A listing sorted in a browser, and a fragment: neither is part of the directory.
      {"http://" + port_8080 + kMirrorDirectory + "?C=M;O=A", port_8080,
       "http://" + port_8080 + kMirrorDirectory + kArchive},
      {https(11) + "#top", server(11), https(11) + kArchive},
      // An https page's link to plain http is not taken; an http page's is.
      {https(11, "/http-links/"),
       server(11),
       https(11) + kArchive,
       {"httpsのページからhttpへのリンクは拒否しました．"}},
      {"http://" + port_8080 + "/http-links/", port_8080, http_archive},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    use_url(c.url);
    clear_log();
    ASSERT_TRUE(get_info());
    EXPECT_THAT(texts_, ElementsAreArray(complete_texts(c.shown_host)));
    std::vector<std::string> lines = {"ispellの情報取得開始"};
    lines.insert(lines.end(), c.log.begin(), c.log.end());
    lines.push_back("ispellの情報取得終了");
    EXPECT_EQ(lines, log());
    EXPECT_TRUE(plugin_->IsDefault());
    EXPECT_EQ(c.archive_url, requested_url());
  }
}

TEST_F(HttpMirror, CertificateAndTlsFailures) {
  const std::string tls_error = "TLS接続かサーバ証明書の検証がエラーコード12157で失敗しました．";
  const std::pair<int, std::string> cases[] = {
      {12, "サーバ証明書の発行者が信頼されていません．"},
      {13, "サーバ証明書の名前が接続先のホスト名と一致しません．"},
      {14, "サーバ証明書の有効期限が切れているか，まだ有効になっていません．"},
      {20, "サーバ証明書の名前が接続先のホスト名と一致しません．"},  // empty subject, no name
      {16, tls_error},                                               // plain HTTP on port 443
      {17, tls_error},                                               // handshake cut short
  };
  for (const auto& c : cases)
    expect_listing_failure(https(c.first), {"GETリクエスト送信に失敗．", c.second});
  // An empty subject is no fault when the name is given as an alternative.
  use_url(https(15));
  ASSERT_TRUE(get_info());
  EXPECT_EQ(https(15) + kArchive, requested_url());
}

TEST_F(HttpMirror, RedirectsAreFollowedAndTheArchiveComesFromTheirEnd) {
  const std::pair<std::string, std::string> cases[] = {
      {redirect("/to/301?/page/"), redirect("/page/ispell-6.6.66-w32.tar.xz")},
      {redirect("/to/302?http://" + server(2) + kMirrorDirectory), nginx() + kArchive},
      {redirect("/to/303?https://" + server(11) + kMirrorDirectory), https(11) + kArchive},
      {redirect("/to/307?//" + server(2) + kMirrorDirectory), nginx() + kArchive},
      {redirect("/to/308?../page/%23top"), redirect("/page/ispell-6.6.66-w32.tar.xz")},
      {redirect("/to/302?http://" + server(11) + ":8080" + kMirrorDirectory),
       "http://" + server(11) + ":8080" + kMirrorDirectory + kArchive},
      {redirect("/chain/10/"), redirect("/chain/0/ispell-5.5.55-w32.tar.xz")},
      {https(11, "/moved/"), https(11) + kArchive},
      // A mirror URL without a path lists the root; links are resolved against where the
      // listing ended up.
      {"http://" + server(18), redirect("/ispell-6.6.60-w32.tar.xz")},
      {"http://" + server(18) + "?C=M;O=A", redirect("/ispell-6.6.60-w32.tar.xz")},
      {redirect("/to/301?/rooted/"), redirect("/files/ispell-6.6.67-w32.tar.xz?from=a&to=b")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    use_url(c.first);
    clear_log();
    ASSERT_TRUE(get_info());
    EXPECT_THAT(log(), ElementsAre("ispellの情報取得開始", "ispellの情報取得終了"));
    EXPECT_EQ(c.second, requested_url());
  }
}

TEST_F(HttpMirror, RedirectsThatAreNotFollowed) {
  const std::pair<std::string, std::string> cases[] = {
      {redirect("/to/302?"), "リダイレクト先が空です．"},
      {redirect("/to/307"), "リダイレクト先が空です．"},  // no Location at all
      {redirect("/self/"), "リダイレクト先が同じURLです．"},
      {redirect("/loop/a/"), "リダイレクトがループしています．"},
      {redirect("/chain/11/"), "リダイレクトが10回を超えました．"},
      {redirect("/to/301?ftp://" + server(5) + kMirrorDirectory),
       "リダイレクト先のプロトコルftpには対応していません．"},
      {redirect("/to/302?file:///C:/"), "リダイレクト先のプロトコルfileには対応していません．"},
      {https(11, "/to-http/"), "httpsからhttpへのリダイレクトは拒否しました．"},
      {redirect("/to/302?http://" + server(2) + ":65536/"),
       server(2) + ":65536のポート番号は1から65535の数ではありません．"},
  };
  for (const auto& c : cases) expect_listing_failure(c.first, {c.second});
}
