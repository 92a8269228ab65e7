#include "install/checksum.h"

void UpdateContentChecksumReference(ContentChecksum* state, const void* data, uint32_t count) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  ContentChecksum c = *state;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t x = bytes[i];
    c.hash = c.hash * 233u + x;
    uint8_t low = static_cast<uint8_t>(c.hash);
    c.hashSum = static_cast<uint8_t>(c.hashSum + low);
    c.hashXor ^= low;
    c.byteSum = static_cast<uint8_t>(c.byteSum + x);
    c.byteXor ^= x;
  }
  *state = c;
}

void UpdateContentChecksum(ContentChecksum* state, const void* data, uint32_t count) {
  UpdateContentChecksumReference(state, data, count);
}
