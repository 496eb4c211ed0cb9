// The split: parts of the input in 100 blocks each, optional archives, deletion of the
// input once every byte is safely in a part or an archive, and the join script.
#include "engine/split.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/block_copy.h"
#include "engine/checksum.h"
#include "engine/checksum_file.h"
#include "engine/join_script.h"
#include "engine/part_names.h"
#include "engine/part_order.h"
#include "engine/planned_names.h"
#include "engine/run_ledger.h"
#include "platform/cores.h"
#include "platform/file.h"
#include "platform/path.h"

namespace engine {
namespace {

constexpr std::int64_t kMaxValue = std::numeric_limits<std::int32_t>::max();

class SplitJob {
 public:
  SplitJob(const SplitRequest& request, SplitOptions& options, ProgressSink& progress,
           const StopToken& stop, PartArchiver* archiver)
      : m_request(request),
        m_options(options),
        m_progress(progress),
        m_stop(stop),
        m_archiver(archiver) {}
  // A pack still waiting for its turn to show a box must not hold the job's end up.
  ~SplitJob() {
    if (m_order) m_order->release();
  }

  JobResult run();

 private:
  JobResult openInput();
  JobResult checkRoom();
  JobResult checkRoomForPart(std::int64_t number, const std::string& partPath, std::int64_t size);
  std::int64_t unsharedBytes(std::int64_t start, std::int64_t size) const;
  std::int64_t unsharedBytesOfAll() const;
  JobResult checkNames();
  JobResult checkListSize() const;
  JobResult checkOwnNames();
  JobResult checkNameLengths() const;
  JobResult checkEarlierSeries() const;
  JobResult writeParts();
  JobResult writePart(std::int64_t number, std::int64_t size);
  // What packing a part gave; a refusal before packing fills `problem` alone.
  struct PackOutcome {
    bool packed = false;  // the archiver reported a complete archive
    std::string problem;
    std::vector<std::string> boxes;  // warnings of a pack made on its own thread
    std::string sha256, shaProblem;  // the archive's digest, with the checksum file
  };
  struct Pack {
    std::size_t listIndex = 0;  // the part's line in m_list
    std::string partPath, archivePath;
    std::int64_t partSize = 0;
    bool clean = false;  // nothing stood at the archive's name any more when packing began
    PackOutcome done;    // a refusal, or the outcome of a pack made on this thread
    std::future<PackOutcome> running;
  };
  void archivePart(std::int64_t number, const std::string& partPath, std::int64_t size);
  // The part has nothing more to show; the next one's progress follows.
  void partDone(std::int64_t number) {
    if (m_order) m_order->done(number);
  }
  PackOutcome packPart(const std::string& partPath, const std::string& archivePath,
                       bool deferred) const;
  void finishPack();
  void finishReadyPacks();
  void finishAllPacks() {
    while (!m_packs.empty()) finishPack();
  }
  void noteLeftovers();
  void deleteInput();
  JobResult writeScript();
  JobResult writeChecksumFile();
  void removeStaleChecksumFile();
  JobResult planRecoveryData();
  JobResult startRecoveryFeed();
  JobResult writeRecoveryData();
  // What the parts' bytes pass through on their way: the digests, the recovery data.
  DigestCopy* copier() const { return m_digest ? m_digest.get() : m_feedCopy.get(); }
  // What a new file holds, handed to the given function a piece at a time.
  using TextSource = std::function<void(const std::function<void(std::string_view)>&)>;
  JobResult writeNewFile(const std::string& path, const TextSource& text, bool record);
  JobResult writeNewFile(const std::string& path, const std::string& text, bool record) {
    return writeNewFile(path, [&text](const auto& put) { put(text); }, record);
  }
  void publish(std::int64_t part);
  // A failure keeps the warnings gathered before it.
  JobResult failed(JobResult result) const {
    result.warnings.insert(result.warnings.begin(), m_result.warnings.begin(),
                           m_result.warnings.end());
    result.notes.insert(result.notes.begin(), m_result.notes.begin(), m_result.notes.end());
    return result;
  }
  JobResult stopped() const {
    JobResult result = JobResult::stopped(m_result.warnings);
    result.notes = m_result.notes;
    return result;
  }
  bool overwritesInput(const std::string& path) const {
    return platform::sameFile(path, m_request.path);
  }
  std::string folderShown() const {
    return m_workFolder.empty() ? platform::currentFolder() : m_workFolder;
  }
  // The name template of the series this split writes, as named when it began.
  std::string seriesTemplate() const {
    return m_namedAtStart ? m_batName : partTemplate(m_baseName);
  }
  // The series' own checksum file: NAME.sha256 beside NAME.001.
  std::string listPath() const {
    return m_workFolder + seriesChecksumFile(partFileName(seriesTemplate(), 1));
  }
  // What the split will create, as planned when it began (archives follow each part's
  // reading of the option).
  PlannedNames plannedNames() const {
    PlannedNames names;
    names.folder = m_workFolder;
    names.partTemplate = seriesTemplate();
    names.partCount = m_plan.partCount;
    names.checksumFile = m_sums;
    if (m_namedAtStart) names.scriptName = m_batName;
    return names;
  }

  const SplitRequest& m_request;
  SplitOptions& m_options;
  ProgressSink& m_progress;
  const StopToken& m_stop;
  PartArchiver* m_archiver;

  std::string m_workFolder;
  std::string m_baseName;
  std::string m_batName;
  std::string m_lastTemplate;   // the name template of the last part written
  bool m_namedAtStart = false;  // the parts were to be named after the script
  platform::File m_in;
  platform::FolderLock m_lock;
  std::int64_t m_fileSize = 0;
  std::int64_t m_bytesDone = 0;
  bool m_sparse = false;  // the parts keep the input's holes: room is checked up front only
  std::int64_t m_shareBlock = 0;  // the parts share the input's blocks of this size (0: copied)
  SplitPlan m_plan;
  JoinScript m_script;
  std::unique_ptr<RecoveryFeed> m_feed;  // the recovery data, made as the parts are copied
  bool m_sums = false;                   // the checksum file is written
  std::unique_ptr<DigestCopy> m_digest;  // with it: digests of what is copied
  std::unique_ptr<DigestCopy> m_feedCopy;  // without it: the copy that feeds the recovery data
  ChecksumList m_list;                   // every part written, in order
  RunLedger m_ledger;                    // every file that now holds bytes of the input
  RecoveryPlan m_recovery;               // the recovery files to write beside the parts
  bool m_everyPartSafe = true;           // every part written and, where asked, archived
  // Parts being packed on threads of their own, oldest first, at most m_packLimit; with
  // a limit of 0 each part is packed before the next is cut.
  std::deque<Pack> m_packs;
  std::size_t m_packLimit = 0;
  // With parts packed side by side: their progress and boxes, shown in part order.
  std::unique_ptr<PartOrder> m_order;
  std::int64_t m_packBytes = 0;  // the sizes of the parts in m_packs
  std::vector<std::string> m_leftovers;  // higher-numbered parts this run did not write
  Progress m_update;                     // the last update published, its room reused
  std::string m_statusTail, m_titleTail;  // what every update's texts end with
  platform::FileIdentity m_inputId;      // the input as it was when the split began
  bool m_inputUnchanged = false;         // ... and still was when the last part was written
  JobResult m_result;
};

JobResult SplitJob::openInput() {
  platform::IoError err;
  m_in = platform::File::open(m_request.path, platform::File::Mode::Read, err);
  if (!m_in.isOpen()) return JobResult::failed(m_request.path, err.message());
  m_fileSize = m_in.size(err);
  if (m_fileSize < 0) return JobResult::failed(m_request.path, err.message());
  m_in.identify(m_inputId);
  return {};
}

// The input must never be overwritten. Where a planned part, archive or script name
// would land on it, refuse before the first part is written rather than at that part.
JobResult SplitJob::checkNames() {
  if (!platform::sameFile(
          platform::folderPart(m_request.path).empty() ? "." : platform::folderPart(m_request.path),
          m_workFolder.empty() ? "." : m_workFolder)) {
    return {};  // another folder: names cannot meet (links are caught at each part)
  }
  const bool script = m_namedAtStart;
  std::vector<std::string> templates{partTemplate(m_baseName)};
  if (script) templates.push_back(m_batName);
  std::string name = m_baseName;
  const bool archiveName = name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0;
  for (const std::string& templateName : templates) {
    for (const std::string& candidate :
         {name, archiveName ? name.substr(0, name.size() - 4) : std::string()}) {
      const std::int64_t k = candidate.empty() ? 0 : partNumberOf(candidate, templateName);
      if (k >= 1 && k <= m_plan.partCount) {
        return JobResult::failed(m_request.path, "cannot split " + m_request.path + ": part " +
                                                     std::to_string(k) +
                                                     " would be written over it");
      }
    }
  }
  if (script && m_batName + ".bat" == m_baseName) {
    return JobResult::failed(m_request.path, "cannot split " + m_request.path +
                                                 ": the join script would be written over it");
  }
  return {};
}

namespace {

// A join script quotes names, and nothing in a name may end or escape the quotes.
bool scriptSafe(const std::string& name) {
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return c == '"' || (static_cast<unsigned char>(c) < 0x20); });
}

// True when the file at `path` begins with `start`: one this program wrote.
bool startsWith(const std::string& path, const std::string& start) {
  platform::IoError err;
  platform::File file = platform::File::open(path, platform::File::Mode::Read, err);
  std::string head(start.size(), '\0');
  return file.isOpen() &&
         file.readExact(head.data(), static_cast<std::int64_t>(head.size()), err) && head == start;
}

}  // namespace

// The checksum file and the scripts replace only their own kind: a file of the user's at
// such a name stays, and the split is refused before it writes anything.
JobResult SplitJob::checkOwnNames() {
  if (m_namedAtStart && !scriptNameProblem(m_batName).empty()) {
    return JobResult::failed(m_request.path,
                             scriptNameProblem(m_batName) + " Nothing was written.");
  }
  if (m_namedAtStart && (!scriptSafe(m_batName) || !scriptSafe(m_baseName))) {
    return JobResult::failed(m_request.path,
                             "A join script cannot name " + m_baseName + " or " + m_batName +
                                 ": a quote or a control character would break it.");
  }
  const std::string script = scriptProblem(plannedNames(), m_request.path);
  if (!script.empty()) return JobResult::failed(m_request.path, script + " Nothing was written.");
  const std::string sums = listPath();
  platform::FileIdentity id;  // a plain file there, not a link (a link is just replaced)
  if (m_sums && platform::identifyEntry(sums, id) && !startsWith(sums, kChecksumMarker)) {
    return JobResult::failed(sums, sums +
                                       " is a file this program did not write; move it away "
                                       "or split without the checksum file.");
  }
  const std::string sh = m_workFolder + m_batName + ".sh";
  if (m_namedAtStart && m_options.createShScript() && platform::identifyEntry(sh, id) &&
      !startsWith(sh, kShScriptStart)) {
    return JobResult::failed(sh, sh + " is a file this program did not write; move it away. "
                                      "Nothing was written.");
  }
  return {};
}

JobResult SplitJob::run() {
  m_workFolder = m_options.outputFolder();
  m_baseName = platform::namePart(m_request.path);
  m_batName = m_options.batName();
  JobResult opened = openInput();
  if (opened.outcome != JobOutcome::Done) return opened;

  std::string problem;
  if (!planSplit(m_fileSize, m_request.value, m_options.mode(), m_options.sizeUnit(), m_plan,
                 problem)) {
    return JobResult::failed(m_request.path, problem);
  }
  m_namedAtStart = m_options.createBat();
  if (m_archiver != nullptr && m_archiver->concurrent()) {
    const unsigned threads =
        m_request.packThreads == 0 ? platform::usableCores() : m_request.packThreads;
    m_packLimit = threads > 1 ? threads : 0;
  }
  if (m_packLimit > 0) m_order = std::make_unique<PartOrder>(m_progress);
  m_sums = m_options.writeChecksum();
  JobResult names = checkNames();
  if (names.outcome == JobOutcome::Done) names = checkOwnNames();
  if (names.outcome == JobOutcome::Done) names = checkNameLengths();
  if (names.outcome == JobOutcome::Done && m_sums) names = checkListSize();
  if (names.outcome == JobOutcome::Done) names = planRecoveryData();
  if (names.outcome != JobOutcome::Done) return names;
  // Another run writing parts of the same name into this folder would take over ours.
  platform::IoError err;
  if (!m_lock.acquire(m_workFolder, err)) {
    return JobResult::failed(folderShown(), "cannot split " + m_request.path + " into " +
                                                folderShown() + ": " + err.reason() + ".");
  }
  JobResult earlier = checkEarlierSeries();
  if (earlier.outcome != JobOutcome::Done) return earlier;
  JobResult room = checkRoom();
  if (room.outcome == JobOutcome::Done) room = startRecoveryFeed();
  if (room.outcome != JobOutcome::Done) return room;
  // The bytes pass through memory for the digests and the recovery data, if any.
  if (m_sums) {
    m_digest = std::make_unique<DigestCopy>(DigestCopy::Lanes{true, true, false, m_feed.get()});
  } else if (m_feed) {
    m_feedCopy = std::make_unique<DigestCopy>(DigestCopy::Lanes{false, false, false, m_feed.get()});
  }
  if (copier() != nullptr) copier()->shareBlocks(m_shareBlock);
  JobResult parts = writeParts();
  if (parts.outcome != JobOutcome::Done) {
    m_in.closeQuietly();
    return parts;
  }
  // A stop that arrives after the last block still keeps the input and writes no script.
  if (m_stop.stopRequested()) return stopped();
  platform::FileIdentity now;
  m_inputUnchanged = m_in.identify(now) && now == m_inputId;
  if (!m_in.close(err)) return failed(JobResult::failed(m_request.path, err.message()));
  if (m_digest) {
    JobResult sums = writeChecksumFile();
    if (sums.outcome != JobOutcome::Done) return failed(sums);
  } else {
    removeStaleChecksumFile();
  }
  JobResult recovery = writeRecoveryData();
  if (recovery.outcome != JobOutcome::Done) return failed(recovery);
  // The script goes first: once the input is gone, a script that could not be written
  // would leave parts that no one knows how to join.
  if (m_options.createBat()) {
    JobResult script = writeScript();
    if (script.outcome != JobOutcome::Done) return failed(script);
  }
  noteLeftovers();
  if (m_options.deleteInput()) deleteInput();
  if (m_stop.stopRequested()) return stopped();
  return m_result;
}

JobResult SplitJob::writeParts() {
  const std::int64_t regularSize = m_plan.partSize;
  // Grown in one step: doubling a list of thousands of parts would hold it twice for a
  // moment. Likewise the ledger. With a checksum file the count is bounded by what its
  // list may hold (checkListSize); without one, only a moderate count is made room for.
  const auto expected = static_cast<std::size_t>(
      m_sums ? m_plan.partCount : std::min<std::int64_t>(m_plan.partCount, 1 << 16));
  m_list.parts.reserve(expected);
  m_ledger.reserve(expected + 1);  // and the checksum file
  for (std::int64_t i = 1; i <= m_plan.partCount; ++i) {
    const std::int64_t size =
        i == m_plan.partCount ? m_fileSize - (i - 1) * regularSize : regularSize;
    JobResult part = writePart(i, size);
    if (part.outcome != JobOutcome::Done) {
      // Parts under way are packed and checked like any other: what a stop or a failure
      // leaves is then the same as when each part was packed before the next was cut.
      finishAllPacks();
      return failed(part);
    }
  }
  finishAllPacks();
  return {};
}

// A checksum file larger than a join reads would leave parts that no join of this
// program takes by it, so such a split is refused before anything is written.
JobResult SplitJob::checkListSize() const {
  const std::string templateName = seriesTemplate();
  ChecksumList::Part last;
  last.number = m_plan.partCount;
  last.size = std::max(m_plan.partSize, m_fileSize - (m_plan.partCount - 1) * m_plan.partSize);
  last.name = partFileName(templateName, m_plan.partCount);
  if (m_options.compressZip()) last.archiveName = last.name + ".zip";
  if (checksumFileSizeBound(m_plan.partCount, last, m_baseName, m_fileSize) <=
      kMaxChecksumFileSize) {
    return {};
  }
  return JobResult::failed(
      m_request.path, "The checksum file of " + std::to_string(m_plan.partCount) +
                          " parts would be larger than a join reads (" +
                          std::to_string(kMaxChecksumFileSize / (1024 * 1024)) +
                          " MiB). Choose fewer parts, or turn the checksum file off. Nothing "
                          "was written.");
}

// A name the file system cannot hold would fail at the end of a long split, after every
// part was written, so every name the split will create is measured first.
JobResult SplitJob::checkNameLengths() const {
  PlannedNames names = plannedNames();
  names.archives = m_options.compressZip();
  const std::string problem = nameLengthProblem(names);
  if (problem.empty()) return {};
  return JobResult::failed(m_request.path, "Cannot split " + m_request.path + ": " + problem +
                                               ". Choose a shorter name or folder. Nothing was "
                                               "written.");
}

// Parts of an earlier split of the same name with numbers past this split's last would
// be joined after its parts and give another file. They may be the only copy of that
// file, so they are neither replaced nor removed: the split is refused.
JobResult SplitJob::checkEarlierSeries() const {
  // Parts of the same series made from another file (script names that share a series,
  // NAME.one and NAME.two both making NAME.001): its list says whose parts they are.
  ChecksumList list;
  std::string problem;
  const std::string sums = listPath();
  if (platform::fileExists(sums) && loadChecksumFile(sums, list, problem) &&
      list.wholeName != m_baseName && platform::fileExists(m_workFolder + list.parts[0].name)) {
    return JobResult::failed(
        m_request.path, "The parts " + list.parts[0].name + " ... in " + folderShown() +
                            " are the parts of " + list.wholeName + " (" + sums +
                            "), and this split would replace them: they may be the only copy of "
                            "that file. Move them away or choose another name. Nothing was "
                            "written.");
  }
  // Without a list, a join script beside the parts says whose they are.
  const std::string firstPart = partFileName(seriesTemplate(), 1);
  const std::string script =
      m_workFolder + firstPart.substr(0, firstPart.rfind('.')) + ".bat";
  const std::string owner = scriptTarget(script, firstPart);
  if (!owner.empty() && owner != m_baseName && platform::fileExists(m_workFolder + firstPart)) {
    return JobResult::failed(
        m_request.path, "The parts " + firstPart + " ... in " + folderShown() +
                            " are the parts of " + owner + " (" + script +
                            " joins them into it), and this split would replace them: they may "
                            "be the only copy of that file. Move them away or choose another "
                            "name. Nothing was written.");
  }
  const std::vector<std::string> earlier = partsBeyond(plannedNames());
  if (earlier.empty()) return {};
  return JobResult::failed(
      m_request.path, "Parts of an earlier split are in " + folderShown() + " (" +
                          someNames(earlier) + "): this split makes " +
                          std::to_string(m_plan.partCount) +
                          " parts, and a join would append those after them. Move them away "
                          "(they may be the only copy of another file) or split into another "
                          "folder. Nothing was written.");
}

namespace {

// Bytes that removing the regular file at `path` would give back; 0 for anything else.
std::int64_t reclaimable(const std::string& path) {
  platform::FileIdentity id;
  if (!platform::identifyEntry(path, id)) return 0;
  return std::max<std::int64_t>(0, platform::allocatedSize(path));
}

}  // namespace

// A half-written set of parts is worse than none, so a split that cannot fit even at
// best is refused before the first part. The best case counts the room that old files at
// the parts' names give back and, with archives, that each part goes once it is packed;
// parts of a sparse input keep its holes when they stay on its filesystem, and parts that
// share the input's blocks take no room for them. Whatever the best case leaves open is
// checked again before each part.
JobResult SplitJob::checkRoom() {
  m_shareBlock = platform::shareableBlockSize(m_in, m_workFolder);
  std::int64_t need = m_fileSize;
  const std::int64_t allocated = platform::allocatedSize(m_request.path);
  if (allocated >= 0 && allocated < need &&
      platform::sameFilesystem(m_request.path, m_workFolder)) {
    need = allocated;
    m_sparse = true;
  }
  if (m_options.compressZip()) {
    need = std::min(
        need, std::max(m_plan.partSize, m_fileSize - (m_plan.partCount - 1) * m_plan.partSize));
  } else {
    need = std::min(need, unsharedBytesOfAll());
  }
  need += m_recovery.bytes;
  const std::string templateName = seriesTemplate();
  std::int64_t reclaim = 0;
  for (const std::int64_t k : partNumbersIn(m_workFolder, templateName, true)) {
    if (k > m_plan.partCount) break;
    const std::string partPath = m_workFolder + partFileName(templateName, k);
    reclaim += reclaimable(partPath) + reclaimable(partPath + ".zip");
  }
  const std::int64_t free = platform::freeSpace(m_workFolder);
  if (free < 0 || free + reclaim >= need) return {};
  return JobResult::failed(folderShown(), "Not enough free space in " + folderShown() +
                                              ": the parts need " + std::to_string(need) +
                                              " bytes, " + std::to_string(free + reclaim) +
                                              " are free.");
}

// The bytes of a part that take room of their own: on a filesystem that shares blocks,
// only what lies outside whole blocks of the input (the input's last block is shared
// whole); everywhere else, all of them.
std::int64_t SplitJob::unsharedBytes(std::int64_t start, std::int64_t size) const {
  if (m_shareBlock <= 0 || start % m_shareBlock != 0 || size <= platform::kSmallestSharedCopy) {
    return size;
  }
  return start + size == m_fileSize ? 0 : size % m_shareBlock;
}

// Parts of whole blocks all start on a block; otherwise only the first surely does.
std::int64_t SplitJob::unsharedBytesOfAll() const {
  const std::int64_t size = m_plan.partSize;
  const std::int64_t lastStart = (m_plan.partCount - 1) * size;
  if (m_shareBlock <= 0 || m_plan.partCount == 1) return unsharedBytes(0, m_fileSize);
  if (size % m_shareBlock == 0 && size > platform::kSmallestSharedCopy) {
    return unsharedBytes(lastStart, m_fileSize - lastStart);
  }
  return m_fileSize - size + unsharedBytes(0, size);
}

JobResult SplitJob::checkRoomForPart(std::int64_t number, const std::string& partPath,
                                     std::int64_t size) {
  if (m_sparse) return {};
  const bool archive = m_options.compressZip();
  // Packing needs room for the archive while the part is still there, and so does each
  // part still being packed.
  const std::int64_t unshared = unsharedBytes((number - 1) * m_plan.partSize, size);
  const std::int64_t need = archive ? unshared + size + m_packBytes : unshared;
  const std::int64_t free = platform::freeSpace(m_workFolder);
  const std::int64_t reclaim =
      reclaimable(partPath) + (archive ? reclaimable(partPath + ".zip") : 0);
  if (free < 0 || free + reclaim >= need) return {};
  return JobResult::failed(folderShown(),
                           "Not enough free space in " + folderShown() + " for part " +
                               std::to_string(number) + ": it needs " + std::to_string(need) +
                               " bytes, " + std::to_string(free + reclaim) +
                               " are free. The parts written so far and the input are kept.");
}

JobResult SplitJob::writePart(std::int64_t number, std::int64_t size) {
  const bool named = m_options.createBat();
  // The script's name is checked up front only when the option was on at the start.
  if (named && !m_namedAtStart && !scriptNameProblem(m_batName).empty()) {
    return JobResult::failed(m_request.path, scriptNameProblem(m_batName) +
                                                 " The parts written so far and the input are "
                                                 "kept.");
  }
  m_lastTemplate = named ? m_batName : partTemplate(m_baseName);
  const std::string partName = partFileName(m_lastTemplate, number);
  const std::string partPath = m_workFolder + partName;
  if (overwritesInput(partPath)) {
    return JobResult::failed(
        partPath, "cannot write " + partPath + ": the part would replace the file being split");
  }
  finishReadyPacks();
  JobResult room = checkRoomForPart(number, partPath, size);
  if (room.outcome != JobOutcome::Done && !m_packs.empty()) {
    // The parts under way give their room back once packed.
    finishAllPacks();
    room = checkRoomForPart(number, partPath, size);
  }
  if (room.outcome != JobOutcome::Done) return room;
  platform::IoError err;
  // A new file under the name, never one reached through a link there.
  platform::File out = platform::File::open(partPath, platform::File::Mode::CreateNew, err);
  if (!out.isOpen()) return JobResult::failed(partPath, err.message());
  std::string problem;
  if (!m_ledger.add(out, size, problem)) return JobResult::failed(partPath, problem);

  // Where nothing shows the updates, the copy is not told of each block at all.
  std::function<void(std::int64_t)> afterBlock;
  if (m_progress.shown()) {
    afterBlock = [&](std::int64_t n) {
      m_bytesDone += n;
      publish(number);
    };
  }
  JobResult copied = copyInBlocks(m_in, out, size, m_stop, afterBlock, copier());
  if (copied.outcome != JobOutcome::Done) return copied;
  if (!afterBlock) m_bytesDone += size;
  if (!out.close(err)) return JobResult::failed(partPath, err.message());
  if (copier() != nullptr) copier()->endPart();
  ChecksumList::Part listed;
  listed.number = number;
  listed.size = size;
  listed.name = partName;
  m_list.parts.push_back(listed);

  if (m_options.createBat()) m_script.addPart(partName, number == m_plan.partCount, size);
  if (m_options.compressZip()) {
    archivePart(number, partPath, size);
  } else {
    partDone(number);
  }
  return {};
}

void SplitJob::archivePart(std::int64_t number, const std::string& partPath, std::int64_t size) {
  Pack pack;
  pack.listIndex = m_list.parts.size() - 1;
  pack.partPath = partPath;
  pack.archivePath = partPath + ".zip";
  pack.partSize = size;
  platform::IoError err;
  if (m_archiver == nullptr) {
    pack.done.problem = "compression is not available in this build";
  } else if (overwritesInput(pack.archivePath)) {
    pack.done.problem = "the archive would replace the file being split";
  } else if (!platform::clearName(pack.archivePath, err)) {
    // An old archive (or a link) there is removed so that the new one is a file of its own.
    pack.done.problem = err.message();
  } else {
    pack.clean = true;
    if (m_packLimit == 0) {
      pack.done = packPart(pack.partPath, pack.archivePath, false);
    } else {
      while (m_packs.size() >= m_packLimit) finishPack();
      // The part is done the moment its pack is, not when this thread next looks.
      pack.running = std::async(std::launch::async,
                                [this, number, part = pack.partPath, archive = pack.archivePath] {
                                  PackOutcome outcome = packPart(part, archive, true);
                                  m_order->showBoxes(number, outcome.boxes);
                                  m_order->done(number);
                                  return outcome;
                                });
    }
  }
  if (!pack.running.valid()) partDone(number);
  m_packBytes += size;
  m_packs.push_back(std::move(pack));
  if (m_packLimit == 0) finishPack();
}

SplitJob::PackOutcome SplitJob::packPart(const std::string& partPath,
                                         const std::string& archivePath, bool deferred) const {
  PackOutcome outcome;
  outcome.packed = deferred
                       ? m_archiver->archiveDeferred(partPath, archivePath, outcome.problem,
                                                     outcome.boxes)
                       : m_archiver->archive(partPath, archivePath, outcome.problem);
  // The archive is listed too, so that a receiver can check it before unpacking.
  if (outcome.packed && m_digest) outcome.sha256 = sha256OfFile(archivePath, outcome.shaProblem);
  return outcome;
}

void SplitJob::finishReadyPacks() {
  while (!m_packs.empty() && m_packs.front().running.valid() &&
         m_packs.front().running.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
    finishPack();
  }
}

// Takes the oldest part's pack: the part goes only when its archive is complete and
// recorded; otherwise it stays, and so does the input.
void SplitJob::finishPack() {
  Pack pack = std::move(m_packs.front());
  m_packs.pop_front();
  m_packBytes -= pack.partSize;
  if (pack.running.valid()) pack.done = pack.running.get();
  std::string problem = pack.done.problem;
  platform::IoError err;
  if (pack.done.packed) {
    const std::int64_t archiveSize = platform::fileSize(pack.archivePath, err);
    if (archiveSize >= 0 && m_ledger.add(pack.archivePath, archiveSize, problem)) {
      if (m_digest && pack.done.sha256.empty()) {
        m_result.warnings.push_back("The archive " + pack.archivePath +
                                    " is not in the checksum file: " + pack.done.shaProblem);
      } else if (m_digest) {
        m_list.parts.setArchive(pack.listIndex, platform::namePart(pack.archivePath),
                                pack.done.sha256);
      }
      if (!platform::removeFile(pack.partPath, err)) {
        // The part stays beside its archive; both hold the bytes.
        m_result.warnings.push_back(err.message());
        return;
      }
      m_ledger.remove(pack.partPath);
      return;
    }
    if (problem.empty()) problem = err.message();
  }
  m_everyPartSafe = false;
  std::string note = "The part " + pack.partPath + " was kept unarchived: " + problem;
  // What the failed attempt left at the archive's name is this run's and holds nothing.
  if (pack.clean && platform::pathExists(pack.archivePath) && !m_ledger.holds(pack.archivePath) &&
      platform::removeFile(pack.archivePath, err)) {
    note += " (the incomplete archive " + pack.archivePath + " was removed)";
  }
  m_result.warnings.push_back(note);
}

// Parts with higher numbers than this run wrote, left by an earlier split of the same
// name, would be joined after ours and give another file.
void SplitJob::noteLeftovers() {
  // Refused up front for the series named at the start; the script option may have been
  // turned on or off since, and the last parts then carry the other name.
  PlannedNames named = plannedNames();
  named.partTemplate = m_lastTemplate;
  m_leftovers = partsBeyond(named);
  if (m_leftovers.empty()) return;
  m_result.warnings.push_back("Parts of an earlier split are still in " + folderShown() + " (" +
                              someNames(m_leftovers) + "): a join would append them after the " +
                              std::to_string(m_plan.partCount) +
                              " parts of this split. Remove them before joining.");
}

void SplitJob::deleteInput() {
  const std::string keep = "The input " + m_request.path + " was not deleted";
  if (!m_everyPartSafe) {
    m_result.warnings.push_back(keep + " because not every part was archived.");
    return;
  }
  if (!m_leftovers.empty()) {
    m_result.warnings.push_back(keep + " because a join of the parts in " + folderShown() +
                                " would not give it back while the earlier parts are there.");
    return;
  }
  // Every file that holds its bytes must still be the file written, whole and on disk,
  // and the new names must be on disk too, before the only other copy goes.
  platform::IoError err;
  if (!m_ledger.verify(err) || !platform::syncFolder(m_workFolder, err)) {
    m_result.warnings.push_back(keep + ": " + err.message());
    return;
  }
  // Checked last, after the flushes: bytes that reached the input after it was opened
  // are in no part (a rewrite that restored the modification time still moves the change
  // time), and a file put in its place is not the one that was split.
  platform::FileIdentity now;
  if (!m_inputUnchanged || !platform::identifyPath(m_request.path, now) || now != m_inputId) {
    m_result.warnings.push_back(keep + " because it changed while it was split.");
    return;
  }
  if (m_stop.stopRequested()) return;
  if (!platform::removeFile(m_request.path, err)) m_result.warnings.push_back(err.message());
}

JobResult SplitJob::writeNewFile(const std::string& path, const TextSource& text, bool record) {
  if (overwritesInput(path)) {
    return JobResult::failed(path,
                             "cannot write " + path + ": it would replace the file being split");
  }
  platform::IoError err;
  platform::File out = platform::File::open(path, platform::File::Mode::CreateNew, err);
  if (!out.isOpen()) return JobResult::failed(path, err.message());
  // Written through a small buffer: a list of many parts is never held whole.
  constexpr std::size_t kBuffer = 64 * 1024;
  std::string buffer;
  std::int64_t size = 0;
  bool written = true;
  const auto flush = [&] {
    written = written && out.writeAll(buffer.data(), static_cast<std::int64_t>(buffer.size()), err);
    size += static_cast<std::int64_t>(buffer.size());
    buffer.clear();
  };
  text([&](std::string_view piece) {
    buffer += piece;
    if (buffer.size() >= kBuffer) flush();
  });
  flush();
  if (!written) {
    // Half a file of this run helps no one.
    out.closeQuietly();
    platform::IoError ignored;
    platform::removeFile(path, ignored);
    return JobResult::failed(path, err.message());
  }
  std::string problem;
  if (record && !m_ledger.add(out, size, problem)) {
    return JobResult::failed(path, problem);
  }
  if (!out.close(err)) return JobResult::failed(path, err.message());
  return {};
}

JobResult SplitJob::writeScript() {
  const std::string scriptPath = m_workFolder + m_batName + ".bat";
  const std::string text = m_script.text(m_batName, m_baseName, m_options.batDeleteLine());
  if (!scriptNameProblem(m_batName).empty()) {
    return JobResult::failed(scriptPath, scriptNameProblem(m_batName));
  }
  if (!scriptSafe(m_batName) || !scriptSafe(m_baseName)) {
    return JobResult::failed(scriptPath, "A join script cannot name " + m_baseName + " or " +
                                             m_batName +
                                             ": a quote or a control character would break it.");
  }
  JobResult bat = writeNewFile(scriptPath, text, false);
  if (bat.outcome != JobOutcome::Done || !m_options.createShScript()) return bat;
  const std::string shPathToBe = m_workFolder + m_batName + ".sh";
  platform::FileIdentity id;
  if (platform::identifyEntry(shPathToBe, id) && !startsWith(shPathToBe, kShScriptStart)) {
    return JobResult::failed(shPathToBe, shPathToBe +
                                             " is a file this program did not write; "
                                             "move it away.");
  }
  std::vector<std::string> names;
  for (const ChecksumList::Part& part : m_list.parts) names.push_back(part.name);
  if (m_digest) {
    for (std::size_t i = 0; i < m_list.parts.size(); ++i) {
      m_list.parts.setSha256(i, m_digest->partSha256(i));
    }
  }
  const std::string shPath = m_workFolder + m_batName + ".sh";
  JobResult sh =
      writeNewFile(shPath, shScriptText(names, m_baseName, m_digest ? &m_list : nullptr), false);
  platform::IoError err;
  if (sh.outcome == JobOutcome::Done && !platform::makeExecutable(shPath, err)) {
    m_result.warnings.push_back(err.message());
  }
  return sh;
}

// Recovery data is made over the parts themselves, so it is planned (and its memory and
// room counted) before the first part, and refused with packing, which deletes the parts.
JobResult SplitJob::planRecoveryData() {
  const RecoveryAmount amount = m_options.recovery();
  if (amount.none()) return {};
  if (m_options.compressZip()) {
    return JobResult::failed(m_request.path, "Recovery data covers the parts themselves, and "
                                             "packing deletes them: choose one of the two. "
                                             "Nothing was written.");
  }
  const std::int64_t last = m_fileSize - (m_plan.partCount - 1) * m_plan.partSize;
  const std::int64_t filled = (m_plan.partSize > 0 ? m_plan.partCount - 1 : 0) + (last > 0 ? 1 : 0);
  std::string problem;
  if (!planRecovery(amount, std::max(m_plan.partSize, last), filled, m_recovery, problem)) {
    return JobResult::failed(m_request.path, problem);
  }
  if (m_recovery.blocks == 0) return {};
  const std::string base = recoveryBase(m_workFolder + partFileName(seriesTemplate(), 1));
  // The parts' names may fit where the volumes' longer ones do not.
  std::string tooLong;
  if (!platform::nameFits(m_workFolder, longestRecoveryName(base, m_recovery), tooLong)) {
    return JobResult::failed(m_request.path, "Cannot split " + m_request.path +
                                                 " with recovery data: " + tooLong +
                                                 ". Choose a shorter name or folder. Nothing "
                                                 "was written.");
  }
  for (const std::string& old : recoveryFilesOf(base)) {
    const std::string foreign = foreignRecoveryFile(old, base);
    if (!foreign.empty()) {
      return JobResult::failed(old, foreign + ", and the recovery data would take its name; "
                                              "move it away. Nothing was written.");
    }
  }
  return {};
}

// The recovery data is made from the parts' bytes on their way, so each part's first
// bytes, which name it in the recovery set, are read from the input before the copy.
JobResult SplitJob::startRecoveryFeed() {
  if (m_recovery.blocks == 0) return {};
  std::vector<par2::SourceFile> parts;
  parts.reserve(static_cast<std::size_t>(m_plan.partCount));
  const std::string templateName = seriesTemplate();
  platform::IoError err;
  for (std::int64_t i = 1; i <= m_plan.partCount; ++i) {
    // Tens of thousands of reads about a slow disk take a while: a stop ends them.
    if (m_stop.stopRequested()) return stopped();
    par2::SourceFile part;
    part.name = partFileName(templateName, i);
    part.size = static_cast<std::uint64_t>(
        i == m_plan.partCount ? m_fileSize - (i - 1) * m_plan.partSize : m_plan.partSize);
    if (!m_in.seek((i - 1) * m_plan.partSize, err) ||
        !par2::readHeadHash(m_in, part.size, part.hash16k, err)) {
      return JobResult::failed(m_request.path, err.message());
    }
    parts.push_back(std::move(part));
  }
  if (!m_in.seek(0, err)) return JobResult::failed(m_request.path, err.message());
  m_feed = std::make_unique<RecoveryFeed>();
  if (!m_feed->start(std::move(parts), m_recovery, err)) {
    return JobResult::failed(m_request.path, "No recovery data can be made: " + err.message());
  }
  return {};
}

// Recovery files of an earlier split at this series' name describe other parts: they go,
// whether or not this split writes its own.
JobResult SplitJob::writeRecoveryData() {
  const std::string base = recoveryBase(m_workFolder + partFileName(seriesTemplate(), 1));
  platform::IoError err;
  for (const std::string& old : recoveryFilesOf(base)) {
    // Files that are not recovery data of this series' parts (a user's set over the input
    // itself) are not ours to remove.
    const std::string foreign = foreignRecoveryFile(old, base);
    if (!foreign.empty()) {
      if (m_recovery.blocks == 0) continue;
      return JobResult::failed(old, foreign + "; move it away. The parts are written; no "
                                              "recovery data was.");
    }
    if (platform::removeFile(old, err)) {
      m_result.notes.push_back("The recovery file " + old +
                               " of an earlier split was removed: it described other parts.");
    } else {
      m_result.warnings.push_back(err.message() + " (it describes the parts of an earlier split)");
    }
  }
  if (m_recovery.blocks == 0) return {};
  // Packing turned on while the split ran took parts away from under the recovery data.
  for (const ChecksumList::Part& part : m_list.parts) {
    if (!part.archiveName.empty()) {
      m_result.warnings.push_back("No recovery data was written: parts were packed into "
                                  "archives, and recovery data covers the parts themselves.");
      return {};
    }
  }
  // The script option turned on or off while the split ran gave the parts two names: a set
  // over both would be refused, by a join and by the next split here, as one that
  // describes another series' parts.
  const std::string series = seriesTemplate();
  for (const ChecksumList::Part& part : m_list.parts) {
    if (partNumberOf(part.name, series) == 0) {
      m_result.warnings.push_back("No recovery data was written: the join script option "
                                  "changed during the split, so the parts carry two names, "
                                  "and recovery data covers the parts of one series.");
      return {};
    }
  }
  std::vector<std::string> names, parts;
  names.reserve(m_list.parts.size());
  for (const ChecksumList::Part& part : m_list.parts) names.push_back(part.name);
  std::vector<std::string> written;
  if (m_feed) copier()->drainSink();
  if (!m_feed || !m_feed->finish(names, base, written, err)) {
    // The parts came out otherwise than planned (the input changed under the copy): the
    // recovery data is made from what they hold now.
    parts.reserve(names.size());
    for (const std::string& name : names) parts.push_back(m_workFolder + name);
    JobResult made = writeRecoveryFiles(parts, m_recovery, base, m_stop, written);
    if (made.outcome != JobOutcome::Done) return made;
  }
  std::string problem;
  for (const std::string& path : written) {
    if (!m_ledger.add(path, platform::fileSize(path, err), problem)) {
      return JobResult::failed(path, problem);
    }
  }
  return {};
}

// A checksum file of an earlier split at this split's name describes parts this split has
// just replaced: a join would check the new parts against it, or trust it for a file
// that no longer exists.
void SplitJob::removeStaleChecksumFile() {
  const std::string sums = listPath();
  if (!platform::fileExists(sums) || !startsWith(sums, kChecksumMarker)) return;
  platform::IoError err;
  if (platform::removeFile(sums, err)) {
    m_result.notes.push_back("The checksum file " + sums +
                             " of an earlier split was removed: it described other parts.");
  } else {
    m_result.warnings.push_back(err.message() + " (it describes the parts of an earlier split)");
  }
}

// Lists every part (and archive) and the whole input, so that a join, or a receiver with
// nothing but the usual tools, can prove the bytes came back.
JobResult SplitJob::writeChecksumFile() {
  // The parts' digests stay in the digest copy (32 bytes each) and are written from there.
  m_list.wholeName = m_baseName;
  m_list.wholeSize = m_fileSize;
  m_list.wholeSha256 = m_digest->wholeSha256();
  const auto partSha = [this](std::size_t i) { return m_digest->partSha256(i); };
  return writeNewFile(listPath(),
                      [&](const auto& put) { checksumFileLines(m_list, put, partSha); },
                      true);
}

void SplitJob::publish(std::int64_t part) {
  if (!m_progress.shown()) return;
  if (m_statusTail.empty()) {
    m_statusTail = " Kb / " + std::to_string(m_fileSize / 1024) + " Kb";
    m_titleTail = "% - " + m_request.caption;
  }
  m_update.part = static_cast<int>(part);
  m_update.gauge = gaugePosition(m_bytesDone, m_fileSize);
  setProgressTexts(m_update, m_bytesDone / 1024, m_statusTail, m_titleTail);
  (m_order ? static_cast<ProgressSink&>(*m_order) : m_progress).publish(m_update);
}

}  // namespace

std::int64_t unitBytes(int unitIndex) {
  switch (unitIndex) {
    case 0:
      return 1;
    case 1:
      return 1024;
    case 2:
      return 1024 * 1024;
    case 3:
      return 1024 * 1024 * 1024;
    default:
      return 0;
  }
}

bool planSplit(std::int64_t fileSize, std::int64_t value, SplitMode mode, int sizeUnit,
               SplitPlan& plan, std::string& problem) {
  if (mode == SplitMode::ByNumber) {
    if (value < 1 || value > kMaxValue) {
      problem =
          "The number of parts must be a whole number from 1 to " + std::to_string(kMaxValue) + ".";
      return false;
    }
    plan.partSize = fileSize / value;
    plan.partCount = value;
    return true;
  }
  const std::int64_t unit = unitBytes(sizeUnit);
  if (unit == 0) {
    problem = "No unit is chosen for the part size.";
    return false;
  }
  if (value < 1 || value > kMaxValue) {
    problem = "The part size must be a whole number from 1 to " + std::to_string(kMaxValue) + ".";
    return false;
  }
  plan.partSize = value * unit;
  plan.partCount = fileSize / plan.partSize + 1;
  if (plan.partCount > kMaxValue) {
    problem = "Parts of " + std::to_string(plan.partSize) + " bytes would make " +
              std::to_string(plan.partCount) + " parts; at most " + std::to_string(kMaxValue) +
              " are possible.";
    return false;
  }
  return true;
}

JobResult SplitFile(const SplitRequest& request, SplitOptions& options, ProgressSink& progress,
                    const StopToken& stop, PartArchiver* archiver) {
  SplitJob job(request, options, progress, stop, archiver);
  return job.run();
}

}  // namespace engine
