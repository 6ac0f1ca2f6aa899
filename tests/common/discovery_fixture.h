#pragma once
// What the discovery tests share: a fresh host, discovery state and activity log for each test,
// the real plug-in loaded against a mirror on loopback, and the test mirrors' addresses.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "discovery/discovery_state.h"
#include "discovery/file_info.h"
#include "host/host_config.h"
#include "host/plugin_loader.h"
#include "test_support.h"

namespace testing_support {

// The log file's lines (each ended by CR LF in the file), without their line ends.
std::vector<std::string> log_lines(const std::string& path);

#ifdef DISCOVERY_NET
// 127.A.B.n: the address of test server n (see scripts/servers/servers.py).
inline std::string server(int n) { return std::string(DISCOVERY_NET) + "." + std::to_string(n); }
#endif

// Where the test mirrors keep the archives (see scripts/servers/servers.py).
inline const std::string kMirrorDirectory = "/pub/text/TeX/ptex-win32/w32/";

// Trusts the test authority the servers fixture made (its certificate in DER at der_path) in
// this Wine prefix's root store of the current user, in place of any one an earlier start of
// the fixture made. Other tests of the same run add the same certificate, so that one is never
// taken out.
void trust_test_authority(const std::string& der_path);

// The body of an HTTP page, fetched from the server itself (nothing cached); "" on failure.
std::string fetch(const std::string& url);

// The index page through the plug-in's parser in one read, as a page that arrives whole.
GetInfo::file_list parse_page(const std::string& page);

// The progress texts of a listing that went through, for a host.
std::vector<std::string> complete_texts(const std::string& host);

// Every test starts with a fresh host whose download directory is a scratch directory of its
// own, a fresh discovery state, and the activity log in that directory.
class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string log_path() const { return dir_.file("activity.log"); }
  std::vector<std::string> log() const { return log_lines(log_path()); }
  void clear_log() const;
  // Where the plug-in looks for the archive downloaded before.
  std::string archive() const { return dir_.file(kLocalArchiveName); }

  ScratchDir dir_{"discovery"};
};

// The real plug-in loaded against a mirror, with its own INI file, log and download directory.
class MirrorTest : public DiscoveryTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Points the plug-in at a mirror URL (a fresh INI file each time).
  void use_url(const std::string& url);
  // One GetInfo call with a fresh progress window; its texts are kept in texts_.
  bool get_info(int cancel_at = 0);
  // The same, with the user cancelling from ms milliseconds into the call on.
  bool get_info_cancelled_after(DWORD ms);
  // The archive the request names, or "" when it names none.
  std::string requested_url() const;
  // A listing that went through without an archive: logged, not offered, nothing requested.
  void expect_listing_without_archive(const std::string& host);

  std::unique_ptr<host::LoadedPlugin> plugin_;
  std::vector<std::string> texts_;
  int inis_ = 0;
};

}  // namespace testing_support
