#pragma once
// What a host installer does with the network of its own while the plug-in runs: a second
// second into the call, on a thread of the host's, it opens a listening socket, connects to it
// and exchanges a line every 200 ms, while another of its threads waits to accept on the same
// listener. Whatever the plug-in does to end its own calls must leave all of that alone.

#include <winsock2.h>

#include <string>

namespace testing_support {

class HostTraffic {
 public:
  // Starts at once; address is the loopback address to listen on.
  explicit HostTraffic(const std::string& address);
  ~HostTraffic();
  HostTraffic(const HostTraffic&) = delete;
  HostTraffic& operator=(const HostTraffic&) = delete;

  // Ends the exchange, then checks that the connection still carries a line and that the
  // pending accept takes a new connection, and closes all: "" when the host never saw an
  // error, else the first one ("exchange 10053", for instance).
  std::string finish();

 private:
  static DWORD WINAPI exchange_main(void* self);
  static DWORD WINAPI accept_main(void* self);
  void exchange();
  bool round_trip(const char* step);
  void fail(const char* step, int error);
  void close_all();

  std::string address_;
  bool started_ = false;
  HANDLE stop_ = nullptr;
  HANDLE exchanger_ = nullptr;
  HANDLE acceptor_ = nullptr;
  SOCKET listener_ = INVALID_SOCKET;
  SOCKET client_ = INVALID_SOCKET;
  SOCKET peer_ = INVALID_SOCKET;
  SOCKET accepted_ = INVALID_SOCKET;
  int accept_error_ = 0;
  std::string error_;
  int lines_ = 0;
};

}  // namespace testing_support
