// Path parts and part-number names; the separators themselves come from the back end.
#include "platform/path.h"

#include <charconv>
#include <cstdio>

namespace platform {

static std::size_t lastSeparator(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (isPathSeparator(path[i - 1])) return i - 1;
  }
  return std::string_view::npos;
}

std::string folderPart(std::string_view path) {
  const std::size_t sep = lastSeparator(path);
  return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

std::string namePart(std::string_view path) {
  const std::size_t sep = lastSeparator(path);
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string replaceExtension(std::string_view path, std::string_view suffix) {
  const std::size_t sep = lastSeparator(path);
  const std::size_t nameStart = sep == std::string_view::npos ? 0 : sep + 1;
  const std::size_t dot = path.rfind('.');
  std::string result;
  if (dot != std::string_view::npos && dot >= nameStart) {
    result = std::string(path.substr(0, dot));
  } else {
    result = std::string(path);
  }
  result += suffix;
  return result;
}

std::string partSuffix(std::int64_t n) {
  char buffer[32];
  if (n < 0) {
    std::snprintf(buffer, sizeof buffer, ".%03lld", static_cast<long long>(n));
    return buffer;
  }
  // Made for every part of a long series, twice a join: without the formatter's parsing.
  char digits[24];
  const std::size_t count = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, n).ptr - digits);
  std::string suffix(".");
  suffix.append(count < 3 ? 3 - count : 0, '0');
  suffix.append(digits, count);
  return suffix;
}

bool isPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

std::string withTrailingSeparator(std::string_view folder) {
  std::string result(folder);
  if (!result.empty() && !isPathSeparator(result.back())) result += kPathSeparator;
  return result;
}

}  // namespace platform
