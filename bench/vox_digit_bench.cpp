// Digit round trip through the voice library: from a digit pressed on the
// simulated call until dx_getdig returns it. The switch runs in this process
// and is reached over TCP on loopback (board 1) and, for comparison, through
// in-process sessions (board 2). Target: under 1 ms on loopback.
//   vox_digit_bench [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "csta32/internal.h"
#include "embedded/switch_host.h"
#include "platform/fileops.h"
#include "platform/platform.h"
#include "simulator/telsim.h"
#include "voxbridge/include/voxlib.h"

namespace {

using embedded::SwitchHost;

DV_TPT term(std::uint16_t termno, std::uint16_t length) {
  DV_TPT t;
  std::memset(&t, 0, sizeof t);
  t.tp_type = IO_EOT;
  t.tp_termno = termno;
  t.tp_length = length;
  return t;
}

bool writeText(const std::string& path, const std::string& text) {
  plat_handle h = plat_open(path.c_str(), PLAT_OPEN_WRITE_NEW);
  if (h == PLAT_INVALID_HANDLE) return false;
  bool ok = plat_write(h, text.data(), text.size()) == static_cast<long>(text.size());
  plat_close(h);
  return ok;
}

void run(telsim::Switch& sw, const char* label, const char* line, const char* port, const char* channel,
         int rounds) {
  sw.control(std::string("dialin ") + line + " 5551234 " + port);
  sw.control(std::string("answer ") + port);
  int h = dx_open(channel, 0);
  if (h < 0) {
    std::printf("%s: cannot open %s\n", label, channel);
    return;
  }
  DV_DIGIT digits;
  DV_TPT arm = term(DX_MAXTIME, 1);
  dx_getdig(h, &arm, &digits, EV_SYNC);  // monitors the call and arms the detector
  DV_TPT one = term(DX_MAXDTMF, 1);
  const std::string press = std::string("dtmf ") + line + " 5";
  std::vector<double> us;
  us.reserve(static_cast<std::size_t>(rounds));
  for (int i = 0; i < rounds; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    sw.control(press);
    int n = dx_getdig(h, &one, &digits, EV_SYNC);
    auto t1 = std::chrono::steady_clock::now();
    if (n != 2 || digits.dg_value[0] != '5') {
      std::printf("%s: round %d returned %d\n", label, i, n);
      break;
    }
    us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  dx_close(h);
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  double sum = 0;
  for (double v : us) sum += v;
  std::printf("%-22s %6zu rounds  median %7.1f us  p99 %7.1f us  max %8.1f us  mean %7.1f us  %s\n", label,
              us.size(), us[us.size() / 2], us[us.size() * 99 / 100], us.back(), sum / static_cast<double>(us.size()),
              us[us.size() / 2] < 1000.0 ? "(under 1 ms)" : "(OVER 1 ms)");
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  if (rounds <= 0) rounds = 2000;

  telsim::Switch sw(telsim::defaultConfig(), false);
  telsim::TcpServer tcp(sw);
  std::string err;
  if (!tcp.start(nullptr, 0, &err)) {
    std::printf("no TCP server: %s\n", err.c_str());
    return 1;
  }
  csta32::ServerEntry entry;
  entry.name = "BENCHTCP";
  entry.embedded = false;
  entry.host = "127.0.0.1";
  entry.port = tcp.port();
  csta32::addServer(entry);
  SwitchHost host(sw);
  csta32::registerLocalHost("BENCHLOCAL", &host);

  // The library reads its configuration from KVR\telsrvr\telsrvr.ini.
  char base[1024];
  if (!plat_temp_name(nullptr, base, sizeof base)) return 1;
  plat_delete_file(base);
  std::string dir = base;
  plat_make_dir(dir.c_str());
  plat_make_dir((dir + "/telsrvr").c_str());
  writeText(dir + "/telsrvr/telsrvr.ini",
            "[Setup]\nUser=Telvanix\nServer=BENCHTCP\nDeviceID=401\nKVRLine=1\n"
            "[Setup]\nServer=BENCHLOCAL\nDeviceID=402\nKVRLine=1\n");
  plat_setenv("KVR", dir.c_str());

  std::printf("digit round trip: control \"dtmf\" on the switch -> dx_getdig returns the digit\n");
  run(sw, "TCP loopback", "L1#1", "401", "dxxxB1C1", rounds);
  run(sw, "in-process sessions", "L1#2", "402", "dxxxB2C1", rounds);
  csta32::abortAllStreams();
  csta32::registerLocalHost("BENCHLOCAL", nullptr);
  return 0;
}
