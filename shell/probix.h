// Start-up, command loop and the ways out of probix32.
#pragma once

int probixMain(int argc, char** argv);
void runProbix();
void doExit();
void doQuit();
void doOnExit();
void resetDefaults();
bool reportServerCB(char* serverName, unsigned long param);
