// Configuration of the simulated switch: the built-in default and the text
// form read from a file. One statement a line, '#' starts a comment:
//
//   server TELVANIX              login Telvanix secret     (login * * takes any)
//   api TS2   lib "csta32 1.0"   tsrv "telsim 1.0"   firmware 3.1-12
//   board 1 orion 201405 1234    (id, type, serial date and number)
//   extensions 201-216 X1#1      extension 217 X1#17 rings 3
//   lines L1#1-8                 line L1#9      spans D1#1      span D1#2
//   voices 401-404 V1#1 rings 2  voice 405 V1#5
//   outside 9 7                  (outside prefix, minimum digits)
//   ring 3000   noanswer 4   conference 6   monitors 2048
//   forward 205 noanswer 206     forward X1#7 busy 95551234
//                                (type immediate|busy|noanswer, destination)
//   voicefolder C:\KVR\VOICE     (bare file names of plays and records)
//   adminpassword TELVANIX       (what kqPvtEnableAdministration must give)
//
// The first device statement of a file replaces the default devices, the
// first board statement the default boards. Forwarding is applied once the
// whole file is read, so it may come before the devices it names.
#include "simulator/telsim.h"
#include "simulator/text.h"

#include <cstdio>

namespace telsim {

namespace {

const size_t kMaxDevices = 4096;

DeviceConfig makeDevice(DeviceKind kind, const std::string& number, const std::string& phys,
                        int rings) {
  DeviceConfig d;
  d.kind = kind;
  d.number = number;
  d.physName = phys;
  d.autoAnswerRings = rings;
  // The board is the number between the kind letter and '#': "X1#3" is board 1.
  size_t hash = phys.find('#');
  long long board = 1;
  if (hash != std::string::npos && hash > 1 &&
      readNumber(phys.substr(1, hash - 1), 0, 255, board))
    d.board = static_cast<int>(board);
  return d;
}

bool allDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int boardTypeByName(const std::string& s) {
  static const char* const names[] = {"unknown", "orion", "vega", "lyra", "draco"};
  for (int i = 0; i < 5; ++i)
    if (sameText(s, names[i])) return i;
  long long v = 0;
  if (readNumber(s, 0, 255, v)) return static_cast<int>(v);
  return -1;
}

struct PendingForward {
  int line = 0;
  std::string device;
  int type = 0;
  std::string dest;
};

struct Reader {
  Config& cfg;
  bool devicesReplaced = false;
  bool boardsReplaced = false;
  std::string why;
  int line = 0;
  std::vector<PendingForward> forwards;

  explicit Reader(Config& c) : cfg(c) {}

  bool fail(const std::string& s) {
    why = s;
    return false;
  }

  bool addDevice(const DeviceConfig& d) {
    if (!devicesReplaced) {
      cfg.devices.clear();
      devicesReplaced = true;
    }
    if (cfg.devices.size() >= kMaxDevices) return fail("too many devices");
    for (const DeviceConfig& o : cfg.devices) {
      if (sameText(o.physName, d.physName)) return fail("device " + d.physName + " named twice");
      if (!d.number.empty() && o.number == d.number)
        return fail("number " + d.number + " given twice");
      if (!d.number.empty() && sameText(o.physName, d.number))
        return fail("number " + d.number + " is a device name");
    }
    cfg.devices.push_back(d);
    return true;
  }

  // Optional "rings N" tail from word index i.
  bool readRings(const std::vector<std::string>& w, size_t i, int& rings) {
    if (w.size() == i) return true;
    long long v = 0;
    if (w.size() != i + 2 || !sameText(w[i], "rings") || !readNumber(w[i + 1], 0, 100, v))
      return fail("expected: rings N");
    rings = static_cast<int>(v);
    return true;
  }

  bool numbered(DeviceKind kind, const std::vector<std::string>& w, bool range, int defRings) {
    if (w.size() < 3) return fail("expected: " + w[0] + (range ? " FIRST-LAST PHYS#N" : " NUMBER PHYS#N"));
    int rings = defRings;
    if (!readRings(w, 3, rings)) return false;
    std::string prefix;
    int index = 0;
    if (!splitPhysName(w[2], prefix, index)) return fail("bad device name " + w[2]);
    if (!range) {
      if (!allDigits(w[1]) || w[1].size() > 32) return fail("bad number " + w[1]);
      return addDevice(makeDevice(kind, w[1], w[2], rings));
    }
    long long first = 0, last = 0;
    if (!readRange(w[1], first, last) || !allDigits(w[1].substr(0, w[1].find('-'))))
      return fail("bad number range " + w[1]);
    if (last - first >= static_cast<long long>(kMaxDevices)) return fail("range too long");
    for (long long n = first; n <= last; ++n) {
      std::string phys = prefix + std::to_string(index + (n - first));
      if (!addDevice(makeDevice(kind, std::to_string(n), phys, rings))) return false;
    }
    return true;
  }

  bool unnumbered(DeviceKind kind, const std::vector<std::string>& w, bool range) {
    if (w.size() != 2) return fail("expected: " + w[0] + (range ? " PHYS#FIRST-LAST" : " PHYS#N"));
    size_t hash = w[1].rfind('#');
    long long first = 0, last = 0;
    if (hash == std::string::npos || hash == 0) return fail("bad device name " + w[1]);
    std::string prefix = w[1].substr(0, hash + 1);
    std::string tail = w[1].substr(hash + 1);
    if (range ? !readRange(tail, first, last) : !readNumber(tail, 0, 99999, first))
      return fail("bad device name " + w[1]);
    if (!range) last = first;
    if (last - first >= static_cast<long long>(kMaxDevices)) return fail("range too long");
    for (long long i = first; i <= last; ++i)
      if (!addDevice(makeDevice(kind, "", prefix + std::to_string(i), 0))) return false;
    return true;
  }

  bool statement(const std::vector<std::string>& w) {
    const std::string k = lowerText(w[0]);
    long long v = 0;
    if (k == "server") {
      if (w.size() != 2 || w[1].empty() || w[1].size() > 48) return fail("expected: server NAME");
      cfg.serverName = w[1];
    } else if (k == "login") {
      if (w.size() < 2 || w.size() > 3) return fail("expected: login USER [PASSWORD]");
      cfg.login = w[1];
      cfg.password = w.size() == 3 ? w[2] : "";
    } else if (k == "api" || k == "lib" || k == "tsrv" || k == "firmware") {
      // The clients' version fields hold 20 characters and a terminator.
      if (w.size() != 2 || w[1].size() > 20) return fail("expected: " + k + " TEXT (20 characters at most)");
      std::string& f = k == "api" ? cfg.apiVer : k == "lib" ? cfg.libVer : k == "tsrv" ? cfg.tsrvVer : cfg.drvrVer;
      f = w[1];
    } else if (k == "board") {
      if (w.size() != 2 && w.size() != 3 && w.size() != 5) return fail("expected: board ID [TYPE [DATE NUMBER]]");
      BoardConfig b;
      if (!readNumber(w[1], 1, 255, v)) return fail("bad board number " + w[1]);
      b.id = static_cast<int>(v);
      if (w.size() >= 3) {
        b.type = boardTypeByName(w[2]);
        if (b.type < 0) return fail("bad board type " + w[2]);
      }
      if (w.size() == 5) {
        long long a = 0, n = 0;
        if (!readNumber(w[3], 0, 0xFFFFFFFFLL, a) || !readNumber(w[4], 0, 0xFFFFFFFFLL, n))
          return fail("bad serial number");
        b.serialDate = static_cast<std::uint32_t>(a);
        b.serialNumber = static_cast<std::uint32_t>(n);
      }
      if (!boardsReplaced) {
        cfg.boards.clear();
        boardsReplaced = true;
      }
      for (const BoardConfig& o : cfg.boards)
        if (o.id == b.id) return fail("board " + w[1] + " given twice");
      if (cfg.boards.size() >= 16) return fail("too many boards");
      cfg.boards.push_back(b);
    } else if (k == "extension" || k == "extensions") {
      return numbered(DK_EXTENSION, w, k == "extensions", 0);
    } else if (k == "voice" || k == "voices") {
      return numbered(DK_VOICE, w, k == "voices", 2);
    } else if (k == "line" || k == "lines" || k == "trunk" || k == "trunks") {
      return unnumbered(DK_TRUNK, w, k == "lines" || k == "trunks");
    } else if (k == "span" || k == "spans") {
      return unnumbered(DK_SPAN, w, k == "spans");
    } else if (k == "outside") {
      long long d = 0;
      if (w.size() != 3 || !readNumber(w[2], 1, 64, d) || (w[1] != "-" && !allDigits(w[1])))
        return fail("expected: outside PREFIX|- MINDIGITS");
      cfg.outsidePrefix = w[1] == "-" ? "" : w[1];
      cfg.outsideMinDigits = static_cast<int>(d);
    } else if (k == "forward") {
      static const char* const types[] = {"immediate", "busy", "noanswer"};
      PendingForward f;
      f.line = line;
      f.type = -1;
      for (int i = 0; w.size() == 4 && i < 3; ++i)
        if (sameText(w[2], types[i])) f.type = i;
      if (f.type < 0 || w[3].empty() || sameText(w[3], "on") || sameText(w[3], "off"))
        return fail("expected: forward DEVICE immediate|busy|noanswer DEST");
      if (w[3].size() > 64) return fail("destination too long");
      f.device = w[1];
      f.dest = w[3];
      forwards.push_back(f);
    } else if (k == "adminpassword") {
      if (w.size() != 2 || w[1].size() > 127) return fail("expected: adminpassword TEXT");
      cfg.adminPassword = w[1];
    } else if (k == "voicefolder") {
      if (w.size() != 2 || w[1].empty() || w[1].size() > 200) return fail("expected: voicefolder FOLDER");
      cfg.voiceFolder = w[1];
    } else if (k == "ring" || k == "noanswer" || k == "conference" || k == "monitors") {
      long long lo = k == "conference" ? 3 : 1;
      long long hi = k == "ring" ? 600000 : k == "monitors" ? 100000 : k == "conference" ? 24 : 100;
      if (w.size() != 2 || !readNumber(w[1], lo, hi, v))
        return fail("expected: " + k + " N (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
      int n = static_cast<int>(v);
      if (k == "ring") cfg.ringMs = n;
      else if (k == "noanswer") cfg.noAnswerRings = n;
      else if (k == "conference") cfg.maxConferenceParties = n;
      else cfg.maxMonitorsPerStream = n;
    } else {
      return fail("unknown statement " + w[0]);
    }
    return true;
  }

  // Forwarding names devices by number or physical name, as clients do.
  bool applyForwards() {
    for (const PendingForward& f : forwards) {
      DeviceConfig* d = nullptr;
      for (DeviceConfig& o : cfg.devices)
        if ((!o.number.empty() && o.number == f.device) || sameText(o.physName, f.device)) d = &o;
      if (!d) {
        line = f.line;
        return fail("forward: unknown device " + f.device);
      }
      d->forwardTo[f.type] = f.dest;
    }
    return true;
  }
};

}  // namespace

Config defaultConfig() {
  Config cfg;
  BoardConfig b;
  b.id = 1;
  b.type = 1;
  b.serialDate = 201405;
  b.serialNumber = 1001;
  cfg.boards.push_back(b);
  for (int i = 1; i <= 16; ++i)
    cfg.devices.push_back(makeDevice(DK_EXTENSION, std::to_string(200 + i), "X1#" + std::to_string(i), 0));
  for (int i = 1; i <= 8; ++i)
    cfg.devices.push_back(makeDevice(DK_TRUNK, "", "L1#" + std::to_string(i), 0));
  cfg.devices.push_back(makeDevice(DK_SPAN, "", "D1#1", 0));
  for (int i = 1; i <= 4; ++i)
    cfg.devices.push_back(makeDevice(DK_VOICE, std::to_string(400 + i), "V1#" + std::to_string(i), 2));
  return cfg;
}

bool parseConfig(const std::string& text, Config& cfg, std::string* error) {
  Config work = cfg;  // a bad file leaves the caller's configuration alone
  Reader r(work);
  size_t pos = 0;
  int lineNo = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    std::vector<std::string> w;
    bool ok = splitWords(line, w);
    if (ok && w.empty()) continue;
    if (!ok) r.why = "unterminated quote";
    r.line = lineNo;
    if (!ok || !r.statement(w)) {
      if (error) *error = "line " + std::to_string(lineNo) + ": " + r.why;
      return false;
    }
  }
  if (work.devices.empty()) {
    if (error) *error = "no devices";
    return false;
  }
  if (!r.applyForwards()) {
    if (error) *error = "line " + std::to_string(r.line) + ": " + r.why;
    return false;
  }
  cfg = work;
  return true;
}

bool loadConfig(const char* path, Config& cfg, std::string* error) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    if (error) *error = std::string("cannot open ") + path;
    return false;
  }
  std::string text;
  char buf[4096];
  size_t n;
  bool tooBig = false;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    text.append(buf, n);
    // A configuration is never this big; one cut short would serve another switch.
    if (text.size() > (1u << 20)) {
      tooBig = true;
      break;
    }
  }
  std::fclose(f);
  if (tooBig) {
    if (error) *error = std::string("configuration over 1 MB, not read: ") + path;
    return false;
  }
  return parseConfig(text, cfg, error);
}

}  // namespace telsim
