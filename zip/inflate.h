// Inflate: decoder of ZIP method 8 (Deflate), on zlib's streaming raw inflate, so that a
// member of any size is decoded through a fixed window.
#pragma once

#include <cstdint>

#include "zip/bit_reader.h"

namespace zip {

// Decodes one deflated member from `in` until its stream ends, delivering no more than
// `size` bytes (the member's uncompressed size). Outcomes:
//   Done      the stream's last block ended;
//   TooLong   the stream goes on past `size`: the bytes up to it were delivered;
//   Stopped   the data is damaged, or ends before the stream does (reported as
//             "Deflated data of <member> is damaged: <why>");
//   NoMemory  zlib's state could not be allocated (reported).
// Everything decoded before a stop has reached the sink.
DecodeResult Inflate(ByteSource& in, ByteSink& out, std::uint64_t size, const DecodeReport& report);

}  // namespace zip
