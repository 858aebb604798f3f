#include "shell/shell.h"
int probixMain(int, char**) { return 0; }
