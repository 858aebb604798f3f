// telsim: the telephony server simulator. A switch with extensions, trunks,
// a digital span and voice ports that answers TSAPI requests and produces the
// CSTA events a real switch produces, for the client library's transports
// (embedded in-process, or the telsim executable over TCP) and for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace telsim {

// ---- configuration --------------------------------------------------------

enum DeviceKind {
  DK_EXTENSION = 0,  // a station with a number and a physical name (X1#n)
  DK_TRUNK = 1,      // an analog line to the outside (L1#n)
  DK_SPAN = 2,       // a digital span (D1#n), also carries outside calls
  DK_VOICE = 3,      // a voice port; answers by itself after a few rings
};

struct DeviceConfig {
  DeviceKind kind = DK_EXTENSION;
  std::string number;    // dialled number; empty for trunks and spans
  std::string physName;  // X1#1, L1#1, D1#1, V1#1 ...
  int board = 1;
  int autoAnswerRings = 0;  // 0: rings until answered
  // Forwarding switched on from the start (empty: none), by type:
  // immediate, busy, no answer; as the control command "forward" sets it.
  std::string forwardTo[3];
};

struct BoardConfig {
  int id = 1;
  int type = 1;  // 1 Orion, 2 Vega, 3 Lyra, 4 Draco
  std::uint32_t serialDate = 0;
  std::uint32_t serialNumber = 0;
};

struct Config {
  std::string serverName = "TELVANIX";
  std::string login = "Telvanix";  // the login accepted; "*" accepts any
  std::string password;            // "*" accepts any
  std::string apiVer = "TS2";
  std::string libVer = "csta32 1.0";
  std::string tsrvVer = "telsim 1.0";
  std::string drvrVer = "3.1-12";  // read by clients with " %d.%d-%d"
  std::vector<BoardConfig> boards;
  std::vector<DeviceConfig> devices;
  // A dialled string is an outside number when it begins with outsidePrefix
  // or has at least outsideMinDigits digits (and names no device).
  std::string outsidePrefix = "9";
  int outsideMinDigits = 7;
  int ringMs = 3000;           // length of one ring
  int noAnswerRings = 4;       // rings before forwarding on no answer
  int maxConferenceParties = 6;
  int maxMonitorsPerStream = 2048;
  // Where file names without a folder are played from and recorded into,
  // as the server names it (mapped by plat_map_path).
  std::string voiceFolder = "C:\\KVR\\VOICE";
  // The administration password clients give (kqPvtEnableAdministration).
  std::string adminPassword = "TELVANIX";
};

// The built-in configuration: extensions 201-216 on X1#1-X1#16, lines
// L1#1-L1#8, span D1#1, voice ports 401-404 on V1#1-V1#4 answering after two
// rings, board 1, login "Telvanix" with an empty password, firmware 3.1-12.
Config defaultConfig();
// Reads the text form of a configuration (statements listed in config.cpp)
// on top of `cfg`: settings a file leaves out keep their value, but its
// first device and first board statements replace the devices and boards.
// "forward DEVICE immediate|busy|noanswer DEST" switches a device's
// forwarding on from the start; it may name any device of the result.
// On a bad line returns false with "line N: why" in *error and leaves cfg.
bool parseConfig(const std::string& text, Config& cfg, std::string* error);
bool loadConfig(const char* path, Config& cfg, std::string* error);

// ---- the switch -----------------------------------------------------------

class Switch {  // thread-safe
 public:
  // manualClock: time stands still until advance() is called (tests).
  // Otherwise time runs from the real clock times `speed`, and a thread of
  // the switch fires rings, answers and delayed confirmations.
  explicit Switch(const Config& cfg = defaultConfig(), bool manualClock = false,
                  double speed = 1.0);
  ~Switch();
  Switch(const Switch&) = delete;
  Switch& operator=(const Switch&) = delete;

  // A client stream connects: frames for the client go to `deliver`.
  // deliver is called with the switch's lock held, on whichever thread is in
  // the switch (onFrame, control, advance) or on the switch's clock thread:
  // it must be quick, must not block and
  // must not call back in; don't hold a lock that deliver takes while calling
  // openSession, onFrame or closeSession. deliver(nullptr, 0) means the
  // switch dropped the link (as if the connection was cut); nothing follows.
  // Returns 0 while the server is down (the connection is refused).
  std::uint32_t openSession(std::function<void(const std::uint8_t*, std::size_t)> deliver);
  void onFrame(std::uint32_t session, const std::uint8_t* data, std::size_t len);  // a frame from the client
  void closeSession(std::uint32_t session);  // client went away; deliver is not called again

  // Control interface: one command line (see controlHelp()); returns what
  // it has to say, and false in *ok (when given) for a refused command.
  std::string control(const std::string& line, bool* ok = nullptr);
  // Runs a scenario file: control commands one per line, '#' comments.
  // Stops at the first refused command; the text says where.
  // "at MS COMMAND" runs COMMAND once MS more milliseconds have passed on
  // the switch's clock; "after N COMMAND" runs it once N more client
  // requests (from any stream, counted from then on) have been handled,
  // right after the last of them is answered. So a scenario can cut a
  // stream or slow the switch at a chosen point of a client's run. A put-off
  // command's output goes nowhere; "advance" and "wait" cannot be put off;
  // reset forgets what is still waiting.
  bool runScenario(const char* path, std::string* output);
  static const char* controlHelp();

  // Time: milliseconds since the switch started (simulated).
  std::uint64_t now();
  // Manual clock: moves time on and fires whatever became due, on the
  // caller's thread. With the real clock it just waits that long.
  void advance(std::uint64_t ms);
  // The server is ending: a "wait" under way and every later one returns at
  // once.
  void stopWaits();
  // Back to the start: calls and monitors gone, sessions dropped, call and
  // cross-reference IDs start again from 1, features as configured.
  void reset();

  // For tests and the benchmark.
  std::size_t sessionCount();
  std::size_t callCount();
  std::uint64_t eventsSent();  // event frames handed to deliver so far
  // Put-off commands ("at", "after") refused when their time came; each is
  // also written to stderr.
  std::uint64_t deferredFailures();
  const Config& config() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> d_;
};

// The process's embedded instance: the built-in configuration unless the
// environment (below) says otherwise.
Switch& embeddedSwitch();

// Private messages (escape service, Telvanix record): each type has its
// handler in private_ops.cpp; every request is answered by an ESCAPE_SVC_CONF
// carrying the reply record, or refused with a universal failure
// (INVALID_FEATURE for a type the switch does not serve). Plays, records and
// DTMF detectors are in voice.cpp, which lists the order of their events.
// Played digits are heard on the call as if the named party had pressed them
// (digits-seen reports).
//
// Transfer and conference: the joined call keeps the held call's ID; the
// other call is cleared (cause Transfer or Key_Conference) right after the
// TRANSFERRED or CONFERENCED event, for every monitor that saw it, and call
// monitors on it end.

// Flow control: "refuse" makes the switch send a stream a control frame
// (wire::Control: an ACSERR_ code and a count). The client library refuses
// that many of the stream's next requests with that code, unsent.

// The embedded instance reads three environment variables when first used:
// TELSIM_CONFIG names a configuration file, TELSIM_SCENARIO a scenario file
// it runs at once, before any stream can reach it (as the telsim program's
// -s; use it to set up forwarding or outside callers for a whole run; its
// output goes to stderr only when it stops at a refused command), and
// TELSIM_CONTROL a port on 127.0.0.1 where it takes control commands (as
// ControlServer below).

// ---- TCP ----------------------------------------------------------------------

// Serves a switch over TCP: every accepted connection is one session, its
// byte stream a sequence of frames each way. A connection whose frames
// cannot be framed, or whose client stops reading while events pile up, is
// cut.
class TcpServer {
 public:
  explicit TcpServer(Switch& sw);
  ~TcpServer();  // stops
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // host null: 127.0.0.1; port 0: any free port (see port()).
  bool start(const char* host, int port, std::string* error);
  int port() const;
  // Closes the listener and every connection (their sessions close).
  void stop();
  std::size_t connections();
  // A connection is cut once more than perConnection bytes wait for its
  // client, or more than total for all clients together (0 keeps a limit;
  // by default 8 MB and 64 MB). For connections accepted from then on.
  void setLimits(std::size_t perConnection, std::size_t total);
  // A connection is cut when the unfinished frame it has sent exceeds
  // perConnection bytes, when all unfinished frames together would exceed
  // total, or when it sends nothing for stallMs in the middle of a frame
  // (0 keeps a limit; by default a whole frame, 32 MB and 10 s). Before
  // start() only.
  void setReadLimits(std::size_t perConnection, std::size_t total, unsigned stallMs);
  // Bytes waiting for clients now.
  std::size_t queuedBytes();
  // Tests: true once accept has failed n times (out of descriptors) within
  // timeoutMs. The server keeps accepting, pausing while the failure lasts.
  bool waitAcceptFailures(std::uint64_t n, unsigned timeoutMs);

  struct Impl;

 private:
  std::unique_ptr<Impl> d_;
};

// Control commands over TCP: one command a line, answered with its output
// and a line "OK" or "ERROR". "quit" is answered "OK", ends every wait on
// the switch (Switch::stopWaits) and is handed to onQuit (when there is none
// it is an unknown command); onQuit runs on the connection's thread and must
// not stop this server itself. A line longer than 64 KB is answered ERROR and
// its connection closed.
class ControlServer {
 public:
  explicit ControlServer(Switch& sw, std::function<void()> onQuit = nullptr);
  ~ControlServer();  // stops
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;
  bool start(const char* host, int port, std::string* error);
  int port() const;
  // Ends every wait on the switch (stopWaits) and every connection.
  void stop();
  std::size_t connections();  // open now (ended ones are closed and joined)

  struct Impl;

 private:
  std::unique_ptr<Impl> d_;
};

}  // namespace telsim
