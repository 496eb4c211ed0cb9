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

std::int64_t partNumberOf(const std::string& name, const std::string& templateName) {
  const std::string stem = platform::replaceExtension(templateName, "");
  if (name.size() <= stem.size() + 1 || name.compare(0, stem.size(), stem) != 0 ||
      name[stem.size()] != '.') {
    return 0;
  }
  // Exactly the digits partFileName writes (platform::partSuffix): at least three, with
  // leading zeros only to make up three.
  const std::string_view digits = std::string_view(name).substr(stem.size() + 1);
  if (digits.size() < 3 || digits.size() > 10 || (digits.size() > 3 && digits[0] == '0')) return 0;
  std::int64_t k = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    k = k * 10 + (c - '0');
  }
  return k;  // 0 for "000", which names no part
}

std::vector<std::int64_t> partNumbersIn(const std::string& folder, const std::string& templateName,
                                        bool archives) {
  std::vector<std::int64_t> numbers;
  for (std::string name : platform::entryNames(folder)) {
    if (archives && name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0) {
      name.resize(name.size() - 4);
    }
    if (const std::int64_t k = partNumberOf(name, templateName)) numbers.push_back(k);
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

}  // namespace engine
