// Mirrors that stall, drip or never end: GetInfo always ends, with the step's failure and the
// line that says why, or with the cancel when the user stops it; it leaves no thread and no
// handle of its own behind, and the host's own connections and listeners meanwhile untouched.

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "discovery_fixture.h"
#include "host_traffic.h"
#include "import_slot.h"

using testing::Contains;
using testing::ElementsAreArray;
using testing::Not;
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
const std::string kUnfinished =
    "サーバは応答しましたが，ファイル一覧の受信が20秒以内に終わりませんでした．";
// A call that its closed handles did not end, left to end on its own (its module pinned).
const std::string kLeft =
    "打ち切った通信の呼び出しが25秒たっても戻らないので，戻るのを待たずに終えました．";

const std::string kCancelled = "キャンセルされました．";

// A cancel 3 seconds into the row's call: none tried, the call ends, or Wine's WinINet is not
// woken by the close of its handles and the call is left to itself.
enum class Cancel { none, ends, left };

// What a row does beyond one discovery against its server.
enum class Twist {
  none,
  answers_first,     // the server answered a first discovery normally, on the same connection
  twice,             // a second discovery in a row runs into the same bound
  cancel_at_bound,   // the user cancels in the same 100 ms as the bound: either end is right
  arrives_steadily,  // data keeps coming: the archive is found, or the failure never says silence
  held,              // the plug-in's HttpSendRequestA returns only when the test lets it
};

struct Hostile {
  const char* name;
  std::string scheme;
  int port;
  std::vector<std::string> lines;  // between the start and the end of GetInfo
  Cancel cancel;                   // what a cancel 3 seconds in does
  int proxy_port = 0;              // the misbehaving server is the proxy, not the mirror
  Twist twist = Twist::none;
  int address = 40;  // the server's (see servers.py)
};

// The address of the misbehaving servers, and the start of an FTP reply line in the log.
std::string hostile() { return server(40); }

const std::string kTimeOut = "GetLastErrorのエラーコード12002";
// The server's last reply, as a call that a bound ended reports it.
std::string response(const std::string& reply) {
  return "InternetGetLastResponsInfoは，コード12002と，メッセージ" + reply + "を返しました．";
}

std::vector<Hostile> hostile_servers() {
  using C = Cancel;
  using T = Twist;
  // Wine's WinINet is not woken by the close where a row's lines begin with kLeft.
  const std::vector<std::string> silent = {kSend, kSilent, kList};
  const std::vector<std::string> left = {kLeft, kSend, kSilent, kList};
  return {
      {"AcceptsAndSaysNothing", "http", 81, silent, C::ends},
      {"NeverAnswersTheTlsHello", "https", 481, left, C::left},
      {"StatusLineThenNothing", "http", 82, silent, C::left},
      {"StatusLineThenNothingOverTls", "https", 482, silent, C::none},
      {"DripsTheHeaders", "http", 83, left, C::left},
      {"DripsTheHeadersOverTls", "https", 483, left, C::none},
      {"DripsTheBody", "http", 84, {kReceive, kSlow, kList}, C::ends},
      {"DripsTheBodyOverTls", "https", 484, {kReceive, kSlow, kList}, C::none},
      {"EndlessBodyOfEntries",
       "http",
       85,
       {kReceive, "ページの項目が1000000件を超えたので読むのをやめました．", kList},
       C::none},
      {"EndlessHeaderLine", "http", 86, left, C::none},
      {"ResetDuringTheBody", "http", 87, {kReceive, kList}, C::none},
      {"ProxyAcceptsAndSaysNothing", "http", 0, silent, C::ends, 81},
      {"FtpSilentAfterItsGreeting",
       "ftp",
       2101,
       {"InternetConnect:" + kTimeOut, response("220 hostile mirror"), kSilent,
        hostile() + ":2101への接続に失敗．"},
       C::ends},
      {"FtpSilentAfterPasv",
       "ftp",
       2102,
       {"FtpFindFirstFile:" + kTimeOut, response("200 ok"), kSilent, kList},
       C::left},
      // The server's last reply stays with the thread left to itself.
      {"FtpDataConnectionNeverAccepted",
       "ftp",
       2103,
       {kLeft, "FtpFindFirstFile:" + kTimeOut, kUnfinished, kList},
       C::left},
      {"KeptConnectionDripsTheSecondResponse", "http", 88, left, C::left, 0, T::answers_first},
      {"FtpListingArrivesSteadilyForFortySeconds",
       "ftp",
       2104,
       {},
       C::none,
       0,
       T::arrives_steadily},
      {"ClosesDuringTheTlsHandshake",
       "https",
       443,
       {kSend, "TLS接続かサーバ証明書の検証がエラーコード12157で失敗しました．", kList},
       C::none,
       0,
       T::none,
       17},
      {"SilentTwiceInARow", "http", 81, silent, C::none, 0, T::twice},
      {"CancelInTheSame100msAsTheBound", "http", 81, silent, C::none, 0, T::cancel_at_bound},
      {"CallThatNothingEnds", "http", 80, left, C::none, 0, T::held, 2},
  };
}

// The plug-in's import of HttpSendRequestA, replaced by a call that waits for the test's event
// (set at the latest 90 seconds on) and then fails as a request whose handle was closed.
class HeldSend {
 public:
  explicit HeldSend(HMODULE plugin) : plugin_(plugin) {
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    returned_ = 0;
    real_ = testing_support::replace_import(plugin, "wininet.dll", "HttpSendRequestA",
                                            reinterpret_cast<void*>(&held));
    timer_ = CreateThread(nullptr, 0, &release_later, nullptr, 0, nullptr);
  }
  ~HeldSend() {
    release();
    WaitForSingleObject(timer_, INFINITE);
    CloseHandle(timer_);
    // Later rows of this process load the pinned module again.
    HMODULE still = nullptr;
    if (real_ && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                        GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                    reinterpret_cast<LPCSTR>(plugin_), &still)) {
      testing_support::replace_import(plugin_, "wininet.dll", "HttpSendRequestA", real_);
    }
    CloseHandle(event_);
  }
  HeldSend(const HeldSend&) = delete;
  HeldSend& operator=(const HeldSend&) = delete;

  bool replaced() const { return real_ != nullptr; }
  static void release() { SetEvent(event_); }
  static LONG returned() { return returned_; }

 private:
  static BOOL WINAPI held(HINTERNET, LPCSTR, DWORD, LPVOID, DWORD) {
    WaitForSingleObject(event_, INFINITE);
    InterlockedIncrement(&returned_);
    SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
    return FALSE;
  }
  static DWORD WINAPI release_later(void*) {
    if (WaitForSingleObject(event_, 90000) == WAIT_TIMEOUT) release();
    return 0;
  }

  static HANDLE event_;
  static volatile LONG returned_;
  HMODULE plugin_;
  void* real_ = nullptr;
  HANDLE timer_ = nullptr;
};

HANDLE HeldSend::event_ = nullptr;
volatile LONG HeldSend::returned_ = 0;

// Polls until the plug-in runs no thread any more, for at most two minutes; the count left.
int plugin_threads_after_a_while(HMODULE plugin) {
  int threads = plugin_threads(plugin);
  for (int i = 0; i < 1200 && threads != 0; ++i) {
    Sleep(100);
    threads = plugin_threads(plugin);
  }
  return threads;
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
    return GetParam().scheme + "://" + server(GetParam().address) + ":" +
           std::to_string(GetParam().port) + "/pub/";
  }
  // Everything before the discovery the row is about.
  void prepare() {
    settle();
    use_url(url());
    if (GetParam().twist == Twist::answers_first) {
      ASSERT_TRUE(get_info());
      EXPECT_EQ(url() + "ispell-3.3.02-w32.tar.xz", requested_url());
    }
    clear_log();
  }
  void expect_lines(const std::vector<std::string>& lines) const {
    std::vector<std::string> expected = {"ispellの情報取得開始"};
    expected.insert(expected.end(), lines.begin(), lines.end());
    expected.push_back("ispellの情報取得終了");
    EXPECT_THAT(log(), ElementsAreArray(expected));
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
  // No thread or handle left, and nothing requested but what was found.
  void expect_nothing_left(bool found = false) const {
    // A call left to itself ends when the server lets go (hostile.py: within a minute).
    const bool left = testing::Value(log(), Contains(kLeft));
    EXPECT_EQ(0, left ? plugin_threads_after_a_while(plugin_->module())
                      : plugin_threads(plugin_->module()));
    // WinINet closes the idle connections it keeps from the first discoveries on its own time
    // (during a long row in the emulated machine): the count may fall, never rise.
    // A listing cut while it still arrives leaves WinINet a connection to close on its own time
    // (about 20 s under Wine): the count is read once it has had that long to fall.
    int handles = open_handles();
    for (int i = 0; i < 600 && handles > handles_; ++i) {
      Sleep(100);
      handles = open_handles();
    }
    EXPECT_LE(handles, handles_);
    if (!found) {
      EXPECT_EQ("", requested_url());
    }
  }

  int handles_ = 0;
};

class CancelledStalls : public Stalls {};

std::vector<Hostile> stalls() {
  std::vector<Hostile> rows;
  for (const Hostile& row : hostile_servers()) {
    if (row.cancel != Cancel::none) rows.push_back(row);
  }
  return rows;
}

// The longest any row may take: well past every bound, well short of a hang.
constexpr DWORD kGenerousMs = 180000;
// A call that nothing ends: GetInfo returns at most this long after its 20-second bound.
constexpr DWORD kBoundMs = 20000;
constexpr DWORD kLeftWithinMs = 30000;

}  // namespace

TEST_P(Stalls, EndWithTheStepsFailureAndWhy) {
  ASSERT_NO_FATAL_FAILURE(prepare());
  const Twist twist = GetParam().twist;
  std::unique_ptr<HeldSend> held;
  if (twist == Twist::held) {
    held = std::make_unique<HeldSend>(plugin_->module());
    ASSERT_TRUE(held->replaced());
  }
  const int runs = twist == Twist::twice ? 2 : 1;
  for (int run = 0; run < runs; ++run) {
    SCOPED_TRACE(run);
    clear_log();
    testing_support::HostTraffic traffic(server(41));
    const DWORD start = GetTickCount();
    const bool found =
        twist == Twist::cancel_at_bound ? get_info_cancelled_after(20000) : get_info();
    EXPECT_LT(GetTickCount() - start,
              twist == Twist::held ? kBoundMs + kLeftWithinMs : kGenerousMs);
    EXPECT_EQ("", traffic.finish()) << "the host's own sockets";
    if (twist == Twist::arrives_steadily && found) {
      expect_lines({});
      EXPECT_EQ(url() + "ispell-3.3.02-w32.tar.xz", requested_url());
    } else if (twist == Twist::arrives_steadily) {
      // About 38 KB came in every 20 s: neither silent nor too slow.
      const std::vector<std::string> lines = log();
      EXPECT_THAT(lines, Not(Contains(kSilent)));
      EXPECT_THAT(lines, Not(Contains(kSlow)));
      ASSERT_GE(lines.size(), 3u);
      EXPECT_EQ(kList, lines[lines.size() - 2]);
    } else if (twist == Twist::cancel_at_bound && texts_.back() == kCancelled) {
      expect_lines({kCancelled});
    } else {
      EXPECT_FALSE(found);
      expect_lines(GetParam().lines);
      EXPECT_EQ("失敗", texts_.back());
    }
    if (twist != Twist::held && run == runs - 1) expect_nothing_left(found);
  }
  if (twist == Twist::held) {
    // Returned while the call still waits: its thread runs on, and the module stays loaded.
    EXPECT_EQ(0, HeldSend::returned());
    EXPECT_EQ("", requested_url());
    const HMODULE module = plugin_->module();
    EXPECT_EQ(1, plugin_threads(module));
    plugin_.reset();
    EXPECT_EQ(module, GetModuleHandleA("ispell.dll"));
    HeldSend::release();
    EXPECT_EQ(0, plugin_threads_after_a_while(module));
    EXPECT_EQ(1, HeldSend::returned());
  }
}

TEST_P(CancelledStalls, CancelThreeSecondsInEndsTheCall) {
  ASSERT_NO_FATAL_FAILURE(prepare());
  testing_support::HostTraffic traffic(server(41));
  const DWORD start = GetTickCount();
  EXPECT_FALSE(get_info_cancelled_after(3000));
  EXPECT_LT(GetTickCount() - start, kGenerousMs);
  EXPECT_EQ("", traffic.finish()) << "the host's own sockets";
  // Cancelled, not ended by the 20-second bound.
  if (GetParam().cancel == Cancel::left) {
    expect_lines({kLeft, kCancelled});
  } else {
    expect_lines({kCancelled});
  }
  EXPECT_EQ(kCancelled, texts_.back());
  expect_nothing_left();
}

std::string row_name(const testing::TestParamInfo<Hostile>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Hostile, Stalls, testing::ValuesIn(hostile_servers()), row_name);
INSTANTIATE_TEST_SUITE_P(Hostile, CancelledStalls, testing::ValuesIn(stalls()), row_name);
