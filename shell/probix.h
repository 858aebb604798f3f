// Start-up, command loop and the ways out of probix32.
#pragma once

#include "csta32/include/csta32.h"

int probixMain(int argc, char** argv);
void runProbix();
void doExit();
void doQuit();
// SMDR_START_LOGGING, and start-up in unattended mode: open the call log,
// connect, and wait up to 3 seconds for the stream to be confirmed.
void doAutoSMDRLogging();
void doOnExit();
void resetDefaults();
bool reportServerCB(char* serverName, EnumServerNamesParam_t param);

// The pieces of probixMain, separately callable so they can be tested.
void printUsage();
// Applies the command-line switches in order; bad ones are reported and
// counted in numberErrors.
void processArguments(int argc, char** argv);
// runProbix's settings before the command loop: area code, start-up mode.
void startupSettings();
// The closing report; returns the exit status (1 when arguments were bad).
int finishProbix();
