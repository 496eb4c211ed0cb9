// The join and the verification of archived parts: one archive open at a time, its member
// decoded through fixed buffers into the output and the digests.
#include "engine/archive_join.h"

#include <memory>
#include <vector>

#include "engine/checksum.h"
#include "engine/checksum_file.h"
#include "engine/combine_job.h"
#include "engine/part_names.h"
#include "platform/file.h"
#include "platform/path.h"
#include "zip/single_member.h"

namespace engine {
namespace {

constexpr char kArchiveExtension[] = ".zip";

std::string withoutArchiveExtension(const std::string& path) {
  return path.substr(0, path.size() - (sizeof kArchiveExtension - 1));
}

// One part to read: its archive, the member's name, and what the list says of it.
struct ArchivedPart {
  std::string archivePath;
  std::string name;
  std::int64_t size = -1;  // -1: not listed
  std::string sha256;
};

// The parts of the series of `firstArchive`: the listed ones when the series has a
// checksum file, else the archives numbered from the first up to the highest there is.
bool planArchives(const std::string& firstArchive, std::vector<ArchivedPart>& parts,
                  ChecksumList& list, std::string& sumsPath, std::string& problem) {
  const std::string firstPart = withoutArchiveExtension(firstArchive);
  const std::string folder = platform::folderPart(firstPart);
  const std::string name = platform::namePart(firstPart);
  sumsPath = findChecksumFile(firstPart, problem);
  if (!problem.empty()) return false;
  if (!sumsPath.empty()) {
    if (!loadChecksumFile(sumsPath, list, problem) || !listsSeriesOf(list, name, problem)) {
      problem = "the checksum file " + sumsPath + " cannot be used: " + problem;
      return false;
    }
    for (const ChecksumList::Part& part : list.parts) {
      const std::string archive = part.archiveName.empty() ? part.name + kArchiveExtension
                                                           : part.archiveName;
      parts.push_back({folder + archive, part.name, part.size, part.sha256});
    }
    return true;
  }
  // Up to the highest number with an archive in the folder: one missing or unreadable
  // before it would leave the archives after it out of a join that claims success.
  const auto archiveOf = [&](std::int64_t k) { return folder + partFileName(name, k) + kArchiveExtension; };
  // A folder read cut short (descriptors or memory ran out, a read failed) may have missed
  // the archives after a gap, or after the first.
  bool read = false;
  const std::vector<std::int64_t> numbers = partNumbersIn(folder, name, true, 0, &read);
  if (!read) {
    problem = "the folder " + (folder.empty() ? std::string(".") : folder) +
              " could not be read to its end, so the archives after " + firstArchive +
              " could not all be found";
    return false;
  }
  std::int64_t last = 0;
  for (const std::int64_t k : numbers) {
    if (k <= INT32_MAX && k > last && platform::pathExists(archiveOf(k))) last = k;
  }
  if (last == 0 && platform::fileExists(firstArchive)) last = 1;  // made since the folder was read
  for (std::int64_t k = 1; k <= last; ++k) {
    if (!platform::fileExists(archiveOf(k))) {
      problem = "the archive " + archiveOf(k) +
                (platform::pathExists(archiveOf(k)) ? " is not a regular file" : " is missing") +
                (k < last ? "; the archives after it up to " + archiveOf(last) + " would be left out"
                          : "");
      return false;
    }
    parts.push_back({archiveOf(k), partFileName(name, k), -1, {}});
  }
  if (parts.empty()) problem = "no archive of a part was found: " + firstArchive;
  return !parts.empty();
}

// Where the decoded bytes go: the output (when there is one) and the digests.
class JoinSink : public zip::ByteSink {
 public:
  JoinSink(platform::File* out, Sha256* whole) : m_out(out), m_whole(whole) {}
  void write(const std::uint8_t* data, std::size_t n) override {
    if (failed) return;
    part.update(data, n);
    if (m_whole != nullptr) m_whole->update(data, n);
    if (m_out != nullptr && !m_out->writeAll(data, static_cast<std::int64_t>(n), error)) {
      failed = true;
    }
    written += static_cast<std::int64_t>(n);
  }
  Sha256 part;
  std::int64_t written = 0;
  bool failed = false;
  platform::IoError error;

 private:
  platform::File* m_out;
  Sha256* m_whole;
};

// Decodes one archived part into `sink`; "" when it came out whole and as listed, else
// why not. `io` is set when the failure was the system's.
std::string readPart(const ArchivedPart& part, JoinSink& sink, const StopToken& stop,
                     bool& ioFailure) {
  ioFailure = false;
  // Never a pipe or a device, whose open or read could wait for ever.
  if (!platform::fileExists(part.archivePath)) {
    return "the archive " + part.archivePath +
           (platform::pathExists(part.archivePath) ? " is not a regular file" : " is missing");
  }
  platform::IoError err;
  platform::File archive = platform::File::open(part.archivePath, platform::File::Mode::Read, err);
  zip::SingleMember member;
  std::string why;
  if (!archive.isOpen() || !zip::readSingleMember(archive, member, why, err)) {
    ioFailure = why.empty();
    return why.empty() ? err.message() : "the archive " + part.archivePath + " is damaged: " + why;
  }
  if (member.name != part.name) {
    return "the archive " + part.archivePath + " holds " + member.name + ", not the part " +
           part.name;
  }
  if (part.size >= 0 && member.uncompressedSize != static_cast<std::uint64_t>(part.size)) {
    return "the archive " + part.archivePath + " holds " + std::to_string(member.uncompressedSize) +
           " bytes of " + part.name + " instead of " + std::to_string(part.size);
  }
  const auto keepGoing = [&] { return !stop.stopRequested() && !sink.failed; };
  const zip::MemberOutcome outcome =
      zip::decodeSingleMember(archive, member, sink, keepGoing, why, err);
  if (sink.failed) {
    ioFailure = true;
    return sink.error.message();
  }
  if (outcome == zip::MemberOutcome::Failed) {
    ioFailure = why.empty();
    return stop.stopRequested() ? std::string() : why.empty() ? err.message() : why;
  }
  if (outcome == zip::MemberOutcome::Damaged) {
    return "the part " + part.name + " in " + part.archivePath + " is damaged: " + why;
  }
  return {};
}

}  // namespace

bool isPartArchive(const std::string& path) {
  const std::string name = platform::namePart(path);
  const std::size_t n = sizeof kArchiveExtension - 1;
  if (name.size() <= n || name.compare(name.size() - n, n, kArchiveExtension) != 0) return false;
  const std::string part = name.substr(0, name.size() - n);
  return partNumberOf(part, part) > 0;
}

JobResult JoinArchivedParts(const CombineRequest& request, CombineOptions& options,
                            ProgressSink& progress, const StopToken& stop) {
  const std::string& output = request.outputPath;
  if (request.append) {
    return JobResult::failed(request.firstPartPath,
                             "Parts are appended from plain parts only, not from their "
                             "archives. Nothing was joined.");
  }
  std::vector<ArchivedPart> parts;
  ChecksumList list;
  std::string sumsPath, problem;
  if (!planArchives(request.firstPartPath, parts, list, sumsPath, problem)) {
    return JobResult::failed(request.firstPartPath, "Cannot join " + request.firstPartPath +
                                                        ": " + problem + ". Nothing was joined.");
  }
  // Nor may it take a name of its series (a part's or an archive's): a later join would
  // read the whole file as one of its parts.
  const std::string outputName = platform::namePart(output);
  const std::string firstPart = platform::namePart(withoutArchiveExtension(request.firstPartPath));
  if (!platform::isStreamTarget(output) &&
      (partNumberOf(outputName, firstPart) > 0 ||
       (isPartArchive(outputName) && partNumberOf(withoutArchiveExtension(outputName), firstPart) > 0)) &&
      platform::sameFile(orCurrent(platform::folderPart(output)),
                         orCurrent(platform::folderPart(request.firstPartPath)))) {
    return JobResult::failed(output, "The joined file " + output +
                                         " would take the name of one of its own parts.");
  }
  // Nothing the join reads may be what it writes.
  for (const ArchivedPart& part : parts) {
    if (platform::sameFile(part.archivePath, output) ||
        platform::absolutePath(part.archivePath) == platform::absolutePath(output)) {
      return JobResult::failed(output, "The joined file " + output +
                                           " would replace one of its own archives.");
    }
  }
  if (!sumsPath.empty() && platform::sameFile(sumsPath, output)) {
    return JobResult::failed(output, "The joined file " + output +
                                         " would replace the checksum file it is checked with.");
  }
  const bool stream = platform::isStreamTarget(output);
  platform::IoError err;
  platform::FileIdentity there;
  if (!stream && platform::identifyPath(output, there) && !request.overwrite) {
    return JobResult::failed(output, "The joined file " + output +
                                         " exists already and is kept; give --overwrite to "
                                         "replace it. Nothing was joined.");
  }
  platform::File out = stream ? platform::File::open(output, platform::File::Mode::WriteStream, err)
                              : platform::createTemporaryBeside(output, err);
  if (!out.isOpen()) return JobResult::failed(output, err.message());
  const std::string writePath = out.path();
  // A join that does not finish leaves no temporary file.
  struct Cleanup {
    platform::File& out;
    std::string path;
    ~Cleanup() {
      if (path.empty()) return;
      out.closeQuietly();
      platform::IoError ignored;
      platform::removeFile(path, ignored);
    }
  } cleanup{out, stream ? std::string() : writePath};

  Sha256 whole;
  std::int64_t total = 0;
  Progress update;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (stop.stopRequested()) return JobResult::stopped();
    const ArchivedPart& part = parts[i];
    update.part = static_cast<int>(i + 1);
    update.gauge = 0;
    setProgressTexts(update, total / 1024, " Kb - " + platform::namePart(part.archivePath),
                     "% - " + platform::namePart(part.archivePath));
    if (progress.shown()) progress.publish(update);
    JoinSink sink(&out, &whole);
    bool ioFailure = false;
    const std::string why = readPart(part, sink, stop, ioFailure);
    if (stop.stopRequested()) return JobResult::stopped();
    if (!why.empty()) {
      return JobResult::failed(ioFailure ? output : part.archivePath,
                               why + ". The joined file was not made.");
    }
    if (part.size >= 0 && sink.part.finishHex() != part.sha256) {
      return JobResult::failed(part.archivePath,
                               "The part " + part.name + " in " + part.archivePath +
                                   " does not match its checksum in " + sumsPath +
                                   ". The joined file was not made.");
    }
    total += sink.written;
  }
  JobResult result;
  if (!sumsPath.empty()) {
    if (whole.finishHex() != list.wholeSha256 || total != list.wholeSize) {
      return JobResult::failed(output, "The joined file does not match " + list.wholeName +
                                           " in " + sumsPath + ". The joined file was not made.");
    }
    result.summary = "Verified: every part and the joined file match " + sumsPath + ".";
  } else {
    result.summary = "Not verified: no checksum file was found beside the archives; each "
                     "member's CRC-32 matched.";
  }
  if (!stream) {
    if (!out.sync(err) || !out.close(err) || !platform::renameReplacing(writePath, output, err)) {
      return JobResult::failed(output, err.message());
    }
    cleanup.path.clear();
  } else if (!out.close(err)) {
    return JobResult::failed(output, err.message());
  }
  if (options.deleteParts()) {
    result.notes.push_back("The archives were kept: only plain parts are deleted after a join.");
  }
  return result;
}

VerifyReport VerifyArchivedParts(const std::string& firstArchivePath, const StopToken& stop) {
  VerifyReport report;
  std::vector<ArchivedPart> parts;
  ChecksumList list;
  if (!planArchives(firstArchivePath, parts, list, report.against, report.problem)) {
    if (report.against.empty()) {
      report.problem = "No checksum file lists " + withoutArchiveExtension(firstArchivePath) + ".";
    }
    return report;
  }
  if (report.against.empty()) {
    report.problem = "No checksum file lists " + withoutArchiveExtension(firstArchivePath) + ".";
    return report;
  }
  const std::string folder = platform::folderPart(report.against);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (stop.stopRequested()) return report;
    const ArchivedPart& part = parts[i];
    const std::string archiveName = platform::namePart(part.archivePath);
    if (!platform::fileExists(part.archivePath)) {
      report.lines.push_back({VerifyLine::Status::Missing, archiveName,
                              platform::pathExists(part.archivePath) ? "not a regular file" : ""});
      continue;
    }
    // The archive itself, when the list has its digest.
    const std::string& archiveSha = list.parts[i].archiveSha256;
    if (!archiveSha.empty()) {
      std::string unread;
      const bool right = sha256OfFile(part.archivePath, unread) == archiveSha;
      report.lines.push_back(
          {right ? VerifyLine::Status::Ok : VerifyLine::Status::Mismatch, archiveName,
           right ? std::string()
           : unread.empty() ? "the archive does not match its checksum in " + report.against
                            : unread});
    }
    JoinSink sink(nullptr, nullptr);
    bool ioFailure = false;
    std::string why = readPart(part, sink, stop, ioFailure);
    if (stop.stopRequested()) return report;
    if (why.empty() && sink.part.finishHex() != part.sha256) {
      why = "the part does not match its checksum in " + report.against;
    }
    report.lines.push_back({why.empty() ? VerifyLine::Status::Ok : VerifyLine::Status::Mismatch,
                            archiveName + ": " + part.name, why});
  }
  if (platform::fileExists(folder + list.wholeName)) {
    std::string ignored;
    platform::IoError err;
    const bool right = platform::fileSize(folder + list.wholeName, err) == list.wholeSize &&
                       sha256OfFile(folder + list.wholeName, ignored) == list.wholeSha256;
    report.lines.push_back({right ? VerifyLine::Status::Ok : VerifyLine::Status::Mismatch,
                            list.wholeName});
  }
  return report;
}

}  // namespace engine
