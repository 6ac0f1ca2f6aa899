#include "discovery/get_info.h"

#include <memory>
#include <new>

#include "config/setting.h"
#include "discovery/discovery_state.h"
#include "discovery/driver.h"
#include "discovery/ftp.h"
#include "discovery/http.h"
#include "discovery/selection.h"
#include "discovery/url.h"
#include "plugin/host_module.h"
#include "plugin/log.h"
#include "plugin/plugin_abi.h"

namespace GetInfo {

namespace {

constexpr int kConnectTimeoutSeconds = 20;

void log_missing(const load_function& missing) {
  log_line("関数" + missing.name + "のロードに失敗．");
}

}  // namespace

void progress_text(const orelib::string& text) {
  SendMessageA(g_discovery.progress_window, PM_APPEND_PROGRESS, 0,
               reinterpret_cast<LPARAM>(text.c_str()));
}

bool cancel_requested() {
  return SendMessageA(g_discovery.progress_window, PM_QUERY_CANCEL, 0, 0) != 0;
}

bool report_failure(const orelib::string& sentence) {
  log_line(sentence);
  progress_text("失敗");
  return false;
}

bool report_cancel() {
  log_line("キャンセルされました．");
  progress_text("キャンセルされました．");
  return false;
}

orelib::string proxy_text(const HostModule& host) {
  const char* proxy = host.call<host_service::GETPROXY>();
  if (!proxy || lstrcmpA(proxy, "") == 0) return orelib::string();
  if (host.call<host_service::GETPORT>() == 0) return orelib::string();
  const orelib::string name = host.call_text<host_service::GETPROXY>();
  return name + ":" + orelib::lexical_cast<orelib::string>(host.call<host_service::GETPORT>());
}

bool run_listing(network& object) {
  HostModule host;
  if (!host.bind()) return report_failure("本体のロードに失敗．");

  progress_text(g_discovery.remote_host + "に接続……");
  if (!object.connect(kConnectTimeoutSeconds)) {
    if (object.cancelled()) return report_cancel();
    return report_failure(g_discovery.remote_host + "への接続に失敗．");
  }
  progress_text("成功\r\nディレクトリの移動……");
  if (cancel_requested()) return report_cancel();

  if (!object.change_directory(g_discovery.remote_directory.c_str())) {
    if (object.cancelled()) return report_cancel();
    return report_failure("カレントディレクトリの移動に失敗．");
  }
  progress_text("成功\r\nファイル一覧の取得……");
  if (cancel_requested()) return report_cancel();

  file_list listing;
  if (!object.get_file_list(listing)) {
    if (object.cancelled()) return report_cancel();
    return report_failure("ファイルリストの取得に失敗．");
  }
  // The archive is downloaded from where the listing came from.
  object.listing_location(g_discovery.remote_host, g_discovery.remote_directory);
  progress_text("成功\r\nファイル情報の取得……");
  if (cancel_requested()) return report_cancel();

  const orelib::string scheme = object.scheme();
  const bool ftp = scheme == "ftp";
  const archive_choice chosen = select_archive(
      host, listing, listing_url(scheme), ftp ? listed_names::file_names : listed_names::links);
  file_list().swap(listing);
  // A name matching the archive pattern is never empty.
  if (chosen.file.name.empty()) log_line("ミラーにispellのアーカイブがありません．");
  progress_text("成功\r\n切断");
  if (cancel_requested()) return report_cancel();

  decide_freshness(host, chosen);
  return true;
}

}  // namespace GetInfo

bool get_info(HWND progress_window) {
  using namespace GetInfo;
  g_discovery.progress_window = progress_window;
  progress_text("♪ispellの情報取得♪\r\n");

  HostModule host;
  host.bind();
  std::unique_ptr<network> object;
  try {
    if (!host.call_bool<host_service::USESNETWORK>()) {
      const bool result = check_local_archive(host);
      g_discovery.info_result = result;
      return result;
    }
    mirror_address mirror;
    if (!read_mirror_url(g_setting.url, mirror)) return false;
    if (mirror.scheme == "ftp") {
      object.reset(new FTP(mirror.name, mirror.port));
    } else {
      object.reset(new HTTP(proxy_text(host), http_server{mirror.scheme == "https", mirror.host,
                                                          mirror.name, mirror.port}));
    }
    const bool result = run_listing(*object);
    g_discovery.info_result = result;
    return result;
  } catch (const load_function& missing) {
    log_missing(missing);
    return false;
  } catch (const std::bad_alloc&) {
    // The protocol object still closes its handles and ends its thread as this returns.
    g_discovery.info_result = false;
    return report_failure("メモリが足りないため情報取得を中止しました．");
  }
}

void report_discovery_error() {
  g_discovery.info_result = false;
  try {
    GetInfo::report_failure("情報取得中にエラーが起きました．");
  } catch (...) {
  }
}
