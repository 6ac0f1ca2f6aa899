// The mirror probe tells a maintainer which mirrors work: a live HTTP and FTP mirror, one
// that is down and one that offers nothing.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/host_config.h"
#include "host/probe.h"
#include "discovery_fixture.h"
#include "test_support.h"

using testing_support::kMirrorDirectory;
using testing_support::server;

namespace {

class MirrorProbe : public ::testing::Test {
 protected:
  void SetUp() override { host::reset(); }
  host::ProbeRow probe(const std::string& url) {
    return host::probe_mirror(testing_support::plugin_path(), url);
  }
};

TEST_F(MirrorProbe, LiveHttpMirrorNamesItsNewestArchive) {
  // The https mirror lists the same directory, and the archive's date comes over https too.
  testing_support::trust_test_authority(DISCOVERY_STATE_DIR "tls/ca.der");
  for (const std::string& scheme : {"http://" + server(2), "https://" + server(11)}) {
    SCOPED_TRACE(scheme);
    const host::ProbeRow row = probe(scheme + kMirrorDirectory);
    EXPECT_TRUE(row.reachable) << row.reason;
    EXPECT_EQ(row.archive, "ispell-3.3.02-w32.tar.xz");
    EXPECT_EQ(row.size, 2097152u);  // "2.0M" on the index page
    EXPECT_EQ(row.date, "2011-03-05 14:07");
    EXPECT_GT(row.seconds, 0.0);
  }
}

TEST_F(MirrorProbe, LiveFtpMirrorNamesItsNewestArchive) {
  // The archive's date is read on the URL's own port too.
  for (const std::string& host : {server(5), server(19) + ":2121"}) {
    SCOPED_TRACE(host);
    const host::ProbeRow row = probe("ftp://" + host + kMirrorDirectory);
    EXPECT_TRUE(row.reachable) << row.reason;
    EXPECT_EQ(row.archive, "ispell-3.3.02-w32.tar.xz");
    EXPECT_EQ(row.size, 54321u);
    EXPECT_EQ(row.date.size(), 16u) << row.date;
    EXPECT_EQ(row.date.substr(10), " 01:23");
  }
}

TEST_F(MirrorProbe, MirrorThatIsDownGivesTheLoggedReason) {
  const host::ProbeRow row = probe("http://" + server(9) + kMirrorDirectory);
  EXPECT_FALSE(row.reachable);
  EXPECT_TRUE(row.archive.empty());
  // An HTTP connection is only made by the request itself.
  EXPECT_EQ(row.reason, "GETリクエスト送信に失敗． / ファイルリストの取得に失敗．");
}

TEST_F(MirrorProbe, EmptyDirectoryIsReachableButOffersNothing) {
  const host::ProbeRow row = probe("http://" + server(2) + "/empty/");
  EXPECT_TRUE(row.reachable);
  EXPECT_TRUE(row.archive.empty());
  EXPECT_EQ(row.reason, "no archive on the mirror");
}

TEST_F(MirrorProbe, TablePrintsOneRowPerMirror) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  const int status = host::probe_mirrors(
      testing_support::plugin_path(),
      {"http://" + server(2) + kMirrorDirectory, "ftp://" + server(9) + kMirrorDirectory}, out);
  // An FTP log-in fails at once: the reason names the host.
  EXPECT_EQ(status, 1);  // one of the two does not work
  std::rewind(out);
  std::string text;
  char buffer[1024];
  while (std::fgets(buffer, sizeof buffer, out)) text += buffer;
  std::fclose(out);

  EXPECT_NE(text.find("| http://" + server(2) + kMirrorDirectory +
                      " | reachable | ispell-3.3.02-w32.tar.xz | 2097152 | 2011-03-05 14:07 |"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("| ftp://" + server(9) + kMirrorDirectory + " | unreachable: "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(server(9) + "への接続に失敗． | - | - | - |"), std::string::npos) << text;
  EXPECT_NE(text.find("1 of 2 mirrors offer an archive"), std::string::npos) << text;
}

}  // namespace
