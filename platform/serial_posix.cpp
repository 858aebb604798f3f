// Serial ports on Linux: termios for the line settings, tcflush for purges,
// the driver's interrupt counters for line errors, and non-blocking writes
// bounded by poll so a stalled port cannot hold the program.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <linux/serial.h>

#include "platform/serial_name.h"

namespace {

int fd_of(plat_handle h) { return static_cast<int>(h); }

bool copy_out(const char* text, char* out, std::size_t size) {
  if (std::strlen(text) + 1 > size) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, text, std::strlen(text) + 1);
  return true;
}

speed_t speed_of(long baud) {
  static const struct {
    long baud;
    speed_t speed;
  } speeds[] = {{50, B50},       {75, B75},         {110, B110},       {134, B134},
                {150, B150},     {200, B200},       {300, B300},       {600, B600},
                {1200, B1200},   {1800, B1800},     {2400, B2400},     {4800, B4800},
                {9600, B9600},   {19200, B19200},   {38400, B38400},   {57600, B57600},
                {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& s : speeds)
    if (s.baud == baud) return s.speed;
  return B0;
}

// The counters last read per device, so each read reports what is new.
std::map<dev_t, serial_icounter_struct>& lastCounts() {
  static std::map<dev_t, serial_icounter_struct> counts;
  return counts;
}

}  // namespace

bool plat_serial_name(const char* name, char* device, std::size_t size) {
  if (!device || size == 0) return false;
  device[0] = '\0';
  if (!name) return false;
  const int n = plat_serial_detail::comPortNumber(name);
  if (n > 0) {
    char var[32];
    std::snprintf(var, sizeof var, "PROBIX_COM%d", n);
    const char* own = std::getenv(var);
    char path[64];
    std::snprintf(path, sizeof path, "/dev/ttyS%d", n - 1);
    copy_out(own && *own ? own : path, device, size);
    return true;
  }
  if (::strncasecmp(name, "/dev/", 5) != 0) return false;
  if (!plat_map_path(name, device, size)) device[0] = '\0';
  return true;
}

plat_handle plat_serial_open(const char* device) {
  if (!device || !*device) return PLAT_INVALID_HANDLE;
  const int fd = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return PLAT_INVALID_HANDLE;
  // One user at a time, as the port is on Windows.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    errno = err == EWOULDBLOCK ? EBUSY : err;
    return PLAT_INVALID_HANDLE;
  }
  return static_cast<plat_handle>(fd);
}

bool plat_serial_set_mode(plat_handle h, const char* mode) {
  if (h == PLAT_INVALID_HANDLE || !mode) return false;
  long baud = -1;
  char parity = 0;
  int data = 0, stop = 0;
  // Every word of the form key=value after the port name.
  const char* p = std::strchr(mode, ' ');
  while (p && *p) {
    while (*p == ' ') ++p;
    const char* end = std::strchr(p, ' ');
    const std::size_t len = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
    char word[32];
    if (len < sizeof word) {
      std::memcpy(word, p, len);
      word[len] = '\0';
      char* value = std::strchr(word, '=');
      if (value) {
        *value++ = '\0';
        if (::strcasecmp(word, "baud") == 0) baud = std::strtol(value, nullptr, 10);
        else if (::strcasecmp(word, "parity") == 0) parity = value[0];
        else if (::strcasecmp(word, "data") == 0) data = std::atoi(value);
        else if (::strcasecmp(word, "stop") == 0) stop = std::atoi(value);
      }
    }
    p = end;
  }

  termios t;
  if (::tcgetattr(fd_of(h), &t) != 0) return false;
  // Records go out byte for byte: no translation, no echo, no signals.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag |= CLOCAL | CREAD;
  if (baud >= 0) {
    const speed_t speed = speed_of(baud);
    if (speed == B0) {
      errno = EINVAL;
      return false;
    }
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
  }
  switch (parity) {
    case 0: break;
    case 'n': case 'N': t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD); break;
    case 'e': case 'E': t.c_cflag = (t.c_cflag | PARENB) & ~static_cast<tcflag_t>(PARODD); break;
    case 'o': case 'O': t.c_cflag |= PARENB | PARODD; break;
    default: errno = EINVAL; return false;
  }
  if (data) {
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (data < 5 || data > 8) {
      errno = EINVAL;
      return false;
    }
    t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | sizes[data - 5];
  }
  if (stop) {
    if (stop != 1 && stop != 2) {
      errno = EINVAL;
      return false;
    }
    if (stop == 2) t.c_cflag |= CSTOPB;
    else t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  }
  return ::tcsetattr(fd_of(h), TCSANOW, &t) == 0;
}

bool plat_serial_purge(plat_handle h) {
  return h != PLAT_INVALID_HANDLE && ::tcflush(fd_of(h), TCOFLUSH) == 0;
}

bool plat_serial_errors(plat_handle h, unsigned long* errors) {
  if (!errors) return false;
  *errors = 0;
  if (h == PLAT_INVALID_HANDLE) return false;
  struct stat st;
  if (::fstat(fd_of(h), &st) != 0) return false;
  serial_icounter_struct now;
  std::memset(&now, 0, sizeof now);
  // Pseudo-terminals and some adapters keep no counters: no errors to tell.
  if (::ioctl(fd_of(h), TIOCGICOUNT, &now) != 0) return true;
  auto found = lastCounts().find(st.st_rdev);
  serial_icounter_struct before;
  std::memset(&before, 0, sizeof before);
  if (found != lastCounts().end()) before = found->second;
  if (now.brk != before.brk) *errors |= PLAT_CE_BREAK;
  if (now.frame != before.frame) *errors |= PLAT_CE_FRAME;
  if (now.overrun != before.overrun) *errors |= PLAT_CE_OVERRUN;
  if (now.buf_overrun != before.buf_overrun) *errors |= PLAT_CE_RXOVER;
  if (now.parity != before.parity) *errors |= PLAT_CE_RXPARITY;
  lastCounts()[st.st_rdev] = now;
  return true;
}

long plat_serial_write(plat_handle h, const void* data, std::size_t len, unsigned timeoutMs) {
  return plat_serial_write_counted(h, data, len, timeoutMs, nullptr);
}

int plat_serial_port_number(const char* name) { return plat_serial_detail::comPortNumber(name); }

long plat_serial_write_counted(plat_handle h, const void* data, std::size_t len,
                               unsigned timeoutMs, std::size_t* sent) {
  if (sent) *sent = 0;
  if (h == PLAT_INVALID_HANDLE || (!data && len > 0)) return -1;
  const char* p = static_cast<const char*>(data);
  const std::uint64_t deadline = plat_millis() + timeoutMs;
  std::size_t done = 0;
  while (done < len) {
    const ssize_t n = ::write(fd_of(h), p + done, len - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      if (sent) *sent = done;
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
    const std::uint64_t now = plat_millis();
    if (now >= deadline) {
      errno = ETIMEDOUT;
      return -1;
    }
    pollfd pfd = {fd_of(h), POLLOUT, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(deadline - now));
    if (ready < 0 && errno != EINTR) return -1;
    if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(pfd.revents & POLLOUT)) {
      errno = EIO;
      return -1;
    }
  }
  return static_cast<long>(done);
}
