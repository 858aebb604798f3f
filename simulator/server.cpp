// The switch over TCP: one session per connection. Each connection has a
// reader thread (bytes -> frames -> the switch) and a writer thread, because
// the switch hands out frames with its lock held and must never wait for a
// slow client's socket.
#include "simulator/telsim.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "csta32/wire/wire.h"
#include "platform/net.h"

namespace telsim {

namespace {

// A client that stops reading is cut once this much waits for it.
const std::size_t kMaxQueued = 32u * 1024u * 1024u;

struct Conn {
  plat_socket sock = PLAT_INVALID_SOCKET;
  std::uint32_t session = 0;
  std::mutex mu;
  std::condition_variable cv;
  std::deque<std::vector<std::uint8_t>> out;
  std::size_t queued = 0;
  bool closing = false;
  std::atomic<bool> done{false};
  std::thread reader;
  std::thread writer;

  // With mu held.
  void cut() {
    if (closing) return;
    closing = true;
    plat_sock_shutdown(sock);
    cv.notify_all();
  }
};

void writerLoop(std::shared_ptr<Conn> c) {
  std::vector<std::uint8_t> buf;
  for (;;) {
    std::deque<std::vector<std::uint8_t>> batch;
    {
      std::unique_lock<std::mutex> lk(c->mu);
      c->cv.wait(lk, [&] { return !c->out.empty() || c->closing; });
      if (c->closing) return;  // cut: what is still queued goes nowhere
      batch.swap(c->out);
      c->queued = 0;
    }
    buf.clear();
    for (const std::vector<std::uint8_t>& f : batch) buf.insert(buf.end(), f.begin(), f.end());
    if (plat_sock_send(c->sock, buf.data(), buf.size()) < 0) {
      std::lock_guard<std::mutex> lk(c->mu);
      c->cut();
      return;
    }
  }
}

void readerLoop(Switch& sw, std::shared_ptr<Conn> c) {
  std::vector<std::uint8_t> buf;
  std::size_t start = 0;
  std::uint8_t chunk[16384];
  for (;;) {
    long n = plat_sock_recv(c->sock, chunk, sizeof chunk);
    if (n <= 0) break;
    buf.insert(buf.end(), chunk, chunk + n);
    bool bad = false;
    for (;;) {
      long len = wire::frameLength(buf.data() + start, buf.size() - start);
      if (len < 0) {
        bad = true;  // the byte stream lost its framing: nothing after can be trusted
        break;
      }
      if (len == 0 || static_cast<std::size_t>(len) > buf.size() - start) break;
      sw.onFrame(c->session, buf.data() + start, static_cast<std::size_t>(len));
      start += static_cast<std::size_t>(len);
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
  sw.closeSession(c->session);
  {
    std::lock_guard<std::mutex> lk(c->mu);
    c->cut();
  }
  c->done = true;
}

void finish(Conn& c) {
  if (c.reader.joinable()) c.reader.join();
  if (c.writer.joinable()) c.writer.join();
  plat_sock_close(c.sock);
  c.sock = PLAT_INVALID_SOCKET;
}

}  // namespace

struct TcpServer::Impl {
  explicit Impl(Switch& s) : sw(s) {}
  Switch& sw;
  plat_socket listener = PLAT_INVALID_SOCKET;
  int port = 0;
  std::thread acceptor;
  std::mutex mu;
  std::vector<std::shared_ptr<Conn>> conns;

  void acceptLoop() {
    for (;;) {
      plat_socket s = plat_tcp_accept(listener);
      if (s == PLAT_INVALID_SOCKET) return;
      std::shared_ptr<Conn> c = std::make_shared<Conn>();
      c->sock = s;
      std::weak_ptr<Conn> weak = c;
      c->session = sw.openSession([weak](const std::uint8_t* d, std::size_t n) {
        std::shared_ptr<Conn> conn = weak.lock();
        if (!conn) return;
        std::lock_guard<std::mutex> lk(conn->mu);
        if (!d || conn->queued + n > kMaxQueued) {
          conn->cut();
          return;
        }
        if (conn->closing) return;
        conn->out.emplace_back(d, d + n);
        conn->queued += n;
        conn->cv.notify_one();
      });
      if (c->session == 0) {  // the server is down: refuse the connection
        plat_sock_close(s);
        continue;
      }
      c->writer = std::thread(writerLoop, c);
      c->reader = std::thread(readerLoop, std::ref(sw), c);
      std::lock_guard<std::mutex> lk(mu);
      for (size_t i = 0; i < conns.size();) {
        if (conns[i]->done) {
          finish(*conns[i]);
          conns.erase(conns.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
          ++i;
        }
      }
      conns.push_back(c);
    }
  }
};

TcpServer::TcpServer(Switch& sw) : d_(new Impl(sw)) {}

TcpServer::~TcpServer() { stop(); }

bool TcpServer::start(const char* host, int port, std::string* error) {
  if (d_->listener != PLAT_INVALID_SOCKET) {
    if (error) *error = "already serving";
    return false;
  }
  d_->listener = plat_tcp_listen(host, port, &d_->port);
  if (d_->listener == PLAT_INVALID_SOCKET) {
    if (error) *error = "cannot listen on port " + std::to_string(port);
    return false;
  }
  d_->acceptor = std::thread([this] { d_->acceptLoop(); });
  return true;
}

int TcpServer::port() const { return d_->port; }

void TcpServer::stop() {
  if (d_->listener == PLAT_INVALID_SOCKET) return;
  plat_sock_shutdown(d_->listener);
  if (d_->acceptor.joinable()) d_->acceptor.join();
  plat_sock_close(d_->listener);
  d_->listener = PLAT_INVALID_SOCKET;
  std::vector<std::shared_ptr<Conn>> all;
  {
    std::lock_guard<std::mutex> lk(d_->mu);
    all.swap(d_->conns);
  }
  for (std::shared_ptr<Conn>& c : all) {
    {
      std::lock_guard<std::mutex> lk(c->mu);
      c->cut();
    }
    finish(*c);
  }
}

std::size_t TcpServer::connections() {
  std::lock_guard<std::mutex> lk(d_->mu);
  std::size_t n = 0;
  for (const std::shared_ptr<Conn>& c : d_->conns)
    if (!c->done) ++n;
  return n;
}

}  // namespace telsim

// ---- control port -------------------------------------------------------------

namespace telsim {

namespace {

bool isQuit(const std::string& line) {
  std::string w;
  for (char c : line)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') w += c;
  return w == "quit" || w == "exit";
}

}  // namespace

struct ControlServer::Impl {
  Impl(Switch& s, std::function<void()> q) : sw(s), onQuit(std::move(q)) {}
  Switch& sw;
  std::function<void()> onQuit;
  plat_socket listener = PLAT_INVALID_SOCKET;
  int port = 0;
  std::thread acceptor;
  std::mutex mu;
  std::vector<plat_socket> clients;
  std::vector<std::thread> threads;

  void serve(plat_socket s) {
    std::string pending;
    char buf[1024];
    for (;;) {
      long n = plat_sock_recv(s, buf, sizeof buf);
      if (n <= 0) return;
      pending.append(buf, static_cast<size_t>(n));
      if (pending.size() > 65536) return;  // no command is this long
      size_t nl;
      while ((nl = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        std::string out;
        if (onQuit && isQuit(line)) {
          plat_sock_send(s, "OK\n", 3);
          onQuit();
          return;
        }
        bool ok = false;
        out = sw.control(line, &ok);
        out += ok ? "OK\n" : "ERROR\n";
        if (plat_sock_send(s, out.data(), out.size()) < 0) return;
      }
    }
  }

  void acceptLoop() {
    for (;;) {
      plat_socket s = plat_tcp_accept(listener);
      if (s == PLAT_INVALID_SOCKET) return;
      std::lock_guard<std::mutex> lk(mu);
      clients.push_back(s);
      threads.emplace_back([this, s] { serve(s); });
    }
  }
};

ControlServer::ControlServer(Switch& sw, std::function<void()> onQuit) : d_(new Impl(sw, std::move(onQuit))) {}

ControlServer::~ControlServer() { stop(); }

bool ControlServer::start(const char* host, int port, std::string* error) {
  if (d_->listener != PLAT_INVALID_SOCKET) {
    if (error) *error = "already serving";
    return false;
  }
  d_->listener = plat_tcp_listen(host, port, &d_->port);
  if (d_->listener == PLAT_INVALID_SOCKET) {
    if (error) *error = "cannot listen on control port " + std::to_string(port);
    return false;
  }
  d_->acceptor = std::thread([this] { d_->acceptLoop(); });
  return true;
}

int ControlServer::port() const { return d_->port; }

void ControlServer::stop() {
  if (d_->listener == PLAT_INVALID_SOCKET) return;
  plat_sock_shutdown(d_->listener);
  if (d_->acceptor.joinable()) d_->acceptor.join();
  plat_sock_close(d_->listener);
  d_->listener = PLAT_INVALID_SOCKET;
  // Connections are closed only here, so a socket is never closed under a
  // thread still using it.
  for (plat_socket s : d_->clients) plat_sock_shutdown(s);
  for (std::thread& t : d_->threads) t.join();
  for (plat_socket s : d_->clients) plat_sock_close(s);
  d_->clients.clear();
  d_->threads.clear();
}

}  // namespace telsim
