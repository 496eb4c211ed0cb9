// Unshrink: decoder of ZIP method 1 (dynamic LZW, 9 to 13 bit codes, partial clearing).
#pragma once

#include <cstdint>

#include "zip/bit_reader.h"

namespace zip {

inline constexpr char kUnshrinkNoMemory[] = "Není dost paměti k rozmrsknutí ! Překračuji ...";
inline constexpr char kUnshrinkBadLink[] = "Kód špatně navazuje ! Pokračujem...";
inline constexpr char kUnshrinkBadCode[] = "Kód se jeví chybný !";

// Decodes one shrunk member until its data is used up, delivering no more than `size`
// bytes (the member's uncompressed size). Outcomes:
//   Done      the data ended (a code cut short by the end counts as the end);
//   TooLong   a string would pass `size`: the bytes up to it were delivered, nothing is
//             reported (the caller names the member);
//   Stopped   "Promiňte, přetekl mi zásobník (8192)!" when a string would not fit the
//             8192-entry stack, or kUnshrinkBadCode when a code size would pass 13 bits
//             or a code leads to an entry that was never defined;
//   NoMemory  kUnshrinkNoMemory.
// A control code 256 followed by anything but 1 or 2 reports kUnshrinkBadLink and
// decoding goes on. Everything decoded before a stop has reached the sink.
DecodeResult Unshrink(BitReader& in, ByteSink& out, std::uint64_t size, const DecodeReport& report);

}  // namespace zip
