// The three SMDR record layouts. A record is built as one line of text with
// the column rule of the shell's output (tabs off): a field goes to its
// column when the line has not reached it, else directly after the text;
// a separated field is put one blank apart when it was not padded.
#include <cstdio>
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
