#include "discovery/ftp.h"

#include <memory>

namespace GetInfo {

FTP::FTP(const orelib::string& host, INTERNET_PORT port) : session(host, port) {}

bool FTP::connect(int timeout_seconds) { return session.connect(timeout_seconds); }

bool FTP::change_directory(const char* directory) {
  const orelib::string path = directory ? directory : "";
  api_failure failure;
  if (session.run(
          [path](session_handles& handles) {
            return FtpSetCurrentDirectoryA(handles.connection, path.c_str()) != FALSE;
          },
          true, failure)) {
    return true;
  }
  session.report("FtpSetCurrentDirectory", failure);
  return false;
}

bool ftp_raw_listing(ftp_session& session, std::vector<ftp_file>& files) {
  files.clear();
  // The whole listing is read in the search's calls, the data connection included: they run
  // under the bounds, and the names are taken there too, into the job's own list.
  const auto found = std::make_shared<std::vector<ftp_file>>();
  api_failure failure;
  const bool ok = session.run(
      [found](session_handles& handles) {
        WIN32_FIND_DATAA record{};
        const HINTERNET search = FtpFindFirstFileA(handles.connection, "*.*", &record,
                                                   INTERNET_FLAG_RELOAD, handles.context());
        if (!search) return false;
        // Kept where the session's close finds it; a search that comes after that close was
        // ended with its connection and is not touched.
        if (!handles.locked([&] { return (handles.search = search) != nullptr; })) return false;
        BOOL more = TRUE;
        while (more) {
          ftp_file file;
          record.cFileName[MAX_PATH - 1] = '\0';
          file.name = record.cFileName;
          file.size = record.nFileSizeLow;
          FileTimeToSystemTime(&record.ftLastWriteTime, &file.time.value);
          file.time.valid = true;
          found->push_back(file);
          // The next name and the close run under the lock: never after the session's close.
          more = handles.locked([&] { return InternetFindNextFileA(search, &record) != FALSE; });
        }
        const DWORD code = GetLastError();
        const bool closed_here = handles.locked([&] {
          InternetCloseHandle(search);
          handles.search = nullptr;
          return true;
        });
        SetLastError(code);
        return closed_here;
      },
      true, failure, true);
  if (!ok) {
    session.report("FtpFindFirstFile", failure);
    return false;
  }
  files.swap(*found);
  return true;
}

bool FTP::get_file_list(file_list& list) {
  std::vector<ftp_file> files;
  if (!ftp_raw_listing(session, files)) return false;
  for (const ftp_file& file : files) {
    file_info info;
    info.name = file.name;
    info.size = file.size;
    info.time = file.time;
    list.push_back(info);
  }
  return true;
}

bool FTP::cancelled() const { return session.cancelled(); }

orelib::string FTP::scheme() { return "ftp"; }

}  // namespace GetInfo
