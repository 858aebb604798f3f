// The two ways a stream reaches its server: a session of an in-process host
// (the embedded switch) or a TCP connection to a telsim process. Both carry
// the same frames.
#include <atomic>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "csta32/internal.h"
#include "csta32/wire/wire.h"
#include "platform/net.h"

namespace csta32 {

namespace {

// Never destroyed, as every object of the library that lives as long as
// the process: exit handlers may still use them.
std::mutex& localMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::map<std::string, SessionHost*>& localHosts() {
  static std::map<std::string, SessionHost*>* hosts = new std::map<std::string, SessionHost*>;
  return *hosts;
}

std::string upper(const std::string& s) {
  std::string u = s;
  for (auto& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

class SessionLink : public Link {
 public:
  SessionLink(SessionHost& host, std::uint32_t session) : host_(host), session_(session) {}
  ~SessionLink() override { close(); }
  bool send(const std::uint8_t* data, std::size_t len) override {
    if (closed_.load()) return false;
    host_.onFrame(session_, data, len);
    return true;
  }
  void close() override {
    if (!closed_.exchange(true)) host_.closeSession(session_);
  }

 private:
  SessionHost& host_;
  std::uint32_t session_;
  std::atomic<bool> closed_{false};
};

std::atomic<unsigned> g_sendTimeoutMs{15000};

class TcpLink : public Link {
 public:
  TcpLink(plat_socket s, FrameSink sink, RoomWait room)
      : sock_(s), sink_(std::move(sink)), room_(std::move(room)) {
    reader_ = std::thread([this] { readLoop(); });
  }
  ~TcpLink() override { close(); }

  bool send(const std::uint8_t* data, std::size_t len) override {
    std::lock_guard<std::mutex> lock(sendMutex_);
    return sendLocked(data, len, static_cast<int>(g_sendTimeoutMs.load()));
  }

  bool sendNoWait(const std::uint8_t* data, std::size_t len) override {
    std::unique_lock<std::mutex> lock(sendMutex_, std::try_to_lock);
    return lock.owns_lock() && sendLocked(data, len, 100);
  }

  void close() override {
    // A second close waits here until the first is through.
    std::lock_guard<std::mutex> lock(closeMutex_);
    if (finished_) return;
    closed_ = true;
    // Wakes the reader and a send stuck on a server that takes nothing.
    plat_sock_shutdown(sock_);
    if (reader_.joinable()) reader_.join();
    { std::lock_guard<std::mutex> sending(sendMutex_); }  // the send has returned
    plat_sock_close(sock_);
    finished_ = true;
  }

 private:
  bool sendLocked(const std::uint8_t* data, std::size_t len, int timeoutMs) {
    if (closed_.load()) return false;
    if (plat_sock_send_wait(sock_, data, len, timeoutMs) == static_cast<long>(len)) return true;
    // A stalled or gone server: the link is given up (part of a frame may
    // be out), and the reader reports the end.
    plat_sock_shutdown(sock_);
    return false;
  }

  // Splits the byte stream into frames, reading straight into one buffer
  // and handing each frame over where it lies. A header that cannot start a
  // frame means the stream is out of step: the link is given up, not resynced.
  void readLoop() {
    const std::size_t kChunk = 64 * 1024;
    std::vector<std::uint8_t> buf(kChunk);
    std::size_t start = 0, end = 0;
    for (;;) {
      if (room_ && !room_()) break;
      if (buf.size() - end < kChunk / 4) {
        if (start > 0) {
          std::memmove(buf.data(), buf.data() + start, end - start);
          end -= start;
          start = 0;
        }
        if (buf.size() - end < kChunk / 4) buf.resize(buf.size() * 2);
      }
      long n = plat_sock_recv(sock_, buf.data() + end, buf.size() - end);
      if (n <= 0) break;
      end += static_cast<std::size_t>(n);
      bool bad = false;
      for (;;) {
        long need = wire::frameLength(buf.data() + start, end - start);
        if (need < 0) {
          bad = true;
          break;
        }
        if (need == 0 || end - start < static_cast<std::size_t>(need)) break;
        sink_(buf.data() + start, static_cast<std::size_t>(need));
        start += static_cast<std::size_t>(need);
      }
      sink_(nullptr, 1);
      if (bad) break;
      if (start == end) start = end = 0;
      if (buf.size() > 4 * kChunk && end - start < kChunk / 2) {
        // A long frame is done with: give its room back.
        std::vector<std::uint8_t> small(buf.begin() + static_cast<std::ptrdiff_t>(start),
                                        buf.begin() + static_cast<std::ptrdiff_t>(end));
        small.resize(kChunk);
        buf.swap(small);
        end -= start;
        start = 0;
      }
    }
    if (!closed_.load()) sink_(nullptr, 0);
  }

  plat_socket sock_;
  FrameSink sink_;
  RoomWait room_;
  std::mutex sendMutex_;
  std::mutex closeMutex_;
  bool finished_ = false;
  std::atomic<bool> closed_{false};
  std::thread reader_;
};

}  // namespace

void registerLocalHost(const std::string& name, SessionHost* host) {
  std::lock_guard<std::mutex> lock(localMutex());
  if (host)
    localHosts()[upper(name)] = host;
  else
    localHosts().erase(upper(name));
}

SessionHost* findLocalHost(const std::string& name) {
  std::lock_guard<std::mutex> lock(localMutex());
  auto it = localHosts().find(upper(name));
  return it == localHosts().end() ? nullptr : it->second;
}

std::unique_ptr<Link> openSessionLink(SessionHost& host, FrameSink sink) {
  std::uint32_t session = host.openSession(std::move(sink));
  if (session == 0) return nullptr;
  return std::unique_ptr<Link>(new SessionLink(host, session));
}

std::unique_ptr<Link> openTcpLink(const std::string& host, int port, unsigned timeoutMs,
                                  FrameSink sink, RoomWait room) {
  plat_socket s = plat_tcp_connect(host.c_str(), port, timeoutMs);
  if (s == PLAT_INVALID_SOCKET) return nullptr;
  return std::unique_ptr<Link>(new TcpLink(s, std::move(sink), std::move(room)));
}

void setSendTimeoutMs(unsigned ms) { g_sendTimeoutMs = ms; }

}  // namespace csta32
