// The join's working state, shared by its planning and copy (combine.cpp) and by what it
// does with its output and journal (combine_output.cpp). Not for use outside the engine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/checksum_file.h"
#include "engine/combine.h"
#include "engine/digest_copy.h"
#include "engine/join_journal.h"
#include "engine/part_names.h"
#include "engine/part_opener.h"
#include "platform/file.h"
#include "platform/path.h"

namespace engine {

// Where a message stops naming parts and only counts the rest (in characters).
inline constexpr std::size_t kMessageNames = 1000;
// A series of at least this many parts, of at most this size on average, is opened ahead.
inline constexpr std::size_t kOpenAheadParts = 64;
inline constexpr std::int64_t kOpenAheadSize = 1024 * 1024;
// A verified join of at least kOpenAheadParts of at most this size on average looks at
// its parts only if their copy fails.
inline constexpr std::int64_t kLookLaterSize = 64 * 1024;
// The planning looks at a long series' parts this many at a time (40 bytes each), and
// from this many on, on two threads.
inline constexpr std::int64_t kLookBatch = 16384;
inline constexpr std::int64_t kThreadedLooks = 256;

inline std::string orCurrent(const std::string& folder) {
  return folder.empty() ? "." : folder;
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

  ~CombineJob() {
    if (m_finder.joinable()) m_finder.join();
  }

  JobResult run();

 private:
  // Planning (combine.cpp).
  JobResult planParts();
  JobResult planListedParts();
  JobResult checkListedSizes();
  bool mayLookLater();
  std::string listedProblem(std::int32_t number, std::int64_t size) const;
  JobResult partsDoNotMatch(const std::string& problems) const;
  JobResult lookAtListedParts();
  JobResult lookAtPartsLate(JobResult copied);
  void findUnlisted();
  void noteUnlisted();
  JobResult planFoundParts();
  JobResult leadingGap(std::int32_t i, std::int32_t gapEnd);
  bool lookAtPart(std::int32_t number, platform::FileSpace& space);
  void lookAtParts(const std::function<void(std::int32_t, const platform::FileSpace&)>& seen);
  void countPart(std::int32_t number, const platform::FileSpace& space);
  JobResult checkDigests(bool all);
  JobResult checkWhole();
  JobResult checkOutput() const;
  JobResult checkAppendTarget() const;
  JobResult checkRoom();
  JobResult lockFolders();
  std::unique_ptr<PartOpener> openerFor(std::size_t count);
  JobResult appendParts();
  JobResult appendPart(std::int32_t number, PartOpener* opener);
  void publish(std::int32_t number, const std::string& name, std::int64_t size);

  // The output and the journal (combine_output.cpp).
  JobResult lookAtJournal();
  JobResult continueJournal();
  JobResult finishComplete();
  JobResult openOutput();
  JobResult beginJournal();
  JobResult nameHolder();
  JobResult dropHeadlessJournal();
  JobResult checkKeptBytes(std::int64_t held, std::int64_t keep);
  JobResult checkAppendedTail(std::int64_t held);
  JobResult feedKeptBytes();
  JobResult putInPlace();
  JobResult deleteVerifiedParts();
  void deletePart(const JoinJournal::Held& held, bool record);
  void deleteLeftovers();
  JobResult finishFailed(JobResult result);
  bool holdsDeletedParts() const { return !m_journal.held.empty(); }
  JoinJournal::Held heldPart(std::int32_t number) const;
  std::string continueCommand() const;

  // Every part lies in the folder of the first one: its path is that folder's and its name.
  std::string partName(std::int64_t number) const {
    if (m_listed && number >= 1 && number <= static_cast<std::int64_t>(m_list.parts.size())) {
      return m_list.parts.nameOf(static_cast<std::size_t>(number - 1));
    }
    return partFileName(platform::namePart(m_request.firstPartPath), number);
  }
  std::string part(std::int64_t number) const {
    return platform::folderPart(m_request.firstPartPath) + partName(number);
  }
  bool verifying() const { return m_listed || m_crcChecked; }
  std::string holderPath() const {
    return platform::folderPart(m_request.outputPath) + m_journal.holder;
  }
  const std::string& temporaryName() const { return m_names.temporary; }

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
  // The listed parts are looked at only if their copy fails (m_refusedLate: and the looks
  // refused them, as the planning would have: no word of the file the copy began).
  bool m_looksLater = false;
  bool m_refusedLate = false;
  std::thread m_finder;                  // reads the folder for parts past the listed ones
  std::vector<std::int64_t> m_unlisted;  // ... and finds these,
  bool m_unlistedRead = false;           // ... when it could read the folder
  bool m_outputThere = false;
  platform::FileIdentity m_outputBefore;  // the file at the output's name when planning began
  // The output is a device or a pipe: written as it comes, never replaced, no journal.
  bool m_stream = false;
  // What an earlier run of this join left, by its journal: its bytes to continue from, or
  // (m_complete) a joined file already in place.
  JoinNames m_names;  // the temporary file's and the journal's paths
  JoinJournal m_journal;
  bool m_continuing = false;
  bool m_complete = false;
  bool m_journalFailed = false;  // a part's line could not be written: no part goes after it
  JournalWriter m_journalOut;
  platform::FolderLock m_outputLock, m_partsLock;
  platform::File m_out;
  platform::FileIdentity m_outId;                 // the output as this run created or opened it
  // Each part copied: where in the output it begins, and a fingerprint of its identity
  // as it was when opened (8 bytes, not 40: a join of 700,000 parts holds one each).
  std::vector<std::int64_t> m_partAt;
  std::vector<std::uint64_t> m_partPrints;
  std::int64_t m_written = 0;                     // bytes the output must hold now
  std::int64_t m_safeBytes = 0;  // ... of which the parts deleted (or held before) end here
  // Where the bytes go: a temporary name beside the output that takes the output's name
  // only once the join has succeeded; the output itself when appending or streaming.
  std::string m_writePath;
  std::int64_t m_bytesDone = 0;
  Progress m_update;                      // the last update published, its room reused
  std::string m_statusTail, m_titleTail;  // what the current part's texts end with
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

}  // namespace engine
