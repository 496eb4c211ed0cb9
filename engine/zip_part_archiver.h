// The split's compress options: each finished part packed into its own archive by TZip,
// shrunk or deflated.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/part_archiver.h"
#include "zip/tzip.h"

namespace engine {

class ZipPartArchiver : public PartArchiver {
 public:
  explicit ZipPartArchiver(zip::ZipMethod method = zip::ZipMethod::Shrink) : m_method(method) {}
  // True only when TZip succeeded without a reported problem and the archive on disk
  // is complete (one member, its records consistent) and flushed.
  bool archive(const std::string& partPath, const std::string& archivePath,
               std::string& problem) override;
  // Each call packs with a TZip of its own and shares nothing with another.
  bool concurrent() const override { return true; }
  bool archiveDeferred(const std::string& partPath, const std::string& archivePath,
                       std::string& problem, std::vector<std::string>& boxes) override;

 private:
  // `boxes` null: each problem is shown at once.
  bool pack(const std::string& partPath, const std::string& archivePath, std::string& problem,
            std::vector<std::string>* boxes);

  zip::ZipMethod m_method;
};

// Checks that `archivePath` is a whole archive of exactly one member of `memberSize`
// bytes: end record at the very end (ZIP64 where needed), one central directory header
// pointing at the one local header, sizes that add up. False with `problem` set otherwise.
bool checkSingleMemberArchive(const std::string& archivePath, std::int64_t memberSize,
                              std::string& problem);

}  // namespace engine
