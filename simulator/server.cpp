// The switch over TCP: one session per connection. One thread reads every
// connection (it waits for any of them, so a busy server handles many
// requests per wake-up), hands the frames to the switch and sends the
// answers each read produced, as much as the client takes at once. Each
// connection also has a writer thread for what is left and for what the
// switch hands out at other times (clock, other streams): the switch hands
// out frames with its lock held and must never wait for a slow client.
#include "simulator/telsim.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "csta32/wire/wire.h"
#include "platform/net.h"
#include "platform/platform.h"

namespace telsim {

namespace {

// A peer that takes nothing for this long is cut.
const int kSendWaitMs = 60 * 1000;
// While accept fails (out of descriptors) it is tried again after a pause,
// doubling from the first to the last.
const unsigned kAcceptBackoffMs = 10;
const unsigned kAcceptBackoffMaxMs = 1000;
// Bytes read from a connection at once.
const std::size_t kReadChunk = 64 * 1024;

struct Conn;

// Connections cut by other threads (limits, drop), for the reading thread.
struct CutQueue {
  std::mutex mu;
  std::vector<std::weak_ptr<Conn>> list;
};

struct Conn : std::enable_shared_from_this<Conn> {
  plat_socket sock = PLAT_INVALID_SOCKET;
  std::uint32_t session = 0;
  std::mutex mu;
  std::condition_variable cv;
  std::vector<std::uint8_t> out;    // frames waiting, back to back
  std::vector<std::uint8_t> spare;  // what is being sent; swapped with out
  std::size_t queued = 0;           // out plus what is being sent
  bool sending = false;             // a thread is sending `spare`
  bool inRequest = false;           // the reading thread sends once it is done
  bool closing = false;
  bool loopDone = false;            // the reading thread let it go (with mu)
  std::atomic<bool> done{false};    // writer joined, socket closed
  std::atomic<std::size_t>* total = nullptr;  // the server's queued bytes
  CutQueue* cuts = nullptr;
  plat_socket bell = PLAT_INVALID_SOCKET;     // the reading thread's doorbell
  std::thread writer;
  // The start of a frame still incomplete, and when the connection last
  // sent anything (reading thread only). Idle connections hold no buffer.
  std::vector<std::uint8_t> pend;
  std::uint64_t lastRead = 0;
  std::size_t slot = 0;  // its place among the reading thread's connections

  // With mu held. What is still queued goes nowhere: give it back now.
  void cut() {
    if (closing) return;
    closing = true;
    if (sock != PLAT_INVALID_SOCKET) plat_sock_shutdown(sock);
    // The reading thread lets it go: not every system wakes a wait on a
    // socket for its own shutdown.
    if (cuts) {
      std::lock_guard<std::mutex> lk(cuts->mu);
      cuts->list.push_back(weak_from_this());
    }
    const char b = 1;
    if (bell != PLAT_INVALID_SOCKET) plat_sock_send_some(bell, &b, 1);
    *total -= out.size();
    queued -= out.size();
    std::vector<std::uint8_t>().swap(out);
    cv.notify_all();
  }

  // With mu held by lk: sends what is queued, unless another thread is at
  // it. Without `wait` only what the client takes now: the reading thread
  // must go on (so the limits apply to a client that does not read), and
  // the writer sends the rest.
  void drain(std::unique_lock<std::mutex>& lk, bool wait) {
    while (!closing && !sending && !out.empty()) {
      sending = true;
      spare.swap(out);
      const std::size_t n = spare.size();
      lk.unlock();
      long rc = wait ? plat_sock_send_wait(sock, spare.data(), n, kSendWaitMs)
                     : plat_sock_send_some(sock, spare.data(), n);
      lk.lock();
      sending = false;
      const std::size_t sent = rc > 0 ? static_cast<std::size_t>(rc) : 0;
      *total -= sent;
      queued -= sent;
      if (rc < 0 || (wait && sent != n)) {
        *total -= n - sent;
        queued -= n - sent;
        cut();
      } else if (sent < n) {
        // The rest goes first, before what came meanwhile.
        out.insert(out.begin(), spare.begin() + static_cast<std::ptrdiff_t>(sent), spare.end());
        cv.notify_all();
        spare.clear();
        break;
      }
      // Keep a buffer of a usual size for next time, not a burst's.
      if (spare.capacity() > 1024 * 1024) std::vector<std::uint8_t>().swap(spare);
      else spare.clear();
    }
    if (closing) std::vector<std::uint8_t>().swap(spare);
  }
};

void writerLoop(std::shared_ptr<Conn> c) {
  std::unique_lock<std::mutex> lk(c->mu);
  for (;;) {
    c->cv.wait(lk, [&] { return c->closing || (!c->out.empty() && !c->sending && !c->inRequest); });
    if (c->closing) return;
    c->drain(lk, true);
  }
}

}  // namespace

struct TcpServer::Impl {
  explicit Impl(Switch& s) : sw(s) {}
  Switch& sw;
  plat_socket listener = PLAT_INVALID_SOCKET;
  int port = 0;
  std::thread acceptor;
  std::thread reader;
  std::mutex mu;
  std::condition_variable cv;  // stop, accept failures
  bool stopping = false;
  std::uint64_t acceptFailures = 0;
  std::vector<std::shared_ptr<Conn>> conns;     // every connection not yet reaped
  std::vector<std::shared_ptr<Conn>> incoming;  // accepted, not yet read
  // The reading thread's doorbell: a loopback connection it also waits on.
  plat_socket bellIn = PLAT_INVALID_SOCKET, bellOut = PLAT_INVALID_SOCKET;
  std::atomic<bool> rung{false};  // a byte is on its way: one wake-up is enough
  CutQueue cuts;
  std::size_t maxPerConn = 8u * 1024u * 1024u;
  std::size_t maxTotal = 64u * 1024u * 1024u;
  std::atomic<std::size_t> total{0};
  // Incomplete frames: at most a frame each, at most maxPartialTotal for
  // all, and cut when the sender stops mid-frame for stallMs.
  std::size_t maxPartial = wire::kHeaderSize + wire::kMaxBody;
  std::size_t maxPartialTotal = 32u * 1024u * 1024u;
  unsigned stallMs = 10000;
  std::size_t partialTotal = 0;        // reading thread only
  std::vector<std::uint8_t> scratch;   // reading thread only

  bool makeBell() {
    int p = 0;
    plat_socket l = plat_tcp_listen(nullptr, 0, &p);
    if (l == PLAT_INVALID_SOCKET) return false;
    bellOut = plat_tcp_connect("127.0.0.1", p, 5000);
    bellIn = bellOut == PLAT_INVALID_SOCKET ? PLAT_INVALID_SOCKET : plat_tcp_accept(l);
    plat_sock_close(l);
    return bellIn != PLAT_INVALID_SOCKET;
  }

  void ring() {
    if (rung.exchange(true)) return;
    const char b = 1;
    plat_sock_send_some(bellOut, &b, 1);
  }

  // With mu held: joins and closes the connections the reading thread let go.
  void reap() {
    for (size_t i = 0; i < conns.size();) {
      Conn& c = *conns[i];
      bool over;
      {
        std::lock_guard<std::mutex> lk(c.mu);
        over = c.loopDone;
      }
      if (over) {
        if (c.writer.joinable()) c.writer.join();
        plat_sock_close(c.sock);
        c.done = true;
        conns[i] = conns.back();
        conns.pop_back();
      } else {
        ++i;
      }
    }
  }

  // The reading thread lets a connection go: its session ends, it is cut,
  // and its socket is closed at once (a peer that closed first must not
  // linger half-closed until something else happens).
  void letGo(const std::shared_ptr<Conn>& c) {
    sw.closeSession(c->session);
    {
      std::lock_guard<std::mutex> lk(c->mu);
      c->cut();
      c->loopDone = true;
    }
    partialTotal -= c->pend.size();
    std::vector<std::uint8_t>().swap(c->pend);
    std::lock_guard<std::mutex> lk(mu);
    auto it = std::find(conns.begin(), conns.end(), c);
    if (it == conns.end()) return;  // reaped already
    // The writer ends at once: the cut woke it and its sends now fail.
    if (c->writer.joinable()) c->writer.join();
    plat_sock_close(c->sock);
    c->done = true;
    *it = conns.back();
    conns.pop_back();
  }

  // One read: its frames to the switch, then the answers out. False when
  // the connection is over (closed, cut, out of step, or holding too much
  // of an unfinished frame).
  bool serveOnce(Conn& c) {
    long n = plat_sock_recv(c.sock, scratch.data(), scratch.size());
    if (n <= 0) return false;
    c.lastRead = plat_millis();
    const std::size_t held = c.pend.size();
    const std::uint8_t* p = scratch.data();
    std::size_t avail = static_cast<std::size_t>(n);
    if (held) {
      c.pend.insert(c.pend.end(), scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(n));
      p = c.pend.data();
      avail = c.pend.size();
    }
    {
      std::lock_guard<std::mutex> lk(c.mu);
      c.inRequest = true;
    }
    bool bad = false;
    std::size_t used = 0;
    for (;;) {
      long len = wire::frameLength(p + used, avail - used);
      if (len < 0) {
        bad = true;  // the byte stream lost its framing: nothing after can be trusted
        break;
      }
      if (len == 0 || static_cast<std::size_t>(len) > avail - used) break;
      sw.onFrame(c.session, p + used, static_cast<std::size_t>(len));
      used += static_cast<std::size_t>(len);
    }
    const std::size_t left = bad ? 0 : avail - used;
    partialTotal -= held;
    if (left > maxPartial || partialTotal + left > maxPartialTotal) {
      bad = true;
      std::vector<std::uint8_t>().swap(c.pend);
    } else if (left == 0) {
      std::vector<std::uint8_t>().swap(c.pend);
    } else if (held) {
      c.pend.erase(c.pend.begin(), c.pend.begin() + static_cast<std::ptrdiff_t>(used));
    } else {
      c.pend.assign(p + used, p + avail);
    }
    partialTotal += c.pend.size();
    // All of this read's answers in one send.
    std::unique_lock<std::mutex> lk(c.mu);
    c.inRequest = false;
    c.drain(lk, false);
    return !bad && !c.closing;
  }

  void readLoop() {
    scratch.resize(kReadChunk);
    plat_pollset* set = plat_pollset_new();
    while (!set) {  // not expected; do not spin
      plat_sleep_ms(100);
      std::lock_guard<std::mutex> lk(mu);
      if (stopping) return;
      set = plat_pollset_new();
    }
    plat_pollset_add(set, bellIn, nullptr);
    std::vector<std::shared_ptr<Conn>> live;
    std::vector<std::shared_ptr<Conn>> refused;
    std::vector<void*> ready(256);
    auto isLive = [&](const Conn* c) { return c->slot < live.size() && live[c->slot].get() == c; };
    auto drop = [&](Conn* c) {
      std::shared_ptr<Conn> keep = live[c->slot];
      plat_pollset_remove(set, keep->sock);
      live[c->slot] = live.back();
      live[c->slot]->slot = c->slot;
      live.pop_back();
      letGo(keep);
    };
    for (;;) {
      {
        std::lock_guard<std::mutex> lk(mu);
        if (stopping) break;
        for (const auto& c : incoming) {
          if (!plat_pollset_add(set, c->sock, c.get())) {
            refused.push_back(c);
            continue;
          }
          c->slot = live.size();
          live.push_back(c);
        }
        incoming.clear();
      }
      for (const auto& c : refused) letGo(c);
      refused.clear();
      // Wait no longer than the first stalled frame may take.
      int timeout = -1;
      std::uint64_t now = plat_millis();
      if (partialTotal > 0) {
        for (const auto& c : live) {
          if (c->pend.empty()) continue;
          const std::uint64_t due = c->lastRead + stallMs;
          const int left = due > now ? static_cast<int>(std::min<std::uint64_t>(due - now, 60000)) : 0;
          if (timeout < 0 || left < timeout) timeout = left;
        }
      }
      const int n = plat_pollset_wait(set, ready.data(), static_cast<int>(ready.size()), timeout);
      if (n < 0) {
        plat_sleep_ms(10);  // not expected; do not spin
        continue;
      }
      for (int i = 0; i < n; ++i) {
        Conn* c = static_cast<Conn*>(ready[static_cast<std::size_t>(i)]);
        if (!c) {
          char b[256];
          plat_sock_recv(bellIn, b, sizeof b);
          rung = false;  // after the read: a ring meanwhile is seen at the loop's top
        } else if (isLive(c) && !serveOnce(*c)) {
          drop(c);
        }
      }
      if (partialTotal > 0) {
        now = plat_millis();
        // Backwards: dropping moves the last one into the free place.
        for (std::size_t i = live.size(); i-- > 0;)
          if (!live[i]->pend.empty() && now - live[i]->lastRead >= stallMs) drop(live[i].get());
      }
      // Connections cut meanwhile (limits, drop) are let go too.
      std::vector<std::weak_ptr<Conn>> cut;
      {
        std::lock_guard<std::mutex> lk(cuts.mu);
        cut.swap(cuts.list);
      }
      for (const auto& w : cut)
        if (std::shared_ptr<Conn> c = w.lock())
          if (isLive(c.get())) drop(c.get());
    }
    while (!live.empty()) drop(live.back().get());
    plat_pollset_free(set);
    std::vector<std::shared_ptr<Conn>> rest;
    {
      std::lock_guard<std::mutex> lk(mu);
      rest.swap(incoming);
    }
    for (const auto& c : rest) letGo(c);
  }

  void acceptLoop() {
    unsigned pause = kAcceptBackoffMs;
    for (;;) {
      bool retry = false;
      plat_socket s = plat_tcp_accept(listener, &retry);
      if (s == PLAT_INVALID_SOCKET) {
        std::unique_lock<std::mutex> lk(mu);
        if (!retry || stopping) return;
        // Out of descriptors: those of ended connections may help; then wait.
        ++acceptFailures;
        cv.notify_all();
        reap();
        cv.wait_for(lk, std::chrono::milliseconds(pause), [&] { return stopping; });
        if (stopping) return;
        pause = std::min(pause * 2, kAcceptBackoffMaxMs);
        continue;
      }
      pause = kAcceptBackoffMs;
      std::shared_ptr<Conn> c = std::make_shared<Conn>();
      c->sock = s;
      c->total = &total;
      c->cuts = &cuts;
      c->bell = bellOut;
      std::weak_ptr<Conn> weak = c;
      std::size_t perConn, all;
      {
        std::lock_guard<std::mutex> lk(mu);
        perConn = maxPerConn;
        all = maxTotal;
      }
      std::atomic<std::size_t>* sum = &total;
      c->session = sw.openSession([weak, perConn, all, sum](const std::uint8_t* d, std::size_t n) {
        std::shared_ptr<Conn> conn = weak.lock();
        if (!conn) return;
        std::lock_guard<std::mutex> lk(conn->mu);
        if (conn->closing) return;
        if (!d || conn->queued + n > perConn || *sum + n > all) {
          conn->cut();  // the reading thread sees the end and lets it go
          return;
        }
        conn->out.insert(conn->out.end(), d, d + n);
        conn->queued += n;
        *sum += n;
        if (!conn->inRequest && !conn->sending) conn->cv.notify_all();
      });
      if (c->session == 0) {  // the server is down: refuse the connection
        plat_sock_close(s);
        continue;
      }
      std::lock_guard<std::mutex> lk(mu);
      c->writer = std::thread(writerLoop, c);
      conns.push_back(c);
      incoming.push_back(c);
      ring();
    }
  }
};

TcpServer::TcpServer(Switch& sw) : d_(new Impl(sw)) {}

TcpServer::~TcpServer() { stop(); }

void TcpServer::setLimits(std::size_t perConnection, std::size_t total) {
  std::lock_guard<std::mutex> lk(d_->mu);
  if (perConnection) d_->maxPerConn = perConnection;
  if (total) d_->maxTotal = total;
}

void TcpServer::setReadLimits(std::size_t perConnection, std::size_t total, unsigned stallMs) {
  if (d_->reader.joinable()) return;  // the reading thread owns them once it runs
  if (perConnection) d_->maxPartial = perConnection;
  if (total) d_->maxPartialTotal = total;
  if (stallMs) d_->stallMs = stallMs;
}

bool TcpServer::start(const char* host, int port, std::string* error) {
  if (d_->listener != PLAT_INVALID_SOCKET) {
    if (error) *error = "already serving";
    return false;
  }
  if (!d_->makeBell()) {
    if (error) *error = "cannot make the server's inner connection";
    return false;
  }
  d_->listener = plat_tcp_listen(host, port, &d_->port);
  if (d_->listener == PLAT_INVALID_SOCKET) {
    if (error) *error = "cannot listen on port " + std::to_string(port);
    plat_sock_close(d_->bellIn);
    plat_sock_close(d_->bellOut);
    return false;
  }
  d_->stopping = false;
  d_->rung = false;  // a new doorbell holds nothing yet
  d_->reader = std::thread([this] { d_->readLoop(); });
  d_->acceptor = std::thread([this] { d_->acceptLoop(); });
  return true;
}

int TcpServer::port() const { return d_->port; }

void TcpServer::stop() {
  if (d_->listener == PLAT_INVALID_SOCKET) return;
  {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->stopping = true;
    d_->cv.notify_all();
  }
  plat_sock_shutdown(d_->listener);
  if (d_->acceptor.joinable()) d_->acceptor.join();
  plat_sock_close(d_->listener);
  d_->listener = PLAT_INVALID_SOCKET;
  d_->rung = false;
  d_->ring();
  if (d_->reader.joinable()) d_->reader.join();
  {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->reap();
  }
  plat_sock_close(d_->bellIn);
  plat_sock_close(d_->bellOut);
  d_->bellIn = d_->bellOut = PLAT_INVALID_SOCKET;
}

std::size_t TcpServer::connections() {
  std::lock_guard<std::mutex> lk(d_->mu);
  d_->reap();
  return d_->conns.size();
}

std::size_t TcpServer::queuedBytes() { return d_->total.load(); }

bool TcpServer::waitAcceptFailures(std::uint64_t n, unsigned timeoutMs) {
  std::unique_lock<std::mutex> lk(d_->mu);
  return d_->cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return d_->acceptFailures >= n; });
}

}  // namespace telsim

// ---- control port -------------------------------------------------------------

namespace telsim {

namespace {

// No command is this long.
const std::size_t kMaxControlLine = 65536;

bool isQuit(const std::string& line) {
  std::string w;
  for (char c : line)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') w += c;
  return w == "quit" || w == "exit";
}

struct ControlConn {
  plat_socket sock = PLAT_INVALID_SOCKET;
  std::thread thread;
  std::atomic<bool> done{false};
};

}  // namespace

struct ControlServer::Impl {
  Impl(Switch& s, std::function<void()> q) : sw(s), onQuit(std::move(q)) {}
  Switch& sw;
  std::function<void()> onQuit;
  plat_socket listener = PLAT_INVALID_SOCKET;
  int port = 0;
  std::thread acceptor;
  std::mutex mu;
  bool stopping = false;
  std::vector<std::shared_ptr<ControlConn>> conns;

  void serve(plat_socket s) {
    std::string pending;
    char buf[4096];
    for (;;) {
      long n = plat_sock_recv(s, buf, sizeof buf);
      if (n <= 0) return;
      pending.append(buf, static_cast<size_t>(n));
      // The answers to the lines that came together leave together: a
      // client that pipelines its commands is not paid one send per line.
      std::string answers;
      size_t start = 0, nl;
      while ((nl = pending.find('\n', start)) != std::string::npos) {
        std::string line = pending.substr(start, nl - start);
        start = nl + 1;
        if (onQuit && isQuit(line)) {
          answers += "OK\n";
          plat_sock_send_wait(s, answers.data(), answers.size(), 1000);
          // Whatever waits on the switch ends now: the server is going.
          sw.stopWaits();
          onQuit();
          return;
        }
        bool ok = false;
        answers += sw.control(line, &ok);
        answers += ok ? "OK\n" : "ERROR\n";
      }
      pending.erase(0, start);
      if (!answers.empty() && plat_sock_send_wait(s, answers.data(), answers.size(), 30000) < 0)
        return;
      if (pending.size() > kMaxControlLine) {
        static const char kTooLong[] = "? line too long\nERROR\n";
        plat_sock_send_wait(s, kTooLong, sizeof kTooLong - 1, 1000);
        return;
      }
    }
  }

  // With mu held: closes and joins the connections that have ended.
  void reap() {
    for (size_t i = 0; i < conns.size();) {
      if (conns[i]->done) {
        conns[i]->thread.join();
        plat_sock_close(conns[i]->sock);
        conns.erase(conns.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
  }

  void acceptLoop() {
    unsigned pause = kAcceptBackoffMs;
    for (;;) {
      bool retry = false;
      plat_socket s = plat_tcp_accept(listener, &retry);
      if (s == PLAT_INVALID_SOCKET) {
        {
          std::lock_guard<std::mutex> lk(mu);
          reap();
          if (!retry || stopping) return;
        }
        plat_sleep_ms(pause);
        pause = std::min(pause * 2, kAcceptBackoffMaxMs);
        continue;
      }
      pause = kAcceptBackoffMs;
      std::lock_guard<std::mutex> lk(mu);
      reap();
      std::shared_ptr<ControlConn> c = std::make_shared<ControlConn>();
      c->sock = s;
      ControlConn* raw = c.get();
      c->thread = std::thread([this, raw] {
        serve(raw->sock);
        // The peer sees the end at once; the socket is closed when reaped.
        plat_sock_shutdown(raw->sock);
        raw->done = true;
      });
      conns.push_back(c);
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
  d_->stopping = false;
  d_->acceptor = std::thread([this] { d_->acceptLoop(); });
  return true;
}

int ControlServer::port() const { return d_->port; }

std::size_t ControlServer::connections() {
  std::lock_guard<std::mutex> lk(d_->mu);
  d_->reap();
  return d_->conns.size();
}

void ControlServer::stop() {
  if (d_->listener == PLAT_INVALID_SOCKET) return;
  {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->stopping = true;
  }
  plat_sock_shutdown(d_->listener);
  if (d_->acceptor.joinable()) d_->acceptor.join();
  plat_sock_close(d_->listener);
  d_->listener = PLAT_INVALID_SOCKET;
  // A connection waiting in "wait" would hold the stop up.
  d_->sw.stopWaits();
  // Sockets are closed only once their thread is joined, so a socket is
  // never closed under a thread still using it.
  std::vector<std::shared_ptr<ControlConn>> all;
  {
    std::lock_guard<std::mutex> lk(d_->mu);
    all.swap(d_->conns);
  }
  for (auto& c : all) plat_sock_shutdown(c->sock);
  for (auto& c : all) {
    c->thread.join();
    plat_sock_close(c->sock);
  }
}

}  // namespace telsim
