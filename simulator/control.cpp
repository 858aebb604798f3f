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

const char kHelp[] =
    "help                               this list\n"
    "devices | calls | sessions         show the switch\n"
    "dialin TRUNK|* NUMBER DEST [NAME]  an outside caller dials DEST on a line or span\n"
    "dial DEVICE NUMBER                 a phone dials a number\n"
    "answer DEVICE [CALL]               a ringing phone is picked up\n"
    "hangup DEVICE [CALL]               a party hangs up (outside parties by their line)\n"
    "hold DEVICE [CALL] | retrieve DEVICE [CALL]\n"
    "dtmf DEVICE DIGITS                 the party presses digits\n"
    "autoanswer DEVICE RINGS|off        the phone answers by itself after RINGS rings\n"
    "dnd DEVICE on|off | mwi DEVICE on|off\n"
    "forward DEVICE immediate|busy|noanswer DEST|on|off\n"
    "drop SESSION|all                   cut a client's stream\n"
    "down | up                          the whole server goes away | comes back\n"
    "refuse COUNT queue_full|nobuffers [SESSION]  the next requests are refused\n"
    "delay MS                           confirmations wait MS milliseconds (0: none)\n"
    "advance MS | wait MS               move the clock on | let time pass\n"
    "at MS COMMAND                      run COMMAND once MS more milliseconds have passed\n"
    "after REQUESTS COMMAND             run COMMAND once REQUESTS more client requests are handled\n"
    "reset                              no calls, no streams, IDs from 1\n";

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

const char* Switch::controlHelp() { return kHelp; }

void Switch::Impl::runDeferred(const std::string& line) {
  std::unique_lock<std::mutex> none;  // "advance" and "wait" are never deferred
  bool ok = false;
  control(line, ok, none);
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
    out += "stream " + std::to_string(s.id) + (s.open ? " open" : " closed") +
           (s.app.empty() ? "" : " " + s.app) + ", " + std::to_string(s.monitors.size()) + " monitors, " +
           std::to_string(s.requests) + " requests\n";
  }
  if (out.empty()) out = "no streams\n";
  return out;
}

std::string Switch::Impl::control(const std::string& line, bool& ok, std::unique_lock<std::mutex>& lk) {
  std::vector<std::string> w;
  ok = false;
  if (!splitWords(line, w)) return "? unterminated quote\n";
  ok = true;
  if (w.empty()) return "";
  const std::string cmd = lowerText(w[0]);
  ok = false;
  auto usage = [&](const char* u) { return std::string("? usage: ") + u + "\n"; };

  // Most commands name a device first.
  int dev = w.size() > 1 ? findDevice(w[1]) : -1;
  auto needDevice = [&]() -> std::string {
    if (w.size() < 2) return usage((cmd + " DEVICE ...").c_str());
    return "? unknown device " + w[1] + "\n";
  };
  // The party of `dev` that a phone command acts on: in the call named, else
  // the first call of the device in the wanted state.
  auto findParty = [&](size_t callArg, LocalConnectionState_t want, Call** call) -> Party* {
    std::int32_t id = 0;
    if (w.size() > callArg && !readCallID(w[callArg], id)) return nullptr;
    for (auto& entry : calls) {
      if (id != 0 && entry.first != id) continue;
      for (Party& p : entry.second.parties) {
        if (p.dev == dev && (want == CS_NONE || p.state == want)) {
          *call = &entry.second;
          return &p;
        }
      }
    }
    return nullptr;
  };

  if (cmd == "help" || cmd == "?") {
    ok = true;
    return kHelp;
  }
  if (cmd == "devices" || cmd == "calls" || cmd == "sessions" || cmd == "streams") {
    ok = true;
    return cmd == "devices" ? describeDevices() : cmd == "calls" ? describeCalls() : describeSessions();
  }
  if (cmd == "dialin") {
    if (w.size() < 4 || w.size() > 5) return usage("dialin TRUNK|* NUMBER DEST [NAME]");
    int trunk = -1;
    if (w[1] == "*") {
      trunk = freeTrunk();
      if (trunk < 0) return "? no free line\n";
    } else {
      trunk = findDevice(w[1]);
      if (trunk < 0 || (devices[static_cast<size_t>(trunk)].cfg.kind != DK_TRUNK &&
                        devices[static_cast<size_t>(trunk)].cfg.kind != DK_SPAN))
        return "? " + w[1] + " is not a line or span\n";
      // A span carries many calls; an analog line one.
      if (devices[static_cast<size_t>(trunk)].cfg.kind == DK_TRUNK) {
        for (auto& entry : calls)
          for (const Party& p : entry.second.parties)
            if (p.dev == trunk) return "? " + w[1] + " is in use\n";
      }
    }
    if (w[2].size() > 64 || w[3].empty() || w[3].size() > 64) return "? number too long\n";
    if (calls.size() >= kMaxCalls) return "? the switch carries no more calls\n";
    std::int32_t id = dialIn(trunk, w[2], w.size() == 5 ? w[4] : "", w[3]);
    ok = true;
    return "call " + std::to_string(id) + "\n";
  }
  if (cmd == "dial") {
    if (w.size() != 3) return usage("dial DEVICE NUMBER");
    if (dev < 0) return needDevice();
    CSTAUniversalFailure_t err = GENERIC_OPERATION;
    std::int32_t id = makeCall(dev, w[2], &err, nullptr);
    if (id == 0) return "? " + w[1] + " cannot dial now (failure " + std::to_string(err) + ")\n";
    ok = true;
    return "call " + std::to_string(id) + "\n";
  }
  if (cmd == "answer" || cmd == "hangup" || cmd == "hold" || cmd == "retrieve") {
    if (w.size() < 2 || w.size() > 3) return usage((cmd + " DEVICE [CALL]").c_str());
    if (dev < 0) return needDevice();
    Call* c = nullptr;
    LocalConnectionState_t want = cmd == "answer" ? CS_ALERTING : cmd == "hold" ? CS_CONNECT
                                  : cmd == "retrieve"                        ? CS_HOLD
                                                                             : CS_NONE;
    Party* p = findParty(2, want, &c);
    if (!p) return "? " + w[1] + " has no call to " + cmd + "\n";
    if (cmd == "answer") answer(*c, *p);
    else if (cmd == "hold") hold(*c, *p);
    else if (cmd == "retrieve") retrieve(*c, *p);
    else clearConnection(*c, static_cast<size_t>(p - c->parties.data()));
    ok = true;
    return "";
  }
  if (cmd == "dtmf") {
    if (w.size() != 3) return usage("dtmf DEVICE DIGITS");
    if (dev < 0) return needDevice();
    for (char ch : w[2]) {
      bool good = (ch >= '0' && ch <= '9') || ch == '*' || ch == '#' || (ch >= 'A' && ch <= 'D');
      if (!good) return "? not a DTMF digit: " + std::string(1, ch) + "\n";
    }
    Call* c = nullptr;
    Party* p = findParty(3, CS_CONNECT, &c);
    if (!p) return "? " + w[1] + " is not talking on a call\n";
    pressDigits(*c, *p, w[2]);
    ok = true;
    return "";
  }
  if (cmd == "autoanswer") {
    long long rings = 0;
    if (w.size() != 3) return usage("autoanswer DEVICE RINGS|off");
    if (dev < 0) return needDevice();
    if (!sameText(w[2], "off") && !readNumber(w[2], 0, 100, rings)) return usage("autoanswer DEVICE RINGS|off");
    devices[static_cast<size_t>(dev)].autoAnswerRings = static_cast<int>(rings);
    ok = true;
    return "";
  }
  if (cmd == "dnd" || cmd == "mwi") {
    if (w.size() != 3 || (!sameText(w[2], "on") && !sameText(w[2], "off")))
      return usage((cmd + " DEVICE on|off").c_str());
    if (dev < 0) return needDevice();
    if (cmd == "dnd") setDnd(dev, sameText(w[2], "on"));
    else setMwi(dev, sameText(w[2], "on"));
    ok = true;
    return "";
  }
  if (cmd == "forward") {
    if (w.size() != 4) return usage("forward DEVICE immediate|busy|noanswer DEST|on|off");
    if (dev < 0) return needDevice();
    const std::string t = lowerText(w[2]);
    int type = t == "immediate" ? 0 : t == "busy" ? 1 : t == "noanswer" ? 2 : -1;
    if (type < 0) return usage("forward DEVICE immediate|busy|noanswer DEST|on|off");
    if (sameText(w[3], "off") || sameText(w[3], "on")) {
      bool on = sameText(w[3], "on");
      if (on && devices[static_cast<size_t>(dev)].fwd[type].dest.empty()) return "? no destination to forward to\n";
      setForward(dev, type, on, "");
    } else {
      if (w[3].size() > 64) return "? destination too long\n";
      setForward(dev, type, true, w[3]);
    }
    ok = true;
    return "";
  }
  if (cmd == "drop") {
    if (w.size() != 2) return usage("drop SESSION|all");
    std::vector<std::uint32_t> ids;
    long long id = 0;
    if (sameText(w[1], "all")) {
      for (auto& e : sessions) ids.push_back(e.first);
    } else if (readNumber(w[1], 1, 0xFFFFFFFFLL, id) && sessions.count(static_cast<std::uint32_t>(id))) {
      ids.push_back(static_cast<std::uint32_t>(id));
    } else {
      return "? no stream " + w[1] + "\n";
    }
    for (std::uint32_t s : ids) dropSession(s);
    ok = true;
    return "";
  }
  if (cmd == "down" || cmd == "up") {
    if (w.size() != 1) return usage(cmd.c_str());
    down = cmd == "down";
    if (down) {
      std::vector<std::uint32_t> ids;
      for (auto& e : sessions) ids.push_back(e.first);
      for (std::uint32_t s : ids) dropSession(s);
    }
    ok = true;
    return "";
  }
  if (cmd == "refuse") {
    long long count = 0, id = 0;
    if (w.size() < 3 || w.size() > 4 || !readNumber(w[1], 0, 1000000, count))
      return usage("refuse COUNT queue_full|nobuffers [SESSION]");
    const std::string what = lowerText(w[2]);
    int code = what == "queue_full" ? ACSERR_QUEUE_FULL : what == "nobuffers" ? ACSERR_NOBUFFERS : 0;
    if (code == 0) return usage("refuse COUNT queue_full|nobuffers [SESSION]");
    if (w.size() == 4 && (!readNumber(w[3], 1, 0xFFFFFFFFLL, id) || !sessions.count(static_cast<std::uint32_t>(id))))
      return "? no stream " + w[3] + "\n";
    for (auto& e : sessions)
      if (id == 0 || e.first == static_cast<std::uint32_t>(id)) sendFlowNotice(e.second, code, static_cast<unsigned>(count));
    ok = true;
    return "";
  }
  if (cmd == "delay") {
    long long ms = 0;
    if (w.size() != 2 || !readNumber(w[1], 0, 600000, ms)) return usage("delay MS");
    confirmDelayMs = static_cast<unsigned>(ms);
    ok = true;
    return "";
  }
  if (cmd == "advance" || cmd == "wait") {
    long long ms = 0;
    if (w.size() != 2 || !readNumber(w[1], 0, 86400000, ms)) return usage((cmd + " MS").c_str());
    advance(static_cast<std::uint64_t>(ms), lk);
    ok = true;
    return "";
  }
  if (cmd == "at" || cmd == "after") {
    const bool timed = cmd == "at";
    const char* u = timed ? "at MS COMMAND" : "after REQUESTS COMMAND";
    long long n = 0;
    if (w.size() < 3 || !readNumber(w[1], timed ? 0 : 1, 86400000, n)) return usage(u);
    const std::string later = lowerText(w[2]);
    // Put off, they would stall the switch's clock or a client's request.
    if (later == "advance" || later == "wait") return "? " + later + " cannot be put off\n";
    std::string rest = restOfLine(line, 2);
    if (timed) schedule(static_cast<std::uint64_t>(n), [this, rest] { runDeferred(rest); });
    else afterRequests.emplace_back(requestsHandled + static_cast<std::uint64_t>(n), rest);
    ok = true;
    return "";
  }
  if (cmd == "reset") {
    if (w.size() != 1) return usage("reset");
    std::vector<std::uint32_t> ids;
    for (auto& e : sessions) ids.push_back(e.first);
    for (std::uint32_t s : ids) dropSession(s);
    resetState();
    ok = true;
    return "";
  }
  bool known = false;
  std::string said = privateControl(w, ok, &known);
  if (known) return said;
  return "? unknown command " + w[0] + " (help lists them)\n";
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
