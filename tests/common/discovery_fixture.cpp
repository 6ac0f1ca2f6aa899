#include "discovery_fixture.h"

#include <wincrypt.h>

#include "config/setting.h"
#include "discovery/http.h"
#include "discovery/internet_handle.h"
#include "plugin/host_module.h"
#include "host/progress_window.h"

namespace testing_support {

std::vector<std::string> log_lines(const std::string& path) {
  const std::string bytes = read_file(path);
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type end = bytes.find("\r\n", start);
    if (end == std::string::npos) break;
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

void trust_test_authority(const std::string& der_path) {
  const std::string der = read_file(der_path);
  ASSERT_FALSE(der.empty()) << "the servers fixture made no test authority";
  const HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0,
                                         CERT_SYSTEM_STORE_CURRENT_USER, "Root");
  ASSERT_NE(nullptr, store) << GetLastError();
  // Deleted after the search: Wine's search does not go on past a deleted certificate.
  std::vector<PCCERT_CONTEXT> earlier;
  PCCERT_CONTEXT found = nullptr;
  while ((found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A,
                                             "ispell test authority", found)) != nullptr) {
    const std::string encoded(reinterpret_cast<const char*>(found->pbCertEncoded),
                              found->cbCertEncoded);
    if (encoded != der) earlier.push_back(CertDuplicateCertificateContext(found));
  }
  for (PCCERT_CONTEXT certificate : earlier) CertDeleteCertificateFromStore(certificate);
  const BOOL added = CertAddEncodedCertificateToStore(
      store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
      static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING, nullptr);
  const DWORD error = GetLastError();
  CertCloseStore(store, 0);
  EXPECT_TRUE(added) << error;
}

std::string fetch(const std::string& url) {
  const GetInfo::internet_handle internet(
      InternetOpenA("discovery-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!internet) return "";
  const GetInfo::internet_handle page(InternetOpenUrlA(
      internet.get(), url.c_str(), nullptr, 0,
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0));
  if (!page) return "";
  std::string body;
  char chunk[4096];
  DWORD read = 0;
  while (InternetReadFile(page.get(), chunk, sizeof chunk, &read) && read > 0)
    body.append(chunk, read);
  return body;
}

GetInfo::file_list parse_page(const std::string& page) {
  GetInfo::file_list list;
  HostModule host;
  if (!host.bind()) return list;
  GetInfo::index_parser parser(host, list);
  // As the reader hands it over: with room for one byte more.
  std::vector<char> read(page.begin(), page.end());
  read.push_back('\0');
  parser.write(read.data(), page.size());
  parser.finish();
  return list;
}

std::vector<std::string> complete_texts(const std::string& host) {
  return {"♪ispellの情報取得♪\r\n",       host + "に接続……",
          "成功\r\nディレクトリの移動……", "成功\r\nファイル一覧の取得……",
          "成功\r\nファイル情報の取得……", "成功\r\n切断"};
}

void DiscoveryTest::SetUp() {
  host::reset();
  host::config().hozon_dir = dir_.path();
  g_discovery = discovery_state{};
  g_setting.log_file = log_path();
}

void DiscoveryTest::TearDown() {
  g_setting.log_file.clear();
  g_setting.url.clear();
}

void DiscoveryTest::clear_log() const { DeleteFileA(log_path().c_str()); }

void MirrorTest::SetUp() {
  DiscoveryTest::SetUp();
  plugin_ = std::make_unique<host::LoadedPlugin>(plugin_path());
  ASSERT_TRUE(plugin_->ok()) << plugin_->missing();
}

void MirrorTest::TearDown() {
  plugin_.reset();
  DiscoveryTest::TearDown();
}

void MirrorTest::use_url(const std::string& url) {
  const std::string ini = dir_.file("plugin" + std::to_string(++inis_) + ".ini");
  write_file(ini, "[ispell]\r\nURL=" + url + "\r\n");
  plugin_->PluginInit(ini.c_str(), log_path().c_str());
}

bool MirrorTest::get_info(int cancel_at) {
  host::ProgressWindow window;
  window.cancel_at(cancel_at);
  const bool result = plugin_->GetInfo(window.hwnd());
  texts_ = window.texts();
  return result;
}

bool MirrorTest::get_info_cancelled_after(DWORD ms) {
  host::ProgressWindow window;
  window.cancel_after(ms);
  const bool result = plugin_->GetInfo(window.hwnd());
  texts_ = window.texts();
  return result;
}

std::string MirrorTest::requested_url() const {
  const DownloadRequest request = plugin_->GetDownloadData();
  if (!request.ok || request.count != 1 || !request.files) return "";
  return request.files->url;
}

void MirrorTest::expect_listing_without_archive(const std::string& host) {
  EXPECT_THAT(texts_, ::testing::ElementsAreArray(complete_texts(host)));
  EXPECT_THAT(log(), ::testing::ElementsAre("ispellの情報取得開始",
                                            "ミラーにispellのアーカイブがありません．",
                                            "ispellの情報取得終了"));
  EXPECT_FALSE(plugin_->IsDefault());
  const DownloadRequest request = plugin_->GetDownloadData();
  EXPECT_FALSE(request.ok);
  EXPECT_EQ(0, request.count);
  EXPECT_EQ(nullptr, request.files);
}

}  // namespace testing_support
