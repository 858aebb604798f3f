#include "calllog/outputs.h"

// Locking rule: each output has one mutex (`lock`) over its queues, its
// collectors and its counters, and one condition (`wake`) its threads wait
// on. The message list has its own mutex, which may be taken while an
// output's lock is held but never the other way round. No lock is held while
// a thread sends, accepts or connects, so the event thread, which only
// enqueues, cuts (a shutdown, which does not wait) and reads counters, never
// waits for a collector.
//
// The objects live on the heap behind shared pointers that every thread
// holds, so a stopped output's threads can still finish with it; the message
// list is never destroyed, so threads may still run at process exit.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/fileops.h"
#include "platform/net.h"
#include "platform/platform.h"

namespace {

struct MessageList {
  std::mutex lock;
  std::vector<std::string> texts;
};

MessageList& messageList() {
  static MessageList* list = new MessageList;
  return *list;
}

void say(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  MessageList& list = messageList();
  std::lock_guard<std::mutex> hold(list.lock);
  // Nobody reading them must not make them a leak.
  if (list.texts.size() < 1000) list.texts.push_back(text);
}

const char* records(long n) { return n == 1 ? "record" : "records"; }

// How often an idle sender looks whether its peer has hung up, so that a
// collector that left is noticed before a record is handed to it.
const int kIdleCheckMs = 200;
const unsigned kConnectTimeoutMs = 3000;
const unsigned kFirstRetryMs = 1000;
const unsigned kLongestRetryMs = 60000;

// Reads and drops whatever the peer sent; false once it has hung up.
bool peerStillThere(plat_socket s) {
  while (plat_sock_wait_readable(s, 0) == 1) {
    char scratch[512];
    if (plat_sock_recv(s, scratch, sizeof scratch) <= 0) return false;
  }
  return true;
}

// Puts `older` in front of `queue`, keeping at most `bound`; returns how
// many of the newest did not fit.
long prependBounded(std::deque<std::string>& queue, std::deque<std::string>& older,
                    std::size_t bound) {
  for (auto it = older.rbegin(); it != older.rend(); ++it) queue.push_front(std::move(*it));
  older.clear();
  long dropped = 0;
  while (queue.size() > bound) {
    queue.pop_back();
    ++dropped;
  }
  return dropped;
}

// ---- serving -----------------------------------------------------------------

struct Collector {
  plat_socket sock = PLAT_INVALID_SOCKET;
  int number = 0;
  std::deque<std::string> queue;
  long sent = 0;
  bool cut = false;  // asked to stop: its thread ends and hands back the queue
};

struct Serve {
  std::mutex lock;
  std::condition_variable wake;
  std::string value;
  std::string where;  // address:port as bound, for messages
  int port = 0;
  plat_socket listener = PLAT_INVALID_SOCKET;
  std::size_t bound = 0;
  std::deque<std::string> backlog;  // while no collector is connected
  std::vector<std::shared_ptr<Collector>> collectors;
  int nextNumber = 1;
  long sent = 0;
  long lost = 0;
  bool backlogFull = false;  // reported once per overflow
  bool stopping = false;
  bool listenerClosed = false;

  bool anyActive() const {
    for (const auto& c : collectors)
      if (!c->cut) return true;
    return false;
  }
};

struct CollectorThread {
  std::shared_ptr<Serve> serve;
  std::shared_ptr<Collector> collector;
};

void collectorLoop(void* arg) {
  std::unique_ptr<CollectorThread> self(static_cast<CollectorThread*>(arg));
  Serve& s = *self->serve;
  Collector& c = *self->collector;
  bool wentAway = false;
  for (;;) {
    std::string record;
    {
      std::unique_lock<std::mutex> hold(s.lock);
      while (c.queue.empty() && !c.cut && !s.stopping) {
        s.wake.wait_for(hold, std::chrono::milliseconds(kIdleCheckMs));
        if (c.queue.empty() && !c.cut && !s.stopping) {
          hold.unlock();
          const bool there = peerStillThere(c.sock);
          hold.lock();
          if (!there) break;
        }
      }
      if (c.cut || s.stopping) break;
      if (c.queue.empty()) {
        wentAway = true;
        break;
      }
      record = c.queue.front();
    }
    const bool sent = peerStillThere(c.sock) &&
                      plat_sock_send(c.sock, record.data(), record.size()) ==
                          static_cast<long>(record.size());
    std::lock_guard<std::mutex> hold(s.lock);
    if (!sent) {
      wentAway = !c.cut && !s.stopping;
      break;
    }
    c.queue.pop_front();
    ++c.sent;
    ++s.sent;
    s.wake.notify_all();
  }

  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.collectors.erase(std::remove(s.collectors.begin(), s.collectors.end(), self->collector),
                       s.collectors.end());
    if (wentAway) say("! SMDR collector %d on %s went away", c.number, s.where.c_str());
    // What it had not taken waits for the next collector, unless another
    // one has it already. A record cut part-way goes again whole.
    if (!s.stopping && !s.anyActive() && !c.queue.empty()) {
      const long dropped = prependBounded(s.backlog, c.queue, s.bound);
      s.lost += dropped;
    }
    c.queue.clear();
    s.wake.notify_all();
  }
  plat_sock_close(c.sock);
}

void acceptLoop(void* arg) {
  std::unique_ptr<std::shared_ptr<Serve>> self(static_cast<std::shared_ptr<Serve>*>(arg));
  Serve& s = **self;
  for (;;) {
    bool retry = false;
    const plat_socket sock = plat_tcp_accept(s.listener, &retry);
    if (sock == PLAT_INVALID_SOCKET) {
      std::unique_lock<std::mutex> hold(s.lock);
      if (s.stopping || !retry) break;
      // Out of descriptors for now: the listener stands, try again shortly.
      s.wake.wait_for(hold, std::chrono::milliseconds(100));
      continue;
    }
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.stopping) {
      plat_sock_close(sock);
      break;
    }
    auto collector = std::make_shared<Collector>();
    collector->sock = sock;
    collector->number = s.nextNumber++;
    // The records that waited for a collector go to this one first.
    if (!s.anyActive()) {
      collector->queue.swap(s.backlog);
      s.backlogFull = false;
    }
    s.collectors.push_back(collector);
    if (!plat_start_thread(collectorLoop, new CollectorThread{*self, collector})) {
      s.collectors.pop_back();
      prependBounded(s.backlog, collector->queue, s.bound);
      plat_sock_close(sock);
      say("? No thread for SMDR collector %d on %s", collector->number, s.where.c_str());
      continue;
    }
    say("! SMDR collector %d connected to %s", collector->number, s.where.c_str());
    s.wake.notify_all();
  }
  plat_sock_close(s.listener);
  std::lock_guard<std::mutex> hold(s.lock);
  s.listenerClosed = true;
  s.wake.notify_all();
}

std::shared_ptr<Serve>& serveOutput() {
  static auto* output = new std::shared_ptr<Serve>;
  return *output;
}

// ---- pushing -----------------------------------------------------------------

struct Push {
  std::mutex lock;
  std::condition_variable wake;
  std::string value;
  std::string host;
  int port = 0;
  std::size_t bound = 0;
  std::deque<std::string> queue;
  plat_socket sock = PLAT_INVALID_SOCKET;  // while connected
  bool connected = false;
  bool cut = false;  // the collector stopped reading
  long sent = 0;
  long lost = 0;
  long connects = 0;
  bool queueFull = false;  // reported once per overflow
  bool stopping = false;
};

void pushLoop(void* arg) {
  std::unique_ptr<std::shared_ptr<Push>> self(static_cast<std::shared_ptr<Push>*>(arg));
  Push& p = **self;
  unsigned retryMs = kFirstRetryMs;
  bool unreachableSaid = false;
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(p.lock);
      if (p.stopping) break;
    }
    const plat_socket sock = plat_tcp_connect(p.host.c_str(), p.port, kConnectTimeoutMs);
    std::unique_lock<std::mutex> hold(p.lock);
    if (p.stopping) {
      if (sock != PLAT_INVALID_SOCKET) plat_sock_close(sock);
      break;
    }
    if (sock == PLAT_INVALID_SOCKET) {
      if (!unreachableSaid)
        say("? Cannot reach the SMDR collector at %s, trying again", p.value.c_str());
      unreachableSaid = true;
      p.wake.wait_for(hold, std::chrono::milliseconds(retryMs), [&p] { return p.stopping; });
      retryMs = std::min(retryMs * 2, kLongestRetryMs);
      continue;
    }
    p.sock = sock;
    p.connected = true;
    p.cut = false;
    ++p.connects;
    retryMs = kFirstRetryMs;
    unreachableSaid = false;
    say("! Sending SMDR records to %s", p.value.c_str());

    for (;;) {
      while (p.queue.empty() && !p.cut && !p.stopping) {
        p.wake.wait_for(hold, std::chrono::milliseconds(kIdleCheckMs));
        if (p.queue.empty() && !p.cut && !p.stopping) {
          hold.unlock();
          const bool there = peerStillThere(sock);
          hold.lock();
          if (!there) break;
        }
      }
      if (p.queue.empty() || p.cut || p.stopping) break;
      const std::string record = p.queue.front();
      hold.unlock();
      const bool sent = peerStillThere(sock) &&
                        plat_sock_send(sock, record.data(), record.size()) ==
                            static_cast<long>(record.size());
      hold.lock();
      // A record whose send was cut stays first and goes again whole.
      if (!sent) break;
      p.queue.pop_front();
      ++p.sent;
      p.wake.notify_all();
    }
    p.connected = false;
    p.sock = PLAT_INVALID_SOCKET;
    const bool stopping = p.stopping;
    if (!stopping && !p.cut) say("? The SMDR collector at %s went away, reconnecting", p.value.c_str());
    hold.unlock();
    plat_sock_close(sock);
    if (stopping) break;
    hold.lock();
    p.wake.wait_for(hold, std::chrono::milliseconds(retryMs), [&p] { return p.stopping; });
  }
}

std::shared_ptr<Push>& pushOutput() {
  static auto* output = new std::shared_ptr<Push>;
  return *output;
}

std::size_t boundOf(long queueRecords) {
  return queueRecords > 0 ? static_cast<std::size_t>(queueRecords)
                          : static_cast<std::size_t>(kDefaultQueueRecords);
}

}  // namespace

bool smdrParseAddress(const char* text, bool hostRequired, std::string* host, int* port) {
  if (!text) return false;
  const char* colon = std::strrchr(text, ':');
  if (hostRequired && (!colon || colon == text)) return false;
  if (colon == text) return false;
  const char* digits = colon ? colon + 1 : text;
  if (!*digits || std::strlen(digits) > 5) return false;
  long n = 0;
  for (const char* d = digits; *d; ++d) {
    if (*d < '0' || *d > '9') return false;
    n = n * 10 + (*d - '0');
  }
  if (n > 65535 || (hostRequired && n == 0)) return false;
  if (host) *host = colon ? std::string(text, static_cast<std::size_t>(colon - text)) : "127.0.0.1";
  if (port) *port = static_cast<int>(n);
  return true;
}

bool smdrServeStart(const char* value, long queueRecords) {
  std::string host;
  int port = 0;
  // A mistyped value leaves the running output alone.
  if (!smdrParseAddress(value, false, &host, &port)) {
    say("? ServePort \"%s\" is not [ADDRESS:]PORT: not serving SMDR records", value ? value : "");
    return false;
  }
  smdrServeStop();
  int bound = 0;
  const plat_socket listener = plat_tcp_listen(host.c_str(), port, &bound);
  if (listener == PLAT_INVALID_SOCKET) {
    say("? Unable to listen on %s:%d for SMDR collectors (in use, or no such address; error %d)",
        host.c_str(), port, plat_last_error());
    return false;
  }
  auto serve = std::make_shared<Serve>();
  serve->value = value;
  serve->port = bound;
  serve->listener = listener;
  serve->bound = boundOf(queueRecords);
  char where[300];
  std::snprintf(where, sizeof where, "%s:%d", host.c_str(), bound);
  serve->where = where;
  if (!plat_start_thread(acceptLoop, new std::shared_ptr<Serve>(serve))) {
    plat_sock_close(listener);
    say("? No thread to serve SMDR records on %s", where);
    return false;
  }
  serveOutput() = serve;
  say("! Serving SMDR records on %s", where);
  return true;
}

void smdrServeStop() {
  std::shared_ptr<Serve> serve;
  serve.swap(serveOutput());
  if (!serve) return;
  std::unique_lock<std::mutex> hold(serve->lock);
  serve->stopping = true;
  plat_sock_shutdown(serve->listener);
  for (const auto& c : serve->collectors) plat_sock_shutdown(c->sock);
  serve->wake.notify_all();
  // The port is free again when this returns, for a serve output started
  // next on the same port.
  serve->wake.wait_for(hold, std::chrono::milliseconds(kConnectTimeoutMs),
                       [&serve] { return serve->listenerClosed; });
}

int smdrServePort() {
  const std::shared_ptr<Serve>& serve = serveOutput();
  return serve ? serve->port : 0;
}

bool smdrPushStart(const char* value, long queueRecords) {
  std::string host;
  int port = 0;
  if (!smdrParseAddress(value, true, &host, &port)) {
    say("? PushTo \"%s\" is not HOST:PORT: not sending SMDR records", value ? value : "");
    return false;
  }
  if (!plat_host_known(host.c_str())) {
    say("? PushTo: unknown host \"%s\": not sending SMDR records", host.c_str());
    return false;
  }
  smdrPushStop();
  auto push = std::make_shared<Push>();
  push->value = value;
  push->host = host;
  push->port = port;
  push->bound = boundOf(queueRecords);
  if (!plat_start_thread(pushLoop, new std::shared_ptr<Push>(push))) {
    say("? No thread to send SMDR records to %s", value);
    return false;
  }
  pushOutput() = push;
  return true;
}

void smdrPushStop() {
  std::shared_ptr<Push> push;
  push.swap(pushOutput());
  if (!push) return;
  std::lock_guard<std::mutex> hold(push->lock);
  push->stopping = true;
  if (push->sock != PLAT_INVALID_SOCKET) plat_sock_shutdown(push->sock);
  push->wake.notify_all();
}

bool smdrServeWaitCollectors(int n, unsigned timeoutMs) {
  const std::shared_ptr<Serve> serve = serveOutput();
  if (!serve) return false;
  std::unique_lock<std::mutex> hold(serve->lock);
  return serve->wake.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&serve, n] {
    long active = 0;
    for (const auto& c : serve->collectors)
      if (!c->cut) ++active;
    return active == n;
  });
}

std::string smdrServeValue() {
  const std::shared_ptr<Serve>& serve = serveOutput();
  return serve ? serve->value : std::string();
}

std::string smdrPushValue() {
  const std::shared_ptr<Push>& push = pushOutput();
  return push ? push->value : std::string();
}

void smdrOutputsSend(const std::string& record) {
  if (const std::shared_ptr<Serve>& serve = serveOutput()) {
    Serve& s = *serve;
    std::lock_guard<std::mutex> hold(s.lock);
    bool taken = false;
    for (const auto& c : s.collectors) {
      if (c->cut) continue;
      if (c->queue.size() >= s.bound) {
        c->cut = true;
        plat_sock_shutdown(c->sock);
        say("? SMDR collector %d on %s stopped reading: cut with %ld %s queued", c->number,
            s.where.c_str(), static_cast<long>(c->queue.size()),
            records(static_cast<long>(c->queue.size())));
        continue;
      }
      c->queue.push_back(record);
      taken = true;
    }
    if (!taken) {
      if (s.backlog.size() < s.bound) {
        s.backlog.push_back(record);
      } else {
        ++s.lost;
        if (!s.backlogFull)
          say("? No SMDR collector on %s and %ld records waiting: records are being lost",
              s.where.c_str(), static_cast<long>(s.bound));
        s.backlogFull = true;
      }
    }
    s.wake.notify_all();
  }
  if (const std::shared_ptr<Push>& push = pushOutput()) {
    Push& p = *push;
    std::lock_guard<std::mutex> hold(p.lock);
    if (p.queue.size() >= p.bound && p.connected && !p.cut) {
      p.cut = true;
      plat_sock_shutdown(p.sock);
      say("? The SMDR collector at %s stopped reading: cut with %ld %s queued",
          p.value.c_str(), static_cast<long>(p.queue.size()),
          records(static_cast<long>(p.queue.size())));
    }
    if (p.queue.size() < p.bound) {
      p.queue.push_back(record);
      p.queueFull = false;
    } else {
      ++p.lost;
      if (!p.queueFull)
        say("? %ld SMDR records wait for %s: records are being lost", static_cast<long>(p.bound),
            p.value.c_str());
      p.queueFull = true;
    }
    p.wake.notify_all();
  }
}

void smdrOutputsClose(unsigned timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  if (const std::shared_ptr<Serve> serve = serveOutput()) {
    std::unique_lock<std::mutex> hold(serve->lock);
    serve->wake.wait_until(hold, deadline, [&serve] {
      for (const auto& c : serve->collectors)
        if (!c->cut && !c->queue.empty()) return false;
      return true;
    });
  }
  if (const std::shared_ptr<Push> push = pushOutput()) {
    std::unique_lock<std::mutex> hold(push->lock);
    push->wake.wait_until(hold, deadline,
                          [&push] { return !push->connected || push->queue.empty(); });
  }
  smdrServeStop();
  smdrPushStop();
}

std::vector<std::string> smdrOutputsTakeMessages() {
  MessageList& list = messageList();
  std::lock_guard<std::mutex> hold(list.lock);
  std::vector<std::string> taken;
  taken.swap(list.texts);
  return taken;
}

std::vector<std::string> smdrOutputsStatus() {
  std::vector<std::string> lines;
  char line[512];
  if (const std::shared_ptr<Serve>& serve = serveOutput()) {
    Serve& s = *serve;
    std::lock_guard<std::mutex> hold(s.lock);
    long active = 0;
    for (const auto& c : s.collectors)
      if (!c->cut) ++active;
    std::snprintf(line, sizeof line,
                  "SMDR served on %s: %ld %s, %ld %s sent, %ld lost, %ld waiting", s.where.c_str(),
                  active, active == 1 ? "collector" : "collectors", s.sent, records(s.sent), s.lost,
                  static_cast<long>(s.backlog.size()));
    lines.push_back(line);
    for (const auto& c : s.collectors) {
      if (c->cut) continue;
      std::snprintf(line, sizeof line, "    collector %d: %ld %s sent, %ld queued", c->number,
                    c->sent, records(c->sent), static_cast<long>(c->queue.size()));
      lines.push_back(line);
    }
  }
  if (const std::shared_ptr<Push>& push = pushOutput()) {
    Push& p = *push;
    std::lock_guard<std::mutex> hold(p.lock);
    std::snprintf(line, sizeof line, "SMDR pushed to %s: %s, %ld %s sent, %ld lost, %ld queued",
                  p.value.c_str(), p.connected ? "connected" : "not connected, retrying", p.sent,
                  records(p.sent), p.lost, static_cast<long>(p.queue.size()));
    lines.push_back(line);
  }
  return lines;
}
