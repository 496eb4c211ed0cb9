// Runs TZip on one part and makes sure the archive really holds it before the split
// deletes the part.
#include "engine/zip_part_archiver.h"

#include <cstdint>
#include <vector>

#include "platform/file.h"
#include "zip/tzip.h"
#include "zip/zip_events.h"
#include "zip/single_member.h"

namespace engine {

bool checkSingleMemberArchive(const std::string& archivePath, std::int64_t memberSize,
                              std::string& problem) {
  platform::IoError err;
  platform::File f = platform::File::open(archivePath, platform::File::Mode::Read, err);
  zip::SingleMember member;
  std::string why;
  const bool read = f.isOpen() && zip::readSingleMember(f, member, why, err);
  if (read && member.uncompressedSize != static_cast<std::uint64_t>(memberSize)) {
    why = "its sizes do not add up";
  }
  if (!why.empty()) {
    problem = "the archive " + archivePath + " is not complete: " + why;
    return false;
  }
  if (!read) {
    problem = err.message();
    return false;
  }
  f.closeQuietly();
  return true;
}

bool ZipPartArchiver::archive(const std::string& partPath, const std::string& archivePath,
                              std::string& problem) {
  return pack(partPath, archivePath, problem, nullptr);
}

bool ZipPartArchiver::archiveDeferred(const std::string& partPath, const std::string& archivePath,
                                      std::string& problem, std::vector<std::string>& boxes) {
  return pack(partPath, archivePath, problem, &boxes);
}

bool ZipPartArchiver::pack(const std::string& partPath, const std::string& archivePath,
                           std::string& problem, std::vector<std::string>* boxes) {
  platform::IoError err;
  const std::int64_t partSize = platform::fileSize(partPath, err);
  if (partSize < 0) {
    problem = err.message();
    return false;
  }
  zip::TZip zip;
  std::vector<std::string> messages;
  // Each problem is shown as it happens, in the warning box the split's archiver has always
  // raised (the job waits for it), and kept for the job's closing report.
  zip.OnError = [&messages, boxes](zip::ZipComponent&, const std::string& message) {
    messages.push_back(message);
    if (boxes != nullptr) {
      boxes->push_back(message);
    } else {
      zip::showWarningBox(message);
    }
  };
  zip.Files = {partPath};
  zip.Overwrite = true;
  zip.Method = m_method;
  zip.SetFName(archivePath);
  const bool ok = zip.Execute();
  if (!messages.empty() || !ok) {
    std::string why = messages.empty() ? zip.lastFailure() : messages.front();
    for (std::size_t i = 1; i < messages.size(); ++i) why += "; " + messages[i];
    if (!ok && !zip.lastFailureReported() && !messages.empty()) why += "; " + zip.lastFailure();
    problem = "cannot pack " + partPath + " into " + archivePath + ": " + why;
    return false;
  }
  if (!checkSingleMemberArchive(archivePath, partSize, problem)) return false;
  platform::IoError syncErr;
  const std::int64_t archiveSize = platform::fileSize(archivePath, syncErr);
  if (archiveSize < 0 || !platform::syncAndCheckSize(archivePath, archiveSize, syncErr)) {
    problem = syncErr.message();
    return false;
  }
  return true;
}

}  // namespace engine
