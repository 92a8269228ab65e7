// Faults that tests inject into the file layer, the way a storage layer is tested
// for I/O errors: once a budget is used up, the next operation fails, once.
// -1 (the default) never fails.
#pragma once

#include <cstdint>

struct FileFaults {
  int64_t bytesUntilShortWrite = -1;  // writes stop short once this many bytes went through
  int movesUntilFailure = -1;         // this many moves succeed, the next fails
  int flushesUntilFailure = -1;
  // Called before every operation that changes the file system (tests use it
  // to end the process at a chosen point).
  void (*beforeChange)() = nullptr;
};

extern FileFaults InjectedFileFaults;

// How many of `count` bytes a write may take; uses up the budget.
uint32_t WritableBytes(uint32_t count);
bool MoveAllowed();
bool FlushAllowed();
void NoteFileSystemChange();
