#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace {

constexpr auto RedrawInterval = std::chrono::milliseconds(100);

void Draw(ByteProgress* progress) {
  constexpr double MiB = 1024.0 * 1024.0;
  std::fprintf(stderr, "\rupdater-pack: %s %.1f of %.1f MiB ", progress->what, double(progress->done) / MiB,
               double(progress->total) / MiB);
  std::fflush(stderr);
  progress->drawn = std::chrono::steady_clock::now();
}

}  // namespace

ByteProgress StartByteProgress(const char* what, uint64_t total) {
  ByteProgress progress;
  progress.what = what;
  progress.total = total;
  progress.shown = isatty(fileno(stderr)) != 0;
  if (progress.shown) Draw(&progress);
  return progress;
}

void AddProgressBytes(ByteProgress* progress, uint64_t bytes) {
  if (!progress) return;
  progress->done += bytes;
  if (progress->shown && std::chrono::steady_clock::now() - progress->drawn >= RedrawInterval) Draw(progress);
}

void EndByteProgress(ByteProgress* progress) {
  if (!progress->shown) return;
  std::fprintf(stderr, "\r\x1b[K");
  std::fflush(stderr);
  progress->shown = false;
}
