// CRC-32 of the ZIP format: polynomial 0xEDB88320 (bit-reflected), table driven.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zip {

inline constexpr std::uint32_t kCrcStart = 0xFFFFFFFFu;

// One step: the register after byte b.
std::uint32_t UpdateCRC(std::uint8_t b, std::uint32_t crc);

// The register after a run of bytes (the same as UpdateCRC for each, only faster).
std::uint32_t updateCrc(std::uint32_t crc, const std::uint8_t* data, std::size_t n);

// The finished CRC-32 of a whole buffer.
inline std::uint32_t crc32(const std::uint8_t* data, std::size_t n) {
  return ~updateCrc(kCrcStart, data, n);
}

}  // namespace zip
