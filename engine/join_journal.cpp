// The join's journal, one line per fact:
//   # sundrix join journal 1
//   series NAME.001            (names escaped as in the checksum file)
//   folder /parts/folder
//   start NUMBER OFFSET LAST
//   holder DEVICE INODE .NAME.sundrix-join
//   part NUMBER OFFSET SIZE DEVICE INODE MTIME_NS CTIME_NS   (one per part held)
// Lines are only appended, and only whole lines count: a kill in the middle of a write
// leaves a line without its end, which is not read.
#include "engine/join_journal.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <string_view>

#include "engine/checksum_file.h"
#include "platform/path.h"

namespace engine {
namespace {

constexpr std::string_view kMarker = "# sundrix join journal 1";

// The next blank-separated number of `line`, which moves past it.
template <typename T>
bool number(std::string_view& line, T& out) {
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), out);
  if (ec != std::errc() || end == line.data()) return false;
  line.remove_prefix(static_cast<std::size_t>(end - line.data()));
  return line.empty() || line.front() == ' ';
}

bool startsWith(std::string_view line, std::string_view word, std::string_view& rest) {
  if (line.substr(0, word.size()) != word) return false;
  rest = line.substr(word.size());
  return true;
}

std::string partLine(const JoinJournal::Held& p) {
  return "part " + std::to_string(p.number) + " " + std::to_string(p.offset) + " " +
         std::to_string(p.size) + " " + std::to_string(p.part.device) + " " +
         std::to_string(p.part.inode) + " " + std::to_string(p.part.modifiedNs) + " " +
         std::to_string(p.part.changedNs) + "\n";
}

bool parsePart(std::string_view rest, JoinJournal& journal) {
  JoinJournal::Held p;
  if (!number(rest, p.number) || !number(rest, p.offset) || !number(rest, p.size) ||
      !number(rest, p.part.device) || !number(rest, p.part.inode) ||
      !number(rest, p.part.modifiedNs) || !number(rest, p.part.changedNs) || !rest.empty()) {
    return false;
  }
  p.part.size = p.size;
  // Each part lies where the one before it ends, and a part after it could still be
  // numbered and placed: anything else is not what a join wrote.
  constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
  if (p.number != journal.nextNumber() || p.offset != journal.end() || p.size < 0 ||
      p.number == kLargest || p.size > kLargest - p.offset) {
    return false;
  }
  journal.held.push_back(p);
  return true;
}

}  // namespace

JoinNames joinNamesFor(const std::string& outputPath) {
  const std::string folder = platform::folderPart(outputPath);
  const std::string name = platform::namePart(outputPath);
  std::string why;
  if (platform::nameFits(folder, "." + name + ".sundrix-journal", why)) {
    return {folder + "." + name + ".sundrix-join", folder + "." + name + ".sundrix-journal"};
  }
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return {folder + ".sundrix-" + hex + ".join", folder + ".sundrix-" + hex + ".journal"};
}

bool parseJournal(const std::string& text, JoinJournal& journal, std::string& problem) {
  journal = JoinJournal{};
  bool head[4] = {false, false, false, false};
  std::size_t at = 0;
  bool first = true;
  for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string_view line(text.data() + at, end - at);
    std::string_view rest;
    bool ok = true;
    if (first) {
      ok = line == kMarker;
      first = false;
    } else if (startsWith(line, "series ", rest)) {
      ok = unescapeName(rest, journal.series) && !journal.series.empty();
      head[0] = true;
    } else if (startsWith(line, "folder ", rest)) {
      ok = unescapeName(rest, journal.partsFolder);
      head[1] = true;
    } else if (startsWith(line, "holder ", rest)) {
      ok = head[0] && head[1] && head[3] && number(rest, journal.device) && number(rest, journal.inode) && !rest.empty() &&
           unescapeName(rest.substr(1), journal.holder) && !journal.holder.empty();
      head[2] = true;
    } else if (startsWith(line, "start ", rest)) {
      ok = number(rest, journal.startNumber) && number(rest, journal.startOffset) &&
           number(rest, journal.lastNumber) && rest.empty() && journal.startNumber >= 1 &&
           journal.startOffset >= 0;
      head[3] = true;
    } else if (startsWith(line, "part ", rest)) {
      ok = head[0] && head[1] && head[2] && head[3] && parsePart(rest, journal);
    } else {
      ok = false;
    }
    if (!ok) {
      problem = "a line is damaged: " + std::string(line.substr(0, 200));
      return false;
    }
  }
  // Cut off before its holder was named: nothing was written that anybody needs. Only a
  // beginning of what this program writes counts as such.
  const bool begun = !first || (text.size() <= kMarker.size() &&
                                 kMarker.substr(0, text.size()) == std::string_view(text));
  if (!head[2] && begun) {
    journal.holder.clear();
    return true;
  }
  if (first || !(head[0] && head[1] && head[2] && head[3])) {
    problem = "it is not a join journal of this program";
    return false;
  }
  return true;
}

bool loadJournal(const std::string& path, JoinJournal& journal, std::string& problem) {
  std::string text;
  return readTextFile(path, text, problem) && parseJournal(text, journal, problem);
}

bool JournalWriter::create(const std::string& path, const JoinJournal& head,
                           platform::IoError& err) {
  m_file = platform::File::open(path, platform::File::Mode::CreateNew, err);
  if (!m_file.isOpen()) return false;
  m_path = path;
  const std::string text = std::string(kMarker) + "\nseries " + escapedName(head.series) +
                           "\nfolder " + escapedName(head.partsFolder) + "\nstart " +
                           std::to_string(head.startNumber) + " " +
                           std::to_string(head.startOffset) + " " +
                           std::to_string(head.lastNumber) + "\n";
  return m_file.writeAll(text.data(), static_cast<std::int64_t>(text.size()), err);
}

bool JournalWriter::nameHolder(const JoinJournal& head, platform::IoError& err) {
  const std::string line = "holder " + std::to_string(head.device) + " " +
                           std::to_string(head.inode) + " " + escapedName(head.holder) + "\n";
  std::string lines;
  for (const JoinJournal::Held& p : head.held) lines += partLine(p);
  return m_file.writeAll(line.data(), static_cast<std::int64_t>(line.size()), err) &&
         m_file.writeAll(lines.data(), static_cast<std::int64_t>(lines.size()), err);
}

bool JournalWriter::reopen(const std::string& path, platform::IoError& err) {
  m_file = platform::File::open(path, platform::File::Mode::ReadWrite, err);
  if (!m_file.isOpen()) return false;
  m_path = path;
  // A line a kill cut off is dropped, so that the next one starts on a line of its own.
  std::string text, problem;
  if (!readTextFile(path, text, problem)) {
    err = {"read", path, 0, problem};
    return false;
  }
  const std::size_t whole = text.rfind('\n') + 1;
  return m_file.truncate(static_cast<std::int64_t>(whole), err) &&
         m_file.seek(static_cast<std::int64_t>(whole), err);
}

bool JournalWriter::record(const std::vector<JoinJournal::Held>& parts, platform::IoError& err) {
  std::string lines;
  for (const JoinJournal::Held& p : parts) lines += partLine(p);
  if (!m_file.writeAll(lines.data(), static_cast<std::int64_t>(lines.size()), err) ||
      !m_file.sync(err)) {
    return false;
  }
  if (!m_folderSynced && !platform::syncFolder(platform::folderPart(m_path), err)) return false;
  m_folderSynced = true;
  return true;
}

bool JournalWriter::remove(platform::IoError& err) {
  if (!m_file.isOpen()) return true;
  m_file.closeQuietly();
  return platform::removeFile(m_path, err);
}

}  // namespace engine
