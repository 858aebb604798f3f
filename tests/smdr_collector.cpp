// A stand-in SMDR collector for the end-to-end tests of the TCP outputs.
//
//   smdr_collector connect PORT FILE   connects to 127.0.0.1:PORT and appends
//                                      every byte received to FILE until the
//                                      connection ends
//   smdr_collector listen PORT FILE    listens on 127.0.0.1:PORT (0: any free
//                                      port, written to FILE.port), takes one
//                                      connection and does the same
//   smdr_collector stall PORT          connects and never reads
//
// Each gives up after a minute, so a test that fails leaves nothing behind.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/net.h"
#include "platform/platform.h"

namespace {

const int kLifeMs = 60000;

int receive(plat_socket s, const char* path) {
  const std::uint64_t end = plat_millis() + kLifeMs;
  while (plat_millis() < end) {
    const int ready = plat_sock_wait_readable(s, 1000);
    if (ready < 0) break;
    if (ready == 0) continue;
    char buf[4096];
    const long n = plat_sock_recv(s, buf, sizeof buf);
    if (n <= 0) break;
    // Opened for each piece, so the test sees what came as soon as it came.
    FILE* out = std::fopen(path, "ab");
    if (!out) return 1;
    std::fwrite(buf, 1, static_cast<std::size_t>(n), out);
    std::fclose(out);
  }
  plat_sock_close(s);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: smdr_collector connect|listen|stall PORT [FILE]\n");
    return 2;
  }
  const std::string mode = argv[1];
  const int port = std::atoi(argv[2]);
  if (mode == "stall") {
    const plat_socket s = plat_tcp_connect("127.0.0.1", port, 5000);
    if (s == PLAT_INVALID_SOCKET) return 1;
    plat_sleep_ms(kLifeMs);
    return 0;
  }
  if (argc < 4) return 2;
  const char* path = argv[3];
  if (mode == "connect") {
    const plat_socket s = plat_tcp_connect("127.0.0.1", port, 5000);
    if (s == PLAT_INVALID_SOCKET) return 1;
    return receive(s, path);
  }
  if (mode == "listen") {
    int bound = 0;
    const plat_socket listener = plat_tcp_listen("127.0.0.1", port, &bound);
    if (listener == PLAT_INVALID_SOCKET) return 1;
    const std::string portFile = std::string(path) + ".port";
    if (FILE* f = std::fopen(portFile.c_str(), "wb")) {
      std::fprintf(f, "%d\n", bound);
      std::fclose(f);
    }
    if (plat_sock_wait_readable(listener, kLifeMs) != 1) return 1;
    const plat_socket s = plat_tcp_accept(listener);
    plat_sock_close(listener);
    if (s == PLAT_INVALID_SOCKET) return 1;
    return receive(s, path);
  }
  return 2;
}
