// The two ways a stream reaches its server: a session of an in-process host
// (the embedded switch), which delivers frames from the switch's side, or a
// TCP connection to a telsim process, pulled by the application's threads.
// Both carry the same frames.
#include <atomic>
#include <cctype>
#include <condition_variable>
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
    // A second close returns only once the first is through.
    std::lock_guard<std::mutex> lock(closeMutex_);
    if (!closed_.exchange(true)) host_.closeSession(session_);
  }

 private:
  SessionHost& host_;
  std::uint32_t session_;
  std::mutex closeMutex_;
  std::atomic<bool> closed_{false};
};

std::atomic<unsigned> g_sendTimeoutMs{15000};
std::atomic<std::uint64_t> g_stalledSends{0};

void countStall(void*) { ++g_stalledSends; }

class TcpLink : public Link {
 public:
  TcpLink(plat_socket s, FrameSink sink) : sock_(s), sink_(std::move(sink)), buf_(kChunk) {}
  ~TcpLink() override { close(); }

  bool send(const std::uint8_t* data, std::size_t len) override {
    std::lock_guard<std::mutex> lock(sendMutex_);
    return sendLocked(data, len, static_cast<int>(g_sendTimeoutMs.load()));
  }

  bool sendNoWait(const std::uint8_t* data, std::size_t len) override {
    std::unique_lock<std::mutex> lock(sendMutex_, std::try_to_lock);
    return lock.owns_lock() && sendLocked(data, len, 100);
  }

  bool pulled() const override { return true; }

  bool pull(bool wait) override {
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      if (closed_ || gone_) return false;
      ++pulling_;
    }
    bool alive = readSome(wait);
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!alive) gone_ = true;
    if (--pulling_ == 0) idle_.notify_all();
    return alive && !closed_;
  }

  void close() override {
    std::unique_lock<std::mutex> lock(stateMutex_);
    // A second close waits here until the first is through.
    idle_.wait(lock, [&] { return !closing_; });
    if (closed_) return;
    closed_ = closing_ = true;
    // Wakes a pull and a send stuck on a server that takes nothing.
    plat_sock_shutdown(sock_);
    idle_.wait(lock, [&] { return pulling_ == 0; });
    lock.unlock();
    { std::lock_guard<std::mutex> sending(sendMutex_); }  // the send has returned
    plat_sock_close(sock_);
    lock.lock();
    closing_ = false;
    idle_.notify_all();
  }

 private:
  static const std::size_t kChunk = 64 * 1024;

  bool sendLocked(const std::uint8_t* data, std::size_t len, int timeoutMs) {
    if (closed_.load()) return false;
    if (plat_sock_send_wait(sock_, data, len, timeoutMs, countStall) == static_cast<long>(len)) return true;
    // A stalled or gone server: the link is given up (part of a frame may
    // be out); the next pull reports the end.
    plat_sock_shutdown(sock_);
    return false;
  }

  // One read, split into frames handed over where they lie. A header that
  // cannot start a frame means the stream is out of step: the link is given
  // up, not resynced. False once the link is gone.
  bool readSome(bool wait) {
    if (!wait && plat_sock_wait_readable(sock_, 0) != 1) return true;
    if (buf_.size() - end_ < kChunk / 4) {
      if (start_ > 0) {
        std::memmove(buf_.data(), buf_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
      }
      if (buf_.size() - end_ < kChunk / 4) buf_.resize(buf_.size() * 2);
    }
    long n = plat_sock_recv(sock_, buf_.data() + end_, buf_.size() - end_);
    if (n <= 0) {
      if (!closed_.load()) sink_(nullptr, 0);
      return false;
    }
    end_ += static_cast<std::size_t>(n);
    bool bad = false;
    for (;;) {
      long need = wire::frameLength(buf_.data() + start_, end_ - start_);
      if (need < 0) {
        bad = true;
        break;
      }
      if (need == 0 || end_ - start_ < static_cast<std::size_t>(need)) break;
      sink_(buf_.data() + start_, static_cast<std::size_t>(need));
      start_ += static_cast<std::size_t>(need);
    }
    sink_(nullptr, 1);
    if (bad) {
      sink_(nullptr, 0);
      return false;
    }
    if (start_ == end_) start_ = end_ = 0;
    if (buf_.size() > 4 * kChunk && end_ - start_ < kChunk / 2) {
      // A long frame is done with: give its room back.
      std::vector<std::uint8_t> small(buf_.begin() + static_cast<std::ptrdiff_t>(start_),
                                      buf_.begin() + static_cast<std::ptrdiff_t>(end_));
      small.resize(kChunk);
      buf_.swap(small);
      end_ -= start_;
      start_ = 0;
    }
    return true;
  }

  plat_socket sock_;
  FrameSink sink_;
  std::mutex sendMutex_;
  std::mutex stateMutex_;
  std::condition_variable idle_;
  int pulling_ = 0;
  bool closing_ = false;
  bool gone_ = false;
  std::atomic<bool> closed_{false};
  // What has been read and not yet handed over: only the puller touches it.
  std::vector<std::uint8_t> buf_;
  std::size_t start_ = 0, end_ = 0;
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
                                  FrameSink sink) {
  plat_socket s = plat_tcp_connect(host.c_str(), port, timeoutMs);
  if (s == PLAT_INVALID_SOCKET) return nullptr;
  return std::unique_ptr<Link>(new TcpLink(s, std::move(sink)));
}

void setSendTimeoutMs(unsigned ms) { g_sendTimeoutMs = ms; }

std::uint64_t stalledSends() { return g_stalledSends.load(); }

}  // namespace csta32
