// Unreduce: decoder of ZIP methods 2 to 5 (Reduce with compression factors 1 to 4):
// follower-set coding of bytes, then a run/back-reference expansion over a 4096-byte window.
#pragma once

#include <cstdint>

#include "zip/bit_reader.h"

namespace zip {

inline constexpr char kUnreduceNoMemory[] = "Není dost paměti k rozvinutí ! Překračuji ...";
inline constexpr char kUnreduceBadFollowers[] = "Follower set is damaged ! Skip next...";

// Decodes one reduced member with compression factor `factor` (1 to 4) until `size`
// bytes (the member's uncompressed size) are delivered or its data ends; a member of size
// 0 reads nothing. The byte whose bits the data cuts short is still decoded, its missing
// bits counted as ones. Outcomes:
//   Done      `size` bytes delivered;
//   Stopped   the data ended first (nothing reported: the caller's CRC check says so), or
//             kUnreduceBadFollowers: a follower-set count above 32, or a follower number
//             at or above its set's count (neither occurs in valid data);
//   NoMemory  kUnreduceNoMemory.
DecodeResult Unreduce(BitReader& in, ByteSink& out, int factor, std::uint64_t size,
                      const DecodeReport& report);

}  // namespace zip
