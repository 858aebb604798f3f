// The control interface: what the people and lines around the switch do
// (outside callers, phones picked up and hung up, digits pressed), feature
// changes, and trouble on demand for tests (dropped streams, a server that
// goes away, refused requests, slow confirmations).
#include "simulator/internal.h"
#include "simulator/text.h"

#include <cstddef>
#include <cstdio>

namespace telsim {

namespace {

const char* stateLetter(LocalConnectionState_t s) {
  switch (s) {
    case CS_INITIATE: return "I";
    case CS_ALERTING: return "A";
    case CS_CONNECT: return "C";
    case CS_HOLD: return "H";
    case CS_QUEUED: return "Q";
    case CS_FAIL: return "F";
    default: return "-";
  }
}

// Call IDs: decimal, or hexadecimal with 0x in front (as clients show them).
bool readCallID(const std::string& s, std::int32_t& id) {
  long long v = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    if (s.size() > 10) return false;
    for (size_t i = 2; i < s.size(); ++i) {
      char c = s[i];
      int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0) return false;
      v = v * 16 + d;
    }
    if (v < 1 || v > 0x7FFFFFFF) return false;
  } else if (!readNumber(s, 1, 0x7FFFFFFF, v)) {
    return false;
  }
  id = static_cast<std::int32_t>(v);
  return true;
}

// The rest of the line after its first `skip` words, without the line end.
std::string restOfLine(const std::string& line, int skip) {
  size_t i = 0;
  auto blanks = [&] {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  };
  for (int k = 0; k < skip; ++k) {
    blanks();
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
  }
  blanks();
  size_t end = line.size();
  while (end > i && (line[end - 1] == '\n' || line[end - 1] == '\r' || line[end - 1] == ' ' ||
                     line[end - 1] == '\t'))
    --end;
  return line.substr(i, end - i);
}

}  // namespace

void Switch::Impl::runDeferred(const std::string& line) {
  std::unique_lock<std::mutex> none;  // "advance" and "wait" are never deferred
  bool ok = false;
  std::string out = control(line, ok, none);
  // Nobody waits for its answer, but a failure must not pass unseen.
  if (!ok) {
    ++deferredFailures;
    std::fprintf(stderr, "telsim: put-off command failed: %s: %s", restOfLine(line, 0).c_str(),
                 out.empty() ? "\n" : out.c_str());
  }
}

void Switch::Impl::runAfterRequests() {
  if (afterRequests.empty()) return;
  // Taken out first: a command may add more, or reset the switch.
  std::vector<std::string> due;
  for (size_t i = 0; i < afterRequests.size();) {
    if (afterRequests[i].first <= requestsHandled) {
      due.push_back(afterRequests[i].second);
      afterRequests.erase(afterRequests.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  for (const std::string& line : due) runDeferred(line);
}

std::string Switch::Impl::describeDevices() {
  static const char* const kinds[] = {"extension", "line", "span", "voice"};
  std::string out;
  for (size_t i = 0; i < devices.size(); ++i) {
    const Device& d = devices[i];
    char line[200];
    std::snprintf(line, sizeof line, "%-6s %-6s %-9s%s%s%s\n", d.name.c_str(), d.cfg.physName.c_str(),
                  kinds[d.cfg.kind], busy(static_cast<int>(i)) ? " busy" : "", d.dnd ? " dnd" : "",
                  d.mwi ? " mwi" : "");
    out += line;
    static const char* const fwdNames[] = {"immediate", "busy", "noanswer"};
    for (int f = 0; f < 3; ++f)
      if (d.fwd[f].on) out += "       forward " + std::string(fwdNames[f]) + " to " + d.fwd[f].dest + "\n";
    if (d.autoAnswerRings > 0) out += "       answers after " + std::to_string(d.autoAnswerRings) + " rings\n";
  }
  return out;
}

std::string Switch::Impl::describeCalls() {
  std::string out;
  for (auto& entry : calls) {
    const Call& c = entry.second;
    out += "call " + std::to_string(c.id) + ":";
    for (const Party& p : c.parties) {
      out += " " + p.name;
      if (!p.outside.empty()) out += "=" + p.outside;
      out += std::string("(") + stateLetter(p.state) + ")";
    }
    out += "\n";
  }
  if (out.empty()) out = "no calls\n";
  return out;
}

std::string Switch::Impl::describeSessions() {
  std::string out;
  for (auto& entry : sessions) {
    const Session& s = entry.second;
    std::size_t onDevices = 0;
    for (const Monitor& m : s.monitors)
      if (!m.onCall) ++onDevices;
    out += "stream " + std::to_string(s.id) + (s.open ? " open" : " closed") +
           (s.app.empty() ? "" : " " + s.app) + ", " + std::to_string(s.monitors.size()) +
           " monitors (" + std::to_string(onDevices) + " on devices), " +
           std::to_string(s.requests) + " requests\n";
  }
  if (out.empty()) out = "no streams\n";
  return out;
}

// ---- the commands: one handler each ----------------------------------------------

namespace {

typedef ControlCall Cc;

// Most commands name a device first: its index, or -1.
int deviceArg(Cc& c) { return c.w.size() > 1 ? c.sw.findDevice(c.w[1]) : -1; }

std::string needDevice(Cc& c) {
  if (c.w.size() < 2) return c.usage((c.cmd + " DEVICE ...").c_str());
  return "? unknown device " + c.w[1] + "\n";
}

// The party of `dev` that a phone command acts on: in the call named, else
// the first call of the device in the wanted state.
Party* findParty(Cc& c, int dev, size_t callArg, LocalConnectionState_t want, Call** call) {
  std::int32_t id = 0;
  if (c.w.size() > callArg && !readCallID(c.w[callArg], id)) return nullptr;
  for (auto& entry : c.sw.calls) {
    if (id != 0 && entry.first != id) continue;
    for (Party& p : entry.second.parties) {
      if (p.dev == dev && (want == CS_NONE || p.state == want)) {
        *call = &entry.second;
        return &p;
      }
    }
  }
  return nullptr;
}

std::vector<std::uint32_t> sessionIDs(Switch::Impl& sw) {
  std::vector<std::uint32_t> ids;
  for (auto& e : sw.sessions) ids.push_back(e.first);
  return ids;
}

std::string cmdHelp(Cc& c) {
  c.ok = true;
  return Switch::controlHelp();
}

std::string cmdDevices(Cc& c) {
  c.ok = true;
  return c.sw.describeDevices();
}

std::string cmdCalls(Cc& c) {
  c.ok = true;
  return c.sw.describeCalls();
}

std::string cmdSessions(Cc& c) {
  c.ok = true;
  return c.sw.describeSessions();
}

std::string cmdDialin(Cc& c) {
  Switch::Impl& sw = c.sw;
  const std::vector<std::string>& w = c.w;
  if (w.size() < 4 || w.size() > 5) return c.usage("dialin TRUNK|* NUMBER DEST [NAME]");
  int trunk = -1;
  if (w[1] == "*") {
    trunk = sw.freeTrunk();
    if (trunk < 0) return "? no free line\n";
  } else {
    trunk = sw.findDevice(w[1]);
    if (trunk < 0 || (sw.devices[static_cast<size_t>(trunk)].cfg.kind != DK_TRUNK &&
                      sw.devices[static_cast<size_t>(trunk)].cfg.kind != DK_SPAN))
      return "? " + w[1] + " is not a line or span\n";
    // A span carries many calls; an analog line one.
    if (sw.devices[static_cast<size_t>(trunk)].cfg.kind == DK_TRUNK) {
      for (auto& entry : sw.calls)
        for (const Party& p : entry.second.parties)
          if (p.dev == trunk) return "? " + w[1] + " is in use\n";
    }
  }
  if (w[2].size() > 64 || w[3].empty() || w[3].size() > 64) return "? number too long\n";
  if (sw.calls.size() >= kMaxCalls) return "? the switch carries no more calls\n";
  std::int32_t id = sw.dialIn(trunk, w[2], w.size() == 5 ? w[4] : "", w[3]);
  c.ok = true;
  return "call " + std::to_string(id) + "\n";
}

std::string cmdDial(Cc& c) {
  if (c.w.size() != 3) return c.usage("dial DEVICE NUMBER");
  const int dev = deviceArg(c);
  if (dev < 0) return needDevice(c);
  CSTAUniversalFailure_t err = GENERIC_OPERATION;
  std::int32_t id = c.sw.makeCall(dev, c.w[2], &err, nullptr);
  if (id == 0) return "? " + c.w[1] + " cannot dial now (failure " + std::to_string(err) + ")\n";
  c.ok = true;
  return "call " + std::to_string(id) + "\n";
}

// answer, hangup, hold, retrieve: a phone acts on one of its calls.
std::string phoneAction(Cc& c, LocalConnectionState_t want, void (*act)(Switch::Impl&, Call&, Party&)) {
  if (c.w.size() < 2 || c.w.size() > 3) return c.usage((c.cmd + " DEVICE [CALL]").c_str());
  const int dev = deviceArg(c);
  if (dev < 0) return needDevice(c);
  Call* call = nullptr;
  Party* p = findParty(c, dev, 2, want, &call);
  if (!p) return "? " + c.w[1] + " has no call to " + c.cmd + "\n";
  act(c.sw, *call, *p);
  c.ok = true;
  return "";
}

std::string cmdAnswer(Cc& c) {
  return phoneAction(c, CS_ALERTING, [](Switch::Impl& sw, Call& call, Party& p) { sw.answer(call, p); });
}

std::string cmdHangup(Cc& c) {
  return phoneAction(c, CS_NONE, [](Switch::Impl& sw, Call& call, Party& p) {
    sw.clearConnection(call, static_cast<size_t>(&p - call.parties.data()));
  });
}

std::string cmdHold(Cc& c) {
  return phoneAction(c, CS_CONNECT, [](Switch::Impl& sw, Call& call, Party& p) { sw.hold(call, p); });
}

std::string cmdRetrieve(Cc& c) {
  return phoneAction(c, CS_HOLD, [](Switch::Impl& sw, Call& call, Party& p) { sw.retrieve(call, p); });
}

std::string cmdDtmf(Cc& c) {
  if (c.w.size() != 3) return c.usage("dtmf DEVICE DIGITS");
  const int dev = deviceArg(c);
  if (dev < 0) return needDevice(c);
  for (char ch : c.w[2]) {
    bool good = (ch >= '0' && ch <= '9') || ch == '*' || ch == '#' || (ch >= 'A' && ch <= 'D');
    if (!good) return "? not a DTMF digit: " + std::string(1, ch) + "\n";
  }
  Call* call = nullptr;
  Party* p = findParty(c, dev, 3, CS_CONNECT, &call);
  if (!p) return "? " + c.w[1] + " is not talking on a call\n";
  c.sw.pressDigits(*call, *p, c.w[2]);
  c.ok = true;
  return "";
}

std::string cmdAutoanswer(Cc& c) {
  long long rings = 0;
  if (c.w.size() != 3) return c.usage("autoanswer DEVICE RINGS|off");
  const int dev = deviceArg(c);
  if (dev < 0) return needDevice(c);
  if (!sameText(c.w[2], "off") && !readNumber(c.w[2], 0, 100, rings))
    return c.usage("autoanswer DEVICE RINGS|off");
  c.sw.devices[static_cast<size_t>(dev)].autoAnswerRings = static_cast<int>(rings);
  c.ok = true;
  return "";
}

std::string onOff(Cc& c, void (Switch::Impl::*set)(int, bool)) {
  if (c.w.size() != 3 || (!sameText(c.w[2], "on") && !sameText(c.w[2], "off")))
    return c.usage((c.cmd + " DEVICE on|off").c_str());
  const int dev = deviceArg(c);
  if (dev < 0) return needDevice(c);
  (c.sw.*set)(dev, sameText(c.w[2], "on"));
  c.ok = true;
  return "";
}

std::string cmdDnd(Cc& c) { return onOff(c, &Switch::Impl::setDnd); }
std::string cmdMwi(Cc& c) { return onOff(c, &Switch::Impl::setMwi); }

std::string cmdForward(Cc& c) {
  const char* u = "forward DEVICE immediate|busy|noanswer DEST|on|off";
  if (c.w.size() != 4) return c.usage(u);
  const int dev = deviceArg(c);
  if (dev < 0) return needDevice(c);
  const std::string t = lowerText(c.w[2]);
  int type = t == "immediate" ? 0 : t == "busy" ? 1 : t == "noanswer" ? 2 : -1;
  if (type < 0) return c.usage(u);
  if (sameText(c.w[3], "off") || sameText(c.w[3], "on")) {
    bool on = sameText(c.w[3], "on");
    if (on && c.sw.devices[static_cast<size_t>(dev)].fwd[type].dest.empty())
      return "? no destination to forward to\n";
    c.sw.setForward(dev, type, on, "");
  } else {
    if (c.w[3].size() > 64) return "? destination too long\n";
    c.sw.setForward(dev, type, true, c.w[3]);
  }
  c.ok = true;
  return "";
}

std::string cmdDrop(Cc& c) {
  if (c.w.size() != 2) return c.usage("drop SESSION|all");
  std::vector<std::uint32_t> ids;
  long long id = 0;
  if (sameText(c.w[1], "all")) {
    ids = sessionIDs(c.sw);
  } else if (readNumber(c.w[1], 1, 0xFFFFFFFFLL, id) && c.sw.sessions.count(static_cast<std::uint32_t>(id))) {
    ids.push_back(static_cast<std::uint32_t>(id));
  } else {
    return "? no stream " + c.w[1] + "\n";
  }
  for (std::uint32_t s : ids) c.sw.dropSession(s);
  c.ok = true;
  return "";
}

std::string cmdDown(Cc& c) {
  if (c.w.size() != 1) return c.usage("down");
  c.sw.down = true;
  for (std::uint32_t s : sessionIDs(c.sw)) c.sw.dropSession(s);
  c.ok = true;
  return "";
}

std::string cmdUp(Cc& c) {
  if (c.w.size() != 1) return c.usage("up");
  c.sw.down = false;
  c.ok = true;
  return "";
}

std::string cmdRefuse(Cc& c) {
  const char* u = "refuse COUNT queue_full|nobuffers [SESSION]";
  long long count = 0, id = 0;
  if (c.w.size() < 3 || c.w.size() > 4 || !readNumber(c.w[1], 0, 1000000, count)) return c.usage(u);
  const std::string what = lowerText(c.w[2]);
  int code = what == "queue_full" ? ACSERR_QUEUE_FULL : what == "nobuffers" ? ACSERR_NOBUFFERS : 0;
  if (code == 0) return c.usage(u);
  if (c.w.size() == 4 &&
      (!readNumber(c.w[3], 1, 0xFFFFFFFFLL, id) || !c.sw.sessions.count(static_cast<std::uint32_t>(id))))
    return "? no stream " + c.w[3] + "\n";
  for (auto& e : c.sw.sessions)
    if (id == 0 || e.first == static_cast<std::uint32_t>(id))
      c.sw.sendFlowNotice(e.second, code, static_cast<unsigned>(count));
  c.ok = true;
  return "";
}

std::string cmdDelay(Cc& c) {
  long long ms = 0;
  if (c.w.size() != 2 || !readNumber(c.w[1], 0, 600000, ms)) return c.usage("delay MS");
  c.sw.confirmDelayMs = static_cast<unsigned>(ms);
  c.ok = true;
  return "";
}

std::string cmdAdvance(Cc& c) {
  long long ms = 0;
  if (c.w.size() != 2 || !readNumber(c.w[1], 0, 86400000, ms)) return c.usage((c.cmd + " MS").c_str());
  c.sw.advance(static_cast<std::uint64_t>(ms), c.lk);
  c.ok = true;
  return "";
}

bool knownCommand(const std::string& name);

// Put-off lines are kept until they run: a client of the control port must
// not be able to fill the memory with them.
const std::size_t kMaxPutOff = 10000;
const std::size_t kMaxPutOffBytes = 4u * 1024u * 1024u;

// Held by a timer's function: the count falls when the timer runs or is
// thrown away (reset), whichever comes first.
struct TimedLine {
  TimedLine(Switch::Impl* s, std::size_t n) : sw(s), bytes(n) {
    ++sw->timedCount;
    sw->timedBytes += bytes;
  }
  ~TimedLine() {
    --sw->timedCount;
    sw->timedBytes -= bytes;
  }
  TimedLine(const TimedLine&) = delete;
  TimedLine& operator=(const TimedLine&) = delete;
  Switch::Impl* sw;
  std::size_t bytes;
};

std::string putOff(Cc& c, bool timed) {
  const char* u = timed ? "at MS COMMAND" : "after REQUESTS COMMAND";
  long long n = 0;
  if (c.w.size() < 3 || !readNumber(c.w[1], timed ? 0 : 1, 86400000, n)) return c.usage(u);
  const std::string later = lowerText(c.w[2]);
  // Put off, they would stall the switch's clock or a client's request.
  if (later == "advance" || later == "wait") return "? " + later + " cannot be put off\n";
  // A misspelt command would otherwise fail unseen, long after.
  if (!knownCommand(later)) return "? unknown command " + c.w[2] + " (help lists them)\n";
  std::string rest = restOfLine(c.line, 2);
  Switch::Impl* sw = &c.sw;
  std::size_t count = sw->timedCount + sw->afterRequests.size(), bytes = sw->timedBytes;
  for (const auto& a : sw->afterRequests) bytes += a.second.size();
  if (count >= kMaxPutOff || bytes + rest.size() > kMaxPutOffBytes)
    return "? too many commands put off (at most " + std::to_string(kMaxPutOff) + " lines, " +
           std::to_string(kMaxPutOffBytes) + " bytes)\n";
  if (timed) {
    auto held = std::make_shared<TimedLine>(sw, rest.size());
    sw->schedule(static_cast<std::uint64_t>(n), [sw, rest, held] { sw->runDeferred(rest); });
  } else {
    sw->afterRequests.emplace_back(sw->requestsHandled + static_cast<std::uint64_t>(n), rest);
  }
  c.ok = true;
  return "";
}

std::string cmdAt(Cc& c) { return putOff(c, true); }
std::string cmdAfter(Cc& c) { return putOff(c, false); }

std::string cmdReset(Cc& c) {
  if (c.w.size() != 1) return c.usage("reset");
  for (std::uint32_t s : sessionIDs(c.sw)) c.sw.dropSession(s);
  c.sw.resetState();
  c.ok = true;
  return "";
}

const ControlCommand kSwitchRows[] = {
    {"help", cmdHelp, "help                               this list\n"},
    {"?", cmdHelp, nullptr},
    {"devices", cmdDevices, "devices | calls | sessions         show the switch\n"},
    {"calls", cmdCalls, nullptr},
    {"sessions", cmdSessions, nullptr},
    {"streams", cmdSessions, nullptr},
    {"dialin", cmdDialin, "dialin TRUNK|* NUMBER DEST [NAME]  an outside caller dials DEST on a line or span\n"},
    {"dial", cmdDial, "dial DEVICE NUMBER                 a phone dials a number\n"},
    {"answer", cmdAnswer, "answer DEVICE [CALL]               a ringing phone is picked up\n"},
    {"hangup", cmdHangup, "hangup DEVICE [CALL]               a party hangs up (outside parties by their line)\n"},
    {"hold", cmdHold, "hold DEVICE [CALL] | retrieve DEVICE [CALL]\n"},
    {"retrieve", cmdRetrieve, nullptr},
    {"dtmf", cmdDtmf, "dtmf DEVICE DIGITS                 the party presses digits\n"},
    {"autoanswer", cmdAutoanswer, "autoanswer DEVICE RINGS|off        the phone answers by itself after RINGS rings\n"},
    {"dnd", cmdDnd, "dnd DEVICE on|off | mwi DEVICE on|off\n"},
    {"mwi", cmdMwi, nullptr},
    {"forward", cmdForward, "forward DEVICE immediate|busy|noanswer DEST|on|off\n"},
    {"drop", cmdDrop, "drop SESSION|all                   cut a client's stream\n"},
    {"down", cmdDown, "down | up                          the whole server goes away | comes back\n"},
    {"up", cmdUp, nullptr},
    {"refuse", cmdRefuse, "refuse COUNT queue_full|nobuffers [SESSION]  the next requests are refused\n"},
    {"delay", cmdDelay, "delay MS                           confirmations wait MS milliseconds (0: none)\n"},
    {"advance", cmdAdvance, "advance MS | wait MS               move the clock on | let time pass\n"},
    {"wait", cmdAdvance, nullptr},
    {"at", cmdAt, "at MS COMMAND                      run COMMAND once MS more milliseconds have passed\n"},
    {"after", cmdAfter,
     "after REQUESTS COMMAND             run COMMAND once REQUESTS more client requests are handled\n"},
    {"reset", cmdReset, "reset                              no calls, no streams, IDs from 1\n"},
};

}  // namespace

const ControlTable kSwitchCommands = {kSwitchRows, sizeof kSwitchRows / sizeof kSwitchRows[0]};

namespace {

// Every table of commands, looked up in this order. A room with commands of
// its own adds its table here.
const ControlTable* const kControlTables[] = {
    &kSwitchCommands,
    &kPrivateCommands,
};

const ControlCommand* findCommand(const std::string& name) {
  for (const ControlTable* t : kControlTables)
    for (std::size_t i = 0; i < t->count; ++i)
      if (name == t->rows[i].name) return &t->rows[i];
  return nullptr;
}

bool knownCommand(const std::string& name) { return findCommand(name) != nullptr; }

std::string buildHelp() {
  std::string out;
  for (const ControlTable* t : kControlTables)
    for (std::size_t i = 0; i < t->count; ++i)
      if (t->rows[i].help) out += t->rows[i].help;
  return out;
}

}  // namespace

const char* Switch::controlHelp() {
  static const std::string help = buildHelp();
  return help.c_str();
}

std::string ControlCall::usage(const char* u) const { return std::string("? usage: ") + u + "\n"; }

std::string Switch::Impl::control(const std::string& line, bool& ok, std::unique_lock<std::mutex>& lk) {
  std::vector<std::string> w;
  ok = false;
  if (!splitWords(line, w)) return "? unterminated quote\n";
  ok = true;
  if (w.empty()) return "";
  ok = false;
  ControlCall c{*this, line, w, lowerText(w[0]), lk};
  const ControlCommand* row = findCommand(c.cmd);
  if (!row) return "? unknown command " + w[0] + " (help lists them)\n";
  std::string out = row->run(c);
  ok = c.ok;
  return out;
}

bool Switch::runScenario(const char* path, std::string* output) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    if (output) *output += std::string("? cannot open ") + path + "\n";
    return false;
  }
  char buf[1024];
  int lineNo = 0;
  bool good = true;
  while (good && std::fgets(buf, sizeof buf, f)) {
    ++lineNo;
    std::string line(buf);
    if (!line.empty() && line.back() != '\n' && !std::feof(f)) {
      if (output) *output += std::string(path) + ":" + std::to_string(lineNo) + ": ? line too long\n";
      good = false;
      break;
    }
    std::string out = control(line, &good);
    if (output) {
      if (!good) *output += std::string(path) + ":" + std::to_string(lineNo) + ": ";
      *output += out;
    }
  }
  std::fclose(f);
  return good;
}

}  // namespace telsim
