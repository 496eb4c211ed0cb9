// Writing and reading checksum files.
#include "engine/checksum_file.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string_view>
#include <unordered_map>

#include "engine/checksum.h"
#include "engine/part_names.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "platform/path.h"

namespace engine {
namespace {

constexpr const char* kMarker = kChecksumMarker;

// Names with a backslash or a line break are written escaped, and the line then starts
// with a backslash, as the checking tools expect.
bool needsEscape(const std::string& name) {
  return name.find_first_of("\\\n\r") != std::string::npos;
}

}  // namespace

std::string escapedName(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

bool unescapeName(std::string_view text, std::string& name) {
  name.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      name += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\':
        name += '\\';
        break;
      case 'n':
        name += '\n';
        break;
      case 'r':
        name += '\r';
        break;
      default:
        return false;
    }
  }
  return true;
}

namespace {

std::string hashLine(const std::string& sha, const std::string& name) {
  return (needsEscape(name) ? "\\" : "") + sha + "  " + escapedName(name) + "\n";
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Each byte's value as a lowercase hexadecimal digit, kNotHex where it is none. A list of
// a million parts holds 64 million digits, and a table takes them without a branch each.
constexpr std::uint16_t kNotHex = 0x100;
constexpr std::array<std::uint16_t, 256> kHexValue = [] {
  std::array<std::uint16_t, 256> table{};
  for (std::size_t c = 0; c < table.size(); ++c) {
    table[c] = c >= '0' && c <= '9' ? static_cast<std::uint16_t>(c - '0')
               : c >= 'a' && c <= 'f' ? static_cast<std::uint16_t>(c - 'a' + 10)
                                      : kNotHex;
  }
  return table;
}();

// The 32 bytes that 64 lowercase hexadecimal digits spell; false when `s` is not that.
bool parseHex64(std::string_view s, std::array<std::uint8_t, 32>& out) {
  if (s.size() != 64) return false;
  std::uint16_t seen = 0;
  for (std::size_t k = 0; k < 32; ++k) {
    const std::uint16_t high = kHexValue[static_cast<unsigned char>(s[2 * k])];
    const std::uint16_t low = kHexValue[static_cast<unsigned char>(s[2 * k + 1])];
    seen |= high | low;
    out[k] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return (seen & kNotHex) == 0;
}

bool isHex64(std::string_view s) {
  std::array<std::uint8_t, 32> ignored;
  return parseHex64(s, ignored);
}

bool parseNumber(std::string_view s, std::int64_t& value) {
  if (s.empty() || s.size() > 18 || !std::all_of(s.begin(), s.end(), isDigit)) return false;
  value = 0;
  for (const char c : s) value = value * 10 + (c - '0');
  return true;
}

// "<hex>  name", "<hex> *name", or the escaped form starting with a backslash.
bool parseHashLine(std::string_view line, std::string_view& sha, std::string& name) {
  const bool escapedLine = !line.empty() && line[0] == '\\';
  const std::string_view rest = escapedLine ? line.substr(1) : line;
  if (rest.size() < 67 || rest[64] != ' ' || (rest[65] != ' ' && rest[65] != '*')) return false;
  sha = rest.substr(0, 64);
  if (!isHex64(sha)) return false;
  if (!escapedLine) {
    name = rest.substr(66);
    return true;
  }
  return unescapeName(rest.substr(66), name);
}

// The blanks that separate the words of a size line (those of the C locale).
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The next word of `rest` after any blanks, taken off its front; "" at the end.
std::string_view nextWord(std::string_view& rest) {
  std::size_t start = 0;
  while (start < rest.size() && isBlank(rest[start])) ++start;
  std::size_t end = start;
  while (end < rest.size() && !isBlank(rest[end])) ++end;
  const std::string_view word = rest.substr(start, end - start);
  rest.remove_prefix(end);
  return word;
}

// "# part K SIZE NAME" or "# whole SIZE NAME"; the name always escaped, after exactly one
// blank.
bool parseSizeLine(std::string_view line, ChecksumList& list) {
  std::string_view rest = line.substr(2);
  const std::string_view kind = nextWord(rest);
  std::int64_t number = 0, size = 0;
  if (kind == "part") {
    const std::string_view first = nextWord(rest);
    if (!parseNumber(first, number) || !parseNumber(nextWord(rest), size)) return false;
  } else if (kind == "whole") {
    if (!parseNumber(nextWord(rest), size)) return false;
  } else {
    return true;  // a comment for people
  }
  if (rest.size() < 2 || rest[0] != ' ') return false;
  std::string name;
  if (!unescapeName(rest.substr(1), name)) return false;
  if (kind == "whole") {
    list.wholeName = std::move(name);
    list.wholeSize = size;
  } else {
    list.parts.push_back({number, size, std::move(name), "", "", ""});
  }
  return true;
}

}  // namespace

const ChecksumList::Part ChecksumList::Parts::operator[](std::size_t i) const {
  Part part;
  part.number = static_cast<std::int64_t>(i + 1);
  part.size = sizeOf(i);
  part.name = nameOf(i);
  part.sha256 = sha256Of(i);
  if (const auto archive = m_archives.find(i); archive != m_archives.end()) {
    part.archiveName = archive->second.name;
    part.archiveSha256 = archive->second.sha256;
  }
  return part;
}

void ChecksumList::Parts::reserve(std::size_t count) {
  m_reserved = std::max(m_reserved, count);
  if (!m_sizes.empty()) m_sizes.reserve(count);
}

void ChecksumList::Parts::push_back(const Part& part) {
  const std::size_t i = m_count;
  if (part.number != static_cast<std::int64_t>(i + 1)) m_numbered = false;
  if (i == 0) {
    m_first = part.name;
    m_stem = platform::replaceExtension(m_first, "");
    m_firstSize = part.size;
  } else if (!isNamed(i, part.name)) {
    m_names.emplace(i, part.name);
  }
  // The sizes are held one by one only once a part that is not the last differs.
  if (m_sizes.empty() && i >= 2 && m_lastSize != m_firstSize) {
    m_sizes.reserve(std::max(m_reserved, i + 1));
    m_sizes.assign(i - 1, m_firstSize);
    m_sizes.push_back(m_lastSize);
  }
  if (!m_sizes.empty()) m_sizes.push_back(part.size);
  m_lastSize = part.size;
  ++m_count;
  if (!part.sha256.empty()) setSha256(i, part.sha256);
  if (!part.archiveName.empty()) setArchive(i, part.archiveName, part.archiveSha256);
}

std::int64_t ChecksumList::Parts::sizeOf(std::size_t i) const {
  if (!m_sizes.empty()) return m_sizes[i];
  return i + 1 == m_count ? m_lastSize : m_firstSize;
}

std::string ChecksumList::Parts::nameOf(std::size_t i) const {
  if (i == 0) return m_first;
  if (!m_names.empty()) {
    if (const auto found = m_names.find(i); found != m_names.end()) return found->second;
  }
  return m_stem + platform::partSuffix(static_cast<std::int64_t>(i + 1));  // partFileName's
}

bool ChecksumList::Parts::isNamed(std::size_t i, std::string_view name) const {
  if (i == 0) return name == m_first;
  if (!m_names.empty()) {
    if (const auto found = m_names.find(i); found != m_names.end()) return name == found->second;
  }
  // The parse of the name undoes partSuffix: the same test as comparing with nameOf(i).
  return partNumberAfterStem(name, m_stem) == static_cast<std::int64_t>(i + 1);
}

std::string ChecksumList::Parts::sha256Of(std::size_t i) const {
  return hasSha256(i) ? hexOf(m_digests[i]) : std::string();
}

bool ChecksumList::Parts::setSha256(std::size_t i, std::string_view hex) {
  std::array<std::uint8_t, 32> digest;
  if (i >= m_count || !parseHex64(hex, digest)) return false;
  if (m_digests.size() < m_count) {
    // Room for every part there is, made at once: a list read has all its parts before
    // their digests. (Not for the count the list claims, which may be false.)
    if (m_digests.capacity() < m_count) {
      const std::size_t room = std::max(m_count, 2 * m_digests.capacity());
      m_digests.reserve(room);
      m_hasDigest.reserve(room);
    }
    m_digests.resize(m_count);
    m_hasDigest.resize(m_count);
  }
  m_digests[i] = digest;
  m_hasDigest[i] = true;
  return true;
}

void ChecksumList::Parts::setArchive(std::size_t i, const std::string& name,
                                     const std::string& sha256) {
  m_archives[i] = {name, sha256};
}

std::string seriesChecksumFile(const std::string& partPath) {
  return platform::replaceExtension(partPath, kChecksumExtension);
}

void checksumFileLines(const ChecksumList& list, const std::function<void(std::string_view)>& put,
                       const std::function<std::string(std::size_t)>& partSha) {
  const std::string self =
      escapedName(list.parts.empty() ? list.wholeName + kChecksumExtension
                                     : seriesChecksumFile(list.parts.front().name));
  put(std::string(kMarker) + ": " + escapedName(list.wholeName) + " in " +
      std::to_string(list.parts.size()) + " parts (SHA-256)\n");
  put("# Check the parts:      sha256sum -c --ignore-missing " + self + "\n");
  put("# and after joining:    sha256sum -c --ignore-missing " + self + "\n");
  for (const ChecksumList::Part& part : list.parts) {
    put("# part " + std::to_string(part.number) + " " + std::to_string(part.size) + " " +
        escapedName(part.name) + "\n");
  }
  put("# whole " + std::to_string(list.wholeSize) + " " + escapedName(list.wholeName) + "\n");
  for (std::size_t i = 0; i < list.parts.size(); ++i) {
    const ChecksumList::Part& part = list.parts[i];
    if (!part.archiveName.empty()) put(hashLine(part.archiveSha256, part.archiveName));
    put(hashLine(partSha ? partSha(i) : part.sha256, part.name));
  }
  put(hashLine(list.wholeSha256, list.wholeName));
}

std::string checksumFileText(const ChecksumList& list) {
  std::string text;
  checksumFileLines(list, [&text](std::string_view line) { text += line; });
  return text;
}

std::int64_t checksumFileSizeBound(std::int64_t count, const ChecksumList::Part& last,
                                   const std::string& wholeName, std::int64_t wholeSize) {
  ChecksumList list;
  list.wholeName = wholeName;
  list.wholeSize = wholeSize;
  list.wholeSha256.assign(64, '0');
  const auto size = [&list] {
    std::int64_t n = 0;
    checksumFileLines(list, [&n](std::string_view line) { n += static_cast<std::int64_t>(line.size()); });
    return n;
  };
  const std::int64_t none = size();
  ChecksumList::Part digested = last;
  digested.sha256.assign(64, '0');
  if (!last.archiveName.empty()) digested.archiveSha256.assign(64, '0');
  list.parts.push_back(digested);
  // The first line counts the parts: as long as the count itself at most.
  return none + static_cast<std::int64_t>(std::to_string(count).size()) + count * (size() - none);
}

namespace {

// Reads a checksum file a line at a time, so that only the list itself is held, never its
// text: a digest goes straight to the part it names, found by its number.
class ListReader {
 public:
  // `bytes`: the size of the text, which bounds how many parts it can list.
  ListReader(ChecksumList& list, std::int64_t bytes) : m_list(list), m_bytes(bytes) {
    m_list = ChecksumList{};
  }

  bool line(std::string_view line, std::string& problem) {
    if (m_first) {
      m_first = false;
      if (line.substr(0, std::string_view(kMarker).size()) != kMarker) {
        problem = "it was not written by this program";
        return false;
      }
      reserveParts(line);
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // a copy with CR LF ends
    if (line.empty()) return true;
    std::string_view sha;
    std::string name;
    const bool fine = line[0] == '#' ? line.size() <= 2 || parseSizeLine(line, m_list)
                                     : parseHashLine(line, sha, name);
    if (!fine) {
      problem = "a line is damaged: " + std::string(line);
      return false;
    }
    // Parts are held by number and by the series' name: checked as they come, so that
    // a list of other names cannot take memory for them.
    if (!m_list.parts.numbered()) {
      problem = "the list of parts is damaged";
      return false;
    }
    if (!m_list.parts.inSeries()) {
      problem = "the part name " + m_list.parts.nameOf(m_list.parts.size() - 1) +
                " is not a part of the series it lists";
      return false;
    }
    if (sha.empty()) return true;
    bool found = false;
    if (!give(name, sha, found, problem)) return false;
    if (found) return true;
    // Named before its part or the whole, or naming neither: kept until the end, but
    // only so many.
    const auto [at, fresh] = m_other.emplace(std::move(name), sha);
    if (m_other.size() > kMaxOtherNames) {
      problem = "more than " + std::to_string(kMaxOtherNames) +
                " of its lines name files it does not list";
      return false;
    }
    return fresh || sameTwice(at->first, at->second, sha, problem);
  }

  bool finish(std::string& problem) {
    if (m_first) {
      problem = "it was not written by this program";
      return false;
    }
    const ChecksumList::Parts& parts = m_list.parts;
    for (const auto& [name, sha] : m_other) {
      bool found = false;
      if (!give(name, sha, found, problem)) return false;
    }
    // Every part has its digest, and the sizes add up as a file's can: a join sums them.
    std::int64_t total = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const std::int64_t size = parts.sizeOf(i);
      if (!parts.hasSha256(i) || size > std::numeric_limits<std::int64_t>::max() - total) {
        problem = "the list of parts is damaged";
        return false;
      }
      total += size;
    }
    return true;
  }

 private:
  // A name listed twice must say the same twice: the checking tools check every line.
  static bool sameTwice(const std::string& name, std::string_view was, std::string_view sha,
                        std::string& problem) {
    if (was == sha) return true;
    problem = name + " is listed twice with different checksums";
    return false;
  }

  // The first line says how many parts follow ("... in N parts (SHA-256)"): room is made
  // for them at once should their sizes be held one by one, since doubling a long list
  // would hold it twice for a moment. Every part takes two lines of at least 80 bytes, so
  // a false count makes room for no more than the text can list.
  void reserveParts(std::string_view first) {
    const std::size_t end = first.rfind(" parts (SHA-256)");
    const std::size_t start = end == std::string_view::npos ? end : first.rfind(' ', end - 1);
    std::int64_t count = 0;
    if (start == std::string_view::npos || !parseNumber(first.substr(start + 1, end - start - 1), count)) {
      return;
    }
    m_list.parts.reserve(static_cast<std::size_t>(std::min(count, m_bytes / 80)));
  }

  // The index of the part listed as `name`, by the number its name ends in; npos when
  // there is none yet.
  std::size_t partNamed(std::string_view name) const {
    constexpr std::size_t none = std::string_view::npos;
    const std::size_t dot = name.rfind('.');
    std::int64_t number = 0;
    if (dot == std::string_view::npos || !parseNumber(name.substr(dot + 1), number) ||
        number < 1 || number > static_cast<std::int64_t>(m_list.parts.size())) {
      return none;
    }
    const auto i = static_cast<std::size_t>(number - 1);
    return m_list.parts.isNamed(i, name) ? i : none;
  }

  static bool put(std::string& into, const std::string& name, std::string_view sha,
                  std::string& problem) {
    if (into.empty()) {
      into = sha;
      return true;
    }
    return sameTwice(name, into, sha, problem);
  }

  // Gives `sha` to the whole file, the part and the part's archive named `name`, with
  // `found` set when it names any; false with `problem` set when it says another digest
  // than before.
  bool give(const std::string& name, std::string_view sha, bool& found, std::string& problem) {
    if (!m_list.wholeName.empty() && name == m_list.wholeName) {
      found = true;
      if (!put(m_list.wholeSha256, name, sha, problem)) return false;
    }
    ChecksumList::Parts& parts = m_list.parts;
    if (const std::size_t i = partNamed(name); i != std::string_view::npos) {
      found = true;
      if (parts.hasSha256(i) ? !sameTwice(name, parts.sha256Of(i), sha, problem)
                             : !parts.setSha256(i, sha)) {
        return false;
      }
    }
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0) {
      const std::size_t i = partNamed(std::string_view(name).substr(0, name.size() - 4));
      if (i != std::string_view::npos) {
        found = true;
        std::string archiveSha = parts[i].archiveSha256;
        if (!put(archiveSha, name, sha, problem)) return false;
        parts.setArchive(i, name, archiveSha);
      }
    }
    return true;
  }

  ChecksumList& m_list;
  std::int64_t m_bytes;
  bool m_first = true;
  static constexpr std::size_t kMaxOtherNames = 100'000;
  std::unordered_map<std::string, std::string> m_other;  // name -> digest, not yet given
};

// The names a list gives, checked once it is read whole.
bool namesArePlain(const ChecksumList& list, std::string& problem) {
  // Names are files beside the checksum file, nothing else: the parts of one series, in
  // number order, and a plain name for the whole file.
  const auto plainName = [](const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
      // A NUL ends the name where the file system reads it: another file would be opened.
      if (platform::isPathSeparator(c) || c == '\0') return false;
    }
    return true;
  };
  const std::string first = list.parts.empty() ? std::string() : list.parts.nameOf(0);
  // In a series every name after the first is made of it: the first one says for all.
  const std::size_t looked = list.parts.inSeries() ? std::min<std::size_t>(list.parts.size(), 1)
                                                   : list.parts.size();
  for (std::size_t i = 0; i < looked; ++i) {
    const std::string name = list.parts.nameOf(i);
    if (!plainName(name) || partNumberOf(name, first) != static_cast<std::int64_t>(i + 1)) {
      problem = "the part name " + name + " is not a part of the series it lists";
      return false;
    }
  }
  if (!plainName(list.wholeName)) {
    problem = "the name " + list.wholeName + " is not a plain file name";
    return false;
  }
  if (list.parts.empty() || list.wholeSha256.empty()) {
    problem = "it lists no parts or no whole file";
    return false;
  }
  return true;
}

}  // namespace

bool parseChecksumFile(const std::string& text, ChecksumList& list, std::string& problem) {
  ListReader reader(list, static_cast<std::int64_t>(text.size()));
  for (std::size_t next = 0; next < text.size();) {
    const std::size_t end = std::min(text.find('\n', next), text.size());
    if (!reader.line(std::string_view(text.data() + next, end - next), problem)) return false;
    next = end + 1;
  }
  return reader.finish(problem) && namesArePlain(list, problem);
}

namespace {

// The file at `path` opened to read, with its size; false with `problem` set when it
// cannot be, or is larger than `limit`.
bool openToRead(const std::string& path, std::int64_t limit, platform::File& file,
                std::int64_t& size, std::string& problem) {
  platform::IoError err;
  file = platform::File::open(path, platform::File::Mode::Read, err);
  size = file.isOpen() ? file.size(err) : -1;
  if (size < 0) {
    problem = err.message();
    return false;
  }
  if (size > limit) {
    problem = path + " is too large for a checksum file";
    return false;
  }
  return true;
}

}  // namespace

bool loadChecksumFile(const std::string& path, ChecksumList& list, std::string& problem) {
  platform::IoError err;
  platform::File file;
  std::int64_t left = 0;
  if (!openToRead(path, kMaxChecksumFileSize, file, left, problem)) return false;
  ListReader reader(list, left);
  std::string buffer;  // the lines not yet read whole, and the next block
  constexpr std::size_t kBlock = 64 * 1024;
  while (left > 0) {
    const std::size_t kept = buffer.size();
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, kBlock));
    buffer.resize(kept + want);
    const std::int64_t got = file.read(buffer.data() + kept, static_cast<std::int64_t>(want), err);
    if (got < 0) {
      problem = err.message();
      return false;
    }
    buffer.resize(kept + static_cast<std::size_t>(got));
    left = got == 0 ? 0 : left - got;  // a file that shrank ends where it ends
    std::size_t next = 0;
    for (std::size_t end = 0; next < buffer.size(); next = end + 1) {
      end = std::min(buffer.find('\n', next), buffer.size());
      if (end - next > kMaxChecksumLineLength) {
        problem = "a line of " + path + " is longer than " +
                  std::to_string(kMaxChecksumLineLength) + " bytes";
        return false;
      }
      if (end == buffer.size()) break;  // the rest of it comes with the next block
      if (!reader.line(std::string_view(buffer.data() + next, end - next), problem)) return false;
    }
    buffer.erase(0, next);
  }
  if (!buffer.empty() && !reader.line(buffer, problem)) return false;
  return reader.finish(problem) && namesArePlain(list, problem);
}

bool loadCrcFile(const std::string& path, CrcFile& crc, std::string& problem) {
  std::string text;
  return readTextFile(path, text, problem) && parseCrcFile(text, crc, problem);
}

bool readTextFile(const std::string& path, std::string& text, std::string& problem) {
  platform::IoError err;
  platform::File file;
  std::int64_t size = 0;
  if (!openToRead(path, kMaxTextFileSize, file, size, problem)) return false;
  text.assign(static_cast<std::size_t>(size), '\0');
  if (!file.readExact(text.data(), size, err)) {
    problem = err.message();
    return false;
  }
  return true;
}

bool listsSeriesOf(const ChecksumList& list, const std::string& partName, std::string& problem) {
  if (!list.parts.empty() && partNumberOf(list.parts.front().name, partName) == 1) return true;
  problem = "it lists the parts of " + (list.parts.empty() ? "no series" : list.parts.front().name) +
            ", not " + partFileName(partName, 1);
  return false;
}

std::string findChecksumFile(const std::string& firstPartPath, std::string& problem) {
  problem.clear();
  const std::string folder = platform::folderPart(firstPartPath);
  const std::string name = platform::namePart(firstPartPath);
  // The file named after the series is meant for it, so it is used even when it cannot be
  // read: a damaged list must stop a join, not let it run unchecked.
  const std::string named = platform::replaceExtension(firstPartPath, kChecksumExtension);
  if (platform::pathExists(named)) return named;
  // Earlier splits listed parts named after a join script in the file named after the
  // input; such a list is still found by what it lists.
  std::vector<std::string> candidates;
  for (const platform::DirEntry& entry :
       platform::findFiles(folder + "*" + kChecksumExtension, platform::SearchKind::Files)) {
    std::string why;
    ChecksumList list;
    if (!loadChecksumFile(folder + entry.name, list, why)) {
      continue;
    }
    if (partNumberOf(list.parts.front().name, name) > 0) candidates.push_back(folder + entry.name);
  }
  if (candidates.size() == 1) return candidates.front();
  if (candidates.size() > 1) {
    problem = "several checksum files list the parts of " + firstPartPath + ":";
    for (const std::string& c : candidates) problem += " " + c;
    problem += "; move the ones of earlier splits away";
  }
  return {};
}

bool parseCrcFile(const std::string& text, CrcFile& crc, std::string& problem) {
  crc = CrcFile{};
  bool haveCrc = false;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    const std::string value = line.substr(eq + 1);
    if (key == "filename") {
      crc.name = value;
    } else if (key == "size") {
      if (!parseNumber(value, crc.size)) crc.size = -1;
    } else if (key == "crc32") {
      char* end = nullptr;
      const unsigned long v = std::strtoul(value.c_str(), &end, 16);
      haveCrc = !value.empty() && value.size() <= 8 && end != nullptr && *end == '\0';
      crc.crc = static_cast<std::uint32_t>(v);
    }
  }
  if (crc.size < 0 || !haveCrc) {
    problem = "it has no size= and crc32= lines";
    return false;
  }
  // The name is only ever looked for beside the parts: a path could make the check read
  // any file of the system.
  if (!crc.name.empty() && !platform::isPlainName(crc.name)) {
    problem = "its filename= " + crc.name + " is not a plain file name in the parts' folder";
    return false;
  }
  return true;
}

std::string findCrcFile(const std::string& firstPartPath) {
  const std::string path = platform::replaceExtension(firstPartPath, ".crc");
  return platform::pathExists(path) ? path : std::string();
}

}  // namespace engine
