// The two ways a stream reaches its server: a session of an in-process host
// (the embedded switch) or a TCP connection to a telsim process. Both carry
// the same frames.
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <thread>

#include "csta32/internal.h"
#include "csta32/wire/wire.h"
#include "platform/net.h"

namespace csta32 {

namespace {

std::mutex g_localMutex;
std::map<std::string, SessionHost*>& localHosts() {
  static std::map<std::string, SessionHost*> hosts;
  return hosts;
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

class TcpLink : public Link {
 public:
  TcpLink(plat_socket s, FrameSink sink) : sock_(s), sink_(std::move(sink)) {
    reader_ = std::thread([this] { readLoop(); });
  }
  ~TcpLink() override { close(); }

  bool send(const std::uint8_t* data, std::size_t len) override {
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (closed_.load()) return false;
    return plat_sock_send(sock_, data, len) == static_cast<long>(len);
  }

  void close() override {
    {
      std::lock_guard<std::mutex> lock(sendMutex_);
      if (closed_.exchange(true)) return;
      plat_sock_shutdown(sock_);
    }
    if (reader_.joinable()) reader_.join();
    plat_sock_close(sock_);
  }

 private:
  // Splits the byte stream into frames. A header that cannot start a frame
  // means the stream is out of step: the link is given up, not resynced.
  void readLoop() {
    std::vector<std::uint8_t> buf;
    std::size_t start = 0;
    std::uint8_t chunk[16384];
    for (;;) {
      long n = plat_sock_recv(sock_, chunk, sizeof chunk);
      if (n <= 0) break;
      buf.insert(buf.end(), chunk, chunk + n);
      bool bad = false;
      for (;;) {
        long need = wire::frameLength(buf.data() + start, buf.size() - start);
        if (need < 0) {
          bad = true;
          break;
        }
        if (need == 0 || buf.size() - start < static_cast<std::size_t>(need)) break;
        sink_(buf.data() + start, static_cast<std::size_t>(need));
        start += static_cast<std::size_t>(need);
      }
      if (bad) break;
      if (start == buf.size()) {
        buf.clear();
        start = 0;
      } else if (start > 65536) {
        buf.erase(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(start));
        start = 0;
      }
    }
    if (!closed_.load()) sink_(nullptr, 0);
  }

  plat_socket sock_;
  FrameSink sink_;
  std::mutex sendMutex_;
  std::atomic<bool> closed_{false};
  std::thread reader_;
};

}  // namespace

void registerLocalHost(const std::string& name, SessionHost* host) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  if (host)
    localHosts()[upper(name)] = host;
  else
    localHosts().erase(upper(name));
}

SessionHost* findLocalHost(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_localMutex);
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

}  // namespace csta32
