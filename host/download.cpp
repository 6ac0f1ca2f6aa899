#include "host/download.h"

#include <wininet.h>

#include <vector>

#include "host/progress_window.h"
#include "support/handles.h"

namespace host {
namespace {

using InternetHandle = orelib::internet_handle;

// Owns a file being written; deletes it unless kept.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path)
      : path_(path),
        handle_(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~OutputFile() {
    handle_.reset();  // a file still open cannot be deleted
    if (!keep_) DeleteFileA(path_.c_str());
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  bool is_open() const { return static_cast<bool>(handle_); }
  bool write(const char* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(handle_.get(), data, size, &written, nullptr) && written == size;
  }
  void keep() { keep_ = true; }

 private:
  std::string path_;
  orelib::file_handle handle_;
  bool keep_ = false;
};

std::string error_text(const char* what) {
  const DWORD code = GetLastError();
  std::string text = std::string(what) + " failed, error " + std::to_string(code);
  DWORD response_code = 0;
  char response[1024] = {};
  DWORD length = sizeof response;
  if (InternetGetLastResponseInfoA(&response_code, response, &length) && length > 0)
    text += std::string(": ") + response;
  return text;
}

InternetHandle open_session() {
  return InternetHandle(
      InternetOpenA("ReferenceHost", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

InternetHandle open_url(HINTERNET session, const std::string& url) {
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PASSIVE;
  return InternetHandle(InternetOpenUrlA(session, url.c_str(), nullptr, 0, flags, 0));
}

// https too: its status and dates come the same way.
bool is_http(const std::string& url) {
  return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

}  // namespace

DownloadResult download_file(const std::string& url, const std::string& path,
                             ProgressWindow* progress) {
  DownloadResult result;
  InternetHandle session = open_session();
  if (!session) {
    result.error = error_text("InternetOpen");
    return result;
  }
  DWORD timeout = 20000;
  InternetSetOptionA(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
  InternetHandle request = open_url(session.get(), url);
  if (!request) {
    result.error = error_text("InternetOpenUrl");
    return result;
  }
  if (is_http(url)) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                       &size, nullptr) &&
        status >= 400) {
      result.error = "HTTP status " + std::to_string(status);
      return result;
    }
  }
  OutputFile file(path);
  if (!file.is_open()) {
    result.error = "cannot create " + path;
    return result;
  }
  if (progress) {
    // The host's own step starts on a line of its own after the plug-in's last text.
    const std::string shown = progress->text();
    if (!shown.empty() && shown.back() != '\n') progress->append("\r\n");
    progress->append(url + " をダウンロード……");
  }
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
      result.error = error_text("InternetReadFile");
      if (progress) progress->append("失敗\r\n");
      return result;
    }
    if (read == 0) break;
    if (!file.write(buffer.data(), read)) {
      result.error = "cannot write " + path;
      if (progress) progress->append("失敗\r\n");
      return result;
    }
    result.bytes += read;
  }
  file.keep();
  result.ok = true;
  if (progress) progress->append("成功 (" + std::to_string(result.bytes) + " バイト)\r\n");
  return result;
}

std::optional<SYSTEMTIME> remote_file_time(const std::string& url) {
  InternetHandle session = open_session();
  if (!session) return std::nullopt;
  SYSTEMTIME time{};
  if (is_http(url)) {
    InternetHandle request = open_url(session.get(), url);
    DWORD size = sizeof time;
    if (request &&
        HttpQueryInfoA(request.get(), HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &time,
                       &size, nullptr))
      return time;
    return std::nullopt;
  }
  // ftp://host[:port]/dir/name: list the one file, on the URL's port.
  if (url.rfind("ftp://", 0) != 0) return std::nullopt;
  char host_name[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
  char path[INTERNET_MAX_PATH_LENGTH + 1] = {};
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host_name;
  parts.dwHostNameLength = sizeof host_name;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof path;
  if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts) || !*host_name || !*path) return std::nullopt;
  InternetHandle connection(InternetConnectA(session.get(), host_name, parts.nPort, "anonymous",
                                             "a@b", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE,
                                             0));
  if (!connection) return std::nullopt;
  WIN32_FIND_DATAA entry{};
  InternetHandle find(FtpFindFirstFileA(connection.get(), path, &entry, INTERNET_FLAG_RELOAD, 0));
  if (!find || !FileTimeToSystemTime(&entry.ftLastWriteTime, &time)) return std::nullopt;
  return time;
}

}  // namespace host
