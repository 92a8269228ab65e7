#include "support/file_faults_injected.h"

FileFaults InjectedFileFaults;

namespace {
// Each fault strikes once; afterwards the layer works again, so that what a
// caller does to recover is itself tested.
bool TakeOne(int* budget) {
  if (*budget < 0) return true;
  if ((*budget)--) return true;
  return false;
}
}  // namespace

uint32_t WritableBytes(uint32_t count) {
  int64_t& budget = InjectedFileFaults.bytesUntilShortWrite;
  if (budget < 0) return count;
  if (budget >= count) {
    budget -= count;
    return count;
  }
  uint32_t allowed = static_cast<uint32_t>(budget);
  budget = -1;
  return allowed;
}

bool MoveAllowed() { return TakeOne(&InjectedFileFaults.movesUntilFailure); }
bool FlushAllowed() { return TakeOne(&InjectedFileFaults.flushesUntilFailure); }

void NoteFileSystemChange() {
  if (InjectedFileFaults.beforeChange) InjectedFileFaults.beforeChange();
}
