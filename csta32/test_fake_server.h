// Stand-ins for the switch in the library's tests: an in-process session host
// (as the embedded switch is reached) and a TCP server (as telsim is). Both
// answer requests through the same replies, so the tests can tell exactly
// which events come back.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "csta32/internal.h"
#include "csta32/wire/wire.h"
#include "platform/net.h"
#include "platform/platform.h"

// Waits until `done` holds, giving up after `ms` (a state another thread
// reaches, never a guess at how long it takes): false on the deadline.
inline bool waitUntil(const std::function<bool()>& done, unsigned ms = 20000) {
  const std::uint64_t end = plat_millis() + ms;
  while (!done()) {
    if (plat_millis() > end) return false;
    plat_yield();
  }
  return true;
}

// The events a plain switch answers a request with: the open and close
// confirmations (a login "bad" is refused), the _CONF of every other request,
// an escape service echoing its private data.
std::vector<wire::Event> standardReplies(const wire::Request& r);
// The confirmation type of an operation.
EventType_t confirmationType(wire::Op op);

class FakeHost : public csta32::SessionHost {
 public:
  typedef std::function<std::vector<wire::Event>(const wire::Request&)> Replier;

  std::uint32_t openSession(csta32::FrameSink deliver) override;
  void onFrame(std::uint32_t session, const std::uint8_t* data, std::size_t len) override;
  void closeSession(std::uint32_t session) override;

  void send(std::uint32_t session, const wire::Event& e);
  void sendRaw(std::uint32_t session, const std::vector<std::uint8_t>& frame);
  void drop(std::uint32_t session);  // the switch lets the link go
  std::uint32_t lastSession();
  std::size_t sessions();
  std::vector<wire::Request> requests();
  std::size_t badFrames();

  std::atomic<bool> down{false};
  Replier replier = standardReplies;

 private:
  std::recursive_mutex m_;  // held while delivering, as the switch does
  std::map<std::uint32_t, csta32::FrameSink> sinks_;
  std::uint32_t last_ = 0;
  std::vector<wire::Request> requests_;
  std::size_t bad_ = 0;
};

class FakeTcpServer {
 public:
  FakeTcpServer() {}
  ~FakeTcpServer() { stop(); }
  // Listens on 127.0.0.1:port (0 picks one); false when the port is taken.
  bool start(int port = 0);
  // The server goes away: listener and every connection closed.
  void stop();
  int port() const { return port_; }
  // Sends bytes to every connection as they are (garbage, split frames...).
  void sendRawToAll(const std::vector<std::uint8_t>& bytes, bool oneByteAtATime = false);
  std::size_t connections();
  // Waits until `n` requests have arrived (the test's only way to know the
  // server has seen them), at most 20 s; the requests so far.
  std::vector<wire::Request> waitForRequests(std::size_t n);

  FakeHost::Replier replier = standardReplies;

 private:
  void acceptLoop(plat_socket listener);
  void serve(plat_socket s);

  plat_socket listener_ = PLAT_INVALID_SOCKET;
  int port_ = 0;
  std::thread acceptor_;
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<plat_socket> conns_;
  std::vector<std::thread> servers_;
  std::vector<wire::Request> requests_;
};
