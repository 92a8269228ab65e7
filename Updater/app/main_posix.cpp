// The POSIX program: the same run as on Windows, in a terminal. The exit
// status is the low 8 bits of the exit code.
#include "app/flow.h"

int main() { return RunUpdater(0); }
