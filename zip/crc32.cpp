// Table-driven CRC-32 for single bytes and short runs; zlib's for long runs.
#include "zip/crc32.h"

#include <zlib.h>

#include <algorithm>
#include <array>

namespace zip {
namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables makeTables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t i = 0; i < 256; ++i) {
    for (std::size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}

constexpr Tables kTables = makeTables();

constexpr std::size_t kZlibRun = 64;

}  // namespace

std::uint32_t UpdateCRC(std::uint8_t b, std::uint32_t crc) {
  return kTables[0][(crc ^ b) & 0xFF] ^ (crc >> 8);
}

std::uint32_t updateCrc(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
  // Long runs go to zlib's, which takes several words at a time (and keeps the register
  // finished, that is inverted).
  while (n >= kZlibRun) {
    const auto take = static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
    crc = ~static_cast<std::uint32_t>(::crc32(~crc & 0xFFFFFFFFul, data, take));
    data += take;
    n -= take;
  }
  while (n >= 8) {
    const std::uint32_t lo = crc ^ (std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                                    std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24);
    crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][data[4]] ^ kTables[2][data[5]] ^ kTables[1][data[6]] ^
          kTables[0][data[7]];
    data += 8;
    n -= 8;
  }
  while (n-- > 0) crc = UpdateCRC(*data++, crc);
  return crc;
}

}  // namespace zip
