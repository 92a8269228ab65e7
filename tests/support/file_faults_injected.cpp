#include "support/file_faults_injected.h"

FileFaults InjectedFileFaults;

namespace {
bool TakeOne(int* budget) {
  if (*budget < 0) return true;
  if (*budget > 0) {
    --*budget;
    return true;
  }
  if (++InjectedFileFaults.failures >= InjectedFileFaults.inARow) *budget = -1;
  return false;
}
}  // namespace

uint32_t WritableBytes(uint32_t count) {
  int64_t& budget = InjectedFileFaults.bytesUntilShortWrite;
  uint32_t allowed = budget < 0 || budget >= count ? count : static_cast<uint32_t>(budget);
  if (budget >= 0) budget = budget >= count ? budget - count : -1;
  InjectedFileFaults.unflushedWrites += allowed;
  return allowed;
}

bool MoveAllowed() {
  if (InjectedFileFaults.unflushedWrites) ++InjectedFileFaults.movesBeforeFlush;
  return TakeOne(&InjectedFileFaults.movesUntilFailure);
}

bool FlushAllowed() {
  if (!TakeOne(&InjectedFileFaults.flushesUntilFailure)) return false;
  InjectedFileFaults.unflushedWrites = 0;
  return true;
}

void NoteFileSystemChange() {
  if (InjectedFileFaults.beforeChange) InjectedFileFaults.beforeChange();
}
