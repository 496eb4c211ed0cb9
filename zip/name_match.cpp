// Name matching for member selection. Text is UTF-8: "?" stands for one character, not
// one byte, and case folding works on whole characters.
#include "zip/name_match.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/path.h"

namespace zip {
namespace {

// Lower-case letters beyond ASCII that fold onto their capitals.
constexpr char32_t kLower[] = U"üéďäčěĺľžôöůýťáíóúňšřŕ";
constexpr char32_t kUpper[] = U"ÜÉĎÄČĚĹĽŽÔÖŮÝŤÁÍÓÚŇŠŘŔ";
constexpr char32_t kInvalidByte = 0xDC00;  // bytes that are not UTF-8 stay distinct

std::vector<char32_t> decodeUtf8(std::string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    int extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (b >= 0xF8 || (b >= 0x80 && b < 0xC0)) extra = -1;
    char32_t c = extra <= 0 ? b : static_cast<char32_t>(b & (0x3F >> extra));
    bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < s.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto n = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((n & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (n & 0x3F);
    }
    if (!ok) {
      out.push_back(kInvalidByte + b);
      ++i;
      continue;
    }
    out.push_back(c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

char32_t fold(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - U'a' + U'A';
  for (std::size_t i = 0; kLower[i] != 0; ++i) {
    if (kLower[i] == c) return kUpper[i];
  }
  return c;
}

// Name part (up to the first ".") and extension (up to 3 characters after the last ".").
void splitName(std::string_view name, std::string_view& base, std::string& extension) {
  const std::size_t firstDot = name.find('.');
  base = name.substr(0, firstDot);
  extension.clear();
  if (firstDot == std::string_view::npos) return;
  const std::string_view rest = name.substr(name.rfind('.') + 1);
  std::size_t bytes = 0;
  for (int k = 0; k < 3 && bytes < rest.size(); ++k) {
    const auto lead = static_cast<unsigned char>(rest[bytes]);
    const std::size_t width = lead >= 0xF0 && lead < 0xF8 ? 4
                              : lead >= 0xE0              ? 3
                              : lead >= 0xC0              ? 2
                                                          : 1;
    bytes = bytes + width < rest.size() ? bytes + width : rest.size();
  }
  extension = std::string(rest.substr(0, bytes));
}

}  // namespace

bool wildcardNamesMatch(std::string_view a, std::string_view b) {
  std::vector<char32_t> x = decodeUtf8(a);
  std::vector<char32_t> y = decodeUtf8(b);
  for (char32_t& c : x) c = fold(c);
  for (char32_t& c : y) c = fold(c);
  const std::size_t n = x.size();
  const std::size_t m = y.size();
  // match[i][j]: x from i matches y from j. Filled from the ends, O(n*m) at worst.
  std::vector<std::uint8_t> match((n + 1) * (m + 1), 0);
  auto at = [&](std::size_t i, std::size_t j) -> std::uint8_t& { return match[i * (m + 1) + j]; };
  at(n, m) = 1;
  for (std::size_t i = n + 1; i-- > 0;) {
    for (std::size_t j = m + 1; j-- > 0;) {
      if (i == n && j == m) continue;
      bool r = false;
      if (i < n && x[i] == U'*') r = at(i + 1, j) || (j < m && at(i, j + 1));
      if (!r && j < m && y[j] == U'*') r = at(i, j + 1) || (i < n && at(i + 1, j));
      if (!r && i < n && j < m && (x[i] == U'?' || y[j] == U'?' || x[i] == y[j])) {
        r = at(i + 1, j + 1);
      }
      at(i, j) = r ? 1 : 0;
    }
  }
  return at(0, 0) != 0;
}

bool sameArchiveName(std::string_view a, std::string_view b) {
  const std::string fullA = platform::absolutePath(a);
  const std::string fullB = platform::absolutePath(b);
  if (platform::folderPart(fullA) != platform::folderPart(fullB)) return false;
  const std::string nameA = platform::namePart(fullA);
  const std::string nameB = platform::namePart(fullB);
  std::string_view baseA, baseB;
  std::string extA, extB;
  splitName(nameA, baseA, extA);
  splitName(nameB, baseB, extB);
  return wildcardNamesMatch(baseA, baseB) && wildcardNamesMatch(extA, extB);
}

std::string printableName(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  const auto escape = [&out](unsigned char c) {
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const unsigned char next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1])
                                                   : static_cast<unsigned char>(0);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      escape(c);
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
      escape(c);
      escape(next);
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace zip
