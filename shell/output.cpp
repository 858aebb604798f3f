#include "shell/shell.h"
