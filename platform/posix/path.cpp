// Path parts on POSIX: "/" is the only separator.
#include "platform/path.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <vector>

namespace platform {

bool isPathSeparator(char c) {
  return c == kPathSeparator;
}

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
  std::snprintf(buffer, sizeof buffer, ".%03lld", static_cast<long long>(n));
  return buffer;
}

std::string withTrailingSeparator(std::string_view folder) {
  std::string result(folder);
  if (!result.empty() && !isPathSeparator(result.back())) result += kPathSeparator;
  return result;
}

std::string currentFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return std::string(1, kPathSeparator);
  return withTrailingSeparator(buffer.data());
}

std::string absolutePath(std::string_view path) {
  std::string full = (!path.empty() && isPathSeparator(path.front()))
                         ? std::string(path)
                         : currentFolder() + std::string(path);
  // Resolve "." and ".." lexically; a trailing separator is kept.
  std::vector<std::string> parts;
  std::size_t start = 1;
  while (start <= full.size()) {
    std::size_t end = full.find(kPathSeparator, start);
    if (end == std::string::npos) end = full.size();
    const std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += kPathSeparator + part;
  if (result.empty() || (isPathSeparator(full.back()) && !parts.empty())) result += kPathSeparator;
  return result;
}

std::string executablePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return std::string();
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

}  // namespace platform
