// Verification of parts in place.
#include "engine/verify.h"

#include <algorithm>
#include <vector>

#include "engine/archive_join.h"
#include "engine/checksum.h"
#include "engine/checksum_file.h"
#include "engine/part_names.h"
#include "platform/file.h"
#include "platform/path.h"
#include "zip/crc32.h"

namespace engine {
namespace {

using Status = VerifyLine::Status;

Status checkFile(const std::string& path, std::int64_t size, const std::string& sha) {
  platform::IoError err;
  if (size >= 0 && platform::fileSize(path, err) != size) return Status::Mismatch;
  std::string problem;
  return sha256OfFile(path, problem) == sha ? Status::Ok : Status::Mismatch;
}

void cannotUse(VerifyReport& report) {
  report.problem = "The checksum file " + report.against + " cannot be used: " + report.problem;
}

void addExtras(VerifyReport& report, const std::string& firstPartPath, std::int64_t last) {
  const std::string name = platform::namePart(firstPartPath);
  for (const std::int64_t k : partNumbersIn(platform::folderPart(firstPartPath), name, true)) {
    if (k > last) report.lines.push_back({Status::Extra, partFileName(name, k)});
  }
}

void verifyListed(VerifyReport& report, const std::string& firstPartPath, const StopToken& stop) {
  ChecksumList list;
  if (!loadChecksumFile(report.against, list, report.problem) ||
      !listsSeriesOf(list, platform::namePart(firstPartPath), report.problem)) {
    return cannotUse(report);
  }
  const std::string folder = platform::folderPart(report.against);
  for (const ChecksumList::Part& part : list.parts) {
    if (stop.stopRequested()) return;
    const bool plain = platform::fileExists(folder + part.name);
    const bool archive =
        !part.archiveName.empty() && platform::fileExists(folder + part.archiveName);
    if (!plain && !archive) report.lines.push_back({Status::Missing, part.name});
    if (archive) {
      report.lines.push_back(
          {checkFile(folder + part.archiveName, -1, part.archiveSha256), part.archiveName});
    }
    if (plain)
      report.lines.push_back({checkFile(folder + part.name, part.size, part.sha256), part.name});
  }
  if (platform::fileExists(folder + list.wholeName)) {
    report.lines.push_back(
        {checkFile(folder + list.wholeName, list.wholeSize, list.wholeSha256), list.wholeName});
  }
  addExtras(report, firstPartPath, static_cast<std::int64_t>(list.parts.size()));
}

// Adds the bytes of the file at `path` to a running CRC-32 and a byte count; false when
// the file cannot be read to its end.
bool addToCrc(const std::string& path, std::uint32_t& crc, std::int64_t& size) {
  std::string problem;
  return readChunks(
      path,
      [&](const char* data, std::size_t n) {
        crc = zip::updateCrc(crc, reinterpret_cast<const std::uint8_t*>(data), n);
        size += static_cast<std::int64_t>(n);
      },
      problem);
}

// A ".crc" file vouches only for the whole file: the parts are read in order as one
// stream, and the joined file is checked too when it is there.
void verifyCrc(VerifyReport& report, const std::string& firstPartPath, const StopToken& stop) {
  CrcFile crc;
  if (!loadCrcFile(report.against, crc, report.problem)) return cannotUse(report);
  const std::string folder = platform::folderPart(firstPartPath);
  const std::string name = platform::namePart(firstPartPath);
  const std::vector<std::int64_t> numbers = partNumbersIn(folder, name);
  const std::int64_t last = numbers.empty() ? 0 : numbers.back();
  std::uint32_t value = zip::kCrcStart;
  std::int64_t total = 0;
  bool complete = last > 0;
  for (std::int64_t k = 1; k <= last && !stop.stopRequested(); ++k) {
    if (!addToCrc(folder + partFileName(name, k), value, total)) {
      report.lines.push_back({Status::Missing, partFileName(name, k)});
      complete = false;
    }
  }
  if (complete) {
    const bool right = ~value == crc.crc && total == crc.size;
    report.lines.push_back({right ? Status::Ok : Status::Mismatch,
                            partFileName(name, 1) + " to " + partFileName(name, last)});
  }
  // The joined file itself, never what a link at its name points to, nor the .crc file.
  const std::string joined = folder + crc.name;
  platform::FileIdentity id;
  if (!crc.name.empty() && platform::identifyEntry(joined, id) &&
      !platform::sameFile(joined, report.against)) {
    std::uint32_t whole = zip::kCrcStart;
    std::int64_t size = 0;
    const bool right = addToCrc(joined, whole, size) && ~whole == crc.crc && size == crc.size;
    report.lines.push_back({right ? Status::Ok : Status::Mismatch, crc.name});
  }
}

}  // namespace

bool VerifyReport::allRight() const {
  return problem.empty() && !lines.empty() &&
         std::none_of(lines.begin(), lines.end(), [](const VerifyLine& line) {
           return line.status == Status::Mismatch || line.status == Status::Missing;
         });
}

const char* statusWord(VerifyLine::Status status) {
  switch (status) {
    case Status::Ok:
      return "ok";
    case Status::Mismatch:
      return "MISMATCH";
    case Status::Missing:
      return "missing";
    case Status::Extra:
      return "extra";
  }
  return "?";
}

VerifyReport VerifyParts(const std::string& firstPartPath, const StopToken& stop) {
  if (isPartArchive(firstPartPath)) return VerifyArchivedParts(firstPartPath, stop);
  VerifyReport report;
  std::string ambiguity;
  report.against = findChecksumFile(firstPartPath, ambiguity);
  if (!ambiguity.empty()) {
    report.problem = "Cannot tell which checksum file to check with: " + ambiguity + ".";
    return report;
  }
  if (!report.against.empty()) {
    verifyListed(report, firstPartPath, stop);
    return report;
  }
  report.against = findCrcFile(firstPartPath);
  if (!report.against.empty()) {
    verifyCrc(report, firstPartPath, stop);
    return report;
  }
  report.problem = "No checksum file (" +
                   platform::replaceExtension(firstPartPath, kChecksumExtension) +
                   " or .crc) lists " + firstPartPath + ".";
  return report;
}

}  // namespace engine
