#include "install/download_request.h"

#include "discovery/discovery_state.h"
#include "plugin/host_module.h"

namespace {
DownloadRequest g_request{};
DownloadFile g_file{};
}  // namespace

DownloadRequest build_download_request() {
  g_request = DownloadRequest{};

  HostModule host;
  host.bind();
  if (!host.call_bool<host_service::USESNETWORK>()) {
    g_request.ok = true;  // nothing to fetch: Install uses the archive already saved
  } else if (g_discovery.info_result && g_discovery.archive_found) {
    // A listing without an archive leaves the request empty: asking for the directory's URL
    // would have the host overwrite the saved archive with an index page.
    g_file.url = g_discovery.download_url.c_str();
    g_file.name = kLocalArchiveName;
    g_file.size = g_discovery.remote_size;
    g_request.ok = true;
    g_request.count = 1;
    g_request.files = &g_file;
  }
  return g_request;
}
