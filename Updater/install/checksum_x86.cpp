// Vector versions of UpdateContentChecksum. The build targets the baseline
// instruction set, so each function enables its own and is only called after a
// run-time check.
#include "install/checksum.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include <cstddef>

// How the vector code gets the same result as the byte loop:
//
// Low bytes of the hash: with p[j] = 233 * x[2j] + x[2j+1], the low byte after
// each odd byte obeys l[2j+1] = 233^2 * l[2j-1] + p[j] (mod 256). Writing
// l[2j+1] = 233^(2j) * s[j] turns that into a plain running sum
// s[j] = s[j-1] + p[j] * 233^(-2j), a prefix sum in 16-bit lanes. Since
// 233^32 = 1 (mod 256) the weights repeat every 32 bytes, so the sum carries from
// one 32-byte chunk into the next by a single addition. The low byte after each
// even byte follows as l[2j] = (l[2j+1] - x[2j+1]) / 233.
//
// Byte sum: since x[i] = l[i] - 233 * l[i-1], the bytes' sum follows from the low
// bytes' sum and the first and last low bytes, so it needs no vector work.
//
// Full hash: across a block of n bytes it becomes h * 233^n + sum x[i] * 233^(n-1-i),
// a dot product that pmaddwd takes with the weights split into 16-bit halves.

#if defined(__i386__)
// 32-bit Windows promises only 4-byte stack alignment, but GCC's vector spills
// assume more: realign on entry.
#define CHECKSUM_ENTRY __attribute__((force_align_arg_pointer))
#else
#define CHECKSUM_ENTRY
#endif

void UpdateContentChecksumSse41(ContentChecksum* state, const void* data, uint32_t count);
void UpdateContentChecksumAvx2(ContentChecksum* state, const void* data, uint32_t count);

namespace {

constexpr uint32_t Chunk = 32;
constexpr uint32_t BlockChunks = 32;  // 1 KiB blocks: 4 KiB of hash weights
constexpr int16_t Inverse233 = 89;     // 233 * 89 = 1 (mod 256)

constexpr uint32_t Power(uint32_t base, uint32_t exponent) {
  uint32_t result = 1;
  while (exponent-- > 0) result *= base;
  return result;
}

// Vector constants live in read-only memory rather than being built in
// registers: when registers run short the compiler then reads them from here
// instead of spilling copies to the stack.
struct alignas(32) Constants {
  int16_t sumWeight[16];  // 233^(-2j) mod 256
  int16_t unweight[16];   // 233^(2j) mod 256
  int16_t inverse[16];     // 233^-1 mod 256 in the low bytes
  int16_t pairWeights[16];  // bytes -23 (233 mod 256) and 1
  int8_t spreadWord3[32];   // word 3 of each 8 into words 4 to 7, zeros below
  int8_t spreadWord7[32];   // word 7 of each 8 into all
};

constexpr Constants MakeConstants() {
  Constants c{};
  for (uint32_t j = 0; j < 16; ++j) {
    c.sumWeight[j] = static_cast<int16_t>(Power(Inverse233, 2 * j) & 0xFF);
    c.unweight[j] = static_cast<int16_t>(Power(233, 2 * j) & 0xFF);
    // Only low bytes matter to the product's low byte. Varied high bytes stop
    // the compiler from building a broadcast in a register that it then
    // spills to the stack, which on 64-bit Windows is not aligned for it.
    c.inverse[j] = static_cast<int16_t>(Inverse233 + 256 * j);
    c.pairWeights[j] = 0x01E9;
  }
  for (int b = 0; b < 32; ++b) {
    c.spreadWord3[b] = static_cast<int8_t>(b % 16 < 8 ? -1 : 6 + b % 2);
    c.spreadWord7[b] = static_cast<int8_t>(14 + b % 2);
  }
  return c;
}

constexpr Constants Precomputed = MakeConstants();

struct Tables {
  // Per chunk of a block, in the word order that unpacking the bytes with zero
  // gives (bytes 0-7 of each 16, then bytes 8-15): the weights' low halves and
  // high halves for the first unpacked vector, then for the second.
  alignas(32) int16_t hashWeights[BlockChunks][4][16];
  uint32_t blockScale[BlockChunks + 1];  // 233^(32m)
};

// Built on first use rather than stored, to keep the shipped image small.
const Tables& GetTables() {
  static const Tables tables = [] {
    Tables t{};
    for (uint32_t c = 0; c < BlockChunks; ++c) {
      for (uint32_t b = 0; b < Chunk; ++b) {
        uint32_t weight = Power(233, Chunk * BlockChunks - 1 - (Chunk * c + b));
        // A signed low half, and a high half that absorbs its sign.
        auto low = static_cast<int16_t>(weight & 0xFFFF);
        auto high = static_cast<int16_t>((weight - static_cast<uint32_t>(int32_t{low})) >> 16);
        size_t half = b % 16 / 8, word = b / 16 * 8 + b % 8;
        t.hashWeights[c][half * 2][word] = low;
        t.hashWeights[c][half * 2 + 1][word] = high;
      }
    }
    for (uint32_t m = 0; m <= BlockChunks; ++m) t.blockScale[m] = Power(233, Chunk * m);
    return t;
  }();
  return tables;
}

// Aligned 16-byte load; SSE2 is enough, so it suits every caller.
__attribute__((target("sse2"))) inline __m128i Load128(const void* p) {
  return _mm_load_si128(static_cast<const __m128i*>(p));
}

// Unaligned, as 32-byte alignment of static data is not certain on every target.
__attribute__((target("avx"))) inline __m256i Load256(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

// Folds the vector results into the state.
void Finish(ContentChecksum* state, uint32_t hash, const uint16_t lowXor[8], const uint16_t lowSum[8],
            const uint8_t byteXor[16]) {
  uint32_t hx = 0, hs = 0, bx = 0;
  for (int i = 0; i < 8; ++i) {
    hx ^= lowXor[i];
    hs += lowSum[i];
  }
  for (int i = 0; i < 16; ++i) bx ^= byteXor[i];
  // With L the low bytes' sum: sum x[i] = L - 233 * (L - last + first), and 1 - 233 = 24 (mod 256).
  uint32_t byteSum = 24 * hs + 233 * ((hash & 0xFF) - (state->hash & 0xFF));
  state->hash = hash;
  state->hashXor = static_cast<uint8_t>(state->hashXor ^ hx);
  state->hashSum = static_cast<uint8_t>(state->hashSum + hs);
  state->byteXor = static_cast<uint8_t>(state->byteXor ^ bx);
  state->byteSum = static_cast<uint8_t>(state->byteSum + byteSum);
}

}  // namespace

CHECKSUM_ENTRY __attribute__((target("sse4.1"))) void UpdateContentChecksumSse41(ContentChecksum* state,
                                                                                 const void* data,
                                                                                 uint32_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  size_t chunks = count / Chunk;
  if (chunks > 0) {
    const Tables& t = GetTables();
    const __m128i zero = _mm_setzero_si128();
    const Constants& k = Precomputed;

    uint32_t hash = state->hash;
    __m128i carry = _mm_set1_epi16(static_cast<int16_t>(233 * 233 * (hash & 0xFF) & 0xFF));
    __m128i lowXor = zero, lowSum = zero, byteXor = zero;
    while (chunks > 0) {
      size_t n = chunks < BlockChunks ? chunks : BlockChunks;
      chunks -= n;
      const int16_t(*w)[4][16] = t.hashWeights + (BlockChunks - n);
      __m128i dotLow = zero, dotHigh = zero;
      for (size_t c = 0; c < n; ++c) {
        for (int h = 0; h < 2; ++h, p += 16) {
          const int o = 8 * h;
          __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
          byteXor = _mm_xor_si128(byteXor, x);

          __m128i first = _mm_unpacklo_epi8(x, zero);
          __m128i second = _mm_unpackhi_epi8(x, zero);
          dotLow = _mm_add_epi32(dotLow, _mm_madd_epi16(first, Load128(&w[c][0][o])));
          dotHigh = _mm_add_epi32(dotHigh, _mm_madd_epi16(first, Load128(&w[c][1][o])));
          dotLow = _mm_add_epi32(dotLow, _mm_madd_epi16(second, Load128(&w[c][2][o])));
          dotHigh = _mm_add_epi32(dotHigh, _mm_madd_epi16(second, Load128(&w[c][3][o])));

          __m128i s = _mm_mullo_epi16(_mm_maddubs_epi16(x, Load128(k.pairWeights)), Load128(&k.sumWeight[o]));
          s = _mm_add_epi16(s, _mm_slli_epi64(s, 16));
          s = _mm_add_epi16(s, _mm_slli_epi64(s, 32));
          s = _mm_add_epi16(s, _mm_shuffle_epi8(s, Load128(k.spreadWord3)));
          __m128i total = _mm_shuffle_epi8(s, Load128(k.spreadWord7));
          s = _mm_add_epi16(s, carry);
          carry = _mm_add_epi16(carry, total);

          __m128i lowOdd = _mm_mullo_epi16(s, Load128(&k.unweight[o]));
          __m128i lowEven = _mm_mullo_epi16(_mm_sub_epi16(lowOdd, _mm_srli_epi16(x, 8)), Load128(k.inverse));
          lowXor = _mm_xor_si128(lowXor, _mm_xor_si128(lowOdd, lowEven));
          lowSum = _mm_add_epi16(lowSum, _mm_add_epi16(lowOdd, lowEven));
        }
      }
      __m128i dot = _mm_add_epi32(dotLow, _mm_slli_epi32(dotHigh, 16));
      dot = _mm_add_epi32(dot, _mm_shuffle_epi32(dot, 0x4E));
      dot = _mm_add_epi32(dot, _mm_shuffle_epi32(dot, 0xB1));
      hash = hash * t.blockScale[n] + static_cast<uint32_t>(_mm_cvtsi128_si32(dot));
    }
    alignas(16) uint16_t lx[8], ls[8];
    alignas(16) uint8_t bx[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lx), lowXor);
    _mm_store_si128(reinterpret_cast<__m128i*>(ls), lowSum);
    _mm_store_si128(reinterpret_cast<__m128i*>(bx), byteXor);
    Finish(state, hash, lx, ls, bx);
  }
  UpdateContentChecksumReference(state, p, count % Chunk);
}

CHECKSUM_ENTRY __attribute__((target("avx2"))) void UpdateContentChecksumAvx2(ContentChecksum* state,
                                                                              const void* data, uint32_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  size_t chunks = count / Chunk;
  if (chunks > 0) {
    const Tables& t = GetTables();
    const __m256i zero = _mm256_setzero_si256();
    const Constants& k = Precomputed;

    uint32_t hash = state->hash;
    __m256i carry = _mm256_set1_epi16(static_cast<int16_t>(233 * 233 * (hash & 0xFF) & 0xFF));
    __m256i lowXor = zero, lowSum = zero, byteXor = zero;
    while (chunks > 0) {
      size_t n = chunks < BlockChunks ? chunks : BlockChunks;
      chunks -= n;
      const int16_t(*w)[4][16] = t.hashWeights + (BlockChunks - n);
      __m256i dotLow = zero, dotHigh = zero;
      for (size_t c = 0; c < n; ++c, p += Chunk) {
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        byteXor = _mm256_xor_si256(byteXor, x);

        __m256i s = _mm256_mullo_epi16(_mm256_maddubs_epi16(x, Load256(k.pairWeights)), Load256(k.sumWeight));
        s = _mm256_add_epi16(s, _mm256_slli_epi64(s, 16));
        s = _mm256_add_epi16(s, _mm256_slli_epi64(s, 32));
        s = _mm256_add_epi16(s, _mm256_shuffle_epi8(s, Load256(k.spreadWord3)));
        // Per-lane totals; the upper lane also needs the lower lane's.
        __m256i total = _mm256_shuffle_epi8(s, Load256(k.spreadWord7));
        s = _mm256_add_epi16(s, carry);
        s = _mm256_add_epi16(s, _mm256_permute2x128_si256(total, total, 0x08));
        carry = _mm256_add_epi16(carry, total);
        carry = _mm256_add_epi16(carry, _mm256_permute4x64_epi64(total, 0x4E));

        __m256i lowOdd = _mm256_mullo_epi16(s, Load256(k.unweight));
        __m256i lowEven = _mm256_mullo_epi16(_mm256_sub_epi16(lowOdd, _mm256_srli_epi16(x, 8)), Load256(k.inverse));
        lowXor = _mm256_xor_si256(lowXor, _mm256_xor_si256(lowOdd, lowEven));
        lowSum = _mm256_add_epi16(lowSum, _mm256_add_epi16(lowOdd, lowEven));

        __m256i first = _mm256_unpacklo_epi8(x, zero);
        __m256i second = _mm256_unpackhi_epi8(x, zero);
        const auto* weights = reinterpret_cast<const __m256i*>(w[c]);
        dotLow = _mm256_add_epi32(dotLow, _mm256_madd_epi16(first, _mm256_loadu_si256(weights)));
        dotHigh = _mm256_add_epi32(dotHigh, _mm256_madd_epi16(first, _mm256_loadu_si256(weights + 1)));
        dotLow = _mm256_add_epi32(dotLow, _mm256_madd_epi16(second, _mm256_loadu_si256(weights + 2)));
        dotHigh = _mm256_add_epi32(dotHigh, _mm256_madd_epi16(second, _mm256_loadu_si256(weights + 3)));
      }
      __m256i dot256 = _mm256_add_epi32(dotLow, _mm256_slli_epi32(dotHigh, 16));
      __m128i dot = _mm_add_epi32(_mm256_castsi256_si128(dot256), _mm256_extracti128_si256(dot256, 1));
      dot = _mm_add_epi32(dot, _mm_shuffle_epi32(dot, 0x4E));
      dot = _mm_add_epi32(dot, _mm_shuffle_epi32(dot, 0xB1));
      hash = hash * t.blockScale[n] + static_cast<uint32_t>(_mm_cvtsi128_si32(dot));
    }
    // Folded to 128 bits first, so nothing 32 bytes wide is stored to the stack.
    alignas(16) uint16_t lx[8], ls[8];
    alignas(16) uint8_t bx[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lx),
                    _mm_xor_si128(_mm256_castsi256_si128(lowXor), _mm256_extracti128_si256(lowXor, 1)));
    _mm_store_si128(reinterpret_cast<__m128i*>(ls),
                    _mm_add_epi16(_mm256_castsi256_si128(lowSum), _mm256_extracti128_si256(lowSum, 1)));
    _mm_store_si128(reinterpret_cast<__m128i*>(bx),
                    _mm_xor_si128(_mm256_castsi256_si128(byteXor), _mm256_extracti128_si256(byteXor, 1)));
    // GCC 12 inserts none here by itself; without it the SSE code that runs
    // next pays for the dirty upper halves.
    _mm256_zeroupper();
    Finish(state, hash, lx, ls, bx);
  }
  UpdateContentChecksumReference(state, p, count % Chunk);
}

#endif
