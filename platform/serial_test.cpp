// Serial ports: which names are ports, and (on Linux, with a pseudo-terminal
// standing in for the port) exclusive opens, line settings, and writes that
// give up on a port nobody reads instead of blocking.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

TEST(SerialNames, PortsAndFiles) {
  char device[64];
  for (const char* port : {"COM1", "com2:", "\\\\.\\COM3", "Com4", "COM12"})
    EXPECT_TRUE(plat_serial_name(port, device, sizeof device)) << port;
  for (const char* file : {"C:\\COMPANY\\CALLS.LOG", "/var/log/COMMS.LOG", "CALLS.COM", "COM",
                           "COMX", "COM1.LOG", "TELECOM1", "COM0", "", "COM1::"})
    EXPECT_FALSE(plat_serial_name(file, device, sizeof device)) << file;
  EXPECT_FALSE(plat_serial_name(nullptr, device, sizeof device));
  // The device never overruns what it is given.
  char tiny[4];
  EXPECT_TRUE(plat_serial_name("COM1", tiny, sizeof tiny));
  EXPECT_EQ(tiny[0], '\0');
}

#ifndef _WIN32
// A pseudo-terminal pair: the slave plays the port.
struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    slave = ptsname(master);
  }
  ~Pty() {
    if (master >= 0) close(master);
  }
};

TEST(SerialPorts, PseudoTerminalStandsInForAPort) {
  Pty pty;
  ASSERT_FALSE(pty.slave.empty());
  char device[256];
  setenv("PROBIX_COM3", pty.slave.c_str(), 1);
  ASSERT_TRUE(plat_serial_name("com3:", device, sizeof device));
  unsetenv("PROBIX_COM3");
  EXPECT_EQ(device, pty.slave);
  ASSERT_TRUE(plat_serial_name("COM2", device, sizeof device));
  EXPECT_STREQ(device, "/dev/ttyS1");

  const plat_handle h = plat_serial_open(pty.slave.c_str());
  ASSERT_NE(h, PLAT_INVALID_HANDLE);
  // One user at a time.
  EXPECT_EQ(plat_serial_open(pty.slave.c_str()), PLAT_INVALID_HANDLE);

  EXPECT_TRUE(plat_serial_set_mode(h, "COM3: baud=2400 parity=e data=7 stop=1"));
  termios t;
  ASSERT_EQ(tcgetattr(static_cast<int>(h), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B2400));
  EXPECT_EQ(t.c_oflag & OPOST, 0u) << "records must go out untranslated";
  EXPECT_FALSE(plat_serial_set_mode(h, "COM3: baud=12345 parity=n data=8 stop=1"));
  EXPECT_FALSE(plat_serial_set_mode(h, "COM3: baud=9600 parity=x data=8 stop=1"));
  EXPECT_FALSE(plat_serial_set_mode(h, "COM3: baud=9600 parity=n data=9 stop=1"));
  unsigned long errors = 99;
  EXPECT_TRUE(plat_serial_errors(h, &errors));
  EXPECT_EQ(errors, 0u);
  EXPECT_TRUE(plat_serial_purge(h));

  const char record[] = "C 12/06/26 14:03:05 0:05 I 202\n";
  EXPECT_EQ(plat_serial_write(h, record, sizeof record - 1, 1000),
            static_cast<long>(sizeof record - 1));
  char got[64] = {};
  EXPECT_EQ(read(pty.master, got, sizeof got), static_cast<long>(sizeof record - 1));
  EXPECT_STREQ(got, record);

  // Nobody reads the other end: the queue fills and the write gives up.
  std::string lots(1 << 20, 'x');
  const std::uint64_t start = plat_millis();
  EXPECT_EQ(plat_serial_write(h, lots.data(), lots.size(), 200), -1);
  EXPECT_LT(plat_millis() - start, 5000u);
  EXPECT_TRUE(plat_close(h));
}
#endif

}  // namespace
