// Profile file access: sectioned "key=value" text files read and written one
// key at a time, plus the parity letter helpers and the password cipher.
// Portable on purpose: only C stdio and the platform layer.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"

namespace {

const int PROFILE_LINE = 255;  // longer lines are read as far as this

int lower(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

bool begins_with_nocase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix)
    if (lower(static_cast<unsigned char>(*text)) != lower(static_cast<unsigned char>(*prefix)))
      return false;
  return true;
}

bool is_white(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

const char* skip_white(const char* text) {
  while (is_white(*text)) ++text;
  return text;
}

// The section name is compared over its own length only, so "[Server]"
// matches "Server" and "[ServerOld]" does too.
bool is_header_of(const char* line, const char* section) {
  return line[0] == '[' && begins_with_nocase(line + 1, section);
}

// One whole line, of which the first PROFILE_LINE bytes are kept: the rest
// of a long line is never taken for a line of its own, and a NUL byte ends
// nothing but the text kept.
bool read_line(FILE* f, char* line) {
  int c = std::getc(f);
  if (c == EOF) return false;
  int n = 0;
  for (; c != EOF; c = std::getc(f)) {
    if (n < PROFILE_LINE) line[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  line[n] = '\0';
  return true;
}

// Bounded copy that always terminates (room >= 1).
void copy_bounded(char* to, const char* from, int room) {
  int n = static_cast<int>(std::strlen(from));
  if (n > room - 1) n = room - 1;
  std::memcpy(to, from, static_cast<size_t>(n));
  to[n] = '\0';
}

// Only a plain file is a profile: a device such as /dev/zero would be read
// for ever, a folder reads as nothing.
FILE* open_profile(const char* path) {
  plat_file_info info;
  if (!plat_file_info_of(path, &info) || !info.regular) return nullptr;
  return std::fopen(path, "rb");
}

FILE* open_for_reading(const char* file) {
  if (plat_file_exists(file)) return open_profile(file);
  char home[PROFILE_LINE + 1];
  if (!plat_getenv("HOME", home, sizeof home)) return nullptr;
  char path[PROFILE_LINE + 1];
  copy_bounded(path, home, sizeof path);
  size_t used = std::strlen(path);
  if (used < PROFILE_LINE) {
    path[used++] = '/';
    path[used] = '\0';
    copy_bounded(path + used, file, static_cast<int>(sizeof path - used));
  }
  return open_profile(path);
}

bool find_section(FILE* f, const char* section) {
  char line[PROFILE_LINE + 1];
  while (read_line(f, line))
    if (is_header_of(line, section)) return true;
  return false;
}

int read_value(FILE* f, const char* key, char* buffer, int size) {
  char line[PROFILE_LINE + 1];
  while (read_line(f, line)) {
    if (line[0] == '[') return 0;
    if (line[0] == ';') continue;
    const char* text = skip_white(line);
    if (!begins_with_nocase(text, key)) continue;
    const char* equals = std::strchr(text, '=');
    if (!equals) continue;
    copy_bounded(buffer, equals + 1, size);
    int n = static_cast<int>(std::strlen(buffer));
    while (n > 0 && is_white(buffer[n - 1])) buffer[--n] = '\0';
    return n;
  }
  return 0;
}

// Key names, each followed by a zero byte, then one more zero byte.
int read_key_names(FILE* f, char* buffer, int size) {
  char line[PROFILE_LINE + 1];
  int used = 0;
  while (read_line(f, line)) {
    if (line[0] == '[') break;
    if (line[0] == ';') continue;
    const char* text = skip_white(line);
    const char* equals = std::strchr(text, '=');
    // Blank lines and lines without '=' are no entries; an empty name
    // would end the list early for whoever walks it.
    if (!equals) continue;
    int n = static_cast<int>(equals - text);
    if (used + n + 2 > size) {
      int fits = size - used < n ? size - used : n;
      std::memcpy(buffer + used, text, static_cast<size_t>(fits));
      if (size >= 2) buffer[size - 2] = '\0';
      buffer[size - 1] = '\0';
      return size;
    }
    std::memcpy(buffer + used, text, static_cast<size_t>(n));
    used += n;
    buffer[used++] = '\0';
  }
  buffer[used] = '\0';
  return used;
}

// ---- writing ----------------------------------------------------------------------
// The file is read whole and rewritten from memory: every line not changed
// goes out byte for byte, whatever its length, and nothing is written at
// all for a file that is not text.

// Why the bytes are not a profile the writer may rewrite; null when they are.
const char* not_text_reason(const std::string& bytes) {
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                            (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
    return "it is UTF-16 text";
  if (bytes.find('\0') != std::string::npos) return "it holds NUL bytes";
  return nullptr;
}

bool read_whole(const char* file, std::string* bytes) {
  FILE* in = std::fopen(file, "rb");
  if (!in) return false;
  char block[4096];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, in)) > 0) bytes->append(block, n);
  const bool ok = !std::ferror(in);
  std::fclose(in);
  return ok;
}

// A value is one line: whatever follows a line end in it would become
// entries of its own.
size_t one_line(const char* value) { return std::strcspn(value, "\r\n"); }

struct Rewrite {
  std::string out;
  const char* newline;  // for lines added: the file's own line end
  int count = 0;
  void add(const std::string& text) {
    out += text;
    count += static_cast<int>(text.size());
  }
  void entry(const char* key, const char* value) {
    add(std::string(key) + "=" + std::string(value, one_line(value)) + newline);
  }
};

// The file's bytes with the key set; returns the characters added or
// replaced (never 0 when the key went in).
int rewrite_with_key(const std::string& in, std::string* result, const char* section,
                     const char* key, const char* value) {
  Rewrite w;
  const size_t firstEnd = in.find('\n');
  w.newline = firstEnd != std::string::npos && firstEnd > 0 && in[firstEnd - 1] == '\r' ? "\r\n"
                                                                                       : "\n";
  size_t at = 0;
  bool found = false;
  bool lastLineOpen = false;  // the file's last line has no line end
  auto nextLine = [&](std::string* line) {
    if (at >= in.size()) return false;
    size_t end = in.find('\n', at);
    end = end == std::string::npos ? in.size() : end + 1;
    line->assign(in, at, end - at);
    at = end;
    lastLineOpen = line->back() != '\n';
    return true;
  };
  std::string line;
  while (nextLine(&line)) {
    w.out += line;
    if (is_header_of(line.c_str(), section)) {
      found = true;
      break;
    }
  }
  if (!found) {
    if (lastLineOpen) w.add(w.newline);
    w.add(std::string("[") + section + "]" + w.newline);
    w.entry(key, value);
    *result = w.out;
    return w.count;
  }

  bool written = false;
  while (nextLine(&line)) {
    // At the next section the key is placed if it was missing; from there
    // on everything, same-named keys of other sections too, stays as it is.
    if (line[0] == '[' && !written) {
      w.entry(key, value);
      written = true;
    }
    const char* text = skip_white(line.c_str());
    const char* equals = std::strchr(text, '=');
    if (!written && line[0] != ';' && begins_with_nocase(text, key) && equals) {
      // Keep "key=" as it stands and put the value behind it, the whole line
      // within PROFILE_LINE with its own line end.
      const char* lineEnd = "\n";
      if (line.size() >= 2 && line[line.size() - 2] == '\r' && line.back() == '\n')
        lineEnd = "\r\n";
      const int prefix = static_cast<int>(equals + 1 - line.c_str());
      const int room = PROFILE_LINE - prefix - static_cast<int>(std::strlen(lineEnd));
      int valueLength = static_cast<int>(one_line(value));
      if (valueLength > room) valueLength = room < 0 ? 0 : room;
      w.out.append(line, 0, static_cast<size_t>(prefix));
      w.add(std::string(value, static_cast<size_t>(valueLength)) + lineEnd);
      written = true;
      continue;
    }
    w.out += line;
  }
  if (!written) {
    if (lastLineOpen) w.add(w.newline);
    w.entry(key, value);
  }
  *result = w.out;
  return w.count;
}

bool write_all(const char* file, const std::string& bytes) {
  FILE* out = std::fopen(file, "wb");
  if (!out) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

// Writes bytes over the file from its start, without cutting it first.
bool overwrite(const char* file, const std::string& bytes) {
  FILE* out = std::fopen(file, "r+b");
  if (!out) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

// Rewrites the profile in place so that it is never left shorter than one
// whole text: a longer text first takes its room at the end (a full disk
// fails there, before anything is overwritten), and the file is cut only
// once the whole new text is in it.
bool rewrite_in_place(const char* file, const std::string& old, const std::string& now) {
  if (now.size() > old.size()) {
    FILE* out = std::fopen(file, "ab");
    if (!out) return false;
    const std::size_t grow = now.size() - old.size();
    bool ok = std::fwrite(now.data() + old.size(), 1, grow, out) == grow;
    if (std::fclose(out) != 0) ok = false;
    if (!ok) {
      plat_resize_file(file, old.size());
      return false;
    }
  }
  if (!overwrite(file, now)) {
    overwrite(file, old);  // its room was there before, so it fits again
    plat_resize_file(file, old.size());
    return false;
  }
  return now.size() >= old.size() || plat_resize_file(file, now.size());
}

// A profile refused is named once, not again for each key of the same save.
std::string lastRefused;

void refuse(const char* file, const char* reason) {
  if (lastRefused == file) return;
  lastRefused = file;
  log_error("? Profile %s is not rewritten: %s\n", file, reason);
}

// A save that went through: a later failure is worth telling again.
int saved(int result) {
  lastRefused.clear();
  return result;
}

}  // namespace

int ODB_GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                                char* buffer, int size, const char* file) {
  int result = 0;
  bool haveBuffer = buffer && size > 0;
  if (haveBuffer) buffer[0] = '\0';
  if (section && haveBuffer && file) {
    FILE* f = open_for_reading(file);
    if (f) {
      if (find_section(f, section))
        result = key ? read_value(f, key, buffer, size) : read_key_names(f, buffer, size);
      std::fclose(f);
    }
  }
  if (result == 0 && defaultText && haveBuffer) copy_bounded(buffer, defaultText, size);
  return result;
}

// The new profile is written to a temporary file beside the real one (the
// end of any chain of links, so the link stays a link), given the old file's
// mode and owner, and renamed over it: until then the original is whole. In
// a folder the user may not write to, the file itself is rewritten instead.
int ODB_PutPrivateProfileString(const char* section, const char* key, const char* value,
                                const char* file) {
  if (!section || !key || !value || !file) return 0;
  char target[1024];
  if (!plat_link_target(file, target, sizeof target)) return 0;
  plat_file_info info;
  if (!plat_file_info_of(target, &info) || !info.regular) return 0;
  std::string bytes;
  if (!read_whole(target, &bytes)) return 0;
  if (const char* reason = not_text_reason(bytes)) {
    refuse(file, reason);
    return 0;
  }
  std::string rewritten;
  const int result = rewrite_with_key(bytes, &rewritten, section, key, value);
  if (result == 0) return 0;

  char temp[1024];
  if (!plat_temp_name(target, temp, sizeof temp)) {
    if (rewrite_in_place(target, bytes, rewritten)) return saved(result);
    refuse(file, "it could not be written whole (disk full?); it is as it was");
    return 0;
  }
  if (!write_all(temp, rewritten) || !plat_copy_file_access(temp, info)) {
    plat_delete_file(temp);
    refuse(file, "its new copy could not be written (disk full?); it is as it was");
    return 0;
  }
  if (plat_rename_file(temp, target)) return saved(result);
  // Where a file cannot be renamed over another, write it in place instead.
  // If even that fails, the temporary copy is left: it is the only complete one.
  if (!rewrite_in_place(target, bytes, rewritten)) {
    const std::string reason = std::string("it could not be replaced; the new text is in ") + temp;
    refuse(file, reason.c_str());
    return 0;
  }
  plat_delete_file(temp);
  return saved(result);
}

char GetParityChar(const char* text) {
  if (!text) return 'N';
  switch (text[0]) {
    case 'E': case 'N': case 'O': case 'e': case 'n': case 'o': return text[0];
    default: return 'N';
  }
}

const char* PutParityChar(char letter) {
  if (letter == 'E' || letter == 'e') return "EVEN";
  if (letter == 'O' || letter == 'o') return "ODD";
  return "NONE";
}

// A byte stream cipher with the plain byte as feedback, so each enciphered
// byte depends on everything before it.
namespace {
const std::uint32_t CIPHER_START = 27183, CIPHER_MULTIPLIER = 52845, CIPHER_INCREMENT = 22719;

std::uint32_t cipher_next(std::uint32_t r, unsigned plain) {
  return ((r + plain) * CIPHER_MULTIPLIER + CIPHER_INCREMENT) & 0xFFFFu;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}
}  // namespace

void Encrypt(const char* plain, char* out) {
  static const char digits[] = "0123456789abcdef";
  if (!out) return;
  std::uint32_t r = CIPHER_START;
  for (const char* p = plain ? plain : ""; *p; ++p) {
    unsigned byte = static_cast<unsigned char>(*p);
    unsigned q = (byte ^ (r >> 8)) & 0xFFu;
    *out++ = digits[q >> 4];
    *out++ = digits[q & 15];
    r = cipher_next(r, byte);
  }
  *out = '\0';
}

void Decrypt(const char* hex, char* out) {
  if (!out) return;
  std::uint32_t r = CIPHER_START;
  for (const char* h = hex ? hex : ""; *h;) {
    unsigned q = static_cast<unsigned>(hex_value(*h++));
    if (*h) q = q * 16 + static_cast<unsigned>(hex_value(*h++));
    unsigned byte = (q ^ (r >> 8)) & 0xFFu;
    *out++ = static_cast<char>(byte);
    r = cipher_next(r, byte);
  }
  *out = '\0';
}
