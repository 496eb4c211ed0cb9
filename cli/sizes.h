// Sizes on the command line, read as coreutils reads them.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

// A whole number of bytes, optionally followed by a unit: K, M, G, T, or KiB, MiB, GiB,
// TiB (powers of 1024); KB, MB, GB, TB (powers of 1000); B (bytes). The unit's first
// letter may be small. False for anything else, for a negative number and for a count
// beyond what 63 bits hold.
bool parseByteCount(const std::string& text, std::int64_t& bytes);

// `bytes` as the split's part size: a count of bytes, KiB, MiB or GiB (unit 0..3), the
// largest unit that holds it exactly, the count at most 2^31 - 1. False when no unit does.
bool partSizeInUnits(std::int64_t bytes, std::int64_t& value, int& unit);

}  // namespace cli
