// TCP sockets through the platform layer: what the client library's TCP
// transport and the simulator's server need, on IPv4 (loopback above all).
// Every call is safe from any thread; one socket may be read on one thread
// while another thread sends on it or shuts it down.
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::intptr_t plat_socket;
const plat_socket PLAT_INVALID_SOCKET = -1;

// Starts the socket library (Winsock); idempotent and done by every call
// below when needed, so callers rarely need it.
bool plat_net_init();

// Listens on host:port ("127.0.0.1" when host is null; port 0 picks a free
// port). *boundPort, when given, receives the port in use.
plat_socket plat_tcp_listen(const char* host, int port, int* boundPort);
// Waits for the next connection. PLAT_INVALID_SOCKET once the listener is
// shut down or closed.
plat_socket plat_tcp_accept(plat_socket listener);
// As above; when it fails and *retry is true, the failure may pass (out of
// descriptors or memory) and the listener still stands.
plat_socket plat_tcp_accept(plat_socket listener, bool* retry);
// Connects to host:port, giving up after timeoutMs.
plat_socket plat_tcp_connect(const char* host, int port, unsigned timeoutMs);

// Sends all of `data`; returns len, or -1 when the connection is gone.
long plat_sock_send(plat_socket s, const void* data, std::size_t len);
// As plat_sock_send, but gives up when the peer has taken nothing for
// timeoutMs: returns len, -1 when the connection is gone, -2 on the wait
// running out (part of the data may have been sent). `onWait`, when given,
// is called with `ctx` each time the call starts waiting for the peer.
long plat_sock_send_wait(plat_socket s, const void* data, std::size_t len, int timeoutMs,
                         void (*onWait)(void*) = nullptr, void* ctx = nullptr);
// Sends as much of `data` as the peer takes now, without waiting: the count
// sent (0 when none), or -1 when the connection is gone.
long plat_sock_send_some(plat_socket s, const void* data, std::size_t len);
// Receives what is there, waiting for at least one byte: the count, 0 when
// the peer closed the connection or the socket was shut down, -1 on error.
long plat_sock_recv(plat_socket s, void* buf, std::size_t len);
// Waits until the socket can be read (1), timeoutMs passed (0) or an error
// (-1). timeoutMs < 0 waits without limit.
int plat_sock_wait_readable(plat_socket s, int timeoutMs);
// Waits until at least one of `n` sockets can be read (or has ended or
// failed: its recv then says so), at most timeoutMs (< 0: no limit). Sets
// ready[i] non-zero for those; returns how many, 0 on the time passing, -1
// on an error.
int plat_sock_poll(const plat_socket* socks, std::size_t n, unsigned char* ready, int timeoutMs);
// A set of sockets waited on together. Where the system allows (Linux), a
// wait costs what is ready rather than what is in the set, so many idle
// connections do not slow the busy ones. One thread waits on a set; others
// must not change it meanwhile.
struct plat_pollset;
plat_pollset* plat_pollset_new();
void plat_pollset_free(plat_pollset* set);
// `tag` comes back from plat_pollset_wait when the socket can be read (or
// has ended or failed). False when it cannot be added.
bool plat_pollset_add(plat_pollset* set, plat_socket s, void* tag);
// Before the socket is closed.
void plat_pollset_remove(plat_pollset* set, plat_socket s);
// Waits at most timeoutMs (< 0: no limit) and writes the tags of up to max
// ready sockets: returns how many, 0 when the time passed, -1 on an error.
int plat_pollset_wait(plat_pollset* set, void** tags, int max, int timeoutMs);
// Ends both directions: a recv or accept blocked on the socket returns.
void plat_sock_shutdown(plat_socket s);
bool plat_sock_close(plat_socket s);

// Lowers (or raises, up to the hard limit) how many files and sockets the
// process may hold open; false where it cannot be set (tests).
bool plat_set_open_limit(unsigned long n);
// The number of files and sockets the process may hold open, 0 if unknown.
unsigned long plat_open_limit();

// ---- names ----------------------------------------------------------------

// True when `host` (a name or a dotted address) resolves to an IPv4 address.
bool plat_host_known(const char* host);
