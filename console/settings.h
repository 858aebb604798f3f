// Process-wide settings of the console program (command line, profile
// file) and the profile file's readers and writers.
#pragma once

// ---- process-wide settings (globals.cpp) -----------------------------------

extern int majorVersion;          // 4
extern int minorVersion;          // 3
extern char shipmentVersion;      // 0: not printed
extern char debugPrint;           // -d, DEBUG
extern char debugDetailed;        // -dd, DETAILED_DEBUG
extern int maxErrorPrintouts;     // -e<n>; 200
extern char manualMode;           // -m / -m-
extern char iniFilename[260];     // "TELVANIX.INI"; -s replaces it
extern const char* iniSection;    // "PROBIX"
extern const char* promptName;    // "PROBIX"
extern char expert_mode;          // expert commands permitted
extern char exitFlag;             // set by EXIT
extern int numberErrors;          // unrecognised command-line arguments
extern char* areaCode;            // owned text or null; default "508"

int getEditNumber();  // 217

// A routine the program installs for the console to call (idle, fatal).
typedef void (*IdleRoutine)();

// ---- profile file (getprof.cpp) -------------------------------------------

int ODB_GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                                char* buffer, int size, const char* file);
int ODB_PutPrivateProfileString(const char* section, const char* key, const char* value,
                                const char* file);
char GetParityChar(const char* text);
const char* PutParityChar(char letter);
void Encrypt(const char* plain, char* out);
void Decrypt(const char* hex, char* out);
