// Inside the client library: the server directory and the links that carry
// one stream's frames to a server. Not for applications.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace csta32 {

// ---- server directory ----------------------------------------------------------

struct ServerEntry {
  std::string name;
  bool embedded = true;
  std::string host;
  int port = 0;
};

// Parses entries "NAME=embedded" or "NAME=host:port" separated by `sep`
// (';' for the environment variable, '\n' for the file) into `out`, a later
// entry replacing an earlier one of the same name. Blank entries and, in
// files, lines starting with '#' or ';' are skipped. False with a message
// for the first bad entry; the good ones are kept.
bool parseServerList(const std::string& text, char sep, std::vector<ServerEntry>& out,
                     std::string* error);
// The configured servers (file, then environment), or the default one.
std::vector<ServerEntry> serverDirectory();
// An environment variable's whole value. False when it is not set, or when
// it is longer than cap (then *why says so: it is never cut).
bool readWholeEnv(const char* name, std::string& value, std::size_t cap, std::string* why);
// Looks a name up, ignoring case: servers added with addServer first, then
// the directory.
bool findServer(const char* name, ServerEntry& out);
// Adds a server ahead of the directory, or replaces one added before (tests);
// removeServer takes it away again. acsEnumServerNames does not list them.
void addServer(const ServerEntry& e);
void removeServer(const std::string& name);

// ---- links ---------------------------------------------------------------------------

// Receives each frame from the server; (nullptr, 0) once the link is gone.
// A link that is pulled (TCP) ends each run of frames read together with
// (nullptr, 1): the moment to wake readers.
typedef std::function<void(const std::uint8_t*, std::size_t)> FrameSink;

class Link {
 public:
  virtual ~Link() {}
  // Sends one frame; false when the link is gone or its server took nothing
  // for the send timeout (the link is then given up). Safe from any thread.
  virtual bool send(const std::uint8_t* data, std::size_t len) = 0;
  // As send, but gives up at once when another send is under way or the
  // server does not take the frame promptly (for the abort).
  virtual bool sendNoWait(const std::uint8_t* data, std::size_t len) { return send(data, len); }
  // A pulled link has no thread of its own: frames come only while an
  // application thread pulls, so a stream nobody reads takes nothing from
  // its server (whose own limits then apply) and a reader wakes straight
  // from the socket. One thread pulls at a time. pull(true) waits for the
  // server to say something; pull(false) takes only what is there. False
  // once the link is gone (the sink has heard of it) or closed.
  virtual bool pulled() const { return false; }
  virtual bool pull(bool /*wait*/) { return false; }
  // Ends the link, never waiting on a stuck send. A pull under way returns. Once it returns (also for
  // a second, concurrent call) the sink is not called again. Must not be
  // called from inside the sink.
  virtual void close() = 0;
};

// A server living in this process, spoken to through sessions as the
// embedded switch is.
class SessionHost {
 public:
  virtual ~SessionHost() {}
  // 0 when the server refuses (it is down).
  virtual std::uint32_t openSession(FrameSink deliver) = 0;
  virtual void onFrame(std::uint32_t session, const std::uint8_t* data, std::size_t len) = 0;
  virtual void closeSession(std::uint32_t session) = 0;
};

// The process's embedded switch, started on first use. The embedded
// transport (a target of its own, above the client and the switch) installs
// it while the program starts; without it "embedded" servers are not there.
SessionHost& embeddedHost();
void installEmbeddedHost(SessionHost& host);
// Puts an in-process server under a name, ahead of the directory (tests);
// nullptr removes it.
void registerLocalHost(const std::string& name, SessionHost* host);
SessionHost* findLocalHost(const std::string& name);

// Aborts every open stream of the process (tests, before an in-process host
// they registered goes away).
void abortAllStreams();
// Streams the library keeps a record of (tests).
std::size_t streamCount();

std::unique_ptr<Link> openSessionLink(SessionHost& host, FrameSink sink);
// Null when the server cannot be reached within timeoutMs.
std::unique_ptr<Link> openTcpLink(const std::string& host, int port, unsigned timeoutMs,
                                  FrameSink sink);
// How long a TCP send may wait for the server to take anything (default 15
// s); the tests shorten it.
void setSendTimeoutMs(unsigned ms);
// TCP sends so far that found the server taking nothing and began to wait
// (tests: proof that a send is stuck).
std::uint64_t stalledSends();

// Threads waiting in acsGetEventBlock on a stream (tests: proof that a
// reader is parked before another thread acts).
std::size_t waitingReaders(std::uint32_t handle);

}  // namespace csta32
