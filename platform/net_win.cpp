#include "platform/net.h"

#include <cstring>
#include <mutex>
#include <map>
#include <set>
#include <vector>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace {

bool resolve(const char* host, int port, sockaddr_in* out) {
  std::memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  out->sin_port = htons(static_cast<u_short>(port));
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(host ? host : "127.0.0.1", nullptr, &hints, &res) != 0 || !res) return false;
  out->sin_addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
  freeaddrinfo(res);
  return true;
}

SOCKET sock(plat_socket s) { return static_cast<SOCKET>(s); }

plat_socket wrap(SOCKET s) {
  return s == INVALID_SOCKET ? PLAT_INVALID_SOCKET : static_cast<plat_socket>(s);
}

void noDelay(SOCKET s) {
  BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

// Winsock cannot shut a listening socket down, and closing it under a
// blocked accept is not reliable: a stopped listener is marked here and its
// accept woken by a connection of our own, which it then drops.
std::mutex g_stoppedMutex;
std::set<SOCKET>& stoppedListeners() {
  static std::set<SOCKET>* s = new std::set<SOCKET>;
  return *s;
}

bool isStopped(SOCKET s) {
  std::lock_guard<std::mutex> lock(g_stoppedMutex);
  return stoppedListeners().count(s) != 0;
}

void wakeListener(SOCKET s) {
  sockaddr_in addr;
  int len = sizeof addr;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return;
  if (addr.sin_addr.s_addr == htonl(INADDR_ANY)) addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  SOCKET c = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (c == INVALID_SOCKET) return;
  ::connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  closesocket(c);
}

// A thread blocked in recv is not woken when another thread shuts the
// socket down. Reads are therefore overlapped and also wait for the
// socket's wake event, which plat_sock_shutdown sets (and leaves set).
std::mutex g_wakeMutex;
std::map<SOCKET, HANDLE>& wakeEvents() {
  static std::map<SOCKET, HANDLE>* m = new std::map<SOCKET, HANDLE>;
  return *m;
}

HANDLE wakeEventFor(SOCKET s) {
  std::lock_guard<std::mutex> lock(g_wakeMutex);
  HANDLE& h = wakeEvents()[s];
  if (!h) h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return h;
}

}  // namespace

bool plat_net_init() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] {
    WSADATA data;
    ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return ok;
}

plat_socket plat_tcp_listen(const char* host, int port, int* boundPort) {
  if (!plat_net_init() || port < 0 || port > 65535) return PLAT_INVALID_SOCKET;
  sockaddr_in addr;
  if (!resolve(host, port, &addr)) return PLAT_INVALID_SOCKET;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return PLAT_INVALID_SOCKET;
  // Exclusive use: on Windows SO_REUSEADDR would let a second server steal
  // the port.
  BOOL one = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 64) != 0) {
    closesocket(s);
    return PLAT_INVALID_SOCKET;
  }
  if (boundPort) {
    int len = sizeof addr;
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    *boundPort = ntohs(addr.sin_port);
  }
  return wrap(s);
}

plat_socket plat_tcp_accept(plat_socket listener) { return plat_tcp_accept(listener, nullptr); }

plat_socket plat_tcp_accept(plat_socket listener, bool* retry) {
  if (retry) *retry = false;
  if (listener == PLAT_INVALID_SOCKET) return PLAT_INVALID_SOCKET;
  SOCKET s = ::accept(sock(listener), nullptr, nullptr);
  if (isStopped(sock(listener))) {
    if (s != INVALID_SOCKET) closesocket(s);
    return PLAT_INVALID_SOCKET;
  }
  if (s != INVALID_SOCKET) {
    noDelay(s);
  } else if (retry) {
    int e = WSAGetLastError();
    *retry = e == WSAEMFILE || e == WSAENOBUFS || e == WSAECONNRESET;
  }
  return wrap(s);
}

plat_socket plat_tcp_connect(const char* host, int port, unsigned timeoutMs) {
  if (!plat_net_init() || port <= 0 || port > 65535) return PLAT_INVALID_SOCKET;
  sockaddr_in addr;
  if (!resolve(host, port, &addr)) return PLAT_INVALID_SOCKET;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return PLAT_INVALID_SOCKET;
  u_long nb = 1;
  ioctlsocket(s, FIONBIO, &nb);
  int rc = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  if (rc != 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
    fd_set wr, ex;
    FD_ZERO(&wr);
    FD_ZERO(&ex);
    FD_SET(s, &wr);
    FD_SET(s, &ex);
    timeval tv;
    tv.tv_sec = static_cast<long>(timeoutMs / 1000);
    tv.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
    if (::select(0, nullptr, &wr, &ex, &tv) == 1 && FD_ISSET(s, &wr)) rc = 0;
  }
  if (rc != 0) {
    closesocket(s);
    return PLAT_INVALID_SOCKET;
  }
  nb = 0;
  ioctlsocket(s, FIONBIO, &nb);
  noDelay(s);
  return wrap(s);
}

long plat_sock_send(plat_socket s, const void* data, std::size_t len) {
  if (s == PLAT_INVALID_SOCKET) return -1;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < len) {
    std::size_t chunk = len - done;
    if (chunk > 0x40000000u) chunk = 0x40000000u;
    int n = ::send(sock(s), p + done, static_cast<int>(chunk), 0);
    if (n == SOCKET_ERROR) return -1;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
}

namespace {

// One overlapped send that also ends on the socket's wake event (a
// shutdown), as reads do: 1 when it completed (*sent bytes), -2 when
// `timeoutMs` passed, -1 when the socket failed or was shut down.
int sendPiece(SOCKET s, HANDLE wake, const char* p, std::size_t len, DWORD timeoutMs,
              void (*onWait)(void*), void* ctx, DWORD* sent) {
  *sent = 0;
  WSAOVERLAPPED ov;
  std::memset(&ov, 0, sizeof ov);
  ov.hEvent = WSACreateEvent();
  if (ov.hEvent == WSA_INVALID_EVENT) return -1;
  WSABUF b;
  b.len = static_cast<u_long>(len);
  b.buf = const_cast<char*>(p);
  int result = -1;
  if (WSASend(s, &b, 1, sent, 0, &ov, nullptr) == 0) {
    result = 1;
  } else if (WSAGetLastError() == WSA_IO_PENDING) {
    if (onWait) onWait(ctx);
    HANDLE hs[2] = {ov.hEvent, wake};
    DWORD w = WaitForMultipleObjects(2, hs, FALSE, timeoutMs);
    if (w != WAIT_OBJECT_0) CancelIoEx(reinterpret_cast<HANDLE>(s), &ov);
    // `ov` and the data are in use until the send finished or was cancelled.
    DWORD flags = 0;
    bool done = WSAGetOverlappedResult(s, &ov, sent, TRUE, &flags) != 0;
    if (done && *sent == len) result = 1;
    else result = w == WAIT_TIMEOUT ? -2 : -1;
  }
  WSACloseEvent(ov.hEvent);
  return result;
}

}  // namespace

long plat_sock_send_wait(plat_socket s, const void* data, std::size_t len, int timeoutMs,
                         void (*onWait)(void*), void* ctx) {
  if (s == PLAT_INVALID_SOCKET) return -1;
  HANDLE wake = wakeEventFor(sock(s));
  if (!wake || WaitForSingleObject(wake, 0) == WAIT_OBJECT_0) return -1;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < len) {
    std::size_t chunk = len - done;
    if (chunk > 0x40000000u) chunk = 0x40000000u;
    DWORD sent = 0;
    int r = sendPiece(sock(s), wake, p + done, chunk,
                      timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs), onWait, ctx, &sent);
    if (r < 0) return r;
    done += sent;
  }
  return static_cast<long>(done);
}

long plat_sock_send_some(plat_socket s, const void* data, std::size_t len) {
  if (s == PLAT_INVALID_SOCKET) return -1;
  HANDLE wake = wakeEventFor(sock(s));
  if (!wake || WaitForSingleObject(wake, 0) == WAIT_OBJECT_0) return -1;
  // A send cannot be taken back half done: small pieces, each only while
  // the socket is writable, so that none waits for long.
  const std::size_t kPiece = 2048;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < len) {
    fd_set wr;
    FD_ZERO(&wr);
    FD_SET(sock(s), &wr);
    timeval now = {0, 0};
    int ready = ::select(0, nullptr, &wr, nullptr, &now);
    if (ready == SOCKET_ERROR) return -1;
    if (ready == 0) break;
    std::size_t piece = len - done < kPiece ? len - done : kPiece;
    DWORD sent = 0;
    if (sendPiece(sock(s), wake, p + done, piece, INFINITE, nullptr, nullptr, &sent) < 0) return -1;
    done += sent;
  }
  return static_cast<long>(done);
}

long plat_sock_recv(plat_socket s, void* buf, std::size_t len) {
  if (s == PLAT_INVALID_SOCKET) return -1;
  if (len > 0x40000000u) len = 0x40000000u;
  HANDLE wake = wakeEventFor(sock(s));
  if (!wake || WaitForSingleObject(wake, 0) == WAIT_OBJECT_0) return 0;
  WSAOVERLAPPED ov;
  std::memset(&ov, 0, sizeof ov);
  ov.hEvent = WSACreateEvent();
  if (ov.hEvent == WSA_INVALID_EVENT) return -1;
  WSABUF b;
  b.len = static_cast<u_long>(len);
  b.buf = static_cast<char*>(buf);
  DWORD got = 0, flags = 0;
  long result = -1;
  if (WSARecv(sock(s), &b, 1, &got, &flags, &ov, nullptr) == 0) {
    result = static_cast<long>(got);
  } else if (WSAGetLastError() == WSA_IO_PENDING) {
    HANDLE hs[2] = {ov.hEvent, wake};
    DWORD w = WaitForMultipleObjects(2, hs, FALSE, INFINITE);
    if (w != WAIT_OBJECT_0) CancelIoEx(reinterpret_cast<HANDLE>(sock(s)), &ov);
    // Wait for the read to finish or be cancelled: `ov` and `buf` are in use until then.
    if (WSAGetOverlappedResult(sock(s), &ov, &got, TRUE, &flags))
      result = static_cast<long>(got);
    else if (w != WAIT_OBJECT_0)
      result = 0;  // shut down
  }
  WSACloseEvent(ov.hEvent);
  return result;
}

int plat_sock_wait_readable(plat_socket s, int timeoutMs) {
  if (s == PLAT_INVALID_SOCKET) return -1;
  fd_set rd;
  FD_ZERO(&rd);
  FD_SET(sock(s), &rd);
  timeval tv;
  tv.tv_sec = timeoutMs / 1000;
  tv.tv_usec = (timeoutMs % 1000) * 1000;
  int n = ::select(0, &rd, nullptr, nullptr, timeoutMs < 0 ? nullptr : &tv);
  if (n == SOCKET_ERROR) return -1;
  return n > 0 ? 1 : 0;
}

int plat_sock_poll(const plat_socket* socks, std::size_t n, unsigned char* ready, int timeoutMs) {
  std::vector<WSAPOLLFD> p(n);
  for (std::size_t i = 0; i < n; ++i) {
    p[i].fd = sock(socks[i]);
    p[i].events = POLLRDNORM;
    p[i].revents = 0;
  }
  int r = WSAPoll(p.data(), static_cast<ULONG>(n), timeoutMs < 0 ? -1 : timeoutMs);
  if (r == SOCKET_ERROR) return -1;
  for (std::size_t i = 0; i < n; ++i)
    ready[i] = (p[i].revents & (POLLRDNORM | POLLHUP | POLLERR | POLLNVAL)) != 0;
  return r;
}

// WSAPoll over the whole set: Windows has no cheaper readiness wait for
// plain sockets.
struct plat_pollset {
  std::vector<WSAPOLLFD> fds;
  std::vector<void*> tags;
};

plat_pollset* plat_pollset_new() { return new plat_pollset; }

void plat_pollset_free(plat_pollset* set) { delete set; }

bool plat_pollset_add(plat_pollset* set, plat_socket s, void* tag) {
  if (!set || s == PLAT_INVALID_SOCKET) return false;
  WSAPOLLFD p;
  p.fd = sock(s);
  p.events = POLLRDNORM;
  p.revents = 0;
  set->fds.push_back(p);
  set->tags.push_back(tag);
  return true;
}

void plat_pollset_remove(plat_pollset* set, plat_socket s) {
  if (!set) return;
  for (std::size_t i = 0; i < set->fds.size(); ++i)
    if (set->fds[i].fd == sock(s)) {
      set->fds[i] = set->fds.back();
      set->fds.pop_back();
      set->tags[i] = set->tags.back();
      set->tags.pop_back();
      return;
    }
}

int plat_pollset_wait(plat_pollset* set, void** tags, int max, int timeoutMs) {
  if (!set || max <= 0) return -1;
  if (set->fds.empty()) {
    Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    return 0;
  }
  for (auto& p : set->fds) p.revents = 0;
  int r = WSAPoll(set->fds.data(), static_cast<ULONG>(set->fds.size()), timeoutMs < 0 ? -1 : timeoutMs);
  if (r == SOCKET_ERROR) return -1;
  int n = 0;
  for (std::size_t i = 0; i < set->fds.size() && n < max; ++i)
    if (set->fds[i].revents & (POLLRDNORM | POLLHUP | POLLERR | POLLNVAL)) tags[n++] = set->tags[i];
  return n;
}

void plat_sock_shutdown(plat_socket s) {
  if (s == PLAT_INVALID_SOCKET) return;
  int rc = ::shutdown(sock(s), SD_BOTH);
  int err = rc == 0 ? 0 : WSAGetLastError();
  if (HANDLE wake = wakeEventFor(sock(s))) SetEvent(wake);
  if (rc == 0 || err != WSAENOTCONN) return;
  BOOL listening = FALSE;
  int len = sizeof listening;
  if (getsockopt(sock(s), SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char*>(&listening),
                 &len) != 0 ||
      !listening)
    return;
  {
    std::lock_guard<std::mutex> lock(g_stoppedMutex);
    stoppedListeners().insert(sock(s));
  }
  wakeListener(sock(s));
}

bool plat_sock_close(plat_socket s) {
  if (s == PLAT_INVALID_SOCKET) return false;
  {
    std::lock_guard<std::mutex> lock(g_stoppedMutex);
    stoppedListeners().erase(sock(s));
  }
  {
    std::lock_guard<std::mutex> lock(g_wakeMutex);
    auto it = wakeEvents().find(sock(s));
    if (it != wakeEvents().end()) {
      if (it->second) CloseHandle(it->second);
      wakeEvents().erase(it);
    }
  }
  return closesocket(sock(s)) == 0;
}

// Windows has no per-process limit on sockets to lower.
bool plat_set_open_limit(unsigned long) { return false; }

unsigned long plat_open_limit() { return 0; }

bool plat_host_known(const char* host) {
  if (!host || !*host || !plat_net_init()) return false;
  sockaddr_in addr;
  return resolve(host, 1, &addr);
}
