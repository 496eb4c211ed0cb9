// Checks of a split's names before the first part is written.
#include "engine/planned_names.h"

#include "engine/checksum_file.h"
#include "engine/part_names.h"
#include "platform/file.h"
#include "platform/path.h"

namespace engine {

std::string scriptNameProblem(const std::string& name) {
  if (platform::isPlainName(name)) return {};
  return "The join script's name \"" + name +
         "\" is not a plain file name (one that is not empty, \".\" or \"..\" and holds no "
         "\"/\", \"\\\" or \":\"): the script and its parts go into the output folder and "
         "nowhere else.";
}

std::string scriptProblem(const PlannedNames& plan, const std::string& inputPath) {
  const std::string& target = plan.scriptName;
  if (target.empty()) return {};
  const bool archive = target.size() > 4 && target.compare(target.size() - 4, 4, ".zip") == 0;
  const std::string stem = archive ? target.substr(0, target.size() - 4) : target;
  const std::string what =
      partNumberOf(stem, plan.partTemplate) > 0 ? (archive ? "a part's archive" : "a part")
      : target == seriesChecksumFile(partFileName(plan.partTemplate, 1)) ? "the checksum file"
      : platform::sameFile(plan.folder + target, inputPath) ||
              target == platform::namePart(inputPath)
          ? "the name of the file being split"
          : "";
  if (!what.empty()) {
    return "The join script would write the joined file as " + target +
           " before renaming it, and that is " + what + ": choose another script name.";
  }
  // "Copy /b" with every part quoted and joined by "+", and the delete line after it.
  std::int64_t line = 64 + 2 * static_cast<std::int64_t>(target.size());
  constexpr std::int64_t kLongestLine = 8191;
  for (std::int64_t k = 1; k <= plan.partCount && line <= kLongestLine; ++k) {
    line += static_cast<std::int64_t>(partFileName(plan.partTemplate, k).size()) + 3;
  }
  if (line <= kLongestLine) return {};
  return "The join script's Copy line would be longer than the " + std::to_string(kLongestLine) +
         " characters the command interpreter reads: choose fewer parts or a shorter name.";
}

std::string nameLengthProblem(const PlannedNames& plan) {
  // The last part has the longest number; the script's .bat is longer than its .sh.
  const std::string lastPart = partFileName(plan.partTemplate, plan.partCount);
  std::vector<std::string> names{lastPart};
  if (plan.archives) names.push_back(lastPart + ".zip");
  if (plan.checksumFile) names.push_back(seriesChecksumFile(lastPart));
  if (!plan.scriptName.empty()) names.push_back(plan.scriptName + ".bat");
  std::string why;
  for (const std::string& name : names) {
    if (!platform::nameFits(plan.folder, name, why)) return why;
  }
  return {};
}

std::vector<std::string> partsBeyond(const PlannedNames& plan) {
  std::vector<std::string> names;
  for (const std::int64_t k : partNumbersIn(plan.folder, plan.partTemplate, true, plan.partCount)) {
    const std::string part = partFileName(plan.partTemplate, k);
    names.push_back(platform::pathExists(plan.folder + part) ? part : part + ".zip");
  }
  return names;
}

std::string someNames(const std::vector<std::string>& names, std::size_t shown) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < shown; ++i) {
    text += (i == 0 ? "" : ", ") + names[i];
  }
  if (names.size() > shown) text += " and " + std::to_string(names.size() - shown) + " more";
  return text;
}

}  // namespace engine
