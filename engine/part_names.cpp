// Part file names.
#include "engine/part_names.h"

#include <algorithm>

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
  const std::string digits = name.substr(stem.size() + 1);
  if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  const std::int64_t k = std::stoll(digits);
  return k >= 1 && partFileName(templateName, k) == name ? k : 0;
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
