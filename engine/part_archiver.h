// Packs one finished part into its own archive (the split's compress option).
#pragma once

#include <string>

namespace engine {

class PartArchiver {
 public:
  virtual ~PartArchiver() = default;
  // Writes `archivePath` holding the file `partPath` as its one member, replacing an
  // existing archive. True only when the archive is complete and flushed to disk, so
  // that the part may be deleted; otherwise `problem` says why, for the user.
  virtual bool archive(const std::string& partPath, const std::string& archivePath,
                       std::string& problem) = 0;
};

}  // namespace engine
