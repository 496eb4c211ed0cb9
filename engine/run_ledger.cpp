// The ledger of files a run created.
#include "engine/run_ledger.h"

#include <algorithm>

namespace engine {

bool RunLedger::record(const std::string& path, platform::FileIdentity id, std::int64_t size,
                       std::string& problem) {
  if (const auto same = m_byObject.find(objectKey(id)); same != m_byObject.end()) {
    const Entry& entry = m_entries[same->second];
    if (entry.path != path) {
      problem = path + " and " + entry.path + " are one file: the bytes written under " +
                entry.path + " were overwritten";
      return false;
    }
  }
  id.size = size;
  remove(path);
  m_byPath[path] = m_entries.size();
  m_byObject[objectKey(id)] = m_entries.size();
  m_entries.push_back({path, id});
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
  const auto found = m_byPath.find(path);
  if (found == m_byPath.end()) return;
  const std::size_t index = found->second;
  m_byObject.erase(objectKey(m_entries[index].id));
  m_byPath.erase(found);
  if (index + 1 != m_entries.size()) {
    m_entries[index] = std::move(m_entries.back());
    m_byPath[m_entries[index].path] = index;
    m_byObject[objectKey(m_entries[index].id)] = index;
  }
  m_entries.pop_back();
}

void RunLedger::reserve(std::size_t files) {
  m_entries.reserve(files);
  m_byPath.reserve(files);
  m_byObject.reserve(files);
}

bool RunLedger::holds(const std::string& path) const {
  platform::FileIdentity id;
  if (!platform::identifyEntry(path, id)) return false;
  return m_byObject.count(objectKey(id)) != 0;
}

bool RunLedger::verify(platform::IoError& err) const {
  for (const Entry& entry : m_entries) {
    if (!platform::syncAndCheckFile(entry.path, entry.id, err)) return false;
  }
  return true;
}

}  // namespace engine
