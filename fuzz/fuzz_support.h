// What the fuzz targets share: the entry point (each target defines FuzzOne
// and its largest input), a scratch folder, the check that aborts (so that
// libFuzzer keeps the input) when a property fails, and the check of a fill
// of a caller's buffer. Files are made with the tests' own helpers.
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/test_files.h"

extern const size_t MaxInputSize;
void FuzzOne(const uint8_t* data, size_t size);

// A folder for this process, removed at exit: in $FUZZ_SCRATCH when set (on
// tmpfs there, since the code under test flushes every file it writes).
const std::string& ScratchFolder();
// Replaces `path` by `size` bytes at `offset`; the bytes before are a hole.
void WriteFileAt(const std::string& path, off_t offset, const uint8_t* data, size_t size);
std::vector<std::string> FolderNames(const std::string& path);  // sorted

[[noreturn]] void Fail(const char* file, int line, const char* what);
#define FUZZ_CHECK(condition) \
  do {                        \
    if (!(condition)) Fail(__FILE__, __LINE__, #condition); \
  } while (0)

// `fill` (1 when it wrote a text into the buffer given) tried in buffers of
// exactly each capacity, so that AddressSanitizer sees a write past one: it is
// refused with the buffer untouched while the text does not fit, then writes
// the same terminated text at every larger capacity (`expected` when given).
template <typename Unit, typename Fill>
void CheckFill(std::vector<size_t> capacities, Fill fill, const std::basic_string<Unit>* expected = nullptr) {
  const Unit sentinel = 0x5A;
  std::sort(capacities.begin(), capacities.end());
  bool fitted = false;
  std::basic_string<Unit> first;
  for (size_t capacity : capacities) {
    std::unique_ptr<Unit[]> buffer(new Unit[capacity ? capacity : 1]);
    Unit* end = buffer.get() + capacity;
    std::fill(buffer.get(), end, sentinel);
    int result = fill(buffer.get(), capacity);
    FUZZ_CHECK(result == 0 || result == 1);
    if (expected) FUZZ_CHECK(result == (expected->size() < capacity));
    if (!result) {
      FUZZ_CHECK(!fitted && std::count(buffer.get(), end, sentinel) == static_cast<ptrdiff_t>(capacity));
      continue;
    }
    std::basic_string<Unit> text(buffer.get(), std::find(buffer.get(), end, Unit{0}));
    FUZZ_CHECK(text.size() < capacity && (!fitted || text == first) && (!expected || text == *expected));
    first = text;
    fitted = true;
  }
}
