// Text names for the TSAPI and private codes the event display shows.
//
// Every lookup returns a constant text, or "?%d?" for a value outside its
// table. That "?%d?" text lives in one static buffer owned by errorNumber, and
// the prefixed names ("ACS_", "CSTA_", "TSERVER_", "DRIVER_") in static
// buffers of their own lookup: the next such result overwrites the last, so a
// caller that needs two results at once copies the first.
#pragma once

#include <cstdint>

#include "csta32/include/csta32.h"

const char* errorNumber(long n);

const char* getClassName(EventClass_t eventClass);
const char* getTypeName(EventClass_t eventClass, EventType_t eventType);
const char* getACSfailureName(ACSUniversalFailure_t failure);
const char* getCSTAfailureName(CSTAUniversalFailure_t failure);

// Causes, local connection states and state letters give null for -1 and 0:
// those values mean "none", and the display writes nothing for them.
const char* getCauseName(CSTAEventCause_t cause);
const char* getLocalStateName(LocalConnectionState_t state);
const char* getLocalStateCharacter(LocalConnectionState_t state);

const char* getAgentStateName(AgentState_t state);
const char* getDeviceTypeName(DeviceType_t type);
// Names of the set class bits joined by ","; empty when none. Static buffer.
const char* getDeviceClassList(DeviceClass_t flags);
const char* getDevIDtypeName(DeviceIDType_t type);
const char* getForwardingTypeName(ForwardingType_t type);

// Codes of the private protocol.
const char* getBoardTypeName(std::uint8_t type);
const char* getLineStyleName(std::uint8_t style);
const char* getSoundIDname(std::uint16_t sound);
