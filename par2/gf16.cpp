// GF(2^16) by log and antilog tables; the portable region kernel and the choice of kernel.
#include "par2/gf16.h"

#include <array>
#include <atomic>
#include <cassert>
#include <vector>

#include "par2/gf16_kernels.h"

namespace par2 {
namespace {

struct Tables {
  std::array<std::uint16_t, 65536> log{};
  std::array<std::uint16_t, 2 * 65535> exp{};  // doubled so that log a + log b needs no modulo
  std::vector<std::uint16_t> constants;        // inputConstant() by index

  Tables() {
    std::uint32_t x = 1;
    for (std::uint32_t i = 0; i < 65535; ++i) {
      exp[i] = exp[i + 65535] = static_cast<std::uint16_t>(x);
      log[x] = static_cast<std::uint16_t>(i);
      x <<= 1;
      if (x & 0x10000) x ^= kGenerator;
    }
    assert(x == 1 && "0x1100B is primitive: 2 has order 65535");
    constants.reserve(kMaxInputSlices);
    for (std::uint32_t n = 1; n < 65535; ++n) {
      if (n % 3 != 0 && n % 5 != 0 && n % 17 != 0 && n % 257 != 0) constants.push_back(exp[n]);
    }
    assert(constants.size() == kMaxInputSlices && "phi(65535) constants");
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

Kernel bestKernel() {
  if (detail::cpuHasAvx2()) return Kernel::Avx2;
  if (detail::cpuHasSsse3()) return Kernel::Ssse3;
  return Kernel::Portable;
}

std::atomic<Kernel> g_kernel{bestKernel()};

void mulAddPortable(Gf factor, const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  // Two 256-entry tables: the product with the word's low byte and with its high byte.
  std::uint16_t low[256];
  std::uint16_t high[256];
  for (unsigned v = 0; v < 256; ++v) {
    low[v] = gfMul(factor, static_cast<Gf>(v));
    high[v] = gfMul(factor, static_cast<Gf>(v << 8));
  }
  for (std::size_t i = 0; i + 1 < n; i += 2) {
    const std::uint16_t p = low[src[i]] ^ high[src[i + 1]];
    dst[i] ^= static_cast<std::uint8_t>(p);
    dst[i + 1] ^= static_cast<std::uint8_t>(p >> 8);
  }
}

}  // namespace

Gf gfMul(Gf a, Gf b) {
  if (a == 0 || b == 0) return 0;
  const Tables& t = tables();
  return t.exp[t.log[a] + t.log[b]];
}

Gf gfDiv(Gf a, Gf b) {
  assert(b != 0 && "division by zero in GF(2^16)");
  if (a == 0) return 0;
  const Tables& t = tables();
  return t.exp[t.log[a] + 65535u - t.log[b]];
}

Gf gfPow(Gf a, std::uint32_t n) {
  if (n == 0) return 1;
  if (a == 0) return 0;
  const Tables& t = tables();
  const std::uint64_t e = (static_cast<std::uint64_t>(t.log[a]) * n) % 65535u;
  return t.exp[e];
}

Gf inputConstant(std::uint32_t index) {
  assert(index < kMaxInputSlices && "a set has at most 32768 input slices");
  return tables().constants[index];
}

namespace detail {

void makeSplitTables(std::uint16_t factor, SplitTables& out) {
  for (unsigned k = 0; k < 4; ++k) {
    for (unsigned v = 0; v < 16; ++v) {
      const Gf p = gfMul(factor, static_cast<Gf>(v << (4 * k)));
      out.lowBytes[k][v] = static_cast<std::uint8_t>(p);
      out.highBytes[k][v] = static_cast<std::uint8_t>(p >> 8);
    }
  }
}

}  // namespace detail

void mulAdd(Gf factor, const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  assert(n % 2 == 0 && "regions are whole 16-bit words");
  if (factor == 0 || n == 0) return;
  if (factor == 1) {
    for (std::size_t i = 0; i < n; ++i) dst[i] ^= src[i];
    return;
  }
  const Kernel kernel = g_kernel.load(std::memory_order_relaxed);
  std::size_t done = 0;
  if (kernel != Kernel::Portable && n >= 32) {
    detail::SplitTables t;
    detail::makeSplitTables(factor, t);
    done = kernel == Kernel::Avx2 ? detail::mulAddAvx2(t, src, dst, n)
                                  : detail::mulAddSsse3(t, src, dst, n);
  }
  if (done < n) mulAddPortable(factor, src + done, dst + done, n - done);
}

Kernel activeKernel() {
  return g_kernel.load();
}

bool kernelAvailable(Kernel kernel) {
  switch (kernel) {
    case Kernel::Portable: return true;
    case Kernel::Ssse3: return detail::cpuHasSsse3();
    case Kernel::Avx2: return detail::cpuHasAvx2();
  }
  return false;
}

bool selectKernel(Kernel kernel) {
  if (!kernelAvailable(kernel)) return false;
  g_kernel.store(kernel);
  return true;
}

const char* kernelName(Kernel kernel) {
  switch (kernel) {
    case Kernel::Portable: return "portable";
    case Kernel::Ssse3: return "SSSE3";
    case Kernel::Avx2: return "AVX2";
  }
  return "?";
}

}  // namespace par2
