// Helpers for the shell's tests: temporary files, formatted output captured
// in a file, and a console fed from a file.
#pragma once

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"

namespace testfiles {

// The file as text; the CR of a Windows text file's line end is dropped.
inline std::string readText(const std::string& path) {
  std::string text;
  FILE* f = std::fopen(path.c_str(), "rb");
  for (int c; f && (c = std::fgetc(f)) != EOF;)
    if (c != '\r') text += static_cast<char>(c);
  if (f) std::fclose(f);
  return text;
}

// A fresh temporary file, deleted when the test is over.
class TempFile {
 public:
  explicit TempFile(const std::string& content = "") {
    char buf[512];
    if (plat_temp_name(nullptr, buf, sizeof buf)) path_ = buf;
    write(content);
  }
  ~TempFile() { plat_delete_file(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  void write(const std::string& content) const {
    if (FILE* f = std::fopen(path_.c_str(), "wb")) {
      std::fwrite(content.data(), 1, content.size(), f);
      std::fclose(f);
    }
  }
  const char* path() const { return path_.c_str(); }
  std::string text() const { return readText(path_); }

 private:
  std::string path_;
};

// Formatted output goes into a file for as long as this lives.
class CapturedOutput {
 public:
  CapturedOutput() : file_(std::fopen(temp_.path(), "w+b")) { set_o_file(file_); }
  ~CapturedOutput() {
    set_o_file(stdout);
    if (file_) std::fclose(file_);
  }
  std::string text() {
    std::fflush(file_);
    return temp_.text();
  }

 private:
  TempFile temp_;
  FILE* file_;
};

// The console reads these lines (standard input becomes a plain file).
inline bool feedConsole(const TempFile& lines) {
  return std::freopen(lines.path(), "rb", stdin) != nullptr && !plat_stdin_is_terminal();
}

inline std::string capturedStdout() {
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

inline bool contains(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

}  // namespace testfiles
