// Bytes done of a total, redrawn in place on standard error while a long
// build or list runs, when standard error is a terminal; silent on a pipe.
#pragma once

#include <chrono>
#include <cstdint>

struct ByteProgress {
  const char* what = "";
  uint64_t total = 0;
  uint64_t done = 0;
  bool shown = false;  // standard error is a terminal
  std::chrono::steady_clock::time_point drawn;
};

ByteProgress StartByteProgress(const char* what, uint64_t total);
void AddProgressBytes(ByteProgress* progress, uint64_t bytes);
// Clears the line, so that what follows starts on a clean one.
void EndByteProgress(ByteProgress* progress);
