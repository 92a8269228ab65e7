// The 8-byte content checksum that the version list records for every file.
#pragma once

#include <cstdint>

struct ContentChecksum {
  uint32_t hash;
  uint8_t hashSum;
  uint8_t hashXor;
  uint8_t byteSum;
  uint8_t byteXor;
};
static_assert(sizeof(ContentChecksum) == 8);

// Feeds `count` bytes; the result depends only on the concatenation of all bytes
// fed since the state was zeroed.
void UpdateContentChecksum(ContentChecksum* state, const void* data, uint32_t count);

// The byte-at-a-time definition, kept as the reference for faster versions.
void UpdateContentChecksumReference(ContentChecksum* state, const void* data, uint32_t count);

// The implementations UpdateContentChecksum chooses from; all give the same result.
enum class ChecksumPath { Reference, Portable, Sse41, Avx2 };

// Whether this build and this processor can run `path`.
bool ChecksumPathSupported(ChecksumPath path);

// Feeds bytes through one chosen implementation (for tests and measurements).
// An unsupported path falls back to the portable one.
void UpdateContentChecksumWith(ChecksumPath path, ContentChecksum* state, const void* data, uint32_t count);

inline uint32_t ChecksumWord0(const ContentChecksum& c) { return c.hash; }
inline uint32_t ChecksumWord1(const ContentChecksum& c) {
  return c.hashSum | uint32_t{c.hashXor} << 8 | uint32_t{c.byteSum} << 16 | uint32_t{c.byteXor} << 24;
}
