// Byte counts with coreutils' units.
#include "cli/sizes.h"

#include <limits>
#include <string_view>

namespace cli {

bool parseByteCount(const std::string& text, std::int64_t& bytes) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::size_t at = 0;
  std::int64_t count = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    const int digit = text[at] - '0';
    if (count > (kMax - digit) / 10) return false;
    count = count * 10 + digit;
  }
  if (at == 0) return false;
  const std::string_view unit = std::string_view(text).substr(at);
  std::int64_t factor = 1;
  if (!unit.empty() && unit != "B" && unit != "b") {
    const std::string_view letters = "KMGT";
    const std::size_t power = letters.find(static_cast<char>(unit[0] & ~0x20));
    const std::string_view rest = unit.substr(1);
    if (power == std::string_view::npos || !(rest.empty() || rest == "iB" || rest == "B")) {
      return false;
    }
    const std::int64_t base = rest == "B" ? 1000 : 1024;
    for (std::size_t i = 0; i <= power; ++i) factor *= base;
  }
  if (count > kMax / factor) return false;
  bytes = count * factor;
  return true;
}

bool partSizeInUnits(std::int64_t bytes, std::int64_t& value, int& unit) {
  constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();
  for (unit = 3; unit >= 0; --unit) {
    const std::int64_t size = std::int64_t{1} << (10 * unit);
    if (bytes % size == 0 && bytes / size <= kMaxCount) {
      value = bytes / size;
      return true;
    }
  }
  return false;
}

}  // namespace cli
