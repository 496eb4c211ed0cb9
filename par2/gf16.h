// Arithmetic in GF(2^16) with the generator polynomial x^16 + x^12 + x^3 + x + 1 (0x1100B),
// the field of PAR 2.0 recovery data, and the region kernel that does almost all of the
// work: a buffer of little-endian 16-bit words, multiplied by a constant, added to another.
#pragma once

#include <cstddef>
#include <cstdint>

namespace par2 {

using Gf = std::uint16_t;

inline constexpr std::uint32_t kGenerator = 0x1100B;
// How many input slices a set may have: the constants 2^n need n coprime to 65535.
inline constexpr std::uint32_t kMaxInputSlices = 32768;

Gf gfMul(Gf a, Gf b);
// a / b; b must not be 0.
Gf gfDiv(Gf a, Gf b);
Gf gfPow(Gf a, std::uint32_t n);
// The constant of input slice `index` (counted across the set's files in the order of the
// main packet): 2^n for the index-th n >= 1 that is divisible by none of 3, 5, 17, 257.
Gf inputConstant(std::uint32_t index);

// dst ^= factor * src, word by word; n is a whole number of 16-bit words.
void mulAdd(Gf factor, const std::uint8_t* src, std::uint8_t* dst, std::size_t n);

// The region kernels this build and processor have; tests and the bench pick one.
enum class Kernel { Portable, Ssse3, Avx2 };
Kernel activeKernel();
bool kernelAvailable(Kernel kernel);
// Makes `kernel` the one mulAdd uses; false (nothing changed) when it is not available.
bool selectKernel(Kernel kernel);
const char* kernelName(Kernel kernel);

}  // namespace par2
