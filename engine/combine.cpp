// The join: parts appended in number order, each in 100 blocks; a part is deleted only
// after the output holding its bytes has reached the disk.
#include "engine/combine.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/archive_join.h"
#include "engine/block_copy.h"
#include "engine/combine_job.h"
#include "engine/recovery_data.h"

namespace engine {
namespace {

// `work` on a thread of its own, or an empty thread where none can be had: the caller then
// does the work itself.
template <typename Work>
std::thread threadOrNone(Work&& work) {
  try {
    return std::thread(std::forward<Work>(work));
  } catch (const std::system_error&) {
    return {};
  }
}

// Counted as the Combine tab always has: the chosen name first, then .002, .003 ... until
// a number has no file; the count ends at that first missing number.
// The archives of packed parts are counted the same way, by their parts' names.
std::int32_t countParts(const std::string& firstPartPath) {
  const std::string folder = platform::folderPart(firstPartPath);
  const std::string suffix = isPartArchive(firstPartPath) ? ".zip" : "";
  std::int32_t count = 1;
  std::string name = platform::namePart(firstPartPath);
  name.resize(name.size() - suffix.size());
  while (platform::fileExists(folder + name + suffix) && count < INT32_MAX) {
    ++count;
    name = partFileName(name, count);
  }
  return count;
}

}  // namespace

// The parts to join are every number from the first on up to the highest one present;
// the count taken at selection only says where to start looking. A number without a
// regular file below the highest one would silently leave out the parts after it.
JobResult CombineJob::planParts() {
  if (!m_stream) {
    // Whether the output can share the parts' blocks, asked once of the part chosen.
    platform::IoError ignored;
    platform::File chosen =
        platform::File::open(m_request.firstPartPath, platform::File::Mode::Read, ignored);
    m_shareBlock = platform::shareableBlockSize(
        chosen, orCurrent(platform::folderPart(m_request.outputPath)));
  }
  if (m_request.append && !m_continuing) {
    m_seen.at = m_request.appendAt >= 0 ? m_request.appendAt
                                        : std::max<std::int64_t>(0, m_outputBefore.size);
    m_first = static_cast<std::int32_t>(partNumberOf(platform::namePart(m_request.firstPartPath),
                                                     platform::namePart(m_request.firstPartPath)));
    if (m_first < 1) {
      return JobResult::failed(m_request.firstPartPath,
                               m_request.firstPartPath + " is not a numbered part.");
    }
  }
  std::string problem;
  m_sumsPath = findChecksumFile(m_request.firstPartPath, problem);
  if (!problem.empty()) {
    return JobResult::failed(m_sumsPath.empty() ? m_request.firstPartPath : m_sumsPath,
                             "Cannot join by a checksum file: " + problem + ". Nothing was joined.");
  }
  if (!m_sumsPath.empty()) return planListedParts();
  m_crcPath = findCrcFile(m_request.firstPartPath);
  if (!m_crcPath.empty()) {
    if (!loadCrcFile(m_crcPath, m_crc, problem)) {
      return JobResult::failed(m_crcPath, "The checksum file " + m_crcPath + " cannot be used: " +
                                              problem + ". Nothing was joined.");
    }
    m_crcChecked = true;
  }
  return planFoundParts();
}

// Without a list, the parts are the numbers found in the folder; a join continued from its
// journal must still find every part up to the highest one it planned for.
JobResult CombineJob::planFoundParts() {
  const std::string folder = platform::folderPart(m_request.firstPartPath);
  const std::string name = platform::namePart(m_request.firstPartPath);
  m_last = m_request.combineCount;
  bool listed = false;  // the folder was read to its end: a number it lacks has no file
  const std::vector<std::int64_t> numbers = partNumbersIn(folder, name, false, 0, &listed);
  // A folder read cut short (descriptors or memory ran out, a read failed) may have missed
  // the parts after a gap, which the join would then leave out unsaid.
  if (!listed) {
    return JobResult::failed(m_request.firstPartPath,
                             "The folder " + orCurrent(folder) +
                                 " could not be read to its end, so the parts after " +
                                 part(m_first) + " could not all be found. Nothing was joined.");
  }
  for (const std::int64_t k : numbers) {
    if (k <= INT32_MAX && k > m_last) m_last = static_cast<std::int32_t>(k);
  }
  // Uncounted, and no part found by its number: the parts are counted by their names.
  if (m_request.combineCount == 0 && numbers.empty()) m_last = countParts(m_request.firstPartPath);
  const std::int32_t planned =
      m_continuing ? static_cast<std::int32_t>(std::min<std::int64_t>(m_journal.lastNumber, INT32_MAX))
                   : 0;
  while (m_last >= m_first && m_last > planned && !platform::pathExists(part(m_last))) --m_last;
  m_last = std::max(m_last, planned);
  if (m_last < m_first && !m_continuing) {
    return JobResult::failed(
        m_request.firstPartPath,
        "No part to join was found: " + part(m_first) + " and the parts after it do not exist.");
  }
  for (std::int64_t k = m_first; k <= m_last; ++k) {
    const auto i = static_cast<std::int32_t>(k);
    platform::FileSpace space;
    if (lookAtPart(i, space)) continue;
    // The gap ends before the next part that is a regular file. A journal may plan for
    // parts far past those there are: only the numbers the folder holds are looked at,
    // not every number up to the last.
    std::int32_t gapEnd = m_last;
    for (auto n = std::upper_bound(numbers.begin(), numbers.end(), k);
         n != numbers.end() && *n <= m_last; ++n) {
      if (platform::fileExists(part(*n))) {
        gapEnd = static_cast<std::int32_t>(*n - 1);
        break;
      }
    }
    return leadingGap(i, gapEnd);
  }
  return {};
}

JobResult CombineJob::leadingGap(std::int32_t i, std::int32_t gapEnd) {
  const std::string what = platform::pathExists(part(i)) ? " is not a regular file" : " is missing";
  std::string reason =
      "The part " + part(i) + what + (gapEnd > i ? " (up to " + part(gapEnd) + ")" : "") +
      (gapEnd >= m_last ? ""
       : gapEnd + 1 < m_last ? "; the parts " + part(gapEnd + 1) + " to " + part(m_last)
                             : "; the part " + part(m_last)) +
      (gapEnd >= m_last ? "" : " would be left out") + ". Nothing was joined.";
  platform::IoError err;
  if (m_continuing) {
    reason += " The bytes of the parts before it are in " + holderPath() + ".";
  } else if (i == m_first && !m_request.append && platform::fileSize(m_request.outputPath, err) > 0) {
    reason += " If an earlier join deleted the missing parts, " + m_request.outputPath +
              " is the only copy of them and stays as it is; append the rest to it with "
              "--append-at and the bytes of the whole parts it holds.";
  }
  return JobResult::failed(part(i), reason);
}

// With a checksum file the join takes exactly the parts it lists, each of the listed
// size, and says so before anything is written when one is not there.
JobResult CombineJob::planListedParts() {
  std::string problem;
  if (!loadChecksumFile(m_sumsPath, m_list, problem)) {
    return JobResult::failed(m_sumsPath, "The checksum file " + m_sumsPath + " cannot be used: " +
                                             problem + ". Nothing was joined.");
  }
  if (!listsSeriesOf(m_list, platform::namePart(m_request.firstPartPath), problem)) {
    return JobResult::failed(m_sumsPath, "The checksum file " + m_sumsPath +
                                             " does not belong to these parts: " + problem +
                                             ". Nothing was joined.");
  }
  m_listed = true;
  m_last = static_cast<std::int32_t>(std::min<std::size_t>(m_list.parts.size(), INT32_MAX));
  if (m_continuing) {
    // The parts the journal holds are the listed ones, of the listed sizes, and the join
    // goes on from a listed part or from the one after the last.
    for (const JoinJournal::Held& held : m_journal.held) {
      const std::size_t k = static_cast<std::size_t>(held.number - 1);
      if (held.number > m_last || m_list.parts.sizeOf(k) != held.size) {
        return JobResult::failed(m_names.journal, "The join journal " + m_names.journal +
                                                    " does not agree with " + m_sumsPath +
                                                    " about " + part(held.number) +
                                                    ". Nothing was joined.");
      }
    }
    if (m_journal.nextNumber() > static_cast<std::int64_t>(m_last) + 1) {
      return JobResult::failed(m_names.journal, "The join journal " + m_names.journal +
                                                  " does not agree with " + m_sumsPath +
                                                  " about " + part(m_journal.nextNumber()) +
                                                  ". Nothing was joined.");
    }
    return checkListedSizes();
  }
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
  return checkListedSizes();
}

JobResult CombineJob::checkListedSizes() {
  // The folder is read for parts past the listed ones while the parts are looked at (or,
  // when the looks wait, copied).
  if (m_last - m_first + 1 >= kThreadedLooks) m_finder = threadOrNone([this] { findUnlisted(); });
  if (!m_finder.joinable()) findUnlisted();
  if (mayLookLater()) {
    m_looksLater = true;
    return {};
  }
  JobResult looked = lookAtListedParts();
  if (looked.outcome == JobOutcome::Done) noteUnlisted();
  return looked;
}

// A long series of small parts is looked at only when the copy finds one that is not as
// listed: the looks cost a lookup of every part's name, as much as the copy's own opens,
// which see the same. The message is then the planning's, and nothing was joined. The
// parts must be small (kLookLaterSize on average), so that a copy given up at a wrong
// part has cost little. Not where the copy could do harm before the looks stop it: into
// a file that is there (it may be a part), a device or a pipe (bytes sent are not called
// back), when appending or continuing (the output holds bytes of its own), or with too
// little room for the listed sizes (the looks may find that the parts need less).
bool CombineJob::mayLookLater() {
  const std::int64_t count = m_last - m_first + 1;
  if (!m_listed || m_request.append || m_continuing || m_stream || m_outputThere ||
      count < static_cast<std::int64_t>(kOpenAheadParts) || platform::faultsInjected()) {
    return false;
  }
  PartsSeen listed;
  listed.oneDevice = false;  // not looked at
  for (std::int64_t i = m_first; i <= m_last; ++i) {  // a list read adds up (ListReader)
    const std::int64_t size = m_list.parts.sizeOf(static_cast<std::size_t>(i - 1));
    listed.total += size;
    listed.largest = std::max(listed.largest, size);
  }
  listed.at = listed.total;
  if (listed.total / count > kLookLaterSize) return false;
  // A series is most often incomplete at its end (a part still coming): that part is
  // looked at now, and the parts are all looked at before the copy when it is wrong.
  platform::FileSpace last;
  if (!m_partsFolder.fileSpace(partName(m_last), last) || !last.regular ||
      last.size != m_list.parts.sizeOf(static_cast<std::size_t>(m_last - 1))) {
    return false;
  }
  const std::int64_t free = platform::freeSpace(platform::folderPart(m_request.outputPath));
  if (free >= 0 && free < listed.total) return false;
  m_seen = listed;
  return true;
}

// "P is missing" or "P has N bytes instead of M", for a part `size` bytes long (-1: no
// regular file) where its list says otherwise.
std::string CombineJob::listedProblem(std::int32_t number, std::int64_t size) const {
  return part(number) + (size < 0 ? " is missing"
                                  : " has " + std::to_string(size) + " bytes instead of " +
                                        std::to_string(m_list.parts.sizeOf(
                                            static_cast<std::size_t>(number - 1))));
}

JobResult CombineJob::partsDoNotMatch(const std::string& problems) const {
  return JobResult::failed(part(m_first), "The parts do not match " + m_sumsPath + ": " +
                                              problems + ". Nothing was joined.");
}

// A message names the first few parts and counts the rest: a series of thousands of
// parts must not give a message of thousands of names.
JobResult CombineJob::lookAtListedParts() {
  std::string problems;
  std::int64_t unnamed = 0;
  lookAtParts([&](std::int32_t i, const platform::FileSpace& space) {
    const std::int64_t size = space.regular ? space.size : -1;
    if (size == m_list.parts.sizeOf(static_cast<std::size_t>(i - 1))) return;
    if (problems.size() > kMessageNames) {
      ++unnamed;
      return;
    }
    problems += (problems.empty() ? "" : "; ") + listedProblem(i, size);
  });
  if (unnamed > 0) problems += "; and " + std::to_string(unnamed) + " more";
  if (!problems.empty()) return partsDoNotMatch(problems);
  return {};
}

// The copy of a series looked at later, or the making of its output, failed (at a part
// not as listed, at a part whose bytes are wrong, for want of room or rights): the looks
// say what is wrong with all the parts, as the planning would have before the output was
// made. Where they find nothing, the copy's own failure stands.
JobResult CombineJob::lookAtPartsLate(JobResult copied) {
  if (copied.outcome != JobOutcome::Failed) return copied;
  JobResult looked = lookAtListedParts();
  if (looked.outcome == JobOutcome::Done) return copied;
  m_refusedLate = true;
  return looked;
}

void CombineJob::findUnlisted() {
  m_unlisted = partNumbersIn(platform::folderPart(m_request.firstPartPath),
                             platform::namePart(m_request.firstPartPath), false, m_last,
                             &m_unlistedRead);
}

void CombineJob::noteUnlisted() {
  if (m_finder.joinable()) m_finder.join();
  // Read during the copy, the folder may have found no descriptor left: it is read again
  // now that the parts are closed.
  if (!m_unlistedRead) findUnlisted();
  const std::string firstName = platform::namePart(m_request.firstPartPath);
  std::string extra;
  std::int64_t unnamed = 0;
  for (const std::int64_t k : m_unlisted) {
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
}

// The planning's one look at a part: false unless a regular file is there. What the room
// check and the output check need of the part is kept from the same look.
bool CombineJob::lookAtPart(std::int32_t number, platform::FileSpace& space) {
  if (!m_partsFolder.fileSpace(partName(number), space) || !space.regular) return false;
  countPart(number, space);
  return true;
}

// lookAtPart() for every part, in order, a batch at a time: with many parts half of each
// batch is looked at on a second thread, since a look costs a lookup of the part's name
// and a long series of small parts spends as long on these as on its copy. `seen` is
// given each part's look (`regular` false where no regular file is there).
void CombineJob::lookAtParts(const std::function<void(std::int32_t, const platform::FileSpace&)>& seen) {
  std::vector<platform::FileSpace> spaces;
  for (std::int64_t from = m_first; from <= m_last; from += kLookBatch) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(kLookBatch, m_last - from + 1));
    spaces.assign(n, platform::FileSpace{});
    const auto look = [&](std::size_t begin, std::size_t end) {
      for (std::size_t k = begin; k < end; ++k) {
        if (!m_partsFolder.fileSpace(partName(from + static_cast<std::int64_t>(k)), spaces[k])) {
          spaces[k].regular = false;
        }
      }
    };
    std::thread helper;
    if (n >= static_cast<std::size_t>(kThreadedLooks)) helper = threadOrNone([&] { look(n / 2, n); });
    look(0, helper.joinable() ? n / 2 : n);
    if (helper.joinable()) helper.join();
    for (std::size_t k = 0; k < n; ++k) {
      const auto number = static_cast<std::int32_t>(from + static_cast<std::int64_t>(k));
      if (spaces[k].regular) countPart(number, spaces[k]);
      seen(number, spaces[k]);
    }
  }
}

void CombineJob::countPart(std::int32_t number, const platform::FileSpace& space) {
  std::int64_t need =
      space.allocated >= 0 && space.allocated < space.size ? space.allocated : space.size;
  // A part that starts on a block of the output is shared whole.
  if (m_shareBlock > 0 && m_seen.at % m_shareBlock == 0 &&
      space.size > platform::kSmallestSharedCopy) {
    need = 0;
  }
  // Sizes as the file system gives them, which may be sparse files of up to the largest
  // size there is: their sums stop there, and the copy fails at what no file can hold.
  const auto add = [](std::int64_t& sum, std::int64_t n) {
    sum = n > INT64_MAX - sum ? INT64_MAX : sum + n;
  };
  add(m_seen.at, space.size);
  add(m_seen.total, need);
  m_seen.largest = std::max(m_seen.largest, need);
  if (number == m_first) m_seen.device = space.device;
  m_seen.oneDevice = m_seen.oneDevice && space.device == m_seen.device;
  if (m_seen.output == 0 && m_outputThere && space.device == m_outputBefore.device &&
      space.inode == m_outputBefore.inode) {
    m_seen.output = number;
  }
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
  // ends in the same name: only the part whose number that name ends in can have it).
  bool ownPart = m_seen.output != 0;
  const std::int64_t named = partNumberOf(outputName, platform::namePart(m_request.firstPartPath));
  if (!ownPart && named >= m_first && named <= m_last && partName(named) == outputName) {
    ownPart = platform::absolutePath(part(named)) == outputFull;
  }
  if (ownPart) {
    return JobResult::failed(output,
                             "The joined file " + output + " would replace one of its own parts.");
  }
  if (m_request.append) return checkAppendTarget();
  if (m_stream) {
    if (!m_options.deleteParts()) return {};
    return JobResult::failed(output, "The joined file " + output +
                                         " is a device or a pipe, where nothing can check that "
                                         "the parts' bytes arrived, so no part may be deleted: "
                                         "join without --delete-parts. Nothing was joined.");
  }
  // The temporary file and the journal (of short names where the output's is long) must
  // be names the file system takes, or the join would fail after writing.
  std::string why;
  for (const std::string& name : {m_names.temporary, m_names.journal}) {
    if (!platform::nameFits(platform::folderPart(output), platform::namePart(name), why)) {
      return JobResult::failed(output, "The join needs " + name + " beside " + output + ", but " +
                                           why + ". Nothing was joined.");
    }
  }
  if (m_outputThere && !platform::fileExists(output)) {
    return JobResult::failed(output, output + " is not a regular file. Nothing was joined.");
  }
  if (m_outputThere && !m_request.overwrite) {
    return JobResult::failed(output, "The joined file " + output +
                                         " exists already and is kept; give --overwrite to "
                                         "replace it. Nothing was joined.");
  }
  return {};
}

// Appending writes into the output itself, which must be a plain file and none of the
// series' parts by any name (a hard link of a part would be appended to itself).
JobResult CombineJob::checkAppendTarget() const {
  const std::string& output = m_request.outputPath;
  platform::FileIdentity id;
  if (m_stream || !platform::identifyEntry(output, id)) {
    return JobResult::failed(output, "The joined file " + output +
                                         " to append to is not there (or not a plain file).");
  }
  const std::string name = platform::namePart(m_request.firstPartPath);
  for (const std::int64_t k : partNumbersIn(platform::folderPart(m_request.firstPartPath), name)) {
    platform::FileSpace space;
    if (m_partsFolder.fileSpace(partFileName(name, k), space) && space.device == id.device &&
        space.inode == id.inode) {
      return JobResult::failed(output, "The joined file " + output + " is the part " +
                                           part(k) + " under another name. Nothing was changed.");
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
  if (m_stream) return {};
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
  // A device or a pipe lies in no folder of the user's.
  const bool lockOutput = !m_stream;
  if ((lockOutput && !m_outputLock.acquire(outputFolder, err)) ||
      ((!lockOutput || !platform::sameFile(outputFolder, partsFolder)) &&
       !m_partsLock.acquire(partsFolder, err))) {
    return JobResult::failed(err.path, "cannot join into " + m_request.outputPath + ": " +
                                           err.path + ": " + err.reason() + ".");
  }
  return {};
}

// The parts' digests are compared as they become ready, without waiting for the digest
// threads after every part; `all` waits for the rest. Nothing is deleted before every part
// and the whole file matched, so a mismatch found a few parts late loses nothing, and the
// first mismatching part is still the one named.
JobResult CombineJob::checkDigests(bool all) {
  if (!m_listed) return {};
  const std::size_t joined = m_partAt.size();
  const std::size_t ready = all ? joined : std::min(joined, m_digest->partsDigested());
  for (; m_partsDigested < ready; ++m_partsDigested) {
    const std::int32_t number = m_first + static_cast<std::int32_t>(m_partsDigested);
    const std::array<std::uint8_t, 32> digest = m_digest->partDigest(m_partsDigested);
    m_digest->forgetPartsBefore(m_partsDigested + 1);  // compared once, then not needed
    if (m_list.parts.hasSha256(static_cast<std::size_t>(number - 1), digest)) continue;
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
  m_stream = !m_request.append && platform::isStreamTarget(m_request.outputPath);
  m_outputThere = platform::identifyPath(m_request.outputPath, m_outputBefore);
  if (!m_stream) m_names = joinNamesFor(m_request.outputPath);
  JobResult step = lockFolders();
  if (step.outcome == JobOutcome::Done) step = lookAtJournal();
  if (step.outcome == JobOutcome::Done && m_complete) return finishComplete();
  if (step.outcome == JobOutcome::Done) step = planParts();
  if (step.outcome == JobOutcome::Done) step = checkOutput();
  if (step.outcome == JobOutcome::Done) step = checkRoom();
  if (step.outcome != JobOutcome::Done) return step;
  step = openOutput();
  if (step.outcome == JobOutcome::Done) step = appendParts();
  // Parts looked at late: the note of unlisted parts comes as the planning's would, with
  // every outcome but the looks' own refusal.
  if (m_looksLater) {
    step = lookAtPartsLate(std::move(step));
    if (!m_refusedLate) noteUnlisted();
  }
  if (step.outcome != JobOutcome::Done) return finishFailed(step);
  platform::IoError err;
  if (m_digest) {
    if (!m_digest->flush(err)) return finishFailed(JobResult::failed(m_writePath, err.message()));
    // The digests are of the bytes read: the output must hold all of them too.
    const std::int64_t held = m_stream ? m_written : m_out.size(err);
    if (held != m_written) {
      return finishFailed(JobResult::failed(
          m_writePath, "The joined file " + m_writePath + " holds " + std::to_string(held) +
                           " bytes instead of " + std::to_string(m_written) +
                           ". No part was deleted."));
    }
  }
  step = checkDigests(true);
  if (step.outcome == JobOutcome::Done) step = checkWhole();
  if (step.outcome == JobOutcome::Done) {
    step = verifying() && m_options.deleteParts() ? deleteVerifiedParts() : putInPlace();
  }
  if (step.outcome != JobOutcome::Done) return finishFailed(step);
  if (m_options.deleteParts()) deleteLeftovers();
  if (!m_journalOut.remove(err)) m_result.warnings.push_back(err.message());
  if (!m_out.close(err)) return JobResult::failed(m_request.outputPath, err.message());
  return m_result;
}

// A long series of small parts is opened ahead (not while failures are injected: each
// open is then asked for once, in the order of the copy). What was opened ahead is closed
// before the join goes on to anything else.
std::unique_ptr<PartOpener> CombineJob::openerFor(std::size_t count) {
  // A join that deletes each part as it goes flushes the output first, which costs far more
  // than an open, and needs descriptors of its own that parts held ahead could have taken.
  // Nor where the numbers opened ahead would pass the largest int32.
  if (count < kOpenAheadParts || platform::faultsInjected() ||
      m_last > INT32_MAX - PartOpener::kAhead ||
      (!verifying() && m_options.deleteParts()) ||
      m_seen.at / static_cast<std::int64_t>(count) > kOpenAheadSize) {
    return nullptr;
  }
  try {
    return std::make_unique<PartOpener>(
        m_partsFolder, [this](std::int32_t number) { return partName(number); }, m_first, m_last);
  } catch (const std::system_error&) {
    return nullptr;  // no thread to be had: the copy opens each part itself
  }
}

JobResult CombineJob::appendParts() {
  // Room for every part at once: doubling would hold a long series' twice for a moment.
  const auto count = static_cast<std::size_t>(std::max(0, m_last - m_first + 1));
  m_partAt.reserve(count);
  m_partPrints.reserve(count);
  const std::unique_ptr<PartOpener> opener = openerFor(count);
  for (std::int64_t k = m_first; k <= m_last; ++k) {  // m_last may be the largest int32
    const auto i = static_cast<std::int32_t>(k);
    JobResult step = appendPart(i, opener.get());
    if (step.outcome == JobOutcome::Done) step = checkDigests(false);
    if (step.outcome != JobOutcome::Done) return step;
    if (!verifying() && m_options.deleteParts()) {
      // A stop that arrives after the part's last block keeps the part.
      if (m_stop.stopRequested()) return JobResult::stopped();
      deletePart(heldPart(i), true);
    }
  }
  return {};
}

JobResult CombineJob::appendPart(std::int32_t number, PartOpener* opener) {
  platform::IoError err;
  platform::File in = opener != nullptr
                          ? opener->take(number, err)
                          : m_partsFolder.open(partName(number), platform::File::Mode::Read, err);
  if (!in.isOpen() && m_finder.joinable()) {
    // The folder's reading holds a descriptor of its own: where none was left for the
    // part, it is opened again once that reading is over.
    m_finder.join();
    in = m_partsFolder.open(partName(number), platform::File::Mode::Read, err);
  }
  if (!in.isOpen()) {
    const std::string missing = part(number);
    // It was there when the join began: a part that went or became something else
    // cannot be passed over without leaving out its bytes.
    if (!platform::pathExists(missing)) {
      return JobResult::failed(missing, "The part " + missing +
                                            " disappeared during the join; the parts after it "
                                            "were not joined.");
    }
    return JobResult::failed(missing, err.message());
  }
  const std::string& path = in.path();  // the part's, made by the open
  // The open's own look at the part is its identity and size as it is copied.
  const platform::FileIdentity& id = in.openedAs();
  if (id.size < 0) return JobResult::failed(path, "cannot read " + path + ": its size is unknown");
  // A link to the file being written, put at the part's name during the join: its bytes
  // would be the join's own, copied into itself.
  if (id.sameObject(m_outId)) {
    return JobResult::failed(path, "The part " + path + " is the joined file " + m_writePath +
                                       " under another name; the parts after it were not "
                                       "joined.");
  }
  const std::int64_t size = id.size;
  if (m_looksLater && size != m_list.parts.sizeOf(static_cast<std::size_t>(number - 1))) {
    return partsDoNotMatch(listedProblem(number, size));
  }
  m_partAt.push_back(m_written);
  m_partPrints.push_back(platform::identityPrint(id));
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

CombineSelection NameFirstPart(const std::string& path) {
  CombineSelection selection;
  selection.folder = platform::folderPart(path);
  selection.firstName = platform::namePart(path);
  // The archive of a part gives the output the name the part would.
  const std::string part = isPartArchive(path)
                               ? selection.firstName.substr(0, selection.firstName.size() - 4)
                               : selection.firstName;
  const std::size_t dot = part.rfind('.');
  selection.outputName = dot == std::string::npos ? std::string() : part.substr(0, dot);
  return selection;
}

CombineSelection SelectFirstPart(const std::string& path) {
  CombineSelection selection = NameFirstPart(path);
  if (!selection.firstName.empty()) selection.combineCount = countParts(path);
  return selection;
}

JobResult CombineFiles(const CombineRequest& request, CombineOptions& options,
                       ProgressSink& progress, const StopToken& stop) {
  if (isPartArchive(request.firstPartPath)) {
    return JoinArchivedParts(request, options, progress, stop);
  }
  // Parts lost or damaged are rebuilt first, when recovery files are beside them; a join
  // that finishes an earlier one leaves its parts as they are. So does a join whose
  // journal is there: the parts it deleted are in its file, not lost.
  const bool underWay = !platform::isStreamTarget(request.outputPath) &&
                        platform::pathExists(joinNamesFor(request.outputPath).journal);
  JobResult rebuilt;
  if (!request.append && !underWay) rebuilt = repairBeforeJoin(request.firstPartPath, stop);
  if (rebuilt.outcome != JobOutcome::Done) return rebuilt;
  CombineJob job(request, options, progress, stop);
  JobResult result = job.run();
  result.notes.insert(result.notes.begin(), rebuilt.notes.begin(), rebuilt.notes.end());
  result.warnings.insert(result.warnings.begin(), rebuilt.warnings.begin(), rebuilt.warnings.end());
  return result;
}

}  // namespace engine
