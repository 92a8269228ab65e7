// What the fuzz targets share: the entry point (each target defines FuzzOne
// and its largest input), a scratch folder, and the check that aborts (so that
// libFuzzer keeps the input) when a property fails. Files are made with the
// tests' own helpers.
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
