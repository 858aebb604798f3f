#include "platform/net.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

bool resolve(const char* host, int port, sockaddr_in* out) {
  std::memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  out->sin_port = htons(static_cast<unsigned short>(port));
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

void noDelay(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

bool plat_net_init() { return true; }

plat_socket plat_tcp_listen(const char* host, int port, int* boundPort) {
  if (port < 0 || port > 65535) return PLAT_INVALID_SOCKET;
  sockaddr_in addr;
  if (!resolve(host, port, &addr)) return PLAT_INVALID_SOCKET;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return PLAT_INVALID_SOCKET;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
    ::close(fd);
    return PLAT_INVALID_SOCKET;
  }
  if (boundPort) {
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    *boundPort = ntohs(addr.sin_port);
  }
  return fd;
}

plat_socket plat_tcp_accept(plat_socket listener) { return plat_tcp_accept(listener, nullptr); }

plat_socket plat_tcp_accept(plat_socket listener, bool* retry) {
  if (retry) *retry = false;
  if (listener == PLAT_INVALID_SOCKET) return PLAT_INVALID_SOCKET;
  for (;;) {
    int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      noDelay(fd);
      return fd;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (retry)
      *retry = errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM ||
               errno == EPROTO || errno == EPERM;
    return PLAT_INVALID_SOCKET;
  }
}

plat_socket plat_tcp_connect(const char* host, int port, unsigned timeoutMs) {
  if (port <= 0 || port > 65535) return PLAT_INVALID_SOCKET;
  sockaddr_in addr;
  if (!resolve(host, port, &addr)) return PLAT_INVALID_SOCKET;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return PLAT_INVALID_SOCKET;
  int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd p = {fd, POLLOUT, 0};
    int n;
    do {
      n = ::poll(&p, 1, static_cast<int>(timeoutMs));
    } while (n < 0 && errno == EINTR);
    int err = 0;
    socklen_t len = sizeof err;
    if (n == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) rc = 0;
  }
  if (rc != 0) {
    ::close(fd);
    return PLAT_INVALID_SOCKET;
  }
  fcntl(fd, F_SETFL, flags);
  noDelay(fd);
  return fd;
}

long plat_sock_send(plat_socket s, const void* data, std::size_t len) {
  if (s == PLAT_INVALID_SOCKET) return -1;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = ::send(static_cast<int>(s), p + done, len - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
}

long plat_sock_send_wait(plat_socket s, const void* data, std::size_t len, int timeoutMs,
                         void (*onWait)(void*), void* ctx) {
  if (s == PLAT_INVALID_SOCKET) return -1;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = ::send(static_cast<int>(s), p + done, len - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (onWait) onWait(ctx);
    pollfd q = {static_cast<int>(s), POLLOUT, 0};
    int r;
    do {
      r = ::poll(&q, 1, timeoutMs < 0 ? -1 : timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r < 0) return -1;
    if (r == 0) return -2;
  }
  return static_cast<long>(done);
}

long plat_sock_send_some(plat_socket s, const void* data, std::size_t len) {
  if (s == PLAT_INVALID_SOCKET) return -1;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = ::send(static_cast<int>(s), p + done, len - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    return -1;
  }
  return static_cast<long>(done);
}

long plat_sock_recv(plat_socket s, void* buf, std::size_t len) {
  if (s == PLAT_INVALID_SOCKET) return -1;
  for (;;) {
    ssize_t n = ::recv(static_cast<int>(s), buf, len, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -1;
  }
}

int plat_sock_wait_readable(plat_socket s, int timeoutMs) {
  if (s == PLAT_INVALID_SOCKET) return -1;
  pollfd p = {static_cast<int>(s), POLLIN, 0};
  for (;;) {
    int n = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (n >= 0) return n > 0 ? 1 : 0;
    if (errno != EINTR) return -1;
  }
}

int plat_sock_poll(const plat_socket* socks, std::size_t n, unsigned char* ready, int timeoutMs) {
  std::vector<pollfd> p(n);
  for (std::size_t i = 0; i < n; ++i) p[i] = {static_cast<int>(socks[i]), POLLIN, 0};
  int r;
  do {
    r = ::poll(p.data(), static_cast<nfds_t>(n), timeoutMs < 0 ? -1 : timeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return -1;
  for (std::size_t i = 0; i < n; ++i) ready[i] = (p[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
  return r;
}

struct plat_pollset {
  int ep = -1;
};

plat_pollset* plat_pollset_new() {
  int ep = epoll_create1(EPOLL_CLOEXEC);
  if (ep < 0) return nullptr;
  plat_pollset* set = new plat_pollset;
  set->ep = ep;
  return set;
}

void plat_pollset_free(plat_pollset* set) {
  if (!set) return;
  ::close(set->ep);
  delete set;
}

bool plat_pollset_add(plat_pollset* set, plat_socket s, void* tag) {
  if (!set || s == PLAT_INVALID_SOCKET) return false;
  epoll_event e = {};
  e.events = EPOLLIN;  // errors and hang-ups are always reported
  e.data.ptr = tag;
  return epoll_ctl(set->ep, EPOLL_CTL_ADD, static_cast<int>(s), &e) == 0;
}

void plat_pollset_remove(plat_pollset* set, plat_socket s) {
  if (!set || s == PLAT_INVALID_SOCKET) return;
  epoll_event e = {};
  epoll_ctl(set->ep, EPOLL_CTL_DEL, static_cast<int>(s), &e);
}

int plat_pollset_wait(plat_pollset* set, void** tags, int max, int timeoutMs) {
  if (!set || max <= 0) return -1;
  std::vector<epoll_event> events(static_cast<std::size_t>(max));
  int r;
  do {
    r = epoll_wait(set->ep, events.data(), max, timeoutMs < 0 ? -1 : timeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return -1;
  for (int i = 0; i < r; ++i) tags[i] = events[static_cast<std::size_t>(i)].data.ptr;
  return r;
}

void plat_sock_shutdown(plat_socket s) {
  if (s != PLAT_INVALID_SOCKET) ::shutdown(static_cast<int>(s), SHUT_RDWR);
}

bool plat_sock_close(plat_socket s) {
  return s != PLAT_INVALID_SOCKET && ::close(static_cast<int>(s)) == 0;
}

bool plat_set_open_limit(unsigned long n) {
  rlimit r;
  if (getrlimit(RLIMIT_NOFILE, &r) != 0) return false;
  if (r.rlim_max != RLIM_INFINITY && n > r.rlim_max) n = static_cast<unsigned long>(r.rlim_max);
  r.rlim_cur = n;
  return setrlimit(RLIMIT_NOFILE, &r) == 0;
}

unsigned long plat_open_limit() {
  rlimit r;
  if (getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return 0;
  return static_cast<unsigned long>(r.rlim_cur);
}

bool plat_host_known(const char* host) {
  if (!host || !*host) return false;
  sockaddr_in addr;
  return resolve(host, 1, &addr);
}
