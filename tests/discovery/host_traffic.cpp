#include "host_traffic.h"

#include <ws2tcpip.h>

#include <cstring>

namespace testing_support {
namespace {

constexpr DWORD kStartMs = 1000;
constexpr DWORD kEveryMs = 200;

// Receives exactly size bytes; the error, or 0.
int receive_all(SOCKET socket, char* data, int size) {
  for (int got = 0; got < size;) {
    const int n = recv(socket, data + got, size - got, 0);
    if (n == 0) return WSAECONNRESET;
    if (n < 0) return WSAGetLastError();
    got += n;
  }
  return 0;
}

void close_socket(SOCKET& socket) {
  if (socket != INVALID_SOCKET) closesocket(socket);
  socket = INVALID_SOCKET;
}

}  // namespace

HostTraffic::HostTraffic(const std::string& address) : address_(address) {
  WSADATA data;
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  exchanger_ = CreateThread(nullptr, 0, &exchange_main, this, 0, nullptr);
}

HostTraffic::~HostTraffic() {
  if (stop_) SetEvent(stop_);
  close_all();
  if (started_) WSACleanup();
}

void HostTraffic::close_all() {
  if (exchanger_) {
    WaitForSingleObject(exchanger_, INFINITE);
    CloseHandle(exchanger_);
    exchanger_ = nullptr;
  }
  // Ends a pending accept, if any.
  close_socket(listener_);
  if (acceptor_) {
    WaitForSingleObject(acceptor_, INFINITE);
    CloseHandle(acceptor_);
    acceptor_ = nullptr;
  }
  for (SOCKET* socket : {&client_, &peer_, &accepted_}) close_socket(*socket);
  if (stop_) CloseHandle(stop_);
  stop_ = nullptr;
}

void HostTraffic::fail(const char* step, int error) {
  if (error_.empty()) error_ = std::string(step) + " " + std::to_string(error);
}

// One line from the client to the peer and back.
bool HostTraffic::round_trip(const char* step) {
  char line[16] = {};
  const int size = wsprintfA(line, "line %06d\n", ++lines_);
  if (send(client_, line, size, 0) != size) return fail(step, WSAGetLastError()), false;
  char echo[16] = {};
  if (const int error = receive_all(peer_, echo, size)) return fail(step, error), false;
  if (send(peer_, echo, size, 0) != size) return fail(step, WSAGetLastError()), false;
  if (const int error = receive_all(client_, echo, size)) return fail(step, error), false;
  if (std::memcmp(line, echo, size) != 0) return fail(step, 0), false;
  return true;
}

DWORD WINAPI HostTraffic::exchange_main(void* self) {
  static_cast<HostTraffic*>(self)->exchange();
  return 0;
}

DWORD WINAPI HostTraffic::accept_main(void* self) {
  auto* traffic = static_cast<HostTraffic*>(self);
  traffic->accepted_ = accept(traffic->listener_, nullptr, nullptr);
  if (traffic->accepted_ == INVALID_SOCKET) traffic->accept_error_ = WSAGetLastError();
  return 0;
}

void HostTraffic::exchange() {
  // Opened after the plug-in's call began, whatever the call does meanwhile.
  Sleep(kStartMs);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  inet_pton(AF_INET, address_.c_str(), &where.sin_addr);
  int length = sizeof where;
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET || bind(listener_, reinterpret_cast<sockaddr*>(&where), length) ||
      listen(listener_, 4) || getsockname(listener_, reinterpret_cast<sockaddr*>(&where), &length))
    return fail("listen", WSAGetLastError());
  client_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (client_ == INVALID_SOCKET || connect(client_, reinterpret_cast<sockaddr*>(&where), length))
    return fail("connect", WSAGetLastError());
  peer_ = accept(listener_, nullptr, nullptr);
  if (peer_ == INVALID_SOCKET) return fail("accept", WSAGetLastError());
  acceptor_ = CreateThread(nullptr, 0, &accept_main, this, 0, nullptr);
  do {
    if (!round_trip("exchange")) return;
  } while (WaitForSingleObject(stop_, kEveryMs) == WAIT_TIMEOUT);
}

std::string HostTraffic::finish() {
  SetEvent(stop_);
  WaitForSingleObject(exchanger_, INFINITE);
  if (error_.empty() && !acceptor_) fail("nothing was opened", 0);
  if (error_.empty()) {
    round_trip("after the call");
    sockaddr_in where{};
    int length = sizeof where;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&where), &length);
    SOCKET second = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connect(second, reinterpret_cast<sockaddr*>(&where), length)) {
      fail("connect after the call", WSAGetLastError());
      close_socket(listener_);  // ends the accept that waits
    }
    WaitForSingleObject(acceptor_, INFINITE);
    close_socket(second);
    if (accept_error_) fail("pending accept", accept_error_);
  }
  // Nothing of the host's own stays open to be counted as the plug-in's.
  close_all();
  return error_;
}

}  // namespace testing_support
