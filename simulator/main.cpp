// telsim: the telephony server simulator as a program. Serves TSAPI streams
// over TCP on loopback and takes control commands from the console, from a
// scenario file and from a control port.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "simulator/telsim.h"
#include "simulator/text.h"

namespace {

const char kUsage[] =
    "usage: telsim [-p PORT] [-c CONFIG] [-s SCENARIO] [-k CONTROLPORT] [-x SPEED] [-m MB] [-q]\n"
    "  -p PORT         TSAPI streams on 127.0.0.1:PORT (default 4500; 0 picks one)\n"
    "  -c CONFIG       configuration file (default: the built-in demo switch)\n"
    "  -s SCENARIO     run control commands from a file once serving\n"
    "  -k CONTROLPORT  control commands over TCP on 127.0.0.1:CONTROLPORT\n"
    "  -x SPEED        run the clock SPEED times as fast (rings, answers, waits)\n"
    "  -m MB           cut clients once events waiting for them pass MB megabytes in all\n"
    "                  (default 64; at most 8 for one client)\n"
    "  -q              no console: serve until 'quit' arrives on the control port\n"
    "Control commands (console, scenario, control port; 'quit' ends telsim):\n";

std::mutex quitMu;
std::condition_variable quitCv;
bool quitting = false;
std::mutex outMu;

void quit() {
  std::lock_guard<std::mutex> lk(quitMu);
  quitting = true;
  quitCv.notify_all();
}

bool quitAsked() {
  std::lock_guard<std::mutex> lk(quitMu);
  return quitting;
}

// A whole decimal number in [lo, hi], or a message and false.
bool numberArg(const char* opt, const char* text, long long lo, long long hi, long long& out) {
  if (telsim::readNumber(text, lo, hi, out)) return true;
  std::fprintf(stderr, "telsim: %s wants a number from %lld to %lld, not '%s'\n", opt, lo, hi, text);
  return false;
}

void say(const std::string& s) {
  if (s.empty()) return;
  std::lock_guard<std::mutex> lk(outMu);
  std::fputs(s.c_str(), stdout);
  std::fflush(stdout);
}

bool isQuit(const std::string& line) {
  std::string w;
  for (char c : line)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') w += c;
  return w == "quit" || w == "exit";
}

}  // namespace

int main(int argc, char** argv) {
  long long port = 4500;
  long long controlPort = -1;
  long long megabytes = 64;
  double speed = 1.0;
  bool console = true;
  const char* configPath = nullptr;
  const char* scenario = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    bool good = true;
    if (a == "-p" && hasValue) good = numberArg("-p", argv[++i], 0, 65535, port);
    else if (a == "-k" && hasValue) good = numberArg("-k", argv[++i], 0, 65535, controlPort);
    else if (a == "-m" && hasValue) good = numberArg("-m", argv[++i], 1, 4096, megabytes);
    else if (a == "-c" && hasValue) configPath = argv[++i];
    else if (a == "-s" && hasValue) scenario = argv[++i];
    else if (a == "-x" && hasValue) {
      const char* text = argv[++i];
      char* end = nullptr;
      speed = std::strtod(text, &end);
      good = end != text && *end == '\0' && speed > 0 && speed <= 1000;
      if (!good) std::fprintf(stderr, "telsim: -x wants a speed above 0 and at most 1000, not '%s'\n", text);
    } else if (a == "-q") {
      console = false;
    } else {
      std::fprintf(stderr, "%s%s", kUsage, telsim::Switch::controlHelp());
      return a == "-h" || a == "--help" ? 0 : 2;
    }
    if (!good) return 2;
  }

  telsim::Config cfg = telsim::defaultConfig();
  if (configPath) {
    std::string err;
    if (!telsim::loadConfig(configPath, cfg, &err)) {
      std::fprintf(stderr, "telsim: %s: %s\n", configPath, err.c_str());
      return 1;
    }
  }
  telsim::Switch sw(cfg, false, speed);
  telsim::TcpServer server(sw);
  const std::size_t total = static_cast<std::size_t>(megabytes) * 1024u * 1024u;
  server.setLimits(std::min<std::size_t>(total, 8u * 1024u * 1024u), total);
  std::string err;
  if (!server.start(nullptr, static_cast<int>(port), &err)) {
    std::fprintf(stderr, "telsim: %s\n", err.c_str());
    return 1;
  }

  telsim::ControlServer control(sw, quit);
  if (controlPort >= 0 && !control.start(nullptr, static_cast<int>(controlPort), &err)) {
    std::fprintf(stderr, "telsim: %s\n", err.c_str());
    return 1;
  }
  {
    char line[200];
    std::snprintf(line, sizeof line, "telsim: server %s, %d devices, streams on 127.0.0.1:%d", cfg.serverName.c_str(),
                  static_cast<int>(cfg.devices.size()), server.port());
    std::string banner = line;
    if (controlPort >= 0) banner += ", control on 127.0.0.1:" + std::to_string(control.port());
    say(banner + "\n");
  }

  std::thread scenarioThread;
  if (scenario) {
    scenarioThread = std::thread([&sw, scenario] {
      std::string out;
      bool ok = sw.runScenario(scenario, &out);
      say(out + (ok ? "telsim: scenario done\n" : "telsim: scenario stopped\n"));
    });
  }

  // The console is read on a thread of its own, so that a quit from the
  // control port is seen while it waits for a line.
  std::atomic<bool> consoleDone{true};
  std::thread consoleThread;
  if (console) {
    say("Type control commands; 'help' lists them, 'quit' ends.\n");
    consoleDone = false;
    consoleThread = std::thread([&sw, &consoleDone, controlPort] {
      char buf[1024];
      bool typedQuit = false;
      while (!quitAsked() && std::fgets(buf, sizeof buf, stdin)) {
        std::string line = buf;
        if (isQuit(line)) {
          typedQuit = true;
          break;
        }
        bool ok = false;
        say(sw.control(line, &ok));
      }
      // Without a console (input ended) keep serving when a control port can end us.
      if (typedQuit || !std::feof(stdin) || controlPort < 0) quit();
      consoleDone = true;
    });
  }
  {
    std::unique_lock<std::mutex> lk(quitMu);
    quitCv.wait(lk, [] { return quitting; });
  }

  sw.stopWaits();  // a scenario or a control connection in "wait" ends now
  if (scenarioThread.joinable()) scenarioThread.join();
  control.stop();
  server.stop();
  std::fflush(stdout);
  if (!consoleDone) std::_Exit(0);  // still waiting for a line nobody will type
  if (consoleThread.joinable()) consoleThread.join();
  return 0;
}
