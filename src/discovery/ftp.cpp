#include "discovery/ftp.h"

namespace GetInfo {

FTP::FTP(const orelib::string& host, INTERNET_PORT port) : session(host, port) {}

bool FTP::connect(int timeout_seconds) { return session.connect(timeout_seconds); }

bool FTP::change_directory(const char* directory) {
  if (FtpSetCurrentDirectoryA(session.connection.get(), directory)) return true;
  report_api_failure("FtpSetCurrentDirectory", true);
  return false;
}

bool ftp_raw_listing(ftp_session& session, std::vector<ftp_file>& files) {
  files.clear();
  WIN32_FIND_DATAA record{};
  internet_handle find(
      FtpFindFirstFileA(session.connection.get(), "*.*", &record, INTERNET_FLAG_RELOAD, 0));
  if (!find) {
    report_api_failure("FtpFindFirstFile", true);
    return false;
  }
  do {
    ftp_file file;
    record.cFileName[MAX_PATH - 1] = '\0';
    file.name = record.cFileName;
    file.size = record.nFileSizeLow;
    FileTimeToSystemTime(&record.ftLastWriteTime, &file.time.value);
    file.time.valid = true;
    files.push_back(file);
  } while (InternetFindNextFileA(find.get(), &record));
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

orelib::string FTP::scheme() { return "ftp"; }

}  // namespace GetInfo
