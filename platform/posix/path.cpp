// Path parts on POSIX: "/" is the only separator.
#include "platform/path.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace platform {

bool isPathSeparator(char c) {
  return c == kPathSeparator;
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

std::string userConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg == '/') return withTrailingSeparator(xdg) + "sundrix/";
  // A HOME that is unset or relative would put the settings wherever the program was
  // started from: the account's home folder is taken instead.
  const char* home = std::getenv("HOME");
  std::string base = home != nullptr && *home == '/' ? home : "";
  if (base.empty()) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
      base = found->pw_dir;
  }
  if (base.empty()) base = ".";
  return withTrailingSeparator(base) + ".config/sundrix/";
}

namespace {

// A limit of pathconf(); -1 when there is none or it cannot be found out.
long limitOf(const std::string& folder, int which) {
  return ::pathconf(folder.empty() ? "." : folder.c_str(), which);
}

}  // namespace

bool nameFits(const std::string& folder, const std::string& name, std::string& why) {
  const long nameMax = limitOf(folder, _PC_NAME_MAX);
  if (nameMax > 0 && name.size() > static_cast<std::size_t>(nameMax)) {
    why = "the name " + name + " is " + std::to_string(name.size()) +
          " bytes long, and the file system of " + (folder.empty() ? currentFolder() : folder) +
          " takes names of at most " + std::to_string(nameMax) + " bytes";
    return false;
  }
  // The limit counts the final NUL byte.
  const long pathMax = limitOf(folder, _PC_PATH_MAX);
  const std::size_t length = folder.size() + name.size();
  if (pathMax > 0 && length >= static_cast<std::size_t>(pathMax)) {
    why = "the path " + folder + name + " is " + std::to_string(length) +
          " bytes long, and this system opens paths of at most " + std::to_string(pathMax - 1) +
          " bytes";
    return false;
  }
  return true;
}

}  // namespace platform
