#include "csta32/include/csta32.h"
