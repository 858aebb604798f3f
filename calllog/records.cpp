// The SMDR record layouts. A record is built as one line of text with
// the column rule of the shell's output (tabs off): a field goes to its
// column when the line has not reached it, else directly after the text;
// a separated field is put one blank apart when it was not padded.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "calllog/callinfo.h"

namespace {

class RecordLine {
 public:
  explicit RecordLine(int indent) : indent_(indent) {}

  // Columns count from 1; 0 (or less) appends where the line stands.
  void at(int column, const std::string& field, bool separated = false) {
    bool padded = false;
    if (column > 0) {
      const std::size_t target = static_cast<std::size_t>(column + indent_ - 1);
      if (text_.size() < target) {
        text_.append(target - text_.size(), ' ');
        padded = true;
      }
    }
    if (separated && !padded && !text_.empty() && text_.back() != ' ') text_ += ' ';
    text_ += field;
  }
  void right(int column, const std::string& field, bool separated = false) {
    at(column - static_cast<int>(field.size()) + 1, field, separated);
  }
  std::string end(bool carriageReturn) {
    if (carriageReturn) text_ += '\r';
    text_ += '\n';
    return text_;
  }

 private:
  int indent_;
  std::string text_;
};

std::string localTime(CallTime t, const char* format) {
  char buffer[40];
  std::tm tm = {};
  if (!plat_local_time(t, &tm) || std::strftime(buffer, sizeof buffer, format, &tm) == 0)
    return "?";
  return buffer;
}

std::string minutesSeconds(CallTime seconds) {
  if (seconds < 0) seconds = 0;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return buffer;
}

std::string first(const std::string& text, std::size_t most) { return text.substr(0, most); }

const char* typeLetter(CallType type) {
  switch (type) {
    case callTypeInternal: return "I";
    case callTypeExternal: return "E";
    case callTypeExternalOutbound: return "O";
    default: return "U";
  }
}

// Talk time of an answered call; a clock set back never gives a negative one.
CallTime talkTime(const CallInfo& call) {
  if (call.answeringTime == 0) return 0;
  const CallTime d = call.hangupTime - call.answeringTime;
  return d > 0 ? d : 0;
}

}  // namespace

std::string CallInfo::o_report(int indent) {
  if (callType == callTypeUnknown) {
    if (callerNumber.size() == 3 && callerNumber[0] == '9')
      callType = callTypeExternal;
    else if (callerNumber.find('#') != std::string::npos)
      callType = callTypeExternal;
    else if (toNumber.size() < 5 && callerNumber.size() < 5)
      callType = callTypeInternal;
    else if (toNumber.size() < 5)
      callType = callTypeExternal;
  }
  switch (currentPBXformat) {
    case PBXtypeDefinityG3: return o_reportDefinityG3(indent);
    case PBXtypeMitelSX2000: return o_reportMitelSX2000(indent);
    case PBXtypeMiVBStandard: return o_reportMiVBStandard();
    case PBXtypeCMUnformatted: return o_reportCMUnformatted();
    default: return o_reportTelvanix(indent);
  }
}

std::string CallInfo::o_reportTelvanix(int indent) const {
  if (!toSet) return std::string();
  const bool wasAnswered = answeringTime != 0;
  if (!wasAnswered && !reportUnansweredCalls) return std::string();
  RecordLine line(indent);
  line.at(0, category);
  line.at(2, localTime(wasAnswered ? answeringTime : creationTime, "%m/%d/%y %H:%M:%S"), true);
  const CallTime ring = (wasAnswered ? answeringTime : hangupTime) - ringingTime;
  line.right(20, minutesSeconds(ring), true);
  line.at(26, typeLetter(callType), true);
  line.at(28, callType == callTypeInternal ? toNumber : trunkName, true);
  line.right(38, minutesSeconds(talkTime(*this)), true);
  line.at(40, callerNumber, true);
  line.at(58, toNumber, true);
  line.right(80, minutesSeconds(totalTimeHeld), true);
  if (answerNumber != toNumber && answerNumber != "NONE") line.at(81, answerNumber, true);
  if (xferInfo != "NONE") line.at(87, xferInfo, true);
  return line.end(outputCRenabled != 0);
}

std::string CallInfo::o_reportDefinityG3(int indent) const {
  if (!toSet || answeringTime == 0) return std::string();
  const CallTime d = talkTime(*this);
  int hours = static_cast<int>(d / 3600);
  int minutes = static_cast<int>(d % 3600 / 60);
  int tenths = static_cast<int>(d % 60 * 10 / 60);
  if (d >= 10 * 3600) {
    hours = 9;
    minutes = 59;
    tenths = 9;
  }
  char duration[16];
  std::snprintf(duration, sizeof duration, "%01d%02d%01d", hours, minutes, tenths);

  RecordLine line(indent);
  line.at(0, localTime(answeringTime, "%H%M"));
  line.at(4, duration);
  const bool outbound = callType == callTypeExternalOutbound;
  line.at(0, outbound ? "G" : "I");
  if (outbound) {
    line.at(19, normalizeNumber(toNumber.c_str()));
    line.at(33, first(normalizeNumber(callerNumber.c_str()), 4));
  } else {
    line.at(27, first(normalizeNumber(callerNumber.c_str()), 30));
    line.at(51, first(normalizeNumber(toNumber.c_str()), 4));
  }
  line.at(56, "01");
  return line.end(outputCRenabled != 0);
}

std::string CallInfo::o_reportMitelSX2000(int indent) const {
  if (!toSet) return std::string();
  // A call never answered is shown as the Telvanix layout shows it: at its
  // creation time, with no talk time.
  const bool wasAnswered = answeringTime != 0;
  const CallTime d = talkTime(*this);
  const char* mark = d <= 300 ? " " : d <= 600 ? "-" : d <= 1800 ? "%" : "+";
  char duration[32];
  if (d >= 100 * 3600)
    std::snprintf(duration, sizeof duration, "99:59:59");
  else
    std::snprintf(duration, sizeof duration, "%02d:%02d:%02d", static_cast<int>(d / 3600),
                  static_cast<int>(d % 3600 / 60), static_cast<int>(d % 60));

  RecordLine line(indent);
  line.at(0, mark);
  line.at(2, localTime(wasAnswered ? answeringTime : creationTime, "%m/%d %H:%M"));
  line.at(15, duration);
  line.at(24, first(normalizeNumber(callerNumber.c_str()), 3));
  line.at(30, "9");
  line.at(34, first(dialedNumber, 20));
  line.at(61, "R");
  line.at(62, "T");
  line.at(63, first(toNumber, 3));
  line.at(66, " ");
  line.at(68, "");
  return line.end(outputCRenabled != 0);
}

// ---- the collector layouts -----------------------------------------------------------
//
// Both are fixed-width records that collectors cut by column, so every field
// is written into its own width, cut or padded, and nothing may push another.

std::string CallInfo::systemID = "001";

bool CallInfo::setSystemID(const char* id) {
  const bool valid = id && std::strlen(id) == 3 && std::isdigit(static_cast<unsigned char>(id[0])) &&
                     std::isdigit(static_cast<unsigned char>(id[1])) &&
                     std::isdigit(static_cast<unsigned char>(id[2]));
  systemID = valid ? id : "001";
  return valid;
}

bool CallInfo::isLineName(const char* device) {
  // A line or trunk is a letter L or T, its board number, '#' and its own
  // number ("L1#5", "T1#3"); extensions ("X1#2") and numbers are not.
  if (!device || (std::toupper(static_cast<unsigned char>(device[0])) != 'L' &&
                  std::toupper(static_cast<unsigned char>(device[0])) != 'T'))
    return false;
  const char* p = device + 1;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
  if (*p++ != '#' || !std::isdigit(static_cast<unsigned char>(*p))) return false;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
  return *p == '\0';
}

void CallInfo::arrivedOn(long callID, const char* device) {
  CallInfo* call = find(callID);
  if (call && call->incomingLine.empty() && isLineName(device)) call->incomingLine = device;
}

namespace {

enum Leg { kInternal, kIncoming, kOutgoing };

const char kUnknownParty[] = "?Unknown?";

bool known(const std::string& party) { return party != kUnknownParty && party != "NONE"; }

std::string last(const std::string& text, std::size_t most) {
  return text.size() > most ? text.substr(text.size() - most) : text;
}

// A station as collectors read it: digits only, the last four; a device
// name or a pseudo-device ("Playing") is no station.
std::string station(const std::string& party) {
  if (party.empty() || party.find_first_not_of("0123456789") != std::string::npos) return "";
  return last(party, 4);
}

// "L1#5" is T005: the line's own number, the last three digits of it.
std::string trunkParty(const std::string& device) {
  const std::size_t hash = device.rfind('#');
  if (hash == std::string::npos || hash + 1 >= device.size()) return std::string();
  const std::string number = last(device.substr(hash + 1), 3);
  for (char c : number)
    if (c < '0' || c > '9') return std::string();
  return "T" + std::string(3 - number.size(), '0') + number;
}

// Which side of the switch the call came from, for the two collector layouts.
Leg legOf(const CallInfo& call) {
  if (call.callType == callTypeExternalOutbound) return kOutgoing;
  if (!call.incomingLine.empty() || call.callType == callTypeExternal) return kIncoming;
  if (call.callType == callTypeInternal) return kInternal;
  // An extension's call to a long number that never reached the network.
  return call.callerNumber.size() < 5 ? kOutgoing : kIncoming;
}

// The station that answered, or else the one rung last.
std::string calledStation(const CallInfo& call) {
  return known(call.answerNumber) ? call.answerNumber : call.toNumber;
}

std::string dialledOrCalled(const CallInfo& call) {
  return known(call.dialedNumber) ? call.dialedNumber : known(call.toNumber) ? call.toNumber : "";
}

// A record of blanks whose fields are written by 1-based column, each cut
// to its width.
class FixedRecord {
 public:
  explicit FixedRecord(std::size_t width) : text_(width, ' ') {}
  void left(std::size_t column, std::size_t width, const std::string& field) {
    text_.replace(column - 1, width, (field + std::string(width, ' ')).substr(0, width));
  }
  void right(std::size_t column, std::size_t width, const std::string& field) {
    const std::string cut = last(field, width);
    text_.replace(column - 1, width, std::string(width - cut.size(), ' ') + cut);
  }
  std::string end() const { return text_ + "\r\n"; }

 private:
  std::string text_;
};

std::string mivbRecord(const CallInfo& call, Leg leg, bool twoTrunks) {
  const bool wasAnswered = call.answeringTime != 0;
  const CallTime d = talkTime(call);
  FixedRecord r(90);
  r.left(1, 1, d < 300 ? " " : d < 600 ? "-" : d < 1800 ? "%" : "+");
  const CallTime start = wasAnswered ? call.answeringTime : call.creationTime;
  r.left(2, 5, localTime(start, "%m/%d"));
  r.left(8, 5, localTime(start, "%H:%M"));
  char duration[32] = "99:99:99";
  if (d < 100 * 3600)
    std::snprintf(duration, sizeof duration, "%02d:%02d:%02d", static_cast<int>(d / 3600),
                  static_cast<int>(d % 3600 / 60), static_cast<int>(d % 60));
  r.left(15, 8, duration);

  const std::string line = call.incomingLine.empty() ? call.callerNumber : call.incomingLine;
  r.left(24, 4, leg == kIncoming || twoTrunks ? trunkParty(line) : station(call.callerNumber));
  if (leg != kOutgoing) {
    char answer[8] = "***";
    if (wasAnswered) {
      const CallTime ring = call.answeringTime - call.ringingTime;
      std::snprintf(answer, sizeof answer, "%03d",
                    static_cast<int>(ring < 0 ? 0 : ring > 999 ? 999 : ring));
    }
    r.left(30, 3, answer);
  }

  std::string digits = dialledOrCalled(call);
  // Digits received are only shown when the switch passed them on.
  if (leg == kIncoming && !known(call.dialedNumber)) digits.clear();
  r.left(34, 26, digits);
  if (leg == kInternal) r.left(60, 1, "I");
  if (leg == kOutgoing && wasAnswered) r.left(60, 1, "A");
  if (call.wasDiverted) r.left(61, 1, "F");
  if (leg == kOutgoing || twoTrunks)
    r.left(62, 4, trunkParty(call.trunkName));
  else
    r.left(62, 4, station(calledStation(call)));
  if (call.category == "X") r.left(66, 1, "T");
  if (call.category == "F") r.left(66, 1, "C");
  if (call.category == "X") r.left(68, 4, station(call.xferInfo));
  r.left(86, 3, CallInfo::systemID);
  return r.end();
}

// hmmt: hours, minutes and tenths of a minute (six-second steps, truncated).
std::string hmmt(CallTime d) {
  char text[16];
  std::snprintf(text, sizeof text, "%01d%02d%01d", static_cast<int>(d / 3600 % 10),
                static_cast<int>(d % 3600 / 60), static_cast<int>(d % 60 / 6));
  return text;
}

}  // namespace

std::string CallInfo::o_reportMiVBStandard() const {
  if (!toSet) return std::string();
  const Leg leg = legOf(*this);
  // A call that came in on one line and left on another is one record per trunk.
  if (leg == kOutgoing && !incomingLine.empty())
    return mivbRecord(*this, kIncoming, true) + mivbRecord(*this, kOutgoing, true);
  return mivbRecord(*this, leg, false);
}

std::string CallInfo::o_reportCMUnformatted() const {
  if (!toSet || answeringTime == 0) return std::string();
  const Leg leg = legOf(*this);
  const char code = category == "F" ? 'C' : leg == kOutgoing ? 'A' : leg == kIncoming ? '9' : '0';
  std::string dialled = dialledOrCalled(*this);
  // A caller known only as a line or a name has no number to show.
  const std::string calling =
      callerNumber.find_first_not_of("0123456789") == std::string::npos ? callerNumber : "";

  const CallTime tenHours = 10 * 3600;
  const CallTime d = talkTime(*this);
  std::string out;
  for (CallTime done = tenHours; done <= d; done += tenHours) {
    FixedRecord r(114);
    r.left(1, 4, localTime(answeringTime + done, "%H%M"));
    r.left(5, 4, "9599");
    r.left(9, 1, "4");
    r.right(18, 15, dialled);
    r.right(33, 10, calling);
    out += r.end();
  }
  FixedRecord r(114);
  r.left(1, 4, localTime(hangupTime, "%H%M"));
  r.left(5, 4, hmmt(d % tenHours));
  r.left(9, 1, std::string(1, code));
  r.right(18, 15, dialled);
  r.right(33, 10, calling);
  return out + r.end();
}
