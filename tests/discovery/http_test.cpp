// Discovery over HTTP against real servers on loopback: the directory index of a real web
// server, crafted pages, error statuses and a proxy; GetInfo -> IsDefault -> GetDownloadData.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include "discovery_fixture.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing_support::complete_texts;
using testing_support::kMirrorDirectory;
using testing_support::server;
using testing_support::set_write_time;
using testing_support::system_time;

namespace {

class HttpMirror : public testing_support::MirrorTest {
 protected:
  std::string nginx(const std::string& path = kMirrorDirectory) {
    return "http://" + server(2) + path;
  }
  std::string crafted(const std::string& path) { return "http://" + server(3) + path; }
};

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

  // Pages without any entry, and a body of no bytes at all.
  for (const std::string& url : {nginx("/empty/"), crafted("/empty/")}) {
    SCOPED_TRACE(url);
    use_url(url);
    EXPECT_TRUE(get_info());
    EXPECT_EQ(6u, texts_.size());
    EXPECT_FALSE(plugin_->GetDownloadData().ok);
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
}

TEST_F(HttpMirror, ListingsOfEveryLayout) {
  // The archive, its size and its time as each listing gives them: the same tree from today's
  // servers in their stock configurations, then crafted pages. Every dated archive shows
  // 05-Mar-2011 14:07: offered against a download of a second earlier, not against one of the
  // same minute.
  struct Row {
    std::string index;
    std::string archive;
    std::uint32_t size;
    bool dated;
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
  };
  testing_support::write_file(archive(), "downloaded before");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.index);
    use_url(row.index);
    set_write_time(archive(), system_time(2011, 3, 5, 14, 6, 59));
    ASSERT_TRUE(get_info());
    const DownloadRequest request = plugin_->GetDownloadData();
    ASSERT_EQ(1, request.count);
    EXPECT_EQ(row.index + row.archive, std::string(request.files->url));
    EXPECT_EQ(row.size, request.files->size);
    EXPECT_EQ(row.dated, plugin_->IsDefault());
    set_write_time(archive(), system_time(2011, 3, 5, 14, 7, 0));
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
  // and what arrived is parsed.
  use_url(crafted("/truncated/"));
  ASSERT_TRUE(get_info());
  EXPECT_EQ("http://" + server(3) + "/truncated/ispell-1.0.02-w32.tar.xz", requested_url());

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
