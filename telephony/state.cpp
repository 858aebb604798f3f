#include "telephony/state.h"

std::int32_t currentCall = 0;
std::int32_t heldCall = 0;
char* primaryDevice = nullptr;
char* heldDeviceString = nullptr;
char* mkCallee = nullptr;
char* primarySpan = nullptr;
char* digitsToPlay = nullptr;
char* playFilename = nullptr;
const char* const defaultDeviceString = "201";
const char* const defaultSpanString = "D1#1";

bool autoEvents = true;
bool userSetAutoEvents = false;
bool eventReports = true;

long callSnapshots = 0;
long deviceSnapshots = 0;

float maxSnapsPerSecond = 0.0f;
float minSnapsPerSecond = 1000000.0f;
float maxEventsPerSecond = 0.0f;
float minEventsPerSecond = 1000000.0f;

void resetPerSecondHistory() {
  maxSnapsPerSecond = 0.0f;
  minSnapsPerSecond = 1000000.0f;
  maxEventsPerSecond = 0.0f;
  minEventsPerSecond = 1000000.0f;
}

bool SMDRmonitorExt = false;
int configFirmwareMajor = 3;  // 3.0 unless the profile says otherwise
int configFirmwareMinor = 0;
std::uint16_t firmwareMajor = 0;
std::uint16_t firmwareMinor = 0;
std::uint16_t firmwareEdit = 0;

bool autoStopPlay = false;
int playCount = 0;

TelvanixPrivateLineInfo lastLineInfo = {};
TelvanixPrivateMoreLineInfo lastMoreLineInfo = {};
TelvanixPrivateDSpanInfo lastDSpanInfo = {};
TelvanixPrivateSystemInfo lastSystemInfo = {};
TelvanixPrivateXlate lastTranslationInfo = {};
TelvanixPrivateBoardList defaultBoardOrder = {};
unsigned lastResourcesBoards = 0;
std::uint32_t lastParkID = 0;
bool defaultMWI = false;
