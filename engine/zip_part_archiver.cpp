// Runs TZip on one part and makes sure the archive really holds it before the split
// deletes the part.
#include "engine/zip_part_archiver.h"

#include <cstdint>
#include <vector>

#include "platform/file.h"
#include "zip/tzip.h"
#include "zip/zip_events.h"
#include "zip/zip_format.h"

namespace engine {
namespace {

bool readAt(platform::File& f, std::int64_t pos, std::uint8_t* buffer, std::int64_t n,
            platform::IoError& err) {
  return f.seek(pos, err) && f.readExact(buffer, n, err);
}

}  // namespace

bool checkSingleMemberArchive(const std::string& archivePath, std::int64_t memberSize,
                              std::string& problem) {
  platform::IoError err;
  platform::File f = platform::File::open(archivePath, platform::File::Mode::Read, err);
  const std::int64_t size = f.isOpen() ? f.size(err) : -1;
  if (size < 0) {
    problem = err.message();
    return false;
  }
  const auto fail = [&](const std::string& why) {
    problem = "the archive " + archivePath + " is not complete: " + why;
    return false;
  };
  if (size < static_cast<std::int64_t>(zip::kEndRecordSize)) return fail("no end record");
  std::uint8_t endBytes[zip::kEndRecordSize];
  if (!readAt(f, size - static_cast<std::int64_t>(zip::kEndRecordSize), endBytes,
              zip::kEndRecordSize, err)) {
    problem = err.message();
    return false;
  }
  const zip::EndRecord end = zip::readEndRecord(endBytes);
  if (end.signature != zip::kEndRecordSignature) return fail("no end record");
  if (end.totalEntries != 1 || end.entriesOnDisk != 1) return fail("it does not hold one member");
  const std::int64_t dirStart = end.centralDirectoryOffset;
  if (dirStart + end.centralDirectorySize + static_cast<std::int64_t>(zip::kEndRecordSize) !=
          size ||
      end.centralDirectorySize < zip::kCentralHeaderSize) {
    return fail("the central directory does not fit");
  }
  std::uint8_t central[zip::kCentralHeaderSize];
  std::uint8_t local[zip::kLocalHeaderSize];
  if (!readAt(f, dirStart, central, zip::kCentralHeaderSize, err) ||
      !readAt(f, 0, local, zip::kLocalHeaderSize, err)) {
    problem = err.message();
    return false;
  }
  const zip::CentralHeader c = zip::readCentralHeader(central);
  const zip::LocalHeader l = zip::readLocalHeader(local);
  if (c.signature != zip::kCentralHeaderSignature || l.signature != zip::kLocalHeaderSignature ||
      c.localHeaderOffset != 0) {
    return fail("its headers are missing");
  }
  const std::int64_t dataEnd = static_cast<std::int64_t>(zip::kLocalHeaderSize) + l.nameLength +
                               l.extraLength + l.compressedSize;
  if (dataEnd != dirStart || c.compressedSize != l.compressedSize || c.crc != l.crc ||
      c.uncompressedSize != l.uncompressedSize ||
      static_cast<std::int64_t>(l.uncompressedSize) != memberSize) {
    return fail("its sizes do not add up");
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
