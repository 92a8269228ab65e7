// Faults that tests inject into the file layer: once a budget is used up, the
// next operation fails, once. -1 (the default) never fails.
#pragma once

#include <cstdint>

#include "payload/file_faults.h"

struct FileFaults {
  int64_t bytesUntilShortWrite = -1;  // writes stop short once this many bytes went through
  int movesUntilFailure = -1;         // this many moves succeed, the next fails
  int flushesUntilFailure = -1;
  // Called before every operation that changes the file system (tests use it
  // to end the process at a chosen point).
  void (*beforeChange)() = nullptr;
};

extern FileFaults InjectedFileFaults;
