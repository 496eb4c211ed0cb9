// The ledger of files a run created.
#include "engine/run_ledger.h"

#include <algorithm>

namespace engine {

bool RunLedger::record(const std::string& path, platform::FileIdentity id, std::int64_t size,
                       std::string& problem) {
  for (const Entry& entry : m_entries) {
    if (entry.path != path && entry.id.sameObject(id)) {
      problem = path + " and " + entry.path + " are one file: the bytes written under " +
                entry.path + " were overwritten";
      return false;
    }
  }
  id.size = size;
  remove(path);
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
  platform::FileIdentity id;
  if (!file.identify(id)) {
    problem = "cannot identify " + file.path();
    return false;
  }
  return record(file.path(), id, size, problem);
}

void RunLedger::remove(const std::string& path) {
  m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                 [&](const Entry& e) { return e.path == path; }),
                  m_entries.end());
}

bool RunLedger::holds(const std::string& path) const {
  platform::FileIdentity id;
  if (!platform::identifyEntry(path, id)) return false;
  return std::any_of(m_entries.begin(), m_entries.end(),
                     [&](const Entry& e) { return e.id.sameObject(id); });
}

bool RunLedger::verify(platform::IoError& err) const {
  for (const Entry& entry : m_entries) {
    if (!platform::syncAndCheckFile(entry.path, entry.id, err)) return false;
  }
  return true;
}

}  // namespace engine
