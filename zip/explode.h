// Explode: decoder of ZIP method 6 (Implode): back-references into a 4096- or 8192-byte
// window, lengths and distances (and, with three trees, literals) coded with
// Shannon-Fano trees that the member's data describes first.
#pragma once

#include <cstdint>

#include "zip/bit_reader.h"

namespace zip {

inline constexpr char kExplodeNoMemory[] = "Není dost paměti k rozpnutí ! Překračuji ...";
inline constexpr char kExplodeBadTree[] = "Chybný dekódovací strom !";
inline constexpr char kExplodeBadCode[] = "Úplně chybné kódování !";

// Decodes one imploded member until `size` bytes (its uncompressed size) are delivered
// or its data ends; a member of size 0 reads nothing. Bit 1 of `flags` selects the
// 8192-byte window, bit 2 the literal tree (three trees). The literal or match whose bits
// the data cuts short is still decoded, its missing bits counted as ones. Outcomes:
//   Done      `size` bytes delivered;
//   Stopped   the data ended first (nothing reported: the caller's CRC check says so);
//             kExplodeBadTree for a tree with more symbols or inner nodes than it holds;
//             kExplodeBadCode for an empty tree branch once the data has ended;
//   NoMemory  kExplodeNoMemory.
// Reported while going on: kExplodeBadTree for a code placed under a leaf or twice on the
// same place (that symbol is left out), kExplodeBadCode for an empty branch met while
// decoding (the next bit is read at the same node).
DecodeResult Explode(BitReader& in, ByteSink& out, std::uint16_t flags, std::uint64_t size,
                     const DecodeReport& report);

}  // namespace zip
