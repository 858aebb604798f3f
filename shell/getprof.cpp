#include "shell/shell.h"

#include <cstdio>

// Until the profile reader lands: nothing is found, the default is returned.
int ODB_GetPrivateProfileString(const char*, const char*, const char* defaultText, char* buffer,
                                int size, const char*) {
  if (buffer && size > 0) std::snprintf(buffer, static_cast<size_t>(size), "%s", defaultText ? defaultText : "");
  return 0;
}
int ODB_PutPrivateProfileString(const char*, const char*, const char*, const char*) { return 0; }
char GetParityChar(const char*) { return 'N'; }
const char* PutParityChar(char) { return "NONE"; }
void Encrypt(const char*, char* out) { out[0] = '\0'; }
void Decrypt(const char*, char* out) { out[0] = '\0'; }
