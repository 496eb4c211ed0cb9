// The join script: "Copy /b", "Rename" and the optional "Del" line, CR LF ended.
#include "engine/join_script.h"

#include "platform/file.h"

namespace engine {

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

void JoinScript::clear() {
  m_copyList.clear();
  m_delList.clear();
  m_size = 0;
}

namespace {

// The command interpreter expands %...% even inside quotes; a name's own % is written %%.
std::string batText(const std::string& name) {
  std::string out;
  for (char c : name) out += c == '%' ? std::string("%%") : std::string(1, c);
  return out;
}

}  // namespace

void JoinScript::addPart(const std::string& partName, bool last, std::int64_t size) {
  m_size += size;
  const std::string quoted = "\"" + batText(partName) + "\"";
  m_copyList += quoted;
  m_delList += quoted;
  if (!last) {
    m_copyList += '+';
    m_delList += ' ';
  }
}

std::vector<std::string> JoinScript::lines(const std::string& batNameAsGiven,
                                           const std::string& baseNameAsGiven,
                                           bool deleteLine) const {
  const std::string batName = batText(batNameAsGiven);
  const std::string baseName = batText(baseNameAsGiven);
  std::vector<std::string> result;
  result.push_back("Copy /b " + m_copyList + " \"" + batName + "\"");
  result.push_back("Rename \"" + batName + "\" \"" + baseName + "\"");
  // The error level alone is not enough: some interpreters skip a missing source without
  // raising it, and a Rename of what a failed copy left may succeed and clear it. The
  // size is compared as text, which holds sizes past 2 GiB.
  if (deleteLine) {
    result.push_back("if not errorlevel 1 for %%F in (\"" + baseName + "\") do if \"%%~zF\"==\"" +
                     std::to_string(m_size) + "\" Del " + m_delList + " \"" + batName + ".bat\"");
  }
  return result;
}

std::string scriptTarget(const std::string& path, const std::string& firstPart) {
  std::string text, problem;
  platform::FileIdentity id;
  if (!platform::identifyEntry(path, id) || id.size > 1024 * 1024 ||
      !readTextFile(path, text, problem) ||
      text.find("Copy /b \"" + batText(firstPart) + "\"") != 0) {
    return {};
  }
  const std::size_t rename = text.find("\r\nRename \"");
  const std::size_t from = rename == std::string::npos ? rename : text.find("\" \"", rename + 10);
  const std::size_t to = from == std::string::npos ? from : text.find('"', from + 3);
  if (to == std::string::npos) return {};
  std::string target = text.substr(from + 3, to - from - 3);
  for (std::size_t at = 0; (at = target.find("%%", at)) != std::string::npos; ++at) {
    target.erase(at, 1);
  }
  return target;
}

std::string JoinScript::text(const std::string& batName, const std::string& baseName,
                             bool deleteLine) const {
  std::string out;
  for (const std::string& line : lines(batName, baseName, deleteLine)) out += line + "\r\n";
  return out;
}

namespace {


// A here-document for `$sum -c -`; the checking tools read the lines a checksum file has.
std::string checkBlock(const std::string& lines, const std::string& failure) {
  return "$sum -c - <<'END_OF_SUMS' || { echo " + shellQuoted(failure) + " >&2; exit 1; }\n" +
         lines + "END_OF_SUMS\n";
}

// The parts one `cat` at a time, in the shell's own loop: a list of thousands of names
// is no program's argument list, which the system bounds.
std::string catParts(const std::vector<std::string>& partNames, const std::string& out) {
  std::string text = "for part in";
  for (const std::string& name : partNames) text += " " + shellQuoted(name);
  return text + "; do\n  cat -- \"$part\" || { rm -f " + out + "; exit 1; }\ndone > " + out +
         " || { rm -f " + out + "; exit 1; }\n";
}

}  // namespace

std::string shScriptText(const std::vector<std::string>& partNames, const std::string& baseName,
                         const ChecksumList* digests) {
  const std::string out = shellQuoted(baseName);
  // No name goes into a comment: a line break in it would end the comment.
  std::string text = std::string(kShScriptStart) + " together and checks every byte.\n" +
                     "cd \"$(dirname \"$0\")\" || exit 1\n" + "if [ -e " + out + " ] || [ -L " +
                     out + " ]; then\n" + "  echo " +
                     shellQuoted(baseName + " is there already: move it away first.") +
                     " >&2\n  exit 1\nfi\n";
  if (digests != nullptr) {
    text +=
        "if command -v sha256sum >/dev/null 2>&1; then sum=sha256sum\n"
        "elif command -v shasum >/dev/null 2>&1; then sum='shasum -a 256'\n"
        "else echo 'Neither sha256sum nor shasum is here to check the parts: nothing was "
        "joined.' >&2; exit 1\n"
        "fi\n";
    ChecksumList parts = *digests;
    parts.parts.clearArchives();
    std::string partLines, wholeLine;
    const std::string all = checksumFileText(parts);
    std::size_t at = 0;
    while (at < all.size()) {
      const std::size_t end = all.find('\n', at);
      const std::string line = all.substr(at, end - at + 1);
      at = end + 1;
      if (line[0] == '#') continue;
      (at >= all.size() ? wholeLine : partLines) += line;  // the whole file's line comes last
    }
    text += checkBlock(partLines, "A part is damaged or missing: nothing was joined.");
    text += catParts(partNames, out);
    text += checkBlock(wholeLine, "The joined file " + baseName + " is not the original.");
  } else {
    text += catParts(partNames, out);
  }
  text += "echo " + shellQuoted("Joined " + baseName + ".") + "\n";
  return text;
}

}  // namespace engine
