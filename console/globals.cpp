#include "console/settings.h"

int majorVersion = 4;
int minorVersion = 3;
char shipmentVersion = 0;
char debugPrint = 0;
char debugDetailed = 0;
int maxErrorPrintouts = 200;
char manualMode = 1;
char iniFilename[260] = "TELVANIX.INI";
const char* iniSection = "PROBIX";
const char* promptName = "PROBIX";
char expert_mode = 0;
char exitFlag = 0;
int numberErrors = 0;
char* areaCode = nullptr;

int getEditNumber() { return 217; }
