// Small text helpers shared by the configuration reader and the control
// interface of the simulator.
#pragma once

#include <string>
#include <vector>

namespace telsim {

// Splits a line into words at blanks and tabs; "double quoted" words may hold
// blanks. Everything from an unquoted '#' on is a comment. Returns false for
// an unterminated quote.
bool splitWords(const std::string& line, std::vector<std::string>& words);
bool sameText(const std::string& a, const std::string& b);  // ignoring case
std::string lowerText(const std::string& s);
// Whole-string decimal number within [lo, hi].
bool readNumber(const std::string& s, long long lo, long long hi, long long& out);
// "X1#12" -> prefix "X1#", index 12. False when there is no "#n" tail.
bool splitPhysName(const std::string& name, std::string& prefix, int& index);
// "201-216" -> 201, 216; "201" -> 201, 201.
bool readRange(const std::string& s, long long& first, long long& last);

}  // namespace telsim
