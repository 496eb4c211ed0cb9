// The field arithmetic against a bit-by-bit multiply, the input constants, and every region
// kernel against the word-by-word definition on lengths around the vector widths.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "par2/gf16.h"

namespace {

// Carry-less multiply reduced by the generator, one bit at a time.
par2::Gf slowMul(par2::Gf a, par2::Gf b) {
  std::uint32_t product = 0;
  std::uint32_t x = a;
  for (int bit = 0; bit < 16; ++bit) {
    if (b & (1u << bit)) product ^= x;
    x <<= 1;
    if (x & 0x10000) x ^= par2::kGenerator;
  }
  return static_cast<par2::Gf>(product);
}

TEST(Gf16, MultiplyMatchesBitwiseDefinition) {
  std::mt19937 rng(26);
  struct Row { par2::Gf a, b; };
  std::vector<Row> rows = {{0, 0}, {0, 7}, {1, 0xFFFF}, {2, 0x8000}, {0x8000, 0x8000}, {0xFFFF, 0xFFFF}};
  for (int i = 0; i < 2000; ++i) rows.push_back({static_cast<par2::Gf>(rng()), static_cast<par2::Gf>(rng())});
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.a) + " * " + std::to_string(r.b));
    EXPECT_EQ(par2::gfMul(r.a, r.b), slowMul(r.a, r.b));
    if (r.b != 0) {
      EXPECT_EQ(par2::gfMul(par2::gfDiv(r.a, r.b), r.b), r.a);
    }
  }
  EXPECT_EQ(par2::gfMul(2, 0x8000), 0x100B);  // x^16 reduces to x^12 + x^3 + x + 1
}

TEST(Gf16, PowerIsRepeatedMultiply) {
  for (par2::Gf base : {par2::Gf{0}, par2::Gf{1}, par2::Gf{2}, par2::Gf{0x1234}, par2::Gf{0xFFFF}}) {
    par2::Gf expected = 1;
    for (std::uint32_t n = 0; n < 300; ++n) {
      SCOPED_TRACE(std::to_string(base) + "^" + std::to_string(n));
      EXPECT_EQ(par2::gfPow(base, n), expected);
      expected = slowMul(expected, base);
    }
  }
  EXPECT_EQ(par2::gfPow(2, 65535), 1);
}

TEST(Gf16, InputConstantsAreDistinctPowersWithExponentsCoprimeTo65535) {
  EXPECT_EQ(par2::inputConstant(0), 2);     // 2^1
  EXPECT_EQ(par2::inputConstant(1), 4);     // 2^2
  EXPECT_EQ(par2::inputConstant(2), 16);    // 2^4 (3 is skipped)
  EXPECT_EQ(par2::inputConstant(3), 128);   // 2^7 (5 and 6 are skipped)
  EXPECT_EQ(par2::inputConstant(4), 256);   // 2^8
  std::set<par2::Gf> seen;
  for (std::uint32_t i = 0; i < par2::kMaxInputSlices; ++i) seen.insert(par2::inputConstant(i));
  EXPECT_EQ(seen.size(), par2::kMaxInputSlices);
}

TEST(Gf16, EveryKernelMatchesTheWordByWordDefinition) {
  std::mt19937 rng(7);
  const par2::Kernel before = par2::activeKernel();
  for (par2::Kernel kernel : {par2::Kernel::Portable, par2::Kernel::Ssse3, par2::Kernel::Avx2}) {
    if (!par2::selectKernel(kernel)) {
      std::printf("kernel %s not available here: not tested\n", par2::kernelName(kernel));
      continue;
    }
    for (std::size_t n : {0u, 2u, 30u, 32u, 34u, 62u, 64u, 66u, 96u, 1000u, 4098u}) {
      for (par2::Gf factor : {par2::Gf{0}, par2::Gf{1}, par2::Gf{2}, par2::Gf{0x8000}, par2::Gf{0xFFFF},
                              static_cast<par2::Gf>(rng())}) {
        SCOPED_TRACE(std::string(par2::kernelName(kernel)) + " n=" + std::to_string(n) +
                     " factor=" + std::to_string(factor));
        // One byte of slack each side shows a kernel writing outside its region.
        std::vector<std::uint8_t> src(n + 2), dst(n + 2), expected;
        for (auto& b : src) b = static_cast<std::uint8_t>(rng());
        for (auto& b : dst) b = static_cast<std::uint8_t>(rng());
        expected = dst;
        for (std::size_t i = 0; i < n; i += 2) {
          const par2::Gf w = static_cast<par2::Gf>(src[1 + i] | src[2 + i] << 8);
          const par2::Gf p = slowMul(w, factor);
          expected[1 + i] ^= static_cast<std::uint8_t>(p);
          expected[2 + i] ^= static_cast<std::uint8_t>(p >> 8);
        }
        par2::mulAdd(factor, src.data() + 1, dst.data() + 1, n);
        EXPECT_EQ(dst, expected);
      }
    }
  }
  par2::selectKernel(before);
}

}  // namespace
