// Discovery over FTP against real servers on loopback: anonymous log-in, passive listing,
// refused log-ins with their reply texts; GetInfo -> IsDefault -> GetDownloadData.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "config/setting.h"
#include "discovery/ftp.h"
#include "discovery/internet_handle.h"
#include "discovery_fixture.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::StartsWith;
using testing_support::complete_texts;
using testing_support::kMirrorDirectory;
using testing_support::server;
using testing_support::set_write_time;
using testing_support::system_time;

namespace {

// The minute the fixture gave the FTP archive (UTC, this year, so the listing shows it).
SYSTEMTIME ftp_archive_time() {
  SYSTEMTIME t{};
  FILE* file = std::fopen(DISCOVERY_STATE_DIR "ftp_time.txt", "r");
  if (!file) return t;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  if (std::fscanf(file, "%d %d %d %d %d", &year, &month, &day, &hour, &minute) == 5) {
    t = system_time(year, month, day, hour, minute);
  }
  std::fclose(file);
  return t;
}

class FtpMirror : public testing_support::MirrorTest {
 protected:
  std::string mirror(const std::string& path = kMirrorDirectory) {
    return "ftp://" + server(5) + path;
  }
};

}  // namespace

TEST_F(FtpMirror, ChainFromListingToDownloadRequest) {
  use_url(mirror());
  ASSERT_TRUE(get_info());
  EXPECT_THAT(texts_, ElementsAreArray(complete_texts(server(5))));
  EXPECT_THAT(log(), ElementsAre("ispellの情報取得開始", "ispellの情報取得終了"));
  EXPECT_TRUE(plugin_->IsDefault());
  const DownloadRequest request = plugin_->GetDownloadData();
  ASSERT_TRUE(request.ok);
  ASSERT_EQ(1, request.count);
  EXPECT_STREQ(("ftp://" + server(5) + kMirrorDirectory + "ispell-3.3.02-w32.tar.xz").c_str(),
               request.files->url);
  EXPECT_STREQ("ispell.tar.xz", request.files->name);
  EXPECT_EQ(54321u, request.files->size);
}

TEST_F(FtpMirror, PortInTheUrl) {
  const std::string host = server(19) + ":2121";
  use_url("ftp://" + host + kMirrorDirectory);
  ASSERT_TRUE(get_info());
  EXPECT_THAT(texts_, ElementsAreArray(complete_texts(host)));
  EXPECT_EQ("ftp://" + host + kMirrorDirectory + "ispell-3.3.02-w32.tar.xz", requested_url());
}

TEST_F(FtpMirror, OfferedOnlyWhenStrictlyNewerThanTheLocalArchive) {
  const SYSTEMTIME t = ftp_archive_time();
  ASSERT_NE(0, t.wYear) << "the fixture's ftp_time.txt is missing";
  testing_support::write_file(archive(), "downloaded before");
  use_url(mirror());
  set_write_time(archive(), system_time(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute));
  ASSERT_TRUE(get_info());
  EXPECT_FALSE(plugin_->IsDefault());
  // One second earlier on the local side: the remote one is newer.
  FILETIME f;
  SystemTimeToFileTime(&t, &f);
  ULARGE_INTEGER instant{{f.dwLowDateTime, f.dwHighDateTime}};
  instant.QuadPart -= 10000000;
  f = FILETIME{instant.LowPart, instant.HighPart};
  SYSTEMTIME earlier;
  FileTimeToSystemTime(&f, &earlier);
  set_write_time(archive(), earlier);
  ASSERT_TRUE(get_info());
  EXPECT_TRUE(plugin_->IsDefault());
}

TEST_F(FtpMirror, MissingDirectoryAndEmptyDirectory) {
  use_url(mirror("/no/such/dir/"));
  EXPECT_FALSE(get_info());
  EXPECT_EQ(4u, texts_.size());
  EXPECT_EQ("失敗", texts_.back());
  std::vector<std::string> lines = log();
  ASSERT_EQ(5u, lines.size());
  EXPECT_EQ("FtpSetCurrentDirectory:GetLastErrorのエラーコード12003", lines[1]);
  EXPECT_EQ(
      "InternetGetLastResponsInfoは，コード12003と，メッセージ550 No such file or "
      "directory.を返しました．",
      lines[2]);
  EXPECT_EQ("カレントディレクトリの移動に失敗．", lines[3]);

  clear_log();
  use_url(mirror("/empty/"));
  EXPECT_FALSE(get_info());
  EXPECT_EQ(5u, texts_.size());
  // WinINet under Wine leaves the thread's last error at 0 here and reports "no more files"
  // (18) as the response's code instead.
  EXPECT_THAT(log(), ElementsAre("ispellの情報取得開始",
                                 StartsWith("FtpFindFirstFile:GetLastErrorのエラーコード"),
                                 "InternetGetLastResponsInfoは，コード18と，メッセージ226 "
                                 "Transfer complete.を返しました．",
                                 "ファイルリストの取得に失敗．", "ispellの情報取得終了"));
}

TEST_F(FtpMirror, DirectoryWithoutArchiveRequestsNothing) {
  testing_support::write_file(archive(), "the archive saved before");
  use_url(mirror("/nomatch/"));
  ASSERT_TRUE(get_info());
  expect_listing_without_archive(server(5));
  // With the network off nothing changes: an empty, valid request.
  host::config().uses_network = false;
  EXPECT_TRUE(get_info());
  EXPECT_TRUE(plugin_->IsDefault());
  EXPECT_TRUE(plugin_->GetDownloadData().ok);
}

TEST_F(FtpMirror, RefusedLogInQuotesTheServersReply) {
  use_url("ftp://" + server(6) + "/pub/");
  EXPECT_FALSE(get_info());
  EXPECT_THAT(texts_, ElementsAre("♪ispellの情報取得♪\r\n", server(6) + "に接続……", "失敗"));
  const std::vector<std::string> lines = log();
  ASSERT_EQ(5u, lines.size());
  EXPECT_EQ("InternetConnect:GetLastErrorのエラーコード12015", lines[1]);  // log-in failure
  EXPECT_EQ(
      "InternetGetLastResponsInfoは，コード12015と，メッセージ530 Anonymous log-in is not "
      "allowed on this test mirror.を返しました．",
      lines[2]);
  EXPECT_EQ(server(6) + "への接続に失敗．", lines[3]);
}

TEST_F(FtpMirror, ReplyLongerThanTheBuffer) {
  use_url("ftp://" + server(7) + "/pub/");
  EXPECT_FALSE(get_info());
  // WinINet gives up on the over-long reply and reports no response code, so only the first
  // line is written.
  EXPECT_THAT(log(), ElementsAre("ispellの情報取得開始",
                                 StartsWith("InternetConnect:GetLastErrorのエラーコード"),
                                 server(7) + "への接続に失敗．", "ispellの情報取得終了"));
}

TEST_F(FtpMirror, NothingListening) {
  use_url("ftp://" + server(9) + "/pub/");
  EXPECT_FALSE(get_info());
  EXPECT_EQ("失敗", texts_.back());
  const std::vector<std::string> lines = log();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_THAT(lines[1], StartsWith("InternetConnect:GetLastErrorのエラーコード"));
  EXPECT_EQ(server(9) + "への接続に失敗．", lines[lines.size() - 2]);
}

TEST_F(FtpMirror, FailureAfterSuccessKeepsTheFindings) {
  use_url(mirror());
  ASSERT_TRUE(get_info());
  const std::string found = requested_url();
  use_url(mirror("/no/such/dir/"));
  EXPECT_FALSE(get_info());
  EXPECT_TRUE(plugin_->IsDefault());
  EXPECT_FALSE(plugin_->GetDownloadData().ok);
  use_url("gopher://" + server(5) + "/");
  EXPECT_FALSE(get_info());
  EXPECT_FALSE(plugin_->GetDownloadData().ok);
  use_url(mirror());
  ASSERT_TRUE(get_info());
  EXPECT_EQ(found, requested_url());
}

// The listing itself, without the driver.
class FtpListing : public testing_support::DiscoveryTest {};

TEST_F(FtpListing, EveryNameInTheServersOrder) {
  GetInfo::ftp_session session(server(5));
  ASSERT_TRUE(session.connect(20));
  ASSERT_TRUE(FtpSetCurrentDirectoryA(session.handles->connection, kMirrorDirectory.c_str()));
  std::vector<GetInfo::ftp_file> files;
  ASSERT_TRUE(GetInfo::ftp_raw_listing(session, files));
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(f.name);
  EXPECT_THAT(names, ElementsAre("README", "ispell-3.3.01-w32.tar.xz", "ispell-3.3.02-w32.tar.xz",
                                 "ispell-3.3.02-w32.tar.xz.asc", "ispell-3.3.02-w32.tar.xz.sha256",
                                 "ispell-3.3.02-w64.tar.xz", "old"));
  const SYSTEMTIME t = ftp_archive_time();
  const auto& archive = files[2];
  EXPECT_EQ(54321u, archive.size);
  ASSERT_TRUE(archive.time.valid);
  EXPECT_EQ(t.wYear, archive.time.value.wYear);
  EXPECT_EQ(t.wMonth, archive.time.value.wMonth);
  EXPECT_EQ(t.wDay, archive.time.value.wDay);
  EXPECT_EQ(t.wHour, archive.time.value.wHour);
  EXPECT_EQ(t.wMinute, archive.time.value.wMinute);
  EXPECT_EQ(0, archive.time.value.wSecond);
}

TEST_F(FtpListing, FourGibibytesAndMoreKeepTheLowBits) {
  // What WinINet itself makes of the listed 4294979641 bytes: the entry takes its low half
  // and ignores the high one. (Under Wine the listing parser already saturates the size at
  // 2147483647 with a high half of 0, so the server's own low bits cannot reach us there.)
  DWORD reported_low = 0;
  {
    GetInfo::ftp_session session(server(5));
    ASSERT_TRUE(session.connect(20));
    ASSERT_TRUE(FtpSetCurrentDirectoryA(session.handles->connection, "/big/"));
    WIN32_FIND_DATAA record{};
    GetInfo::internet_handle find(
        FtpFindFirstFileA(session.handles->connection, "*.*", &record, INTERNET_FLAG_RELOAD, 0));
    ASSERT_TRUE(find);
    reported_low = record.nFileSizeLow;
    const unsigned long long listed =
        (static_cast<unsigned long long>(record.nFileSizeHigh) << 32) | record.nFileSizeLow;
    EXPECT_TRUE(listed == 4294979641ull || listed == 2147483647ull) << listed;
  }
  GetInfo::FTP ftp(server(5));
  ASSERT_TRUE(ftp.connect(20));
  ASSERT_TRUE(ftp.change_directory("/big/"));
  GetInfo::file_list list;
  ASSERT_TRUE(ftp.get_file_list(list));
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ("huge-4g-w32.tar.xz", list[0].name);
  EXPECT_EQ(reported_low, list[0].size);
}

TEST_F(FtpListing, AppendsWithoutEmptyingTheCallersList) {
  GetInfo::FTP ftp(server(5));
  ASSERT_TRUE(ftp.connect(20));
  ASSERT_TRUE(ftp.change_directory("/big/"));
  GetInfo::file_list list(1);
  list[0].name = "already there";
  ASSERT_TRUE(ftp.get_file_list(list));
  ASSERT_EQ(2u, list.size());
  EXPECT_EQ("already there", list[0].name);
  EXPECT_EQ("ftp", ftp.scheme());
}
