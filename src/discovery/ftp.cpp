#include "discovery/ftp.h"

namespace GetInfo {

FTP::FTP(const orelib::string& host, INTERNET_PORT port) : session(host, port) {}

bool FTP::connect(int timeout_seconds) { return session.connect(timeout_seconds); }

bool FTP::change_directory(const char* directory) {
  const HINTERNET connection = session.connection.get();
  api_failure failure;
  if (session.run([&] { return FtpSetCurrentDirectoryA(connection, directory) != FALSE; }, true,
                  failure)) {
    return true;
  }
  session.report("FtpSetCurrentDirectory", failure);
  return false;
}

bool ftp_raw_listing(ftp_session& session, std::vector<ftp_file>& files) {
  files.clear();
  const HINTERNET connection = session.connection.get();
  // The whole listing is read in the search's calls, the data connection included: they run
  // under the bounds, and the names are taken there too.
  std::vector<ftp_file> found;
  api_failure failure;
  const bool ok = session.run(
      [&] {
        WIN32_FIND_DATAA record{};
        internet_handle find(
            FtpFindFirstFileA(connection, "*.*", &record, INTERNET_FLAG_RELOAD, 0));
        if (!find) return false;
        do {
          ftp_file file;
          record.cFileName[MAX_PATH - 1] = '\0';
          file.name = record.cFileName;
          file.size = record.nFileSizeLow;
          FileTimeToSystemTime(&record.ftLastWriteTime, &file.time.value);
          file.time.valid = true;
          found.push_back(file);
        } while (InternetFindNextFileA(find.get(), &record));
        return true;
      },
      true, failure);
  if (!ok) {
    session.report("FtpFindFirstFile", failure);
    return false;
  }
  files.swap(found);
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
