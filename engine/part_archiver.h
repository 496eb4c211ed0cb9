// Packs one finished part into its own archive (the split's compress option).
#pragma once

#include <string>
#include <vector>

namespace engine {

class PartArchiver {
 public:
  virtual ~PartArchiver() = default;
  // Writes `archivePath` holding the file `partPath` as its one member, replacing an
  // existing archive. True only when the archive is complete and flushed to disk, so
  // that the part may be deleted; otherwise `problem` says why, for the user.
  virtual bool archive(const std::string& partPath, const std::string& archivePath,
                       std::string& problem) = 0;
  // True when archive calls may run on several threads at once.
  virtual bool concurrent() const { return false; }
  // As archive(), for a thread of its own: what archive() would show in a warning box is
  // added to `boxes` instead, so that parts packed side by side show theirs in part order.
  virtual bool archiveDeferred(const std::string& partPath, const std::string& archivePath,
                               std::string& problem, std::vector<std::string>& boxes) {
    (void)boxes;
    return archive(partPath, archivePath, problem);
  }
};

}  // namespace engine
