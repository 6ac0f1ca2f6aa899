#include "install_fixture.h"

#include "support/handles.h"
#include "support/orelib_string.h"

using testing_support::write_file;

namespace install_test {

std::string lower(std::string text) {
  orelib::to_lower(text);
  return text;
}

std::string slashes(std::string text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\')
      text[i] = '/';
    else if (IsDBCSLeadByte(static_cast<BYTE>(text[i])))
      ++i;
  }
  return text;
}

::testing::AssertionResult copy_tree(const std::string& from, const std::string& to) {
  if (!testing_support::is_directory(to) && !CreateDirectoryA(to.c_str(), nullptr))
    return ::testing::AssertionFailure() << to << " cannot be made, error " << GetLastError();
  WIN32_FIND_DATAA entry;
  const orelib::find_handle find(FindFirstFileA((from + "*").c_str(), &entry));
  if (!find)
    return ::testing::AssertionFailure() << from << " cannot be listed, error " << GetLastError();
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      const auto copied = copy_tree(from + name + "\\", to + name + "\\");
      if (!copied) result = copied;
    } else if (!CopyFileA((from + name).c_str(), (to + name).c_str(), FALSE)) {
      result = ::testing::AssertionFailure()
               << from + name << " cannot be copied, error " << GetLastError();
    }
  } while (FindNextFileA(find.get(), &entry));
  return result;
}

namespace {

FILETIME noon_of(WORD year) {
  const SYSTEMTIME time = testing_support::system_time(year, 1, 1, 12);
  FILETIME result{};
  SystemTimeToFileTime(&time, &result);
  return result;
}

}  // namespace

void set_year(const std::string& path, WORD year) {
  testing_support::set_write_time(path, testing_support::system_time(year, 1, 1, 12));
}

WORD year_of(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  SYSTEMTIME time;
  if (!FileTimeToSystemTime(&data.ftLastWriteTime, &time)) return 0;
  const FILETIME noon = noon_of(time.wYear);
  return CompareFileTime(&noon, &data.ftLastWriteTime) == 0 ? time.wYear : 0;
}

InstallTest::InstallTest() {
  host::reset();
  host::delete_registry_variable(true, "ISPELL_DICTDIR");
  host::delete_registry_variable(false, "HOME");
  // Wine hands the Unix HOME to Windows programs: start every test without either variable.
  set_env("ISPELL_DICTDIR", nullptr);
  set_env("HOME", nullptr);
  set_env("TMP", temp().c_str());
  set_env("TEMP", temp().c_str());

  for (const std::string& directory :
       {tex(), tex_bin(), hozon(), temp(), tree(), tree() + "ispell-w32\\",
        tree() + "ispell-w32\\bin\\", tree() + "ispell-w32\\dic\\"})
    CreateDirectoryA(directory.c_str(), nullptr);
  write_file(tree() + "ispell-w32\\bin\\ispell.exe", "ispell program");
  write_file(tree() + "ispell-w32\\bin\\buildhash.exe", "buildhash program");
  write_file(tree() + "ispell-w32\\bin\\readme.txt", "not a program");
  write_file(tree() + "ispell-w32\\dic\\english.hash", "english hash");
  write_file(tree() + "ispell-w32\\dic\\english.aff", "english affixes");

  write_file(ini(), std::string("[ispell]\r\nURL=") + kUrl + "\r\nISPELLDICTDIR=" + initial_dict() +
                        "\r\nHome=" + initial_home() + "\r\nIsURLList=0\r\n");

  host::Config& config = host::config();
  config.hozon_dir = hozon();
  config.install_dir = tex();
  config.tar_handler = [this](HWND, const std::string&, const std::string& destination) {
    const auto copied = copy_tree(tree(), destination);
    EXPECT_TRUE(copied);
    return static_cast<bool>(copied);
  };
}

InstallTest::~InstallTest() {
  host::delete_registry_variable(true, "ISPELL_DICTDIR");
  host::delete_registry_variable(false, "HOME");
  host::reset();
}

void InstallTest::set_env(const char* name, const char* value) {
  env_.push_back(std::make_unique<testing_support::ScopedEnv>(name, value));
}

void InstallTest::set_env(const char* name, const wchar_t* value) {
  env_.push_back(std::make_unique<testing_support::ScopedEnv>(name, value));
}

void InstallTest::unpack_as_of(WORD year) {
  host::config().tar_handler = [this, year](HWND, const std::string&, const std::string& to) {
    if (!copy_tree(tree(), to)) return false;
    for (const std::string& directory : {to + "ispell-w32\\bin\\", to + "ispell-w32\\dic\\"}) {
      WIN32_FIND_DATAA entry;
      const orelib::find_handle find(FindFirstFileA((directory + "*").c_str(), &entry));
      if (!find) continue;
      do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          set_year(directory + entry.cFileName, year);
      } while (FindNextFileA(find.get(), &entry));
    }
    return true;
  };
}

void InstallTest::answer_dirs(std::optional<std::string> dict, std::optional<std::string> home) {
  host::config().dir_answers = {dict, home};
}

bool InstallTest::run(int count, const InstallEntry* entries) {
  host::LoadedPlugin plugin(testing_support::plugin_path());
  EXPECT_TRUE(plugin.ok()) << plugin.missing();
  if (!plugin.ok()) return false;
  plugin.PluginInit(ini().c_str(), log().c_str());
  if (before_install) before_install();
  // The second argument is never read: any value will do.
  const bool result = plugin.Install(progress_.hwnd(), 0xDEADBEEF, count, entries);
  reboots_ = plugin.Reboots();
  plugin.unload();
  return result;
}

std::string InstallTest::saved(const char* key) const {
  char buffer[8192] = {};
  GetPrivateProfileStringA("ispell", key, "", buffer, sizeof buffer, ini().c_str());
  return buffer;
}

std::vector<host::EnvCall> InstallTest::env_calls(bool system) const {
  std::vector<host::EnvCall> calls;
  for (const host::EnvCall& call : host::env_calls())
    if (call.system == system) calls.push_back(call);
  return calls;
}

std::vector<std::string> InstallTest::success_texts() {
  return {"ispellを解凍……", "成功\r\nファイルのコピー……", "成功\r\nispell用の設定……", "成功\r\n"};
}

}  // namespace install_test
