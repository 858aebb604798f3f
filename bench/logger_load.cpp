// Load driver of bench/logger_load.sh: places calls at a steady rate through
// telsim's control port (an outside caller with a number of its own dials in
// on a line, the extension answers, hangs up HOLD ms later), optionally cuts
// the logger's stream or restarts the server part-way, and reads the call
// log as it grows, matching every record to its call by the caller number.
// Prints offered, written, lost, doubled, swapped and the latency from hang-up
// to record.
//
//   logger_load --control PORT --log FILE --console FILE [--rate R]
//               [--seconds S] [--lines N] [--hold MS] [--drop-at S]
//               [--restart-at S] [--settle S]
//
// Lines L1#1..N and extensions 10000.. are used in turn; the logger must
// monitor the lines. Records are read in the Telvanix layout.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "platform/net.h"
#include "platform/platform.h"

namespace {

typedef std::chrono::steady_clock Clock;
const long long kFirstCaller = 5500000000LL;
const int kFirstExtension = 10000;
// Events of calls begun this shortly before a cut may still be queued at the
// server, and a cut stream loses them: such a call is unseen if it ends
// before its line is watched again.
const double kEventsInFlight = 0.05;

struct Options {
  int control = 0;
  std::string log, console;
  double rate = 1500;
  double seconds = 60;
  int lines = 256;
  int holdMs = 0;
  double dropAt = -1, restartAt = -1;
  double settle = 70;
};

struct CallLife {
  double offered = -1, answered = -1, ended = -1;  // seconds from the start
  double written = -1;
  int records = 0;
  bool cut = false;  // the server forgot it in a restart
  long long talkWritten = -1;
  double answerWrittenWall = -1;  // the record's answer second, local wall time
};

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The control connection: commands sent in batches, answers counted.
class Control {
 public:
  bool open(int port) {
    s_ = plat_tcp_connect("127.0.0.1", port, 5000);
    return s_ != PLAT_INVALID_SOCKET;
  }
  void queue(const std::string& line) {
    out_ += line;
    out_ += '\n';
    ++sent_;
  }
  bool flush() {
    if (out_.empty()) return true;
    const bool ok = plat_sock_send_wait(s_, out_.data(), out_.size(), 30000) >= 0;
    out_.clear();
    return ok;
  }
  // Reads what has come; waits up to timeoutMs for the first bytes.
  void read(int timeoutMs) {
    while (plat_sock_wait_readable(s_, timeoutMs) > 0) {
      char buf[65536];
      const long n = plat_sock_recv(s_, buf, sizeof buf);
      if (n <= 0) return;
      in_.append(buf, static_cast<std::size_t>(n));
      timeoutMs = 0;
    }
    std::size_t start = 0, nl;
    while ((nl = in_.find('\n', start)) != std::string::npos) {
      const std::string line = in_.substr(start, nl - start);
      if (line == "OK") ++ok_;
      if (line == "ERROR") ++errors_;
      // A `sessions` answer: how many devices the open stream watches.
      const std::size_t open = line.find(" open ");
      const std::size_t paren = line.find(" monitors (");
      if (line.rfind("stream ", 0) == 0 && open != std::string::npos && paren != std::string::npos)
        deviceMonitors_ = std::atol(line.c_str() + paren + 11);
      if (line == "no streams") deviceMonitors_ = 0;
      start = nl + 1;
    }
    in_.erase(0, start);
  }
  long outstanding() const { return sent_ - ok_ - errors_; }
  long deviceMonitors() const { return deviceMonitors_; }
  long errors() const { return errors_; }

 private:
  plat_socket s_ = PLAT_INVALID_SOCKET;
  std::string out_, in_;
  long sent_ = 0, ok_ = 0, errors_ = 0;
  long deviceMonitors_ = -1;
};

// A file read as it grows, whole lines at a time.
class Tail {
 public:
  explicit Tail(const std::string& path) : path_(path) {}
  template <class F>
  void lines(F each) {
    FILE* f = std::fopen(path_.c_str(), "rb");
    if (!f) return;
    if (std::fseek(f, pos_, SEEK_SET) == 0) {
      char buf[65536];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        pos_ += static_cast<long>(n);
        partial_.append(buf, n);
      }
    }
    std::fclose(f);
    std::size_t start = 0, nl;
    while ((nl = partial_.find('\n', start)) != std::string::npos) {
      each(partial_.substr(start, nl - start));
      start = nl + 1;
    }
    partial_.erase(0, start);
  }

 private:
  std::string path_;
  long pos_ = 0;
  std::string partial_;
};

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> w;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\r')) ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\r') ++j;
    if (j > i) w.push_back(line.substr(i, j - i));
    i = j;
  }
  return w;
}

long long minutesSeconds(const std::string& text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return -1;
  return std::atoll(text.substr(0, colon).c_str()) * 60 + std::atoll(text.c_str() + colon + 1);
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  std::size_t i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    const char* v = argv[i + 1];
    if (k == "--control") o.control = std::atoi(v);
    else if (k == "--log") o.log = v;
    else if (k == "--console") o.console = v;
    else if (k == "--rate") o.rate = std::atof(v);
    else if (k == "--seconds") o.seconds = std::atof(v);
    else if (k == "--lines") o.lines = std::atoi(v);
    else if (k == "--hold") o.holdMs = std::atoi(v);
    else if (k == "--drop-at") o.dropAt = std::atof(v);
    else if (k == "--restart-at") o.restartAt = std::atof(v);
    else if (k == "--settle") o.settle = std::atof(v);
    else return false;
  }
  return o.control > 0 && !o.log.empty() && o.rate > 0 && o.seconds > 0 && o.lines > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: logger_load --control PORT --log FILE [--console FILE] [--rate R] "
                         "[--seconds S] [--lines N] [--hold MS] [--drop-at S | --restart-at S] "
                         "[--settle S]\n");
    return 2;
  }
  // A line is used again only once its last call has certainly ended.
  if (o.holdMs / 1000.0 * o.rate > o.lines * 0.8) {
    std::fprintf(stderr, "logger_load: %d lines cannot carry %.0f calls/s of %d ms\n", o.lines,
                 o.rate, o.holdMs);
    return 2;
  }
  plat_net_init();
  Control ctl;
  if (!ctl.open(o.control)) {
    std::fprintf(stderr, "logger_load: no control port %d\n", o.control);
    return 1;
  }
  const long total = static_cast<long>(o.rate * o.seconds);
  std::vector<CallLife> calls(static_cast<std::size_t>(total));
  std::deque<std::pair<double, long>> hangups;  // due, call
  Tail log(o.log);
  Tail console(o.console.empty() ? std::string("/dev/null") : o.console);
  long doubled = 0, strangers = 0;
  double cutAt = -1, backAt = -1;  // the logger's outage as it saw it
  bool eventDone = false;
  // After the cut, when each line was watched again (the logger asks for
  // the lines in order), from the switch's count of the stream's device
  // monitors; a call on a line lives unseen until then.
  std::vector<double> lineBack(static_cast<std::size_t>(o.lines), -1);
  double sessionsAsked = -1;
  int linesBack = 0;

  const Clock::time_point start = Clock::now();
  const double wallStart =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  auto readRecords = [&](double now) {
    log.lines([&](const std::string& line) {
      const std::vector<std::string> w = words(line);
      // C 12/06/26 14:03:03 0:03 E L1#1 0:57 5500000001 10001 0:00
      if (w.size() < 9) return;
      const long long k = std::atoll(w[7].c_str()) - kFirstCaller;
      if (k < 0 || k >= total) {
        ++strangers;
        return;
      }
      CallLife& c = calls[static_cast<std::size_t>(k)];
      if (++c.records > 1) ++doubled;
      c.written = now;
      c.talkWritten = minutesSeconds(w[6]);
      std::tm tm = {};
      if (std::sscanf(w[2].c_str(), "%d:%d:%d", &tm.tm_hour, &tm.tm_min, &tm.tm_sec) == 3)
        c.answerWrittenWall = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
    });
    console.lines([&](const std::string& line) {
      if (cutAt >= 0 && backAt < 0 && line.find("Stream reopened") != std::string::npos)
        backAt = now;
    });
  };

  long next = 0;
  for (;;) {
    const double now = since(start);
    if (next >= total && hangups.empty()) break;
    // Hang-ups first: a late pass must not offer a call on a line whose
    // last call is still up.
    while (!hangups.empty() && hangups.front().first <= now) {
      const long k = hangups.front().second;
      hangups.pop_front();
      CallLife& c = calls[static_cast<std::size_t>(k)];
      if (c.cut || c.ended >= 0) continue;
      ctl.queue("hangup " + std::to_string(kFirstExtension + static_cast<int>(k % o.lines)));
      c.ended = now;
    }
    // Calls due by now, unless the switch is far behind.
    const long due = std::min(total, static_cast<long>(now * o.rate));
    while (next < due && ctl.outstanding() < 60000) {
      const long k = next++;
      const int slot = static_cast<int>(k % o.lines);
      const std::string ext = std::to_string(kFirstExtension + slot);
      if (k >= o.lines) {
        CallLife& before = calls[static_cast<std::size_t>(k - o.lines)];
        if (!before.cut && before.ended < 0) {
          ctl.queue("hangup " + ext);
          before.ended = now;
        }
      }
      ctl.queue("dialin L1#" + std::to_string(slot + 1) + " " + std::to_string(kFirstCaller + k) +
                " " + ext);
      ctl.queue("answer " + ext);
      calls[static_cast<std::size_t>(k)].offered = now;
      calls[static_cast<std::size_t>(k)].answered = now;
      if (o.holdMs == 0) {
        ctl.queue("hangup " + ext);
        calls[static_cast<std::size_t>(k)].ended = now;
      } else {
        hangups.emplace_back(now + o.holdMs / 1000.0, k);
      }
    }
    if (!eventDone && o.dropAt >= 0 && now >= o.dropAt) {
      ctl.queue("drop all");
      cutAt = now;
      eventDone = true;
    }
    if (!eventDone && o.restartAt >= 0 && now >= o.restartAt) {
      ctl.queue("reset");
      cutAt = now;
      eventDone = true;
      // The calls up now are forgotten by the server: they end here.
      for (auto& h : hangups) {
        CallLife& c = calls[static_cast<std::size_t>(h.second)];
        if (c.ended >= 0) continue;
        c.cut = true;
        c.ended = now;
      }
      hangups.clear();
    }
    if (cutAt >= 0 && linesBack < o.lines && (sessionsAsked < 0 || now - sessionsAsked > 0.002)) {
      ctl.queue("sessions");
      sessionsAsked = now;
    }
    if (!ctl.flush()) {
      std::fprintf(stderr, "logger_load: the control port went away\n");
      return 1;
    }
    ctl.read(0);
    readRecords(now);
    if (cutAt >= 0) {
      const long watched = std::min<long>(ctl.deviceMonitors(), o.lines);
      for (; linesBack < watched; ++linesBack) lineBack[static_cast<std::size_t>(linesBack)] = now;
    }
    plat_sleep_ms(2);
  }
  const double offeredFor = since(start);
  // Stragglers: until every call is written or the settling time is over.
  for (;;) {
    const double now = since(start);
    ctl.read(10);
    readRecords(now);
    long missing = 0;
    for (const CallLife& c : calls)
      if (c.records == 0) ++missing;
    if (missing == 0 || now > offeredFor + o.settle) break;
    plat_sleep_ms(200);
  }

  long written = 0, lost = 0, insideGap = 0, swapped = 0, late = 0;
  std::vector<double> latency;
  for (const CallLife& c : calls) {
    if (c.records > 0) {
      ++written;
      latency.push_back(c.written - c.ended);
      if (cutAt >= 0 && c.ended <= cutAt + 1 && c.written - c.ended > 60) ++late;
      // Its own times: answered within a second of when it was, talked no
      // longer than it did.
      const double answerWall = wallStart + c.answered;
      std::time_t aw = static_cast<std::time_t>(answerWall);
      std::tm tm = {};
      plat_local_time(static_cast<std::int64_t>(aw), &tm);
      const double expected = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
      double diff = c.answerWrittenWall - expected;
      if (diff > 43200) diff -= 86400;
      if (diff < -43200) diff += 86400;
      if (c.answerWrittenWall >= 0 && (diff > 1.5 || diff < -1.5 ||
                                       c.talkWritten > (c.ended - c.answered) + 1.5))
        ++swapped;
    } else if (cutAt >= 0 && c.offered >= cutAt - kEventsInFlight &&
               c.ended <= lineBack[static_cast<std::size_t>((&c - calls.data()) % o.lines)]) {
      // Its whole life fell inside the gap as its line saw it: from the cut
      // (less the events still on their way, which a cut stream loses) until
      // its line was watched again. Nobody can see such a call.
      ++insideGap;
    } else {
      // The first few are named, so a loss can be looked up in the logs.
      if (++lost <= 5)
        std::printf("  lost: caller %lld, offered %+.3f s, ended %+.3f s from the cut\n",
                    kFirstCaller + static_cast<long long>(&c - calls.data()), c.offered - cutAt,
                    c.ended - cutAt);
    }
  }
  std::printf("logger_load: %.0f calls/s for %.0f s (hold %d ms on %d lines)", o.rate, o.seconds,
              o.holdMs, o.lines);
  if (o.dropAt >= 0) std::printf(", stream dropped at %.1f s", cutAt);
  if (o.restartAt >= 0) std::printf(", server restarted at %.1f s", cutAt);
  if (cutAt >= 0) {
    std::printf(backAt >= 0 ? ", logger back %.3f s later" : ", logger never said it was back",
                backAt - cutAt);
    if (linesBack == o.lines) std::printf(", all lines watched %.3f s later", lineBack.back() - cutAt);
  }
  std::printf("\n  offered %ld in %.1f s (%.0f calls/s), control errors %ld\n", total, offeredFor,
              static_cast<double>(total) / offeredFor, ctl.errors());
  std::printf("  written %ld, lost %ld, doubled %ld, swapped %ld, whole life inside the gap %ld, "
              "unknown records %ld\n",
              written, lost, doubled, swapped, insideGap, strangers);
  if (cutAt >= 0) std::printf("  calls up at the cut written more than a minute late: %ld\n", late);
  std::printf("  latency hang-up to record: p50 %.3f s, p99 %.3f s, max %.3f s\n",
              percentile(latency, 0.5), percentile(latency, 0.99), percentile(latency, 1.0));
  return lost || doubled || swapped || late ? 1 : 0;
}
