#include "simulator/text.h"

#include <cctype>

namespace telsim {

bool splitWords(const std::string& line, std::vector<std::string>& words) {
  words.clear();
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    if (c == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) break;
    std::string w;
    if (c == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string::npos) return false;
      w = line.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\n') {
        w += line[i++];
      }
    }
    words.push_back(w);
  }
  return true;
}

bool sameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string lowerText(const std::string& s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool readNumber(const std::string& s, long long lo, long long hi, long long& out) {
  if (s.empty() || s.size() > 18) return false;
  size_t i = 0;
  bool neg = false;
  if (s[0] == '-') {
    neg = true;
    i = 1;
    if (s.size() == 1) return false;
  }
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  if (neg) v = -v;
  if (v < lo || v > hi) return false;
  out = v;
  return true;
}

bool splitPhysName(const std::string& name, std::string& prefix, int& index) {
  size_t hash = name.rfind('#');
  if (hash == std::string::npos || hash == 0) return false;
  long long v = 0;
  if (!readNumber(name.substr(hash + 1), 0, 99999, v)) return false;
  prefix = name.substr(0, hash + 1);
  index = static_cast<int>(v);
  return true;
}

bool readRange(const std::string& s, long long& first, long long& last) {
  size_t dash = s.find('-', 1);
  if (dash == std::string::npos) {
    if (!readNumber(s, 0, 999999999, first)) return false;
    last = first;
    return true;
  }
  return readNumber(s.substr(0, dash), 0, 999999999, first) &&
         readNumber(s.substr(dash + 1), 0, 999999999, last) && first <= last;
}

}  // namespace telsim
