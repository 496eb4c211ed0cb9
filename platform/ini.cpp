// INI profile parsing and in-place writing.
#include "platform/ini.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <limits>
#include <vector>

namespace platform {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The section name of a "[name]" line, or nothing.
std::optional<std::string_view> sectionName(std::string_view line) {
  line = trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(line.substr(1, close - 1));
}

bool isComment(std::string_view line) {
  line = trim(line);
  return !line.empty() && line.front() == ';';
}

// Splits "key = value"; false for lines that hold no key.
bool splitKey(std::string_view line, std::string_view& key, std::string_view& value) {
  if (isComment(line)) return false;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = trim(line.substr(0, eq));
  value = line.substr(eq + 1);
  return true;
}

std::string cleanValue(std::string_view raw) {
  std::string_view value = trim(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  if (value.size() > kMaxProfileValue) value = value.substr(0, kMaxProfileValue);
  return std::string(value);
}

}  // namespace

IniProfile::IniProfile(std::string_view text) {
  if (text.find("\r\n") != std::string_view::npos) m_lineEnd = "\r\n";
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    m_lines.emplace_back(line);
    start = end + 1;
  }
}

IniProfile IniProfile::load(const std::string& path) {
  IniProfile profile;
  IoError err;
  load(path, profile, err);
  return profile;
}

bool IniProfile::load(const std::string& path, IniProfile& out, IoError& err) {
  out = IniProfile();
  File file = File::open(path, File::Mode::Read, err);
  if (!file.isOpen()) return err.code == ENOENT;
  std::string text;
  char buffer[8192];
  for (;;) {
    const std::int64_t got = file.read(buffer, sizeof buffer, err);
    if (got < 0) return false;
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  out = IniProfile(text);
  return true;
}

std::optional<std::string> IniProfile::find(std::string_view section, std::string_view key) const {
  // The names asked for are trimmed like the names in the file.
  section = trim(section);
  key = trim(key);
  bool inSection = false;
  bool sectionSeen = false;
  for (const std::string& line : m_lines) {
    if (const auto name = sectionName(line)) {
      if (sectionSeen && inSection) return std::nullopt;  // only the first such section counts
      inSection = equalsNoCase(*name, section);
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    std::string_view k, v;
    if (inSection && splitKey(line, k, v) && equalsNoCase(k, key)) return cleanValue(v);
  }
  return std::nullopt;
}

std::string IniProfile::readString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const {
  if (auto value = find(section, key)) return *value;
  return std::string(defaultValue);
}

bool IniProfile::readBool(std::string_view section, std::string_view key, bool defaultValue) const {
  const auto value = find(section, key);
  if (!value) return defaultValue;
  const auto number = parseProfileInteger(*value);
  return number ? *number != 0 : defaultValue;
}

void IniProfile::write(std::string_view section, std::string_view key, std::string_view value) {
  const std::string newLine = std::string(key) + "=" + std::string(value);
  std::size_t sectionStart = m_lines.size();
  for (std::size_t i = 0; i < m_lines.size(); ++i) {
    const auto name = sectionName(m_lines[i]);
    if (name && equalsNoCase(*name, section)) {
      sectionStart = i;
      break;
    }
  }
  if (sectionStart == m_lines.size()) {
    if (!m_lines.empty() && !trim(m_lines.back()).empty()) m_lines.emplace_back();
    m_lines.push_back("[" + std::string(section) + "]");
    m_lines.push_back(newLine);
    return;
  }
  std::size_t lastContent = sectionStart;
  for (std::size_t i = sectionStart + 1; i < m_lines.size(); ++i) {
    if (sectionName(m_lines[i])) break;
    std::string_view k, v;
    if (splitKey(m_lines[i], k, v) && equalsNoCase(k, key)) {
      m_lines[i] = newLine;
      return;
    }
    if (!trim(m_lines[i]).empty()) lastContent = i;
  }
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(lastContent + 1), newLine);
}

std::string IniProfile::text() const {
  std::string out;
  for (const std::string& line : m_lines) out += line + m_lineEnd;
  return out;
}

std::optional<std::int32_t> parseProfileInteger(std::string_view text) {
  int base = 10;
  bool negative = false;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    value = value * base + digit;
    // Hex reads the 32-bit pattern; decimal must fit a signed 32-bit integer.
    if (value > (base == 16 ? 0xFFFFFFFFLL : 0x80000000LL)) return std::nullopt;
  }
  if (base == 16) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, IoError& err) {
  // A file that exists but cannot be read is left alone rather than replaced by one
  // that would lack its other sections.
  IniProfile profile;
  if (!IniProfile::load(path, profile, err)) return false;
  profile.write(section, key, value);
  // The file a link points at is the one to change; the link stays.
  return replaceFileContents(resolveLinks(path), profile.text(), err);
}

}  // namespace platform
