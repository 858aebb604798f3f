// The diagnostic lines a test caused, taken from the library's log tap.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "voxbridge/debuglog.h"

namespace voxtest {

// Every diagnostic line while a LogCapture lives.
class LogCapture {
 public:
  LogCapture() {
    lines().clear();
    vox::setLogTap(&LogCapture::tap);
  }
  ~LogCapture() { vox::setLogTap(nullptr); }
  std::vector<std::string> take() {
    std::lock_guard<std::mutex> lock(mutex());
    std::vector<std::string> out;
    out.swap(lines());
    return out;
  }
  bool has(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex());
    for (const auto& l : lines())
      if (l == line) return true;
    return false;
  }

 private:
  static std::vector<std::string>& lines() {
    static std::vector<std::string> v;
    return v;
  }
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }
  static void tap(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex());
    lines().push_back(line);
  }
};

}  // namespace voxtest
