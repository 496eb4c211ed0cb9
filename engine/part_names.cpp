// Part file names.
#include "engine/part_names.h"

#include "platform/path.h"

namespace engine {

std::string partFileName(const std::string& templateName, std::int64_t number) {
  return platform::replaceExtension(templateName, platform::partSuffix(number));
}

std::string partTemplate(const std::string& baseName) {
  return baseName + ".000";
}

}  // namespace engine
