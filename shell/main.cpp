#include "shell/probix.h"

int main(int argc, char** argv) { return probixMain(argc, argv); }
