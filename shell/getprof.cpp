// Profile file access: sectioned "key=value" text files read and written one
// key at a time, plus the parity letter helpers and the password cipher.
// Portable on purpose: only C stdio and the platform layer.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "shell/shell.h"

namespace {

const int PROFILE_LINE = 255;  // longer lines are handled in pieces of this size

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

bool read_piece(FILE* f, char* line) { return std::fgets(line, PROFILE_LINE + 1, f) != nullptr; }

bool ends_line(const char* piece) {
  size_t n = std::strlen(piece);
  return n > 0 && piece[n - 1] == '\n';
}

// Bounded copy that always terminates (room >= 1).
void copy_bounded(char* to, const char* from, int room) {
  int n = static_cast<int>(std::strlen(from));
  if (n > room - 1) n = room - 1;
  std::memcpy(to, from, static_cast<size_t>(n));
  to[n] = '\0';
}

FILE* open_for_reading(const char* file) {
  FILE* f = std::fopen(file, "r");
  if (f) return f;
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
  return std::fopen(path, "r");
}

bool find_section(FILE* f, const char* section) {
  char line[PROFILE_LINE + 1];
  while (read_piece(f, line))
    if (is_header_of(line, section)) return true;
  return false;
}

int read_value(FILE* f, const char* key, char* buffer, int size) {
  char line[PROFILE_LINE + 1];
  while (read_piece(f, line)) {
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
  while (read_piece(f, line)) {
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

bool put_text(FILE* out, const char* text, int* count) {
  *count += static_cast<int>(std::strlen(text));
  return std::fputs(text, out) >= 0;
}

// Writes "key=value" and a line end, first closing a last line that had none
// (appending to it would glue the new entry onto an old value).
void append_entry(FILE* out, bool lineOpen, const char* key, const char* value, int* count) {
  if (lineOpen) put_text(out, "\n", count);
  put_text(out, key, count);
  put_text(out, "=", count);
  put_text(out, value, count);
  put_text(out, "\n", count);
}

// Copies in to out with the key set; returns the characters added or
// replaced (never 0 when the copy went through).
int copy_with_key(FILE* in, FILE* out, const char* section, const char* key, const char* value) {
  char line[PROFILE_LINE + 1];
  int count = 0;
  bool lineOpen = false;  // the last piece copied did not end its line
  bool found = false;
  while (read_piece(in, line)) {
    std::fputs(line, out);
    bool atLineStart = !lineOpen;
    lineOpen = !ends_line(line);
    if (atLineStart && is_header_of(line, section)) {
      found = true;
      break;
    }
  }
  if (!found) {
    if (lineOpen) put_text(out, "\n", &count);
    put_text(out, "[", &count);
    put_text(out, section, &count);
    put_text(out, "]\n", &count);
    append_entry(out, false, key, value, &count);
    return count;
  }

  bool written = false, skipRest = false;
  while (read_piece(in, line)) {
    bool continues = !ends_line(line);
    if (skipRest) {  // the tail of a long entry whose value was replaced
      skipRest = continues;
      continue;
    }
    if (lineOpen) {  // the middle or tail of a long line: not a line itself
      std::fputs(line, out);
      lineOpen = continues;
      continue;
    }
    // At the next section the key is placed if it was missing; from there
    // on everything, same-named keys of other sections too, stays as it is.
    if (line[0] == '[' && !written) {
      append_entry(out, false, key, value, &count);
      written = true;
    }
    const char* text = skip_white(line);
    const char* equals = std::strchr(text, '=');
    if (!written && line[0] != ';' && begins_with_nocase(text, key) && equals) {
      // Keep "key=" as it stands and put the value behind it; the line end
      // survives any cut so the next line stays a line of its own.
      const char* lineEnd = "\n";
      size_t n = std::strlen(line);
      if (n >= 2 && line[n - 2] == '\r' && line[n - 1] == '\n') lineEnd = "\r\n";
      int prefix = static_cast<int>(equals + 1 - line);
      int room = PROFILE_LINE - prefix - static_cast<int>(std::strlen(lineEnd));
      int valueLength = static_cast<int>(std::strlen(value));
      if (valueLength > room) valueLength = room < 0 ? 0 : room;
      std::fwrite(line, 1, static_cast<size_t>(prefix), out);
      std::fwrite(value, 1, static_cast<size_t>(valueLength), out);
      std::fputs(lineEnd, out);
      count += valueLength + static_cast<int>(std::strlen(lineEnd));
      written = true;
      lineOpen = false;
      skipRest = continues;
      continue;
    }
    std::fputs(line, out);
    lineOpen = continues;
  }
  if (!written) append_entry(out, lineOpen, key, value, &count);
  return count;
}

// Copies a whole file byte for byte; false when any step failed.
bool copy_file(const char* from, const char* to) {
  FILE* in = std::fopen(from, "rb");
  if (!in) return false;
  FILE* out = std::fopen(to, "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  char block[4096];
  bool ok = true;
  size_t n;
  while (ok && (n = std::fread(block, 1, sizeof block, in)) > 0)
    ok = std::fwrite(block, 1, n, out) == n;
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (std::fclose(out) != 0) ok = false;
  return ok;
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

// The profile is rewritten into a temporary file beside it, which then takes
// its place; until that copy is complete the original stays as it was.
int ODB_PutPrivateProfileString(const char* section, const char* key, const char* value,
                                const char* file) {
  if (!section || !key || !value || !file) return 0;
  FILE* in = std::fopen(file, "r");
  if (!in) return 0;
  char temp[1024];
  if (!plat_temp_name(file, temp, sizeof temp)) {
    std::fclose(in);
    return 0;
  }
  FILE* out = std::fopen(temp, "w");
  if (!out) {
    std::fclose(in);
    plat_delete_file(temp);
    return 0;
  }
  int result = copy_with_key(in, out, section, key, value);
  bool ok = !std::ferror(in) && !std::ferror(out);
  std::fclose(in);
  if (std::fclose(out) != 0) ok = false;
  if (!ok || result == 0) {
    plat_delete_file(temp);
    return 0;
  }
  if (plat_rename_file(temp, file)) return result;
  // Where a file cannot be renamed over another, copy it back instead. If
  // even that fails, the temporary copy is left: it is the only complete one.
  if (!copy_file(temp, file)) return 0;
  plat_delete_file(temp);
  return result;
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
