// Mirrors that stall, drip or never end: GetInfo always ends, with the step's failure and the
// line that says why, or with the cancel when the user stops it; and it leaves no thread and no
// handle of its own behind.

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery_fixture.h"

using testing::ElementsAreArray;
using testing_support::server;

namespace {

// The threads of this process that run code of the plug-in's module.
int plugin_threads(HMODULE plugin) {
  MODULEINFO module{};
  if (!GetModuleInformation(GetCurrentProcess(), plugin, &module, sizeof module)) return -1;
  const auto base = reinterpret_cast<ULONG_PTR>(module.lpBaseOfDll);
  using query_thread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<query_thread>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (!query || snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
    const HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    ULONG_PTR start = 0;
    constexpr int kWin32StartAddress = 9;
    if (query(thread, kWin32StartAddress, &start, sizeof start, nullptr) == 0 && start >= base &&
        start < base + module.SizeOfImage) {
      ++count;
    }
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return count;
}

// The open handles of this process that a call could leave behind: sockets and files,
// events, semaphores and threads other than this one. (Wine's FTP code takes a mutex and a
// handle to the calling thread of its own on the first call that waits long.)
int open_handles() {
  using query_object = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<query_object>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
  if (!query) return -1;
  int count = 0;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    const HANDLE handle = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (!GetHandleInformation(handle, &flags)) continue;
    alignas(8) unsigned char type[1024] = {};
    constexpr int kObjectTypeInformation = 2;
    if (query(handle, kObjectTypeInformation, type, sizeof type, nullptr) != 0) continue;
    const auto* name = reinterpret_cast<const UNICODE_STRING*>(type);
    const std::wstring kind(name->Buffer, name->Length / sizeof(wchar_t));
    if (kind == L"Thread" && GetThreadId(handle) == GetCurrentThreadId()) continue;
    if (kind == L"File" || kind == L"Event" || kind == L"Semaphore" || kind == L"Thread") ++count;
  }
  return count;
}

const std::string kSilent = "サーバが20秒間応答しませんでした．";
const std::string kSlow = "ページの受信が遅すぎます（20秒間に1024バイト未満）．";
const std::string kSend = "GETリクエスト送信に失敗．";
const std::string kReceive = "データの受信に失敗．";
const std::string kList = "ファイルリストの取得に失敗．";

struct Hostile {
  const char* name;
  std::string scheme;
  int port;
  std::vector<std::string> lines;  // between the start and the end of GetInfo
  bool cancel_row;                 // a stall that a cancel 3 seconds in must end
  int proxy_port = 0;              // the misbehaving server is the proxy, not the mirror
};

// The address of the misbehaving servers, and the start of an FTP reply line in the log.
std::string hostile() { return server(40); }

const std::string kTimeOut = "GetLastErrorのエラーコード12002";
// The server's last reply, as a call that a bound ended reports it.
std::string response(const std::string& reply) {
  return "InternetGetLastResponsInfoは，コード12002と，メッセージ" + reply + "を返しました．";
}

std::vector<Hostile> hostile_servers() {
  return {
      {"AcceptsAndSaysNothing", "http", 81, {kSend, kSilent, kList}, true},
      {"NeverAnswersTheTlsHello", "https", 481, {kSend, kSilent, kList}, true},
      {"StatusLineThenNothing", "http", 82, {kSend, kSilent, kList}, true},
      {"StatusLineThenNothingOverTls", "https", 482, {kSend, kSilent, kList}, false},
      {"DripsTheHeaders", "http", 83, {kSend, kSilent, kList}, true},
      {"DripsTheHeadersOverTls", "https", 483, {kSend, kSilent, kList}, false},
      {"DripsTheBody", "http", 84, {kReceive, kSlow, kList}, true},
      {"DripsTheBodyOverTls", "https", 484, {kReceive, kSlow, kList}, false},
      {"EndlessBodyOfEntries",
       "http",
       85,
       {kReceive, "ページの項目が1000000件を超えたので読むのをやめました．", kList},
       false},
      {"EndlessHeaderLine", "http", 86, {kSend, kSilent, kList}, false},
      {"ResetDuringTheBody", "http", 87, {kReceive, kList}, false},
      {"ProxyAcceptsAndSaysNothing", "http", 0, {kSend, kSilent, kList}, true, 81},
      {"FtpSilentAfterItsGreeting",
       "ftp",
       2101,
       {"InternetConnect:" + kTimeOut, response("220 hostile mirror"), kSilent,
        hostile() + ":2101への接続に失敗．"},
       true},
      {"FtpSilentAfterPasv",
       "ftp",
       2102,
       {"FtpFindFirstFile:" + kTimeOut, response("200 ok"), kSilent, kList},
       true},
      {"FtpDataConnectionNeverAccepted",
       "ftp",
       2103,
       {"FtpFindFirstFile:" + kTimeOut, response("150 here it comes"), kSilent, kList},
       true},
  };
}

class Stalls : public testing_support::MirrorTest, public testing::WithParamInterface<Hostile> {
 protected:
  void SetUp() override {
    MirrorTest::SetUp();
    testing_support::trust_test_authority(DISCOVERY_STATE_DIR "tls/ca.der");
  }
  std::string url() {
    if (GetParam().proxy_port) {
      host::config().proxy = hostile();
      host::config().port = GetParam().proxy_port;
      // A mirror settle() did not reach: WinINet would reuse a direct connection it keeps.
      return "http://" + server(3) + "/pub/";
    }
    return GetParam().scheme + "://" + hostile() + ":" + std::to_string(GetParam().port) + "/pub/";
  }
  // The counts after a first, normal discovery: WinINet keeps threads and handles of its own.
  void settle() {
    // One of each kind: WinINet and the TLS library set up what they keep at first use (the
    // first failed read too).
    for (const std::string& mirror :
         {"http://" + server(2), "https://" + server(11), "ftp://" + server(5)}) {
      use_url(mirror + testing_support::kMirrorDirectory);
      ASSERT_TRUE(get_info()) << mirror;
    }
    use_url("http://" + hostile() + ":87/pub/");
    ASSERT_FALSE(get_info());
    handles_ = open_handles();
    ASSERT_GT(handles_, 0);
  }
  void expect_nothing_left() const {
    EXPECT_EQ(0, plugin_threads(plugin_->module()));
    // WinINet closes the idle connections it keeps from the first discoveries on its own time
    // (during a long row in the emulated machine): the count may fall, never rise.
    EXPECT_LE(open_handles(), handles_);
    EXPECT_EQ("", requested_url());
  }

  int handles_ = 0;
};

class CancelledStalls : public Stalls {};

std::vector<Hostile> stalls() {
  std::vector<Hostile> rows;
  for (const Hostile& row : hostile_servers()) {
    if (row.cancel_row) rows.push_back(row);
  }
  return rows;
}

// The longest any row may take: well past every bound, well short of a hang.
constexpr DWORD kGenerousMs = 180000;

}  // namespace

TEST_P(Stalls, EndWithTheStepsFailureAndWhy) {
  settle();
  clear_log();
  use_url(url());
  const DWORD start = GetTickCount();
  EXPECT_FALSE(get_info());
  EXPECT_LT(GetTickCount() - start, kGenerousMs);
  std::vector<std::string> expected = {"ispellの情報取得開始"};
  expected.insert(expected.end(), GetParam().lines.begin(), GetParam().lines.end());
  expected.push_back("ispellの情報取得終了");
  EXPECT_THAT(log(), ElementsAreArray(expected));
  EXPECT_EQ("失敗", texts_.back());
  expect_nothing_left();
}

TEST_P(CancelledStalls, CancelThreeSecondsInEndsTheCall) {
  settle();
  clear_log();
  use_url(url());
  const DWORD start = GetTickCount();
  EXPECT_FALSE(get_info_cancelled_after(3000));
  // Cancelled, not ended by the 20-second bound.
  EXPECT_LT(GetTickCount() - start, 15000u);
  EXPECT_THAT(log(),
              ElementsAreArray(std::vector<std::string>{
                  "ispellの情報取得開始", "キャンセルされました．", "ispellの情報取得終了"}));
  EXPECT_EQ("キャンセルされました．", texts_.back());
  expect_nothing_left();
}

std::string row_name(const testing::TestParamInfo<Hostile>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Hostile, Stalls, testing::ValuesIn(hostile_servers()), row_name);
INSTANTIATE_TEST_SUITE_P(Hostile, CancelledStalls, testing::ValuesIn(stalls()), row_name);
