// Wildcard matching, the first-match test and the folder's names as a list, the same on
// every OS.
#include "platform/dir_search.h"

namespace platform {

std::vector<std::string> entryNames(const std::string& folder) {
  std::vector<std::string> names;
  forEachEntryName(folder, [&names](const std::string& name) { names.push_back(name); });
  return names;
}

bool wildcardMatch(std::string_view mask, std::string_view name) {
  if (mask == "*.*" || mask == "*") return true;
  // Iterative matcher with one back-tracking point for the last "*".
  std::size_t m = 0, n = 0, starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
      ++m;
      ++n;
    } else if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  // "name.*" also matches "name" without an extension.
  if (m + 2 == mask.size() && mask[m] == '.' && mask[m + 1] == '*') return true;
  return m == mask.size();
}

bool firstMatchIsFile(const std::string& pattern) {
  const std::vector<DirEntry> entries = findFiles(pattern, SearchKind::Any);
  return !entries.empty() && !entries.front().isFolder;
}

}  // namespace platform
