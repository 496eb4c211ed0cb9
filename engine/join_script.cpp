// The join script: "Copy /b", "Rename" and the optional "Del" line, CR LF ended.
#include "engine/join_script.h"

namespace engine {

void JoinScript::clear() {
  m_copyList.clear();
  m_delList.clear();
}

void JoinScript::addPart(const std::string& partName, bool last) {
  const std::string quoted = "\"" + partName + "\"";
  m_copyList += quoted;
  m_delList += quoted;
  if (!last) {
    m_copyList += '+';
    m_delList += ' ';
  }
}

std::vector<std::string> JoinScript::lines(const std::string& batName, const std::string& baseName,
                                           bool deleteLine) const {
  std::vector<std::string> result;
  result.push_back("Copy /b " + m_copyList + " \"" + batName + "\"");
  result.push_back("Rename \"" + batName + "\" \"" + baseName + "\"");
  if (deleteLine) result.push_back("Del " + m_delList + " \"" + batName + ".bat\"");
  return result;
}

std::string JoinScript::text(const std::string& batName, const std::string& baseName,
                             bool deleteLine) const {
  std::string out;
  for (const std::string& line : lines(batName, baseName, deleteLine)) out += line + "\r\n";
  return out;
}

}  // namespace engine
