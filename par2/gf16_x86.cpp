// The vector region kernels: each 16-bit word is split into four nibbles, each nibble looks
// up its partial products in 16-byte shuffle tables (one table per nibble position for the
// result's low bytes, one for its high bytes), and the partial products are added (XOR).
// The words are de-interleaved into low and high bytes first and interleaved back after.
#include "par2/gf16_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace par2::detail {

#if defined(__x86_64__) || defined(__i386__)

// The kernel is chosen while static objects are made, perhaps before the run-time's own
// look at the processor: look first.
bool cpuHasSsse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

bool cpuHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

__attribute__((target("ssse3"))) std::size_t mulAddSsse3(const SplitTables& t,
                                                         const std::uint8_t* src,
                                                         std::uint8_t* dst, std::size_t n) {
  __m128i lo[4], hi[4];
  for (int k = 0; k < 4; ++k) {
    lo[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(t.lowBytes[k]));
    hi[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(t.highBytes[k]));
  }
  const __m128i byteMask = _mm_set1_epi16(0x00FF);
  const __m128i nibbleMask = _mm_set1_epi8(0x0F);
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
    const __m128i low = _mm_packus_epi16(_mm_and_si128(a, byteMask), _mm_and_si128(b, byteMask));
    const __m128i high = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
    const __m128i n0 = _mm_and_si128(low, nibbleMask);
    const __m128i n1 = _mm_and_si128(_mm_srli_epi16(low, 4), nibbleMask);
    const __m128i n2 = _mm_and_si128(high, nibbleMask);
    const __m128i n3 = _mm_and_si128(_mm_srli_epi16(high, 4), nibbleMask);
    const __m128i rl = _mm_xor_si128(
        _mm_xor_si128(_mm_shuffle_epi8(lo[0], n0), _mm_shuffle_epi8(lo[1], n1)),
        _mm_xor_si128(_mm_shuffle_epi8(lo[2], n2), _mm_shuffle_epi8(lo[3], n3)));
    const __m128i rh = _mm_xor_si128(
        _mm_xor_si128(_mm_shuffle_epi8(hi[0], n0), _mm_shuffle_epi8(hi[1], n1)),
        _mm_xor_si128(_mm_shuffle_epi8(hi[2], n2), _mm_shuffle_epi8(hi[3], n3)));
    __m128i* out = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(out, _mm_xor_si128(_mm_loadu_si128(out), _mm_unpacklo_epi8(rl, rh)));
    _mm_storeu_si128(out + 1, _mm_xor_si128(_mm_loadu_si128(out + 1), _mm_unpackhi_epi8(rl, rh)));
  }
  return i;
}

// The same per 128-bit lane: pack and unpack work lane by lane, so the words of `a` and
// `b` come back out of unpacklo and unpackhi in their own order.
__attribute__((target("avx2"))) std::size_t mulAddAvx2(const SplitTables& t,
                                                       const std::uint8_t* src,
                                                       std::uint8_t* dst, std::size_t n) {
  __m256i lo[4], hi[4];
  for (int k = 0; k < 4; ++k) {
    lo[k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t.lowBytes[k])));
    hi[k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t.highBytes[k])));
  }
  const __m256i byteMask = _mm256_set1_epi16(0x00FF);
  const __m256i nibbleMask = _mm256_set1_epi8(0x0F);
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32));
    const __m256i low =
        _mm256_packus_epi16(_mm256_and_si256(a, byteMask), _mm256_and_si256(b, byteMask));
    const __m256i high = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
    const __m256i n0 = _mm256_and_si256(low, nibbleMask);
    const __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(low, 4), nibbleMask);
    const __m256i n2 = _mm256_and_si256(high, nibbleMask);
    const __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(high, 4), nibbleMask);
    const __m256i rl = _mm256_xor_si256(
        _mm256_xor_si256(_mm256_shuffle_epi8(lo[0], n0), _mm256_shuffle_epi8(lo[1], n1)),
        _mm256_xor_si256(_mm256_shuffle_epi8(lo[2], n2), _mm256_shuffle_epi8(lo[3], n3)));
    const __m256i rh = _mm256_xor_si256(
        _mm256_xor_si256(_mm256_shuffle_epi8(hi[0], n0), _mm256_shuffle_epi8(hi[1], n1)),
        _mm256_xor_si256(_mm256_shuffle_epi8(hi[2], n2), _mm256_shuffle_epi8(hi[3], n3)));
    __m256i* out = reinterpret_cast<__m256i*>(dst + i);
    _mm256_storeu_si256(out, _mm256_xor_si256(_mm256_loadu_si256(out), _mm256_unpacklo_epi8(rl, rh)));
    _mm256_storeu_si256(out + 1,
                        _mm256_xor_si256(_mm256_loadu_si256(out + 1), _mm256_unpackhi_epi8(rl, rh)));
  }
  // A last half block goes through the 128-bit kernel.
  return i + mulAddSsse3(t, src + i, dst + i, n - i);
}

#else

bool cpuHasSsse3() { return false; }
bool cpuHasAvx2() { return false; }
std::size_t mulAddSsse3(const SplitTables&, const std::uint8_t*, std::uint8_t*, std::size_t) {
  return 0;
}
std::size_t mulAddAvx2(const SplitTables&, const std::uint8_t*, std::uint8_t*, std::size_t) {
  return 0;
}

#endif

}  // namespace par2::detail
