// The join: parts appended in number order, each in 100 blocks; a part is deleted only
// after the output holding its bytes has reached the disk.
#include "engine/combine.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "engine/block_copy.h"
#include "engine/checksum_file.h"
#include "engine/digest_copy.h"
#include "engine/part_names.h"
#include "platform/file.h"
#include "platform/path.h"

namespace engine {
namespace {

// Where a message stops naming parts and only counts the rest (in characters).
constexpr std::size_t kMessageNames = 1000;

std::string orCurrent(const std::string& folder) {
  return folder.empty() ? "." : folder;
}

// Counted as the Combine tab always has: the chosen name first, then .002, .003 ... until
// a number has no file; the count ends at that first missing number.
std::int32_t countParts(const std::string& firstPartPath) {
  const std::string folder = platform::folderPart(firstPartPath);
  std::int32_t count = 1;
  std::string name = platform::namePart(firstPartPath);
  while (platform::fileExists(folder + name) && count < INT32_MAX) {
    ++count;
    name = partFileName(name, count);
  }
  return count;
}

class CombineJob {
 public:
  CombineJob(const CombineRequest& request, CombineOptions& options, ProgressSink& progress,
             const StopToken& stop)
      : m_request(request),
        m_options(options),
        m_progress(progress),
        m_stop(stop),
        m_partsFolder(platform::folderPart(request.firstPartPath)) {}

  JobResult run();

 private:
  JobResult planParts();
  JobResult planListedParts();
  bool lookAtPart(std::int32_t number, platform::FileSpace& space);
  JobResult checkDigests(bool all);
  JobResult checkWhole();
  JobResult feedKeptBytes();
  JobResult checkOutput() const;
  JobResult checkRoom();
  JobResult lockFolders();
  JobResult openOutput();
  JobResult checkKeptBytes(std::int64_t held, std::int64_t keep);
  JobResult putInPlace();
  JobResult appendPart(std::int32_t number, const std::string& path);
  void deletePart(std::int32_t number, const std::string& path);
  JobResult finishFailed(JobResult result);
  std::string howToFinish(std::int32_t nextNumber) const;
  std::string howToFinishAt(std::int32_t nextNumber, std::int64_t keep) const;
  void publish(std::int32_t number, const std::string& name, std::int64_t size);
  // Every part lies in the folder of the first one: its path is that folder's and its name.
  std::string partName(std::int64_t number) const {
    if (m_listed && number >= 1 && number <= static_cast<std::int64_t>(m_list.parts.size())) {
      return m_list.parts[static_cast<std::size_t>(number - 1)].name;
    }
    return partFileName(platform::namePart(m_request.firstPartPath), number);
  }
  std::string part(std::int64_t number) const {
    return platform::folderPart(m_request.firstPartPath) + partName(number);
  }
  bool verifying() const { return m_listed || m_crcChecked; }
  std::string temporaryName() const {
    return platform::folderPart(m_request.outputPath) + "." +
           platform::namePart(m_request.outputPath) + ".sundrix-join";
  }

  const CombineRequest& m_request;
  CombineOptions& m_options;
  ProgressSink& m_progress;
  const StopToken& m_stop;
  platform::FolderFiles m_partsFolder;  // where the parts are looked at and opened by name
  std::int32_t m_first = 1;  // the numbers joined: m_first .. m_last
  std::int32_t m_last = 0;
  // What the planning's one look at each part found, for the checks after it.
  struct PartsSeen {
    std::int64_t total = 0;    // the room the parts take (their allocated bytes where fewer)
    std::int64_t largest = 0;  // ... and the largest of them
    std::uint64_t device = 0;  // the filesystem of the parts, when they share one
    bool oneDevice = true;
    std::int32_t output = 0;  // the first part that is the file at the output's name; 0 none
    std::int64_t at = 0;      // where the next part seen will go in the output
  } m_seen;
  bool m_outputThere = false;
  platform::FileIdentity m_outputBefore;  // the file at the output's name when planning began
  platform::FolderLock m_outputLock, m_partsLock;
  platform::File m_out;
  platform::FileIdentity m_outId;                 // the output as this run created or opened it
  std::vector<platform::FileIdentity> m_partIds;  // each part copied, as it was when opened
  std::int64_t m_written = 0;                     // bytes the output must hold now
  std::int64_t m_safeBytes = 0;
  // Where the bytes go: the output's own name, or, when a file is there already, a
  // temporary name beside it that replaces it only once the join has succeeded.
  std::string m_writePath;  // ... of which the deleted parts' bytes end here
  std::int64_t m_bytesDone = 0;
  Progress m_update;                      // the last update published, its room reused
  std::string m_statusTail, m_titleTail;  // what the current part's texts end with
  std::int32_t m_lastDeleted = 0;         // the number of the last part deleted; 0 for none
  bool m_folderSynced = false;
  JobResult m_result;
  // What the bytes are checked against: the checksum file of the split, or another
  // splitter's ".crc" file. Either way the parts go only after the whole file matched.
  bool m_listed = false;
  ChecksumList m_list;
  std::string m_sumsPath;
  bool m_crcChecked = false;
  CrcFile m_crc;
  std::string m_crcPath;
  std::unique_ptr<DigestCopy> m_digest;
  std::size_t m_partsDigested = 0;
  std::int64_t m_shareBlock = 0;  // the output shares the parts' blocks of this size (0: copied)
};

// The parts to join are every number from the first on up to the highest one present;
// the count taken at selection only says where to start looking. A number without a
// regular file below the highest one would silently leave out the parts after it.
JobResult CombineJob::planParts() {
  m_outputThere = platform::identifyPath(m_request.outputPath, m_outputBefore);
  {
    // Whether the output can share the parts' blocks, asked once of the part chosen.
    platform::IoError ignored;
    platform::File chosen =
        platform::File::open(m_request.firstPartPath, platform::File::Mode::Read, ignored);
    m_shareBlock = platform::shareableBlockSize(
        chosen, orCurrent(platform::folderPart(m_request.outputPath)));
  }
  if (m_request.append) {
    m_seen.at = m_request.appendAt >= 0 ? m_request.appendAt
                                        : std::max<std::int64_t>(0, m_outputBefore.size);
  }
  std::string ambiguity;
  m_sumsPath = findChecksumFile(m_request.firstPartPath, ambiguity);
  if (!ambiguity.empty()) {
    return JobResult::failed(
        m_request.firstPartPath,
        "Cannot tell which checksum file to join by: " + ambiguity + ". Nothing was joined.");
  }
  if (!m_sumsPath.empty()) return planListedParts();
  m_crcPath = findCrcFile(m_request.firstPartPath);
  if (!m_crcPath.empty()) {
    std::string problem;
    if (!loadCrcFile(m_crcPath, m_crc, problem)) {
      return JobResult::failed(m_crcPath, "The checksum file " + m_crcPath + " cannot be used: " +
                                              problem + ". Nothing was joined.");
    }
    m_crcChecked = true;
  }
  if (m_request.append) {
    m_first = static_cast<std::int32_t>(partNumberOf(platform::namePart(m_request.firstPartPath),
                                                     platform::namePart(m_request.firstPartPath)));
    if (m_first < 1) {
      return JobResult::failed(m_request.firstPartPath,
                               m_request.firstPartPath + " is not a numbered part.");
    }
  }
  const std::string folder = platform::folderPart(m_request.firstPartPath);
  const std::string name = platform::namePart(m_request.firstPartPath);
  m_last = m_request.combineCount;
  const std::vector<std::int64_t> numbers = partNumbersIn(folder, name);
  for (const std::int64_t k : numbers) {
    if (k <= INT32_MAX && k > m_last) m_last = static_cast<std::int32_t>(k);
  }
  // Uncounted, and a folder that cannot be listed: the parts are counted by their names.
  if (m_request.combineCount == 0 && numbers.empty()) m_last = countParts(m_request.firstPartPath);
  while (m_last >= m_first && !platform::pathExists(part(m_last))) --m_last;
  if (m_last < m_first) {
    return JobResult::failed(
        m_request.firstPartPath,
        "No part to join was found: " + part(m_first) + " and the parts after it do not exist.");
  }
  for (std::int32_t i = m_first; i <= m_last; ++i) {
    platform::FileSpace space;
    if (lookAtPart(i, space)) continue;
    std::int32_t gapEnd = i;
    while (gapEnd < m_last && !platform::fileExists(part(gapEnd + 1))) ++gapEnd;
    const bool leading = i == m_first && !m_request.append;
    const std::string what =
        platform::pathExists(part(i)) ? " is not a regular file" : " is missing";
    std::string reason =
        "The part " + part(i) + what + (gapEnd > i ? " (up to " + part(gapEnd) + ")" : "") +
        (gapEnd + 1 < m_last ? "; the parts " + part(gapEnd + 1) + " to " + part(m_last)
                             : "; the part " + part(m_last)) +
        " would be left out. Nothing was joined.";
    platform::IoError err;
    const std::string holder =
        platform::fileSize(temporaryName(), err) > 0 ? temporaryName() : m_request.outputPath;
    if (leading && platform::fileSize(holder, err) > 0) {
      reason += " The joined file " + holder +
                " exists: if an earlier join deleted the missing parts, it is now the only copy "
                "of them and stays as it is. " +
                howToFinish(gapEnd + 1) +
                " If that join ended inside a part, give --append-at with the bytes of the parts "
                "it holds.";
    }
    return JobResult::failed(part(i), reason);
  }
  return {};
}

// With a checksum file the join takes exactly the parts it lists, each of the listed
// size, and says so before anything is written when one is not there.
JobResult CombineJob::planListedParts() {
  std::string problem;
  if (!loadChecksumFile(m_sumsPath, m_list, problem)) {
    return JobResult::failed(m_sumsPath, "The checksum file " + m_sumsPath + " cannot be used: " +
                                             problem + ". Nothing was joined.");
  }
  m_listed = true;
  m_last = static_cast<std::int32_t>(std::min<std::size_t>(m_list.parts.size(), INT32_MAX));
  m_first = 1;
  if (m_request.append) {
    const std::string chosen = platform::namePart(m_request.firstPartPath);
    m_first = 0;
    for (const ChecksumList::Part& listed : m_list.parts) {
      if (listed.name == chosen) m_first = static_cast<std::int32_t>(listed.number);
    }
    if (m_first < 1) {
      return JobResult::failed(m_request.firstPartPath,
                               m_request.firstPartPath + " is not listed in " + m_sumsPath + ".");
    }
  }
  // A message names the first few parts and counts the rest: a series of thousands of
  // parts must not give a message of thousands of names.
  std::string problems;
  std::int64_t unnamed = 0;
  for (std::int32_t i = m_first; i <= m_last; ++i) {
    const ChecksumList::Part& listed = m_list.parts[static_cast<std::size_t>(i - 1)];
    platform::FileSpace space;
    const std::int64_t size = lookAtPart(i, space) ? space.size : -1;
    if (size == listed.size) continue;
    if (problems.size() > kMessageNames) {
      ++unnamed;
      continue;
    }
    problems += (problems.empty() ? "" : "; ") + part(i) +
                (size < 0 ? " is missing"
                          : " has " + std::to_string(size) + " bytes instead of " +
                                std::to_string(listed.size));
  }
  if (unnamed > 0) problems += "; and " + std::to_string(unnamed) + " more";
  if (!problems.empty()) {
    return JobResult::failed(part(m_first), "The parts do not match " + m_sumsPath + ": " +
                                                problems + ". Nothing was joined.");
  }
  std::string extra;
  unnamed = 0;
  const std::string firstName = platform::namePart(m_request.firstPartPath);
  for (const std::int64_t k :
       partNumbersIn(platform::folderPart(m_request.firstPartPath), firstName)) {
    if (k <= m_last) continue;
    if (extra.size() > kMessageNames) {
      ++unnamed;
    } else {
      extra += (extra.empty() ? "" : ", ") + partFileName(firstName, k);
    }
  }
  if (unnamed > 0) extra += " and " + std::to_string(unnamed) + " more";
  if (!extra.empty()) {
    m_result.notes.push_back("Not listed in " + m_sumsPath + ", so left out: " + extra + ".");
  }
  return {};
}

// The planning's one look at a part: false unless a regular file is there. What the room
// check and the output check need of the part is kept from the same look.
bool CombineJob::lookAtPart(std::int32_t number, platform::FileSpace& space) {
  if (!m_partsFolder.fileSpace(partName(number), space) || !space.regular) return false;
  std::int64_t need =
      space.allocated >= 0 && space.allocated < space.size ? space.allocated : space.size;
  // A part that starts on a block of the output is shared whole.
  if (m_shareBlock > 0 && m_seen.at % m_shareBlock == 0 &&
      space.size > platform::kSmallestSharedCopy) {
    need = 0;
  }
  m_seen.at += space.size;
  m_seen.total += need;
  m_seen.largest = std::max(m_seen.largest, need);
  if (number == m_first) m_seen.device = space.device;
  m_seen.oneDevice = m_seen.oneDevice && space.device == m_seen.device;
  if (m_seen.output == 0 && m_outputThere && space.device == m_outputBefore.device &&
      space.inode == m_outputBefore.inode) {
    m_seen.output = number;
  }
  return true;
}

std::string CombineJob::howToFinish(std::int32_t nextNumber) const {
  return "To finish, append the rest to it (sundrix-cli join " + part(nextNumber) + " --out " +
         m_request.outputPath + " --append), or keep it as it is.";
}

std::string CombineJob::howToFinishAt(std::int32_t nextNumber, std::int64_t keep) const {
  return "To finish, append the rest to it (sundrix-cli join " + part(nextNumber) + " --out " +
         m_writePath + " --append-at " + std::to_string(keep) + "), or keep its first " +
         std::to_string(keep) + " bytes.";
}

// The joined file must not be any file the join reads, nor take a name of the series
// it is joined from: a later join would read it as a part.
JobResult CombineJob::checkOutput() const {
  const std::string& output = m_request.outputPath;
  if (platform::namePart(output).empty()) {
    return JobResult::failed(output, "No name is given for the joined file.");
  }
  const bool sameFolder =
      platform::sameFile(orCurrent(platform::folderPart(output)),
                         orCurrent(platform::folderPart(m_request.firstPartPath)));
  if (sameFolder &&
      partNumberOf(platform::namePart(output), platform::namePart(m_request.firstPartPath)) > 0) {
    return JobResult::failed(
        output, "The joined file " + output + " would take the name of one of its own parts.");
  }
  for (const std::string* sums : {&m_sumsPath, &m_crcPath}) {
    if (!sums->empty() && (platform::sameFile(*sums, output) ||
                           platform::absolutePath(*sums) == platform::absolutePath(output))) {
      return JobResult::failed(output, "The joined file " + output +
                                           " would replace the checksum file it is checked with.");
    }
  }
  const std::string outputFull = platform::absolutePath(output);
  const std::string outputName = platform::namePart(outputFull);
  // The same file (as the planning saw it), or the same path spelled another way (which
  // ends in the same name).
  bool ownPart = m_seen.output != 0;
  for (std::int32_t i = m_first; i <= m_last && !ownPart; ++i) {
    const std::string path = part(i);
    ownPart = platform::namePart(path) == outputName && platform::absolutePath(path) == outputFull;
  }
  if (ownPart) {
    return JobResult::failed(output,
                             "The joined file " + output + " would replace one of its own parts.");
  }
  if (m_request.append) {
    platform::FileIdentity id;
    if (!platform::identifyEntry(output, id)) {
      return JobResult::failed(output, "The joined file " + output +
                                           " to append to is not there (or not a plain file).");
    }
  }
  return {};
}

// A join that runs out of room half-way is worse than none: the joined file must fit
// before it is created. Parts deleted as they are copied free their room on the way, so
// then only the largest part must fit at once. On a filesystem that shares blocks, a part
// that starts on a block of the output is shared whole (the output stays on block
// boundaries while the parts are whole blocks) and needs no room.
JobResult CombineJob::checkRoom() {
  const std::string folder = platform::folderPart(m_request.outputPath);
  platform::FileIdentity folderId;
  const bool sameFilesystem = m_seen.oneDevice &&
                              platform::identifyPath(orCurrent(folder), folderId) &&
                              m_seen.device == folderId.device;
  // A verified join deletes its parts only at the end, so they must all fit beside it.
  const std::int64_t need = m_options.deleteParts() && sameFilesystem && !verifying()
                                ? m_seen.largest
                                : m_seen.total;
  std::int64_t free = platform::freeSpace(folder);
  if (free < 0) return {};
  if (free >= need) return {};
  const std::string shown = folder.empty() ? platform::currentFolder() : folder;
  return JobResult::failed(shown, "Not enough free space in " + shown + ": the joined file needs " +
                                      std::to_string(need) + " bytes, " + std::to_string(free) +
                                      " are free.");
}

// Another run writing into the output's folder, or joining or deleting the same parts,
// would mix its files with ours.
JobResult CombineJob::lockFolders() {
  const std::string outputFolder = orCurrent(platform::folderPart(m_request.outputPath));
  const std::string partsFolder = orCurrent(platform::folderPart(m_request.firstPartPath));
  platform::IoError err;
  if (!m_outputLock.acquire(outputFolder, err) ||
      (!platform::sameFile(outputFolder, partsFolder) && !m_partsLock.acquire(partsFolder, err))) {
    return JobResult::failed(err.path, "cannot join into " + m_request.outputPath + ": " +
                                           err.path + ": " + err.reason() + ".");
  }
  return {};
}

JobResult CombineJob::openOutput() {
  platform::IoError err;
  m_writePath = m_request.outputPath;
  if (m_request.append) {
    m_out = platform::File::open(m_writePath, platform::File::Mode::ReadWrite, err);
    const std::int64_t held = m_out.isOpen() ? m_out.size(err) : -1;
    if (held < 0) return JobResult::failed(m_writePath, err.message());
    const std::int64_t keep = m_request.appendAt >= 0 ? m_request.appendAt : held;
    JobResult kept = checkKeptBytes(held, keep);
    if (kept.outcome != JobOutcome::Done) return kept;
    if (keep < held && !m_out.truncate(keep, err))
      return JobResult::failed(m_writePath, err.message());
    if (!m_out.seek(keep, err)) return JobResult::failed(m_writePath, err.message());
    m_written = m_safeBytes = keep;
  } else {
    // A new file, never one reached through a link. A file already at the name stays
    // until the join has succeeded: it may be the only good copy.
    if (platform::pathExists(m_writePath)) m_writePath = temporaryName();
    m_out = platform::File::open(m_writePath, platform::File::Mode::CreateNew, err);
    if (!m_out.isOpen()) return JobResult::failed(m_writePath, err.message());
  }
  m_out.identify(m_outId);
  if (!verifying()) return {};
  m_digest = std::make_unique<DigestCopy>(DigestCopy::Lanes{m_listed, m_listed, m_crcChecked});
  m_digest->shareBlocks(m_shareBlock);
  m_digest->writeBehind();  // flushed before the output is looked at (run)
  return feedKeptBytes();
}

// What an output to append to keeps must be whole parts: with a checksum file, exactly
// the listed parts before the first one appended; and bytes cut off must be the start of
// that part (what a join that ended inside it had copied), so that nothing is lost.
JobResult CombineJob::checkKeptBytes(std::int64_t held, std::int64_t keep) {
  const std::string& output = m_writePath;
  if (keep > held) {
    return JobResult::failed(output, output + " holds only " + std::to_string(held) +
                                         " bytes, fewer than the " + std::to_string(keep) +
                                         " to keep. Nothing was changed.");
  }
  if (m_listed) {
    std::int64_t before = 0;
    for (std::int32_t i = 1; i < m_first; ++i)
      before += m_list.parts[static_cast<std::size_t>(i - 1)].size;
    if (keep != before) {
      return JobResult::failed(output, "The parts before " + part(m_first) + " are " +
                                           std::to_string(before) + " bytes in " + m_sumsPath +
                                           ", but " + std::to_string(keep) + " of " + output +
                                           " would be kept. Nothing was changed.");
    }
  }
  if (keep == held) return {};
  platform::IoError err;
  platform::File next = platform::File::open(part(m_first), platform::File::Mode::Read, err);
  std::vector<char> a(64 * 1024), b(64 * 1024);
  bool same = next.isOpen() && m_out.seek(keep, err);
  for (std::int64_t left = held - keep; same && left > 0;) {
    const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(a.size()));
    same = m_out.readExact(a.data(), n, err) && next.readExact(b.data(), n, err) &&
           std::equal(a.begin(), a.begin() + n, b.begin());
    left -= n;
  }
  if (same) return {};
  return JobResult::failed(output, "The " + std::to_string(held - keep) + " bytes of " + output +
                                       " after its first " + std::to_string(keep) +
                                       " are not the start of " + part(m_first) +
                                       ": cutting them off could lose data. Nothing was changed.");
}

// A join into a temporary name replaces the file at the output's name only now, in one
// step, when every byte is there (and, when a checksum was at hand, proven right).
JobResult CombineJob::putInPlace() {
  if (m_writePath == m_request.outputPath) return {};
  platform::IoError err;
  if (!platform::renameReplacing(m_writePath, m_request.outputPath, err) ||
      !platform::syncFolder(platform::folderPart(m_request.outputPath), err)) {
    return JobResult::failed(m_request.outputPath, err.message());
  }
  m_writePath = m_request.outputPath;
  return {};
}

// The bytes an output to append to already holds belong to the whole file's digest.
JobResult CombineJob::feedKeptBytes() {
  if (m_written == 0) return {};
  platform::IoError err;
  std::vector<char> buffer(256 * 1024);
  if (!m_out.seek(0, err)) return JobResult::failed(m_request.outputPath, err.message());
  for (std::int64_t left = m_written; left > 0;) {
    const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size()));
    if (!m_out.readExact(buffer.data(), n, err)) {
      return JobResult::failed(m_request.outputPath, err.message());
    }
    m_digest->feedWhole(buffer.data(), static_cast<std::size_t>(n));
    left -= n;
  }
  return {};
}

// The parts' digests are compared as they become ready, without waiting for the digest
// threads after every part; `all` waits for the rest. Nothing is deleted before every part
// and the whole file matched, so a mismatch found a few parts late loses nothing, and the
// first mismatching part is still the one named.
JobResult CombineJob::checkDigests(bool all) {
  if (!m_listed) return {};
  const std::size_t joined = static_cast<std::size_t>(m_partIds.size());
  const std::size_t ready = all ? joined : std::min(joined, m_digest->partsDigested());
  for (; m_partsDigested < ready; ++m_partsDigested) {
    const std::int32_t number = m_first + static_cast<std::int32_t>(m_partsDigested);
    const std::string sha = m_digest->partSha256(m_partsDigested);
    if (sha == m_list.parts[static_cast<std::size_t>(number - 1)].sha256) continue;
    const std::string path = part(number);
    return JobResult::failed(path, "The part " + path + " does not match its checksum in " +
                                       m_sumsPath +
                                       ": it is damaged or belongs to another split. No part was "
                                       "deleted.");
  }
  return {};
}

JobResult CombineJob::checkWhole() {
  const std::string& output = m_request.outputPath;
  if (m_listed) {
    if (m_digest->wholeSha256() != m_list.wholeSha256 || m_written != m_list.wholeSize) {
      return JobResult::failed(output, "The joined file " + output + " does not match " +
                                           m_list.wholeName + " in " + m_sumsPath +
                                           ". No part was deleted.");
    }
    m_result.summary = "Verified: every part and the joined file match " + m_sumsPath + ".";
    return {};
  }
  if (m_crcChecked) {
    const std::uint32_t crc = m_digest->wholeCrc32();
    if (crc != m_crc.crc || m_written != m_crc.size) {
      return JobResult::failed(output, "The joined file " + output + " does not match " +
                                           m_crcPath +
                                           " (the size or the CRC-32 differs). No part was "
                                           "deleted.");
    }
    m_result.summary = "Verified: the joined file's size and CRC-32 match " + m_crcPath + ".";
    return {};
  }
  return {};  // nothing to prove the bytes against: no summary
}

JobResult CombineJob::run() {
  JobResult planned = planParts();
  if (planned.outcome != JobOutcome::Done) return planned;
  JobResult checked = checkOutput();
  if (checked.outcome != JobOutcome::Done) return checked;
  JobResult locked = lockFolders();
  if (locked.outcome != JobOutcome::Done) return locked;
  JobResult room = checkRoom();
  if (room.outcome != JobOutcome::Done) return room;
  JobResult opened = openOutput();
  if (opened.outcome != JobOutcome::Done) return finishFailed(opened);
  platform::IoError err;
  for (std::int32_t i = m_first; i <= m_last; ++i) {
    const std::string path = part(i);
    JobResult appended = appendPart(i, path);
    if (appended.outcome == JobOutcome::Done) appended = checkDigests(false);
    if (appended.outcome != JobOutcome::Done) return finishFailed(appended);
    if (!verifying() && m_options.deleteParts()) {
      // A stop that arrives after the part's last block keeps the part.
      if (m_stop.stopRequested()) return finishFailed(JobResult::stopped());
      deletePart(i, path);
    }
  }
  if (m_digest) {
    if (!m_digest->flush(err)) return finishFailed(JobResult::failed(m_writePath, err.message()));
    // The digests are of the bytes read: the output must hold all of them too.
    const std::int64_t held = m_out.size(err);
    if (held != m_written) {
      return finishFailed(JobResult::failed(
          m_writePath, "The joined file " + m_writePath + " holds " + std::to_string(held) +
                           " bytes instead of " + std::to_string(m_written) +
                           ". No part was deleted."));
    }
  }
  JobResult whole = checkDigests(true);
  if (whole.outcome == JobOutcome::Done) whole = checkWhole();
  if (whole.outcome == JobOutcome::Done) whole = putInPlace();
  if (whole.outcome != JobOutcome::Done) return finishFailed(whole);
  if (verifying()) {
    for (std::int32_t i = m_first; i <= m_last; ++i) {
      if (!m_options.deleteParts()) continue;
      if (m_stop.stopRequested()) return finishFailed(JobResult::stopped());
      deletePart(i, part(i));
    }
  }
  if (!m_out.close(err)) {
    return finishFailed(JobResult::failed(m_request.outputPath, err.message()));
  }
  return m_result;
}

// A join that ends early says what the output now is. When it deleted no part, its
// unfinished output holds nothing the parts do not and goes; when it did, the output is
// the only copy of those parts and stays, and the user is told how to finish.
JobResult CombineJob::finishFailed(JobResult result) {
  result.warnings.insert(result.warnings.begin(), m_result.warnings.begin(),
                         m_result.warnings.end());
  result.notes.insert(result.notes.begin(), m_result.notes.begin(), m_result.notes.end());
  const bool stopped = result.outcome == JobOutcome::Stopped;
  platform::IoError err;
  platform::FileIdentity now;
  if (m_lastDeleted == 0) {
    if (stopped || !platform::identifyEntry(m_writePath, now) || !now.sameObject(m_outId)) {
      return result;
    }
    if (!m_request.append && platform::removeFile(m_writePath, err)) {
      result.warnings.push_back("The unfinished joined file " + m_writePath +
                                " was removed; every part is kept.");
    } else if (m_request.append && m_out.isOpen() && m_out.truncate(m_safeBytes, err)) {
      result.warnings.push_back("The joined file " + m_writePath + " was cut back to its first " +
                                std::to_string(m_safeBytes) +
                                " bytes, the parts it held before; every part is kept.");
    }
    m_out.closeQuietly();
    return result;
  }
  m_out.closeQuietly();
  const std::int32_t lastDeleted = m_lastDeleted;
  result.warnings.push_back("The joined file " + m_writePath +
                            " holds everything up to and including " + part(lastDeleted) +
                            " in its first " + std::to_string(m_safeBytes) +
                            " bytes and is now the only copy of the deleted parts. " +
                            howToFinishAt(lastDeleted + 1, m_safeBytes));
  return result;
}

JobResult CombineJob::appendPart(std::int32_t number, const std::string& path) {
  platform::IoError err;
  platform::File in = m_partsFolder.open(partName(number), platform::File::Mode::Read, err);
  if (!in.isOpen()) {
    // It was there when the join began: a part that went or became something else
    // cannot be passed over without leaving out its bytes.
    if (!platform::pathExists(path)) {
      return JobResult::failed(path, "The part " + path +
                                         " disappeared during the join; the parts after it "
                                         "were not joined.");
    }
    return JobResult::failed(path, err.message());
  }
  // The open's own look at the part is its identity and size as it is copied.
  const platform::FileIdentity& id = in.openedAs();
  if (id.size < 0) return JobResult::failed(path, "cannot read " + path + ": its size is unknown");
  const std::int64_t size = id.size;
  m_partIds.push_back(id);
  m_bytesDone = 0;
  // Where nothing shows the updates, the copy is not told of each block at all.
  std::function<void(std::int64_t)> afterBlock;
  if (m_progress.shown()) {
    afterBlock = [&, name = platform::namePart(path)](std::int64_t n) {
      m_bytesDone += n;
      publish(number, name, size);
    };
  }
  JobResult copied = copyInBlocks(in, m_out, size, m_stop, afterBlock, m_digest.get());
  if (copied.outcome != JobOutcome::Done) return copied;
  m_written += size;
  if (m_digest && m_listed) m_digest->endPart();
  if (!in.close(err)) return JobResult::failed(path, err.message());
  return {};
}

void CombineJob::deletePart(std::int32_t number, const std::string& path) {
  // The part's bytes must be on disk, in the file this run writes at the output's name,
  // before the part goes.
  platform::IoError err;
  platform::FileIdentity expected = m_outId;
  expected.size = m_written;
  if (!platform::syncAndCheckFile(m_writePath, expected, err)) {
    m_result.warnings.push_back("The part " + path + " was kept: " + err.message());
    return;
  }
  // A part that changed after it was opened holds bytes the output lacks.
  platform::FileIdentity now;
  const std::size_t index = static_cast<std::size_t>(number - m_first);
  if (!platform::identifyPath(path, now) || index >= m_partIds.size() || now != m_partIds[index]) {
    m_result.warnings.push_back("The part " + path + " was kept: it changed while it was joined.");
    return;
  }
  if (!m_folderSynced) {
    if (!platform::syncFolder(platform::folderPart(m_request.outputPath), err)) {
      m_result.warnings.push_back("The part " + path + " was kept: " + err.message());
      return;
    }
    m_folderSynced = true;
  }
  if (!platform::removeFile(path, err)) {
    m_result.warnings.push_back(err.message());
    return;
  }
  m_lastDeleted = number;
  m_safeBytes = m_written;
}

void CombineJob::publish(std::int32_t number, const std::string& name, std::int64_t size) {
  if (!m_progress.shown()) return;
  if (m_update.part != number) {
    m_statusTail = " Kb / " + std::to_string(size / 1024) + " Kb - " + name;
    m_titleTail = "% - " + name;
  }
  m_update.part = number;
  m_update.gauge = gaugePosition(m_bytesDone, size);
  setProgressTexts(m_update, m_bytesDone / 1024, m_statusTail, m_titleTail);
  m_progress.publish(m_update);
}

}  // namespace

CombineSelection NameFirstPart(const std::string& path) {
  CombineSelection selection;
  selection.folder = platform::folderPart(path);
  selection.firstName = platform::namePart(path);
  const std::size_t dot = selection.firstName.rfind('.');
  selection.outputName =
      dot == std::string::npos ? std::string() : selection.firstName.substr(0, dot);
  return selection;
}

CombineSelection SelectFirstPart(const std::string& path) {
  CombineSelection selection = NameFirstPart(path);
  if (!selection.firstName.empty()) selection.combineCount = countParts(path);
  return selection;
}

JobResult CombineFiles(const CombineRequest& request, CombineOptions& options,
                       ProgressSink& progress, const StopToken& stop) {
  CombineJob job(request, options, progress, stop);
  return job.run();
}

}  // namespace engine
