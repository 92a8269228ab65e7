#include "install/checksum.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

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

#if defined(__i386__) || defined(__x86_64__)
// Defined in checksum_x86.cpp, compiled for the instruction sets they name.
void UpdateContentChecksumSse41(ContentChecksum* state, const void* data, uint32_t count);
void UpdateContentChecksumAvx2(ContentChecksum* state, const void* data, uint32_t count);
#endif

namespace {

// The portable path takes 16 bytes per step. Over a step starting from hash h,
// g = h * 233^16 + sum of x[k] * 233^(15-k) grows by one table entry per byte and
// ends as the next hash; the hash after byte k is g * 233^(k-15), so its low byte
// depends only on the low byte of g. The only serial dependency is one addition
// per byte instead of the reference's multiply and add.
//
// The low bytes' sum and xor both follow from how often each of their 8 bits is
// set, so a second table spreads each low byte's bits into 4-bit counters and
// one addition per byte serves both. The bytes' own sum needs no work at all:
// since x[i] = l[i] - 233 * l[i-1], it follows from the low bytes' sum and the
// first and last low bytes.
constexpr int Step = 16;

struct PortableTables {
  uint32_t weighted[Step][256];  // x * 233^(15-k)
  uint32_t lowBits[Step][256];   // bit b of the low byte of g * 233^(k-15), at bit 4b
};

uint32_t Power(uint32_t base, uint32_t exponent) {
  uint32_t result = 1;
  while (exponent-- > 0) result *= base;
  return result;
}

// Built on first use rather than stored, to keep the shipped image small.
const PortableTables& GetPortableTables() {
  static const PortableTables tables = [] {
    PortableTables t{};
    // 233^-1 modulo 2^32 by Newton's iteration (each step doubles the correct bits).
    uint32_t inverse = 233;
    for (int i = 0; i < 5; ++i) inverse *= 2u - 233u * inverse;
    for (int k = 0; k < Step; ++k) {
      uint32_t weight = Power(233, Step - 1 - k);
      uint32_t unweight = Power(inverse, Step - 1 - k);
      for (uint32_t v = 0; v < 256; ++v) {
        t.weighted[k][v] = v * weight;
        uint32_t low = (v * unweight) & 0xFF;
        for (int b = 0; b < 8; ++b) t.lowBits[k][v] |= (low >> b & 1) << (4 * b);
      }
    }
    return t;
  }();
  return tables;
}

// Adds the eight bytes of a and b pairwise, modulo 256 each.
uint64_t AddBytes(uint64_t a, uint64_t b) {
  constexpr uint64_t High = 0x8080808080808080ull;
  return ((a & ~High) + (b & ~High)) ^ ((a ^ b) & High);
}

void UpdateContentChecksumPortable(ContentChecksum* state, const void* data, uint32_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  const PortableTables& t = GetPortableTables();
  const uint32_t stepScale = Power(233, Step);
  constexpr uint32_t Nibbles = 0x0F0F0F0F;

  uint32_t hash = state->hash;
  // Byte j counts how often bit 2j (j < 4) or bit 2j-7 (j >= 4) of a low byte was
  // set, modulo 256.
  uint64_t bitCounts = 0;
  uint64_t byteXor = 0;

  size_t steps = count / Step;
  while (steps > 0) {
    // 15 steps fill a byte counter to at most 240.
    size_t burst = steps < 15 ? steps : 15;
    steps -= burst;
    uint64_t counts = 0;
    for (; burst > 0; --burst, p += Step) {
      uint64_t w0, w1;
      std::memcpy(&w0, p, 8);
      std::memcpy(&w1, p + 8, 8);
      byteXor ^= w0 ^ w1;

      uint32_t g = hash * stepScale;
      // Two sets of 4-bit counters, so each stays at most 8 within a step.
      uint32_t even = 0, odd = 0;
      // Unrolled so that every table offset becomes a constant displacement.
#pragma GCC unroll 8
      for (int k = 0; k < Step; k += 2) {
        g += t.weighted[k][p[k]];
        even += t.lowBits[k][g & 0xFF];
        g += t.weighted[k + 1][p[k + 1]];
        odd += t.lowBits[k + 1][g & 0xFF];
      }
      hash = g;
      counts += (even & Nibbles) + (odd & Nibbles);
      counts += uint64_t{((even >> 4) & Nibbles) + ((odd >> 4) & Nibbles)} << 32;
    }
    bitCounts = AddBytes(bitCounts, counts);
  }

  uint32_t hashSum = 0, hashXor = 0;
  for (int j = 0; j < 8; ++j) {
    uint32_t times = static_cast<uint32_t>(bitCounts >> (8 * j)) & 0xFF;
    int bit = j < 4 ? 2 * j : 2 * j - 7;
    hashSum += times << bit;
    hashXor |= (times & 1) << bit;
  }
  byteXor ^= byteXor >> 32;
  byteXor ^= byteXor >> 16;
  byteXor ^= byteXor >> 8;
  // With L the low bytes' sum: sum x[i] = L - 233 * (L - last + first), and 1 - 233 = 24 (mod 256).
  uint32_t byteSum = 24 * hashSum + 233 * ((hash & 0xFF) - (state->hash & 0xFF));
  state->hash = hash;
  state->hashSum = static_cast<uint8_t>(state->hashSum + hashSum);
  state->hashXor = static_cast<uint8_t>(state->hashXor ^ hashXor);
  state->byteSum = static_cast<uint8_t>(state->byteSum + byteSum);
  state->byteXor = static_cast<uint8_t>(state->byteXor ^ byteXor);
  UpdateContentChecksumReference(state, p, count % Step);
}

ChecksumPath FastestSupported() {
  for (ChecksumPath path : {ChecksumPath::Avx2, ChecksumPath::Sse41}) {
    if (ChecksumPathSupported(path)) return path;
  }
  return ChecksumPath::Portable;
}

void Run(ChecksumPath path, ContentChecksum* state, const void* data, uint32_t count) {
  switch (path) {
    case ChecksumPath::Reference:
      UpdateContentChecksumReference(state, data, count);
      return;
#if defined(__i386__) || defined(__x86_64__)
    case ChecksumPath::Sse41:
      UpdateContentChecksumSse41(state, data, count);
      return;
    case ChecksumPath::Avx2:
      UpdateContentChecksumAvx2(state, data, count);
      return;
#endif
    default:
      UpdateContentChecksumPortable(state, data, count);
      return;
  }
}

}  // namespace

bool ChecksumPathSupported(ChecksumPath path) {
  switch (path) {
    case ChecksumPath::Reference:
    case ChecksumPath::Portable:
      return true;
#if defined(__i386__) || defined(__x86_64__)
    case ChecksumPath::Sse41:
      __builtin_cpu_init();  // may run before libgcc's own initialiser
      return __builtin_cpu_supports("sse4.1");
    case ChecksumPath::Avx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2");
#else
    case ChecksumPath::Sse41:
    case ChecksumPath::Avx2:
      return false;
#endif
  }
  return false;
}

void UpdateContentChecksumWith(ChecksumPath path, ContentChecksum* state, const void* data, uint32_t count) {
  Run(ChecksumPathSupported(path) ? path : ChecksumPath::Portable, state, data, count);
}

void UpdateContentChecksum(ContentChecksum* state, const void* data, uint32_t count) {
  static const ChecksumPath fastest = FastestSupported();
  Run(fastest, state, data, count);
}
