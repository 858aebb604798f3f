// telsim: the telephony server simulator as a program. Serves TSAPI streams
// over TCP on loopback and takes control commands from the console, from a
// scenario file and from a control port.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "simulator/telsim.h"

namespace {

const char kUsage[] =
    "usage: telsim [-p PORT] [-c CONFIG] [-s SCENARIO] [-k CONTROLPORT] [-x SPEED] [-q]\n"
    "  -p PORT         TSAPI streams on 127.0.0.1:PORT (default 4500; 0 picks one)\n"
    "  -c CONFIG       configuration file (default: the built-in demo switch)\n"
    "  -s SCENARIO     run control commands from a file once serving\n"
    "  -k CONTROLPORT  control commands over TCP on 127.0.0.1:CONTROLPORT\n"
    "  -x SPEED        run the clock SPEED times as fast (rings, answers, waits)\n"
    "  -q              no console: serve until 'quit' arrives on the control port\n"
    "Control commands (console, scenario, control port; 'quit' ends telsim):\n";

std::atomic<bool> quitting{false};
std::mutex outMu;

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
  int port = 4500;
  int controlPort = -1;
  double speed = 1.0;
  bool console = true;
  const char* configPath = nullptr;
  const char* scenario = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == "-p" && hasValue) port = std::atoi(argv[++i]);
    else if (a == "-k" && hasValue) controlPort = std::atoi(argv[++i]);
    else if (a == "-c" && hasValue) configPath = argv[++i];
    else if (a == "-s" && hasValue) scenario = argv[++i];
    else if (a == "-x" && hasValue) speed = std::atof(argv[++i]);
    else if (a == "-q") console = false;
    else {
      std::fprintf(stderr, "%s%s", kUsage, telsim::Switch::controlHelp());
      return a == "-h" || a == "--help" ? 0 : 2;
    }
  }
  if (port < 0 || port > 65535 || controlPort > 65535 || !(speed > 0 && speed <= 1000)) {
    std::fprintf(stderr, "telsim: bad port or speed\n");
    return 2;
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
  std::string err;
  if (!server.start(nullptr, port, &err)) {
    std::fprintf(stderr, "telsim: %s\n", err.c_str());
    return 1;
  }

  telsim::ControlServer control(sw, [] { quitting = true; });
  if (controlPort >= 0 && !control.start(nullptr, controlPort, &err)) {
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

  if (console) {
    say("Type control commands; 'help' lists them, 'quit' ends.\n");
    char buf[1024];
    while (!quitting && std::fgets(buf, sizeof buf, stdin)) {
      std::string line = buf;
      if (isQuit(line)) break;
      bool ok = false;
      say(sw.control(line, &ok));
    }
    // Without a console (input ended) keep serving when a control port can end us.
    if (!std::feof(stdin) || controlPort < 0) quitting = true;
  }
  while (!quitting) plat_sleep_ms(100);

  if (scenarioThread.joinable()) scenarioThread.join();
  control.stop();
  server.stop();
  return 0;
}
