// SHA-256 with the x86 SHA extensions, one stream or two interleaved.
#include "engine/sha256_pair.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define SUNDRIX_SHA_X86 1
#endif

namespace engine {
namespace {

constexpr std::uint32_t kStart[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

std::atomic<bool> g_disabled{false};

void restart(Sha256Pair::Stream& s) {
  std::memcpy(s.h, kStart, sizeof s.h);
  s.fill = 0;
  s.length = 0;
}

#ifdef SUNDRIX_SHA_X86

alignas(16) constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

#define SUNDRIX_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// The state as the round instructions take it: ABEF and CDGH.
struct Lanes {
  __m128i abef, cdgh;
};

SUNDRIX_SHA_TARGET Lanes loadState(const std::uint32_t* h) {
  const __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + 4)), 0x1B);
  return {_mm_alignr_epi8(dcba, efgh, 8), _mm_blend_epi16(efgh, dcba, 0xF0)};
}

SUNDRIX_SHA_TARGET void storeState(const Lanes& s, std::uint32_t* h) {
  const __m128i feba = _mm_shuffle_epi32(s.abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(s.cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 4), _mm_alignr_epi8(dchg, feba, 8));
}

SUNDRIX_SHA_TARGET inline __m128i loadWords(const std::uint8_t* p) {
  const __m128i bigEndian = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), bigEndian);
}

// Words 4g .. 4g+3 of the schedule from the four groups before them.
SUNDRIX_SHA_TARGET inline __m128i nextWords(const __m128i* w, int g) {
  return _mm_sha256msg2_epu32(
      _mm_add_epi32(_mm_sha256msg1_epu32(w[g - 4], w[g - 3]), _mm_alignr_epi8(w[g - 1], w[g - 2], 4)),
      w[g - 1]);
}

SUNDRIX_SHA_TARGET inline void fourRounds(Lanes& s, __m128i words, int g) {
  const __m128i m =
      _mm_add_epi32(words, _mm_load_si128(reinterpret_cast<const __m128i*>(&kRound[4 * g])));
  s.cdgh = _mm_sha256rnds2_epu32(s.cdgh, s.abef, m);
  s.abef = _mm_sha256rnds2_epu32(s.abef, s.cdgh, _mm_shuffle_epi32(m, 0x0E));
}

SUNDRIX_SHA_TARGET void compressOne(std::uint32_t* h, const std::uint8_t* p, std::size_t blocks) {
  Lanes s = loadState(h);
  for (; blocks > 0; --blocks, p += 64) {
    const Lanes before = s;
    __m128i w[16];
    for (int g = 0; g < 4; ++g) w[g] = loadWords(p + 16 * g);
#pragma GCC unroll 16
    for (int g = 0; g < 16; ++g) {
      if (g >= 4) w[g] = nextWords(w, g);
      fourRounds(s, w[g], g);
    }
    s.abef = _mm_add_epi32(s.abef, before.abef);
    s.cdgh = _mm_add_epi32(s.cdgh, before.cdgh);
  }
  storeState(s, h);
}

// Two streams a block at a time, their rounds interleaved.
SUNDRIX_SHA_TARGET void compressTwo(std::uint32_t* ha, const std::uint8_t* pa, std::uint32_t* hb,
                                    const std::uint8_t* pb, std::size_t blocks) {
  Lanes a = loadState(ha), b = loadState(hb);
  for (; blocks > 0; --blocks, pa += 64, pb += 64) {
    const Lanes beforeA = a, beforeB = b;
    __m128i wa[16], wb[16];
    for (int g = 0; g < 4; ++g) {
      wa[g] = loadWords(pa + 16 * g);
      wb[g] = loadWords(pb + 16 * g);
    }
#pragma GCC unroll 16
    for (int g = 0; g < 16; ++g) {
      if (g >= 4) {
        wa[g] = nextWords(wa, g);
        wb[g] = nextWords(wb, g);
      }
      fourRounds(a, wa[g], g);
      fourRounds(b, wb[g], g);
    }
    a.abef = _mm_add_epi32(a.abef, beforeA.abef);
    a.cdgh = _mm_add_epi32(a.cdgh, beforeA.cdgh);
    b.abef = _mm_add_epi32(b.abef, beforeB.abef);
    b.cdgh = _mm_add_epi32(b.cdgh, beforeB.cdgh);
  }
  storeState(a, ha);
  storeState(b, hb);
}

bool processorHasSha() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  const bool ssse3 = (c & (1u << 9)) != 0, sse41 = (c & (1u << 19)) != 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
  return ssse3 && sse41 && (b & (1u << 29)) != 0;
}

#else

void compressOne(std::uint32_t*, const std::uint8_t*, std::size_t) {}
void compressTwo(std::uint32_t*, const std::uint8_t*, std::uint32_t*, const std::uint8_t*,
                 std::size_t) {}
bool processorHasSha() { return false; }

#endif

// Takes bytes into the stream's buffer until it holds a block, which is then compressed;
// returns the bytes taken.
std::size_t topUp(Sha256Pair::Stream& s, const std::uint8_t* p, std::size_t n) {
  if (s.fill == 0) return 0;
  const std::size_t take = std::min(n, 64 - s.fill);
  std::memcpy(s.buffer + s.fill, p, take);
  s.fill += take;
  if (s.fill == 64) {
    compressOne(s.h, s.buffer, 1);
    s.fill = 0;
  }
  return take;
}

// Whole blocks straight from `p`, the rest into the buffer, which is empty unless n is 0
// (a top-up that did not fill the block took all there was).
void takeAligned(Sha256Pair::Stream& s, const std::uint8_t* p, std::size_t n) {
  if (n == 0) return;
  compressOne(s.h, p, n / 64);
  std::memcpy(s.buffer, p + n / 64 * 64, n % 64);
  s.fill = n % 64;
}

void updateOne(Sha256Pair::Stream& s, const std::uint8_t* p, std::size_t n) {
  s.length += n;
  const std::size_t taken = topUp(s, p, n);
  takeAligned(s, p + taken, n - taken);
}

std::array<std::uint8_t, 32> finishStream(Sha256Pair::Stream& s) {
  const std::uint64_t bits = s.length * 8;
  std::uint8_t tail[72] = {0x80};
  const std::size_t pad = (s.fill < 56 ? 56 : 120) - s.fill;
  for (int i = 0; i < 8; ++i) tail[pad + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  updateOne(s, tail, pad + 8);
  std::array<std::uint8_t, 32> digest{};
  for (std::size_t i = 0; i < 8; ++i) {
    for (std::size_t k = 0; k < 4; ++k) digest[4 * i + k] = static_cast<std::uint8_t>(s.h[i] >> (24 - 8 * k));
  }
  restart(s);
  return digest;
}

}  // namespace

bool Sha256Pair::available() {
  static const bool hasSha = processorHasSha();
  return hasSha && !g_disabled.load();
}

void Sha256Pair::setDisabled(bool disabled) { g_disabled.store(disabled); }

Sha256Pair::Sha256Pair() {
  restart(m_first);
  restart(m_second);
}

void Sha256Pair::updateBoth(const void* data, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  m_first.length += n;
  m_second.length += n;
  // Each stream first fills its own partial block; from there on both read whole blocks
  // of `p`, each at its own offset.
  const std::size_t a = topUp(m_first, p, n);
  const std::size_t b = topUp(m_second, p, n);
  const std::size_t pairs = std::min(n - a, n - b) / 64;
  compressTwo(m_first.h, p + a, m_second.h, p + b, pairs);
  takeAligned(m_first, p + a + pairs * 64, n - a - pairs * 64);
  takeAligned(m_second, p + b + pairs * 64, n - b - pairs * 64);
}

void Sha256Pair::updateSecond(const void* data, std::size_t n) {
  updateOne(m_second, static_cast<const std::uint8_t*>(data), n);
}

std::array<std::uint8_t, 32> Sha256Pair::finishFirst() { return finishStream(m_first); }
std::array<std::uint8_t, 32> Sha256Pair::finishSecond() { return finishStream(m_second); }

std::array<std::uint8_t, 32> Sha256Pair::secondSoFar() const {
  Stream copy = m_second;
  return finishStream(copy);
}

}  // namespace engine
