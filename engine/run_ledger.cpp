// The ledger of files a run created.
#include "engine/run_ledger.h"

#include <algorithm>
#include <limits>

#include "platform/path.h"

namespace engine {
namespace {

std::uint64_t mix(std::uint64_t h) {  // the finalizer of splitmix64
  h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ULL;
  h = (h ^ (h >> 27)) * 0x94D049BB133111EBULL;
  return h ^ (h >> 31);
}

std::uint64_t objectHashOf(std::size_t device, std::uint64_t inode) {
  return mix(inode * 0x9E3779B97F4A7C15ULL ^ device);
}

// The position of `value` in `values`, appending it when it is not there; `none` when
// there would be more than a 16-bit index can name.
template <typename T>
std::size_t indexIn(std::vector<T>& values, const T& value, std::size_t none) {
  const auto found = std::find(values.rbegin(), values.rend(), value);
  if (found != values.rend()) return static_cast<std::size_t>(values.rend() - found) - 1;
  if (values.size() > std::numeric_limits<std::uint16_t>::max()) return none;
  values.push_back(value);
  return values.size() - 1;
}

}  // namespace

template <typename Match>
std::size_t RunLedger::Index::find(std::uint64_t hash, const Match& matches) const {
  if (m_slots.empty()) return kNone;
  for (std::size_t s = slotOf(hash);; s = (s + 1) & (m_slots.size() - 1)) {
    if (m_slots[s] == 0) return kNone;
    if (matches(m_slots[s] - 1)) return m_slots[s] - 1;
  }
}

void RunLedger::Index::rebuild(std::size_t slots,
                               const std::function<std::uint64_t(std::size_t)>& hashOf) {
  std::vector<std::uint32_t> old = std::move(m_slots);
  m_slots.assign(slots, 0);
  for (const std::uint32_t held : old) {
    if (held == 0) continue;
    std::size_t s = slotOf(hashOf(held - 1));
    while (m_slots[s] != 0) s = (s + 1) & (m_slots.size() - 1);
    m_slots[s] = held;
  }
}

void RunLedger::Index::reserve(std::size_t count,
                               const std::function<std::uint64_t(std::size_t)>& hashOf) {
  std::size_t slots = std::max<std::size_t>(m_slots.size(), 16);
  while (count * 4 > slots * 3) slots *= 2;
  if (slots != m_slots.size()) rebuild(slots, hashOf);
}

void RunLedger::Index::insert(std::uint64_t hash, std::size_t index,
                              const std::function<std::uint64_t(std::size_t)>& hashOf) {
  reserve(m_count + 1, hashOf);
  std::size_t s = slotOf(hash);
  while (m_slots[s] != 0) s = (s + 1) & (m_slots.size() - 1);
  m_slots[s] = static_cast<std::uint32_t>(index + 1);
  ++m_count;
}

void RunLedger::Index::erase(std::uint64_t hash, std::size_t index,
                             const std::function<std::uint64_t(std::size_t)>& hashOf) {
  const std::size_t mask = m_slots.size() - 1;
  std::size_t hole = slotOf(hash);
  while (m_slots[hole] != index + 1) hole = (hole + 1) & mask;
  // Later slots of the same run move back into the hole unless that would put them
  // before the slot their hash starts at.
  for (std::size_t k = (hole + 1) & mask; m_slots[k] != 0; k = (k + 1) & mask) {
    const std::size_t home = slotOf(hashOf(m_slots[k] - 1));
    const bool stays = hole <= k ? hole < home && home <= k : hole < home || home <= k;
    if (stays) continue;
    m_slots[hole] = m_slots[k];
    hole = k;
  }
  m_slots[hole] = 0;
  --m_count;
}

void RunLedger::Index::renumber(std::uint64_t hash, std::size_t from, std::size_t to) {
  std::size_t s = slotOf(hash);
  while (m_slots[s] != from + 1) s = (s + 1) & (m_slots.size() - 1);
  m_slots[s] = static_cast<std::uint32_t>(to + 1);
}

std::string RunLedger::pathOf(const Entry& entry) const {
  const Prefix& prefix = m_prefixes[entry.prefix];
  if (prefix.numbered) return prefix.text + platform::partSuffix(static_cast<std::int64_t>(entry.tail));
  std::string path = prefix.text;
  for (std::size_t k = entry.tail; m_names[k] != '\0'; ++k) path += m_names[k];
  return path;
}

std::uint64_t RunLedger::pathHash(const Entry& entry) const {
  return mix(std::hash<std::string>()(pathOf(entry)));
}

std::uint64_t RunLedger::objectHash(const Entry& entry) const {
  return objectHashOf(entry.device, entry.inode);
}

std::size_t RunLedger::findPath(const std::string& path) const {
  return m_byPath.find(mix(std::hash<std::string>()(path)),
                       [&](std::size_t i) { return pathOf(m_entries[i]) == path; });
}

std::size_t RunLedger::findObject(const platform::FileIdentity& id) const {
  const auto at = std::find(m_devices.begin(), m_devices.end(), id.device);
  if (at == m_devices.end()) return kNone;
  const auto d = static_cast<std::size_t>(at - m_devices.begin());
  return m_byObject.find(objectHashOf(d, id.inode), [&](std::size_t i) {
    return m_entries[i].device == d && m_entries[i].inode == id.inode;
  });
}

bool RunLedger::record(const std::string& path, platform::FileIdentity id, std::int64_t size,
                       std::string& problem) {
  if (const std::size_t same = findObject(id); same != kNone) {
    const std::string was = pathOf(m_entries[same]);
    if (was != path) {
      problem = path + " and " + was + " are one file: the bytes written under " + was +
                " were overwritten";
      return false;
    }
  }
  remove(path);
  // A numbered name (NAME.001, NAME.1000) is its prefix, NAME, and its number; any
  // other, its folder and its name.
  const std::string folder = platform::folderPart(path);
  std::string_view name = std::string_view(path).substr(folder.size());
  Prefix prefix{folder, false};
  std::uint64_t tail = 0;
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
    const std::string_view digits = name.substr(dot + 1);
    bool numbered = !digits.empty() && digits.size() <= 9;  // below 2^32
    std::uint64_t number = 0;
    for (const char c : digits) {
      numbered = numbered && c >= '0' && c <= '9';
      if (numbered) number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (numbered && number >= 1 &&
        platform::partSuffix(static_cast<std::int64_t>(number)) == name.substr(dot)) {
      prefix = {path.substr(0, folder.size() + dot), true};
      tail = number;
      name = {};
    }
  }
  const std::size_t p = indexIn(m_prefixes, prefix, kNone);
  const std::size_t d = indexIn(m_devices, id.device, kNone);
  if (p == kNone || d == kNone || name.find('\0') != std::string_view::npos ||
      m_names.size() + name.size() >= std::numeric_limits<std::uint32_t>::max() ||
      m_entries.size() + 1 >= std::numeric_limits<std::uint32_t>::max()) {
    problem = "cannot keep track of " + path + ": this run wrote too many files or folders";
    return false;
  }
  if (!prefix.numbered) {
    tail = m_names.size();
    m_names.insert(m_names.end(), name.begin(), name.end());
    m_names.push_back('\0');
  }
  Entry entry;
  entry.inode = id.inode;
  entry.size = size;
  entry.tail = static_cast<std::uint32_t>(tail);
  entry.device = static_cast<std::uint16_t>(d);
  entry.prefix = static_cast<std::uint16_t>(p);
  m_entries.push_back(entry);
  const std::size_t index = m_entries.size() - 1;
  m_byPath.insert(mix(std::hash<std::string>()(path)), index,
                  [this](std::size_t i) { return pathHash(m_entries[i]); });
  m_byObject.insert(objectHash(entry), index,
                    [this](std::size_t i) { return objectHash(m_entries[i]); });
  return true;
}

bool RunLedger::add(const std::string& path, std::int64_t size, std::string& problem) {
  platform::FileIdentity id;
  if (!platform::identifyEntry(path, id)) {
    problem = path + " is not a plain file written by this run";
    return false;
  }
  return record(path, id, size, problem);
}

bool RunLedger::add(const platform::File& file, std::int64_t size, std::string& problem) {
  if (!file.isOpen()) {
    problem = "cannot identify " + file.path();
    return false;
  }
  return record(file.path(), file.openedAs(), size, problem);
}

void RunLedger::remove(const std::string& path) {
  if (const std::size_t index = findPath(path); index != kNone) removeAt(index);
}

void RunLedger::removeAt(std::size_t index) {
  const auto byPath = [this](std::size_t i) { return pathHash(m_entries[i]); };
  const auto byObject = [this](std::size_t i) { return objectHash(m_entries[i]); };
  m_byPath.erase(pathHash(m_entries[index]), index, byPath);
  m_byObject.erase(objectHash(m_entries[index]), index, byObject);
  const std::size_t last = m_entries.size() - 1;
  if (index != last) {
    m_byPath.renumber(pathHash(m_entries[last]), last, index);
    m_byObject.renumber(objectHash(m_entries[last]), last, index);
    m_entries[index] = m_entries[last];
  }
  m_entries.pop_back();  // its name stays in m_names, unused
}

void RunLedger::reserve(std::size_t files) {
  m_entries.reserve(files);
  m_byPath.reserve(files, [this](std::size_t i) { return pathHash(m_entries[i]); });
  m_byObject.reserve(files, [this](std::size_t i) { return objectHash(m_entries[i]); });
}

bool RunLedger::holds(const std::string& path) const {
  platform::FileIdentity id;
  if (!platform::identifyEntry(path, id)) return false;
  return findObject(id) != kNone;
}

bool RunLedger::verify(platform::IoError& err) const {
  for (const Entry& entry : m_entries) {
    platform::FileIdentity id;
    id.device = m_devices[entry.device];
    id.inode = entry.inode;
    id.size = entry.size;
    if (!platform::syncAndCheckFile(pathOf(entry), id, err)) return false;
  }
  return true;
}

}  // namespace engine
