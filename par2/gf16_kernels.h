// The region kernels behind mulAdd; internal to the par2 library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace par2::detail {

// The products of a factor with each nibble value at each of the word's four nibble
// positions, as low and high result bytes: lowBytes[k][v] and highBytes[k][v] are the
// bytes of factor * (v << 4k). These are the shuffle tables of the vector kernels.
struct SplitTables {
  alignas(32) std::uint8_t lowBytes[4][16];
  alignas(32) std::uint8_t highBytes[4][16];
};
void makeSplitTables(std::uint16_t factor, SplitTables& out);

// Each handles the whole 32-byte blocks of n and returns how many bytes it did.
std::size_t mulAddSsse3(const SplitTables& t, const std::uint8_t* src, std::uint8_t* dst,
                        std::size_t n);
std::size_t mulAddAvx2(const SplitTables& t, const std::uint8_t* src, std::uint8_t* dst,
                       std::size_t n);
bool cpuHasSsse3();
bool cpuHasAvx2();

}  // namespace par2::detail
