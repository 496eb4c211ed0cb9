// The join's output: a temporary file beside it that takes its name only when complete
// (the output itself when appending, a device or pipe as it is), and the journal that
// says which parts that file holds, so that a join that ended early continues exactly and
// no file at the temporary name is ever removed unless this program made it.
#include <algorithm>
#include <limits>
#include <string_view>
#include <vector>

#include "engine/combine_job.h"
#include "engine/join_script.h"

namespace engine {
namespace {

// A path as a POSIX shell reads it back: bare when it holds only plain characters, never
// taken for an option.
std::string shellWord(const std::string& s) {
  if (!s.empty() && s[0] == '-') return shellWord("./" + s);
  const bool plain = !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("._/+-,:@%=").find(c) != std::string_view::npos;
  });
  return plain ? s : shellQuoted(s);
}

// Whether the `n` bytes of `out` from `at` on are the first `n` bytes of the file at `path`.
bool startsWithPart(platform::File& out, std::int64_t at, const std::string& path,
                    std::int64_t n) {
  platform::IoError err;
  platform::File part = platform::File::open(path, platform::File::Mode::Read, err);
  std::vector<char> a(64 * 1024), b(64 * 1024);
  bool same = part.isOpen() && out.seek(at, err);
  for (std::int64_t left = n; same && left > 0;) {
    const std::int64_t k = std::min<std::int64_t>(left, static_cast<std::int64_t>(a.size()));
    same = out.readExact(a.data(), k, err) && part.readExact(b.data(), k, err) &&
           std::equal(a.begin(), a.begin() + k, b.begin());
    left -= k;
  }
  return same;
}

}  // namespace

std::string CombineJob::continueCommand() const {
  std::string command = "sundrix-cli join " + shellWord(m_request.firstPartPath) + " --out " +
                        shellWord(m_request.outputPath);
  if (m_options.deleteParts()) command += " --delete-parts";
  if (m_request.overwrite) command += " --overwrite";
  if (m_request.append) {
    command += m_request.appendAt >= 0 ? " --append-at " + std::to_string(m_request.appendAt)
                                       : std::string(" --append");
  }
  return command;
}

// A journal beside the output tells what an earlier run of this join left: its bytes in
// the holder, the parts they came from. The same join continues it; a join of anything
// else is refused; and a file at the temporary name without a journal is never touched.
JobResult CombineJob::lookAtJournal() {
  if (m_stream) return {};
  const std::string temp = temporaryName();
  if (!platform::pathExists(m_names.journal)) {
    if (m_request.append || !platform::pathExists(temp)) return {};
    return JobResult::failed(temp, "The file " + temp +
                                       " is in the way of the join and is kept: no journal says "
                                       "what it holds, and it may be the only copy of parts an "
                                       "earlier join deleted. Move it away, then join again. "
                                       "Nothing was joined.");
  }
  std::string problem;
  if (!loadJournal(m_names.journal, m_journal, problem)) {
    return JobResult::failed(m_names.journal,
                             "The join journal " + m_names.journal + " cannot be used: " + problem +
                                 ". It is kept" +
                                 (platform::pathExists(temp) ? ", and so is " + temp : "") +
                                 ". Nothing was joined.");
  }
  if (m_journal.headless()) return dropHeadlessJournal();
  const std::string partsFolder =
      platform::absolutePath(orCurrent(platform::folderPart(m_request.firstPartPath)));
  const std::string holder = holderPath();
  if (partNumberOf(m_journal.series, platform::namePart(m_request.firstPartPath)) != 1 ||
      !(m_journal.partsFolder == partsFolder ||
        platform::sameFile(m_journal.partsFolder, partsFolder))) {
    return JobResult::failed(
        m_names.journal, "An unfinished join of " +
                           platform::withTrailingSeparator(m_journal.partsFolder) +
                           m_journal.series +
                           " into " + m_request.outputPath + " has its bytes in " + holder +
                           " (see " + m_names.journal +
                           "): finish that join by running it again, or move both files away. "
                           "Nothing was joined.");
  }
  const bool appended = m_journal.holder == platform::namePart(m_request.outputPath);
  // The bytes are only ever in the output or in its temporary file, never elsewhere.
  if (!appended && m_journal.holder != platform::namePart(temp)) {
    return JobResult::failed(m_names.journal, "The join journal " + m_names.journal +
                                                " cannot be used: it names neither " + temp +
                                                " nor " + m_request.outputPath +
                                                ". It is kept; nothing was joined.");
  }
  if (appended != m_request.append) {
    return JobResult::failed(m_names.journal,
                             "The join journal " + m_names.journal + " is of a join that " +
                                 (appended ? "appended to " + holder + ": run it again with --append."
                                           : "wrote " + holder + ": run it again without --append.") +
                                 " Nothing was joined.");
  }
  platform::FileIdentity id;
  const auto holds = [&](const std::string& path) {
    return platform::identifyEntry(path, id) && id.device == m_journal.device &&
           id.inode == m_journal.inode;
  };
  if (holds(holder)) return continueJournal();
  if (!appended && holds(m_request.outputPath)) {
    m_complete = true;
    return {};
  }
  if (!m_journal.held.empty()) {
    return JobResult::failed(
        m_names.journal, "The join journal " + m_names.journal + " says " + holder + " holds " +
                           part(m_journal.held.front().number) + " to " +
                           part(m_journal.held.back().number) +
                           ", but that file is gone or was replaced. The journal is kept; "
                           "nothing was joined.");
  }
  // A journal of a join that held nothing speaks for no one's bytes.
  platform::IoError err;
  if (!platform::removeFile(m_names.journal, err)) return JobResult::failed(m_names.journal, err.message());
  m_journal = JoinJournal{};
  return lookAtJournal();
}

// A join killed between beginning its journal and naming the file it writes in it: the
// journal came first, so a plain file at the temporary name is that join's, and holds
// no part that was deleted.
JobResult CombineJob::dropHeadlessJournal() {
  platform::IoError err;
  const std::string temp = temporaryName();
  platform::FileIdentity id;
  if (!m_request.append && platform::pathExists(temp) &&
      (!platform::identifyEntry(temp, id) || !platform::removeFile(temp, err))) {
    return JobResult::failed(temp, "The file " + temp + " is in the way of the join and is kept" +
                                       (err.isSet() ? ": " + err.message() : std::string()) +
                                       ". Nothing was joined.");
  }
  if (!platform::removeFile(m_names.journal, err)) {
    return JobResult::failed(m_names.journal, err.message());
  }
  m_journal = JoinJournal{};
  return {};
}

// Appending: the same command again, or the continuation the journal itself names; any
// other first part or byte count contradicts what the output holds.
JobResult CombineJob::continueJournal() {
  m_continuing = true;
  // A part the journal holds is either gone or still the file that was copied; another
  // file under its name means the series was made again, and the bytes held are not its.
  for (const JoinJournal::Held& held : m_journal.held) {
    platform::FileIdentity now;
    if (!platform::identifyPath(part(held.number), now) || now == held.part) continue;
    return JobResult::failed(
        m_names.journal, "The join journal " + m_names.journal + " says " + holderPath() +
                           " holds the part " + part(held.number) +
                           ", but another file has that name now: the parts are not the ones "
                           "that join was joining. Both files are kept; move them away (the "
                           "first " + std::to_string(m_journal.end()) + " bytes of " +
                           holderPath() + " are the earlier parts) and join again. Nothing was "
                           "joined.");
  }
  if (m_request.append) {
    const std::string first = platform::namePart(m_request.firstPartPath);
    const std::int64_t chosen = partNumberOf(first, first);
    const std::int64_t at = m_request.appendAt;
    const bool again = chosen == m_journal.startNumber && (at < 0 || at == m_journal.startOffset);
    const bool next = chosen == m_journal.nextNumber() && (at < 0 || at == m_journal.end());
    if (!again && !next) {
      return JobResult::failed(
          m_names.journal, "The join journal " + m_names.journal + " says " + m_request.outputPath +
                             " holds the parts before " + part(m_journal.nextNumber()) +
                             " in its first " + std::to_string(m_journal.end()) +
                             " bytes; appending " + m_request.firstPartPath +
                             (at >= 0 ? " at " + std::to_string(at) : std::string()) +
                             " contradicts it. To finish: sundrix-cli join " +
                             shellWord(part(m_journal.nextNumber())) + " --out " +
                             shellWord(m_request.outputPath) + " --append-at " +
                             std::to_string(m_journal.end()) + ". Nothing was changed.");
    }
  }
  m_first = static_cast<std::int32_t>(std::min<std::int64_t>(m_journal.nextNumber(), INT32_MAX));
  m_seen.at = m_journal.end();
  return {};
}

// An earlier run of this join put its file in place and was ended before it had deleted
// the parts it held or removed its journal.
JobResult CombineJob::finishComplete() {
  m_writePath = m_request.outputPath;
  platform::identifyEntry(m_writePath, m_outId);
  m_written = m_safeBytes = m_journal.end();
  if (m_options.deleteParts()) deleteLeftovers();
  platform::IoError err;
  if (!platform::removeFile(m_names.journal, err)) m_result.warnings.push_back(err.message());
  m_result.summary = "The joined file " + m_request.outputPath +
                     " was already completed by an earlier join of these parts.";
  return m_result;
}

JobResult CombineJob::openOutput() {
  platform::IoError err;
  const auto cannot = [&] { return JobResult::failed(m_writePath, err.message()); };
  m_writePath = m_request.outputPath;
  if (m_stream) {
    m_out = platform::File::open(m_writePath, platform::File::Mode::WriteStream, err);
    if (!m_out.isOpen()) return cannot();
  } else if (m_continuing) {
    m_writePath = holderPath();
    m_out = platform::File::open(m_writePath, platform::File::Mode::ReadWrite, err);
    const std::int64_t held = m_out.isOpen() ? m_out.size(err) : -1;
    if (held < 0) return cannot();
    const std::int64_t end = m_journal.end();
    if (held < end) {
      return JobResult::failed(m_writePath, m_writePath + " holds only " + std::to_string(held) +
                                                " bytes, fewer than the " + std::to_string(end) +
                                                " its journal " + m_names.journal +
                                                " says it holds. Nothing was changed.");
    }
    JobResult kept = checkKeptBytes(end, end);
    if (kept.outcome != JobOutcome::Done) return kept;
    // What lies past the journal's end is the start of a part that was never deleted.
    if (!m_out.truncate(end, err) || !m_out.seek(end, err)) return cannot();
    m_written = m_safeBytes = end;
    if (!m_journalOut.reopen(m_names.journal, err)) return cannot();
  } else if (m_request.append) {
    m_out = platform::File::open(m_writePath, platform::File::Mode::ReadWrite, err);
    const std::int64_t held = m_out.isOpen() ? m_out.size(err) : -1;
    if (held < 0) return cannot();
    const std::int64_t keep = m_request.appendAt >= 0 ? m_request.appendAt : held;
    JobResult kept = checkKeptBytes(held, keep);
    if (kept.outcome == JobOutcome::Done && m_request.appendAt < 0) kept = checkAppendedTail(held);
    if (kept.outcome != JobOutcome::Done) return kept;
    if (keep < held && !m_out.truncate(keep, err)) return cannot();
    if (!m_out.seek(keep, err)) return cannot();
    m_written = m_safeBytes = keep;
  } else {
    // A new file, never one reached through a link, under a name of its own until the
    // join has succeeded: nothing unfinished ever stands at the output's name. Its
    // journal is begun first, so that the file is never there without one.
    m_writePath = temporaryName();
    JobResult journal = beginJournal();
    if (journal.outcome != JobOutcome::Done) return journal;
    m_out = platform::File::open(m_writePath, platform::File::Mode::CreateNew, err);
    if (!m_out.isOpen()) return cannot();
  }
  m_out.identify(m_outId);
  JobResult journal = nameHolder();
  if (journal.outcome != JobOutcome::Done) return journal;
  if (!verifying()) return {};
  m_digest = std::make_unique<DigestCopy>(DigestCopy::Lanes{m_listed, m_listed, m_crcChecked});
  m_digest->shareBlocks(m_shareBlock);
  m_digest->writeBehind();  // flushed before the output is looked at (run)
  return feedKeptBytes();
}

// Every join into a file keeps a journal beside it from the start: it marks the file as
// this join's, and takes each part before the part is deleted.
JobResult CombineJob::beginJournal() {
  if (m_stream || m_continuing || m_journalOut.active()) return {};
  m_journal = JoinJournal{};
  m_journal.series = partFileName(platform::namePart(m_request.firstPartPath), 1);
  m_journal.partsFolder =
      platform::absolutePath(orCurrent(platform::folderPart(m_request.firstPartPath)));
  m_journal.startNumber = m_first;
  m_journal.startOffset = m_written;
  m_journal.lastNumber = m_last;
  platform::IoError err;
  if (!m_journalOut.create(m_names.journal, m_journal, err)) {
    return JobResult::failed(m_names.journal, err.message());
  }
  return {};
}

JobResult CombineJob::nameHolder() {
  if (m_stream || m_continuing) return {};
  JobResult begun = beginJournal();  // appending: the output was there before its journal
  if (begun.outcome != JobOutcome::Done) return begun;
  m_journal.holder = platform::namePart(m_writePath);
  m_journal.device = m_outId.device;
  m_journal.inode = m_outId.inode;
  platform::IoError err;
  if (!m_journalOut.nameHolder(m_journal, err)) {
    return JobResult::failed(m_names.journal, err.message());
  }
  return {};
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
      before += m_list.parts.sizeOf(static_cast<std::size_t>(i - 1));
    if (keep != before) {
      return JobResult::failed(output, "The parts before " + part(m_first) + " are " +
                                           std::to_string(before) + " bytes in " + m_sumsPath +
                                           ", but " + std::to_string(keep) + " of " + output +
                                           " would be kept. Nothing was changed.");
    }
  }
  if (keep == held || startsWithPart(m_out, keep, part(m_first), held - keep)) return {};
  return JobResult::failed(output, "The " + std::to_string(held - keep) + " bytes of " + output +
                                       " after its first " + std::to_string(keep) +
                                       " are not the start of " + part(m_first) +
                                       ": cutting them off could lose data. Nothing was changed.");
}

// Without a count, what the output holds must be the parts before FIRST_PART. The parts
// of one split are as long as each other but the last, so the length of a part known not
// to be the last (one before FIRST_PART, or FIRST_PART or the next when more follow) says
// where they end; a tail that is already the start of FIRST_PART (a join that ended inside
// it) or any other length contradicts them. Where no such part is left, nothing is known.
JobResult CombineJob::checkAppendedTail(std::int64_t held) {
  platform::FileSpace first;
  if (m_listed || !m_partsFolder.fileSpace(partName(m_first), first)) return {};
  const std::int64_t before = m_first - 1;
  const auto sizeOf = [&](std::int64_t k) {
    platform::FileSpace space;
    return k >= 1 && m_partsFolder.fileSpace(partName(k), space) ? space.size : -1;
  };
  std::vector<std::int64_t> lengths;
  for (const std::int64_t k : {std::int64_t{1}, before}) {
    if (k < m_first && sizeOf(k) > 0) lengths.push_back(sizeOf(k));
  }
  for (const std::int64_t k : {std::int64_t{m_first}, m_first + std::int64_t{1}}) {
    if (sizeOf(k + 1) >= 0 && sizeOf(k) > 0) lengths.push_back(sizeOf(k));
  }
  std::int64_t whole = -1;
  for (const std::int64_t length : lengths) {
    if (before > 0 && length > std::numeric_limits<std::int64_t>::max() / before) continue;
    if (before * length == held) return {};
    whole = before * length;
  }
  if (whole < 0) return {};
  const bool tail = held > whole && held - whole <= first.size &&
                    startsWithPart(m_out, whole, part(m_first), held - whole);
  return JobResult::failed(
      m_writePath, (tail ? "The last " + std::to_string(held - whole) + " bytes of " +
                               m_writePath + " are already the start of " + part(m_first) +
                               ": appending would put them there twice."
                         : m_writePath + " holds " + std::to_string(held) +
                               " bytes, but the parts before " + part(m_first) + " are " +
                               std::to_string(whole) + " bytes long.") +
                       " If it holds those parts in its first " + std::to_string(whole) +
                       " bytes, run: sundrix-cli join " + shellWord(m_request.firstPartPath) +
                       " --out " + shellWord(m_writePath) + " --append-at " +
                       std::to_string(whole) + ". Nothing was changed.");
}

// The bytes an output already holds (appended to, or continued) belong to the whole
// file's digest.
JobResult CombineJob::feedKeptBytes() {
  if (m_written == 0) return {};
  platform::IoError err;
  std::vector<char> buffer(256 * 1024);
  if (!m_out.seek(0, err)) return JobResult::failed(m_writePath, err.message());
  for (std::int64_t left = m_written; left > 0;) {
    const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size()));
    if (!m_out.readExact(buffer.data(), n, err)) {
      return JobResult::failed(m_writePath, err.message());
    }
    m_digest->feedWhole(buffer.data(), static_cast<std::size_t>(n));
    left -= n;
  }
  return {};
}

// The temporary file takes the output's name only now, in one step, when every byte is
// there (and, when a checksum was at hand, proven right).
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

// The part as it was copied: its identity now when that has the fingerprint taken then,
// else one that matches no file, so that it is not deleted.
JoinJournal::Held CombineJob::heldPart(std::int32_t number) const {
  const std::size_t index = static_cast<std::size_t>(number - m_first);
  JoinJournal::Held held;
  held.number = number;
  held.offset = m_partAt[index];
  held.size = (index + 1 < m_partAt.size() ? m_partAt[index + 1] : m_written) - held.offset;
  platform::FileIdentity now;
  if (platform::identifyPath(part(number), now) &&
      platform::identityPrint(now) == m_partPrints[index]) {
    held.part = now;
  } else {
    held.part.size = held.size;  // device and inode 0: no file
  }
  return held;
}

// Every part and the whole file matched: the journal takes all the parts before any goes,
// the file takes its name, and then the parts go (deleteLeftovers).
JobResult CombineJob::deleteVerifiedParts() {
  platform::IoError err;
  platform::FileIdentity expected = m_outId;
  expected.size = m_written;
  std::vector<JoinJournal::Held> held;
  for (std::int64_t k = m_first; k <= m_last; ++k) held.push_back(heldPart(static_cast<std::int32_t>(k)));
  if (!platform::syncAndCheckFile(m_writePath, expected, err) || !m_journalOut.record(held, err)) {
    m_result.warnings.push_back("No part was deleted: " + err.message());
  } else {
    m_journal.held.insert(m_journal.held.end(), held.begin(), held.end());
  }
  return putInPlace();
}

// The parts the journal holds that are still there as they were copied.
void CombineJob::deleteLeftovers() {
  for (const JoinJournal::Held& held : m_journal.held) {
    if (platform::pathExists(part(held.number))) deletePart(held, false);
  }
}

void CombineJob::deletePart(const JoinJournal::Held& held, bool record) {
  const std::string path = part(held.number);
  // The part's bytes must be on disk, in the file this run writes, before the part goes.
  platform::IoError err;
  platform::FileIdentity expected = m_outId;
  expected.size = m_written;
  if (!platform::syncAndCheckFile(m_writePath, expected, err)) {
    m_result.warnings.push_back("The part " + path + " was kept: " + err.message());
    return;
  }
  // A part that changed after it was opened holds bytes the output lacks.
  platform::FileIdentity now;
  if (!platform::identifyPath(path, now) || now != held.part) {
    m_result.warnings.push_back("The part " + path + " was kept: it changed while it was joined.");
    return;
  }
  if (record) {
    // After a line that could not be written, no later part may go: the journal would
    // not say that the file holds it.
    if (m_journalFailed || !m_journalOut.record({held}, err)) {
      m_result.warnings.push_back("The part " + path + " was kept: " +
                                  (m_journalFailed ? "the journal " + m_names.journal +
                                                         " could not be written before"
                                                   : err.message()));
      m_journalFailed = true;
      return;
    }
    m_journal.held.push_back(held);
    m_safeBytes = held.offset + held.size;
  }
  if (!platform::removeFile(path, err)) m_result.warnings.push_back(err.message());
}

// A join that ends early says what its file now is. When it holds no part that may have
// been deleted, it holds nothing the parts do not and goes (an output appended to is cut
// back to what it held before); otherwise it stays with its journal, and the same join
// run again continues it.
JobResult CombineJob::finishFailed(JobResult result) {
  result.warnings.insert(result.warnings.begin(), m_result.warnings.begin(),
                         m_result.warnings.end());
  result.notes.insert(result.notes.begin(), m_result.notes.begin(), m_result.notes.end());
  platform::IoError err;
  if (!m_out.isOpen() && !m_continuing && !holdsDeletedParts() && m_journalOut.active() &&
      !m_journalOut.remove(err)) {
    // A journal begun for a file that could not be made holds nothing.
    result.warnings.push_back(err.message());
  }
  if (m_stream || !m_out.isOpen()) return result;
  if (holdsDeletedParts()) {
    m_out.closeQuietly();
    result.warnings.push_back(
        "The first " + std::to_string(m_journal.end()) + " bytes of " + holderPath() +
        " are the parts " + part(m_journal.held.front().number) + " to " +
        part(m_journal.held.back().number) +
        " (the only copy of those that were deleted); every part after them is kept. To "
        "finish, run the same join again: " + continueCommand());
    return result;
  }
  platform::FileIdentity now;
  const bool ours = platform::identifyEntry(m_writePath, now) && now.sameObject(m_outId);
  if (ours && m_request.append && m_out.truncate(m_safeBytes, err)) {
    result.warnings.push_back("The joined file " + m_writePath + " was cut back to its first " +
                              std::to_string(m_safeBytes) +
                              " bytes, the bytes it held before; every part is kept.");
  }
  m_out.closeQuietly();
  if (ours && !m_request.append && platform::removeFile(m_writePath, err) && !m_refusedLate) {
    result.warnings.push_back("The unfinished joined file " + m_writePath +
                              " was removed; every part is kept.");
  }
  if (ours && !m_journalOut.remove(err)) result.warnings.push_back(err.message());
  return result;
}

}  // namespace engine
