// How many pages of a file's range sit in the page cache, dirty or under
// write-back, as the kernel's cachestat call reports them.
#pragma once

#include <cstdint>
#include <string>

struct PageStates {
  uint64_t cached = 0;
  uint64_t dirty = 0;
  uint64_t writeback = 0;
};

// False where the kernel has no cachestat (before Linux 6.5) or the file
// cannot be opened.
bool ReadPageStates(const std::string& path, uint64_t offset, uint64_t length, PageStates* states);

// Whether, in `folder`, cachestat shows pages leave the dirty state when the
// kernel is asked to write them, and leave the cache when asked to drop them
// once written: not so on tmpfs, nor without cachestat. Asks the kernel
// directly, not through the code under test.
bool PageStatesFollowWriteBack(const std::string& folder);
