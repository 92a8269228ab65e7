// Faults that tests inject into the file layer: once a budget is used up, the
// next `inARow` operations of its kind fail, then the layer works again, so
// that what a caller does to recover is itself tested. -1 never fails.
#pragma once

#include <cstdint>

#include "payload/file_faults.h"

struct FileFaults {
  int64_t bytesUntilShortWrite = -1;  // writes stop short once this many bytes went through
  int movesUntilFailure = -1;         // this many moves succeed, the next fail
  int flushesUntilFailure = -1;
  int inARow = 1;
  int failures = 0;  // so far
  // Called before every operation that changes the file system.
  void (*beforeChange)() = nullptr;
  // Observed: moves made while bytes written since the last flush were not yet
  // on the disk (a crash could then commit a file that is not whole).
  int movesBeforeFlush = 0;
  int64_t unflushedWrites = 0;
};

extern FileFaults InjectedFileFaults;
