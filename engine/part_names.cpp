// Part file names.
#include "engine/part_names.h"

#include <algorithm>
#include <string_view>

#include "platform/dir_search.h"
#include "platform/path.h"

namespace engine {

std::string partFileName(const std::string& templateName, std::int64_t number) {
  return platform::replaceExtension(templateName, platform::partSuffix(number));
}

std::string partTemplate(const std::string& baseName) {
  return baseName + ".000";
}

// k when `name` is `stem` + "." + the digits of k as partFileName writes them
// (platform::partSuffix): at least three, with leading zeros only to make up three.
std::int64_t partNumberAfterStem(std::string_view name, std::string_view stem) {
  if (name.size() <= stem.size() + 1 || name.substr(0, stem.size()) != stem ||
      name[stem.size()] != '.') {
    return 0;
  }
  const std::string_view digits = name.substr(stem.size() + 1);
  if (digits.size() < 3 || digits.size() > 10 || (digits.size() > 3 && digits[0] == '0')) return 0;
  std::int64_t k = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    k = k * 10 + (c - '0');
  }
  return k;  // 0 for "000", which names no part
}

std::int64_t partNumberOf(const std::string& name, const std::string& templateName) {
  return partNumberAfterStem(name, platform::replaceExtension(templateName, ""));
}

std::vector<std::int64_t> partNumbersIn(const std::string& folder, const std::string& templateName,
                                        bool archives, std::int64_t after, bool* read) {
  const std::string stem = platform::replaceExtension(templateName, "");
  std::vector<std::int64_t> numbers;
  // The folder's names are looked at as they are read, not held: it may list 700,000 parts.
  const bool whole = platform::forEachEntryName(folder, [&](const std::string& entry) {
    std::string_view name = entry;
    if (archives && name.size() > 4 && name.substr(name.size() - 4) == ".zip") {
      name.remove_suffix(4);
    }
    if (const std::int64_t k = partNumberAfterStem(name, stem); k > after) numbers.push_back(k);
  });
  if (read != nullptr) *read = whole;
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

}  // namespace engine
