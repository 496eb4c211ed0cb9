// Making the recovery files of a split's parts, and checking and rebuilding parts with them.
#include "engine/recovery_data.h"

#include <algorithm>
#include <map>
#include <set>

#include "engine/checksum.h"
#include "engine/checksum_file.h"
#include "engine/combine.h"
#include "engine/join_journal.h"
#include "engine/part_names.h"
#include "engine/planned_names.h"
#include "par2/recovery_creator.h"
#include "par2/recovery_repair.h"
#include "par2/recovery_set.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "platform/path.h"

namespace engine {
namespace {

// What one recovery block costs on disk beyond its slice, and what each file's copy of
// the set's description costs (main, description and checksum packets).
constexpr std::int64_t kBlockOverhead = 68;
constexpr std::int64_t kDescriptionPerPart = 300;

std::string partsTemplate(const std::string& base) { return platform::namePart(base) + ".000"; }

// The checksum list of the series, by part name; empty when there is none to use.
std::map<std::string, std::string> listedDigests(const std::string& firstPartPath) {
  std::map<std::string, std::string> digests;
  std::string problem;
  const std::string sums = findChecksumFile(firstPartPath, problem);
  ChecksumList list;
  if (sums.empty() || !loadChecksumFile(sums, list, problem)) return digests;
  for (const ChecksumList::Part& part : list.parts) digests[part.name] = part.sha256;
  return digests;
}

bool matchesList(const std::map<std::string, std::string>& digests, const std::string& name,
                 const std::string& path) {
  const auto listed = digests.find(name);
  if (listed == digests.end() || !platform::fileExists(path)) return false;
  std::string problem;
  return sha256OfFile(path, problem) == listed->second;
}

}  // namespace

std::uint32_t recoveryBlocks(const RecoveryAmount& amount, std::int64_t parts) {
  if (amount.none() || parts <= 0) return 0;
  std::int64_t blocks = amount.parts;
  if (amount.parts <= 0) blocks = std::max<std::int64_t>(1, (parts * amount.percent + 99) / 100);
  return static_cast<std::uint32_t>(std::min(blocks, parts));
}

bool planRecovery(const RecoveryAmount& amount, std::int64_t largestPart, std::int64_t parts,
                  RecoveryPlan& plan, std::string& problem) {
  plan = {};
  plan.blocks = recoveryBlocks(amount, parts);
  if (plan.blocks == 0) return true;
  // The format numbers at most 32768 input slices.
  if (parts > 32768) {
    problem = "Recovery data can cover at most 32768 parts; this split makes " +
              std::to_string(parts) + ". Choose fewer parts.";
    return false;
  }
  plan.sliceSize = par2::sliceSizeForParts(static_cast<std::uint64_t>(largestPart));
  const std::uint64_t memory = plan.sliceSize * plan.blocks;
  if (memory > kMaxRecoveryMemory) {
    problem = "Recovery data for " + std::to_string(plan.blocks) + " part(s) of " +
              std::to_string(largestPart) + " bytes would need " +
              std::to_string(memory >> 20) + " MiB of memory; at most " +
              std::to_string(kMaxRecoveryMemory >> 20) +
              " MiB are used. Choose smaller parts or less recovery data. Nothing was written.";
    return false;
  }
  const std::int64_t volumes =
      static_cast<std::int64_t>(par2::volumeLayout(0, plan.blocks).size()) + 1;
  plan.bytes = static_cast<std::int64_t>(plan.blocks) *
                   (static_cast<std::int64_t>(plan.sliceSize) + kBlockOverhead) +
               volumes * parts * kDescriptionPerPart;
  return true;
}

std::string recoveryBase(const std::string& firstPartPath) {
  const std::string name = platform::namePart(firstPartPath);
  const std::size_t dot = name.find_last_of('.');
  return platform::folderPart(firstPartPath) + (dot == std::string::npos ? name : name.substr(0, dot));
}

std::string journalOfJoinUnderWay(const std::string& partPath) {
  const CombineSelection selection = NameFirstPart(partPath);
  if (selection.outputName.empty()) return {};
  const std::string journal = joinNamesFor(selection.folder + selection.outputName).journal;
  return platform::pathExists(journal) ? journal : std::string();
}

std::string longestRecoveryName(const std::string& base, const RecoveryPlan& plan) {
  const std::vector<par2::VolumeSpan> spans = par2::volumeLayout(0, plan.blocks);
  if (spans.empty()) return platform::namePart(base) + ".par2";
  const std::uint32_t widest = std::max(spans.back().first, spans.back().count);
  return platform::namePart(par2::volumeName(base, spans.back(), widest));
}

std::vector<std::string> recoveryFilesOf(const std::string& base) {
  const std::string folder = platform::folderPart(base);
  const std::string name = platform::namePart(base);
  std::vector<std::string> volumes;
  const std::string prefix = name + ".vol";
  // Looked at as the folder is read: it may hold 700,000 parts.
  platform::forEachEntryName(folder.empty() ? "." : folder, [&](const std::string& entry) {
    if (entry.size() > prefix.size() + 5 && entry.compare(0, prefix.size(), prefix) == 0 &&
        entry.compare(entry.size() - 5, 5, ".par2") == 0 && platform::fileExists(folder + entry)) {
      volumes.push_back(folder + entry);
    }
  });
  std::sort(volumes.begin(), volumes.end());
  std::vector<std::string> files;
  if (platform::fileExists(base + ".par2")) files.push_back(base + ".par2");
  files.insert(files.end(), volumes.begin(), volumes.end());
  return files;
}

bool looksLikeRecoveryFile(const std::string& path) {
  platform::IoError err;
  platform::File in = platform::File::open(path, platform::File::Mode::Read, err);
  std::uint8_t magic[8] = {};
  return in.isOpen() && in.readExact(magic, 8, err) &&
         std::equal(magic, magic + 8, par2::kMagic.begin());
}

std::string foreignRecoveryFile(const std::string& path, const std::string& base) {
  if (!looksLikeRecoveryFile(path)) return path + " is a file this program did not write";
  par2::RecoverySet set;
  if (!set.load({path})) return {};
  const std::string templateName = partsTemplate(base);
  for (const par2::SetFile& file : set.files()) {
    if (file.described && partNumberOf(file.description.name, templateName) == 0) {
      return path + " is recovery data of " + file.description.name + ", no part of this series";
    }
  }
  return {};
}

JobResult writeRecoveryFiles(const std::vector<std::string>& partPaths, const RecoveryPlan& plan,
                             const std::string& base, const StopToken& stop,
                             std::vector<std::string>& written) {
  // One part open at a time: a split of tens of thousands of parts would otherwise run out
  // of file handles.
  std::vector<par2::SourceFile> files;
  std::vector<std::string> fed;  // the paths of `files`
  platform::IoError err;
  const auto failed = [&](const std::string& path) {
    return JobResult::failed(path, "No recovery data was written: " + err.message());
  };
  for (const std::string& path : partPaths) {
    platform::File in = platform::File::open(path, platform::File::Mode::Read, err);
    const std::int64_t size = in.isOpen() ? in.size(err) : -1;
    if (size < 0) return failed(path);
    if (size == 0) continue;  // nothing in it to rebuild
    par2::SourceFile file;
    file.name = platform::namePart(path);
    file.size = static_cast<std::uint64_t>(size);
    if (!par2::readHeadHash(in, file.size, file.hash16k, err)) return failed(path);
    files.push_back(std::move(file));
    fed.push_back(path);
  }
  par2::CreateOptions options;
  options.sliceSize = plan.sliceSize;
  options.recoveryBlocks = plan.blocks;
  par2::RecoveryCreator creator;
  if (!creator.start(files, options, err)) return failed(base + ".par2");
  // The parts were just written, so their bytes come back from the page cache.
  std::vector<std::uint8_t> buffer(1 << 20);
  for (std::size_t i = 0; i < fed.size(); ++i) {
    platform::File in = platform::File::open(fed[i], platform::File::Mode::Read, err);
    if (!in.isOpen()) return failed(fed[i]);
    for (std::uint64_t left = files[i].size; left > 0;) {
      if (stop.stopRequested()) return JobResult::stopped();
      const std::int64_t want =
          static_cast<std::int64_t>(std::min<std::uint64_t>(left, buffer.size()));
      if (!in.readExact(buffer.data(), want, err) ||
          !creator.addFileBytes(i, buffer.data(), static_cast<std::size_t>(want), err)) {
        return failed(fed[i]);
      }
      left -= static_cast<std::uint64_t>(want);
    }
  }
  if (!creator.finish(base, written, err)) return failed(base + ".par2");
  return {};
}

bool RecoveryFeed::start(std::vector<par2::SourceFile> parts, const RecoveryPlan& plan,
                         platform::IoError& err) {
  m_names.clear();
  for (const par2::SourceFile& part : parts) m_names.push_back(part.name);
  par2::CreateOptions options;
  options.sliceSize = plan.sliceSize;
  options.recoveryBlocks = plan.blocks;
  m_creator = std::make_unique<par2::RecoveryCreator>();
  return m_creator->start(std::move(parts), options, err);
}

void RecoveryFeed::bytes(const std::uint8_t* data, std::size_t n) {
  if (m_error.isSet()) return;
  if (m_part >= m_names.size()) {
    m_error = platform::IoError{"create recovery data for", "", 0, "more parts than planned"};
    return;
  }
  m_creator->addFileBytes(m_part, data, n, m_error);
}

void RecoveryFeed::endPart() { ++m_part; }

bool RecoveryFeed::finish(const std::vector<std::string>& names, const std::string& base,
                          std::vector<std::string>& written, platform::IoError& err) {
  const std::unique_ptr<par2::RecoveryCreator> creator = std::move(m_creator);
  if (m_error.isSet()) {
    err = m_error;
    return false;
  }
  if (!creator || names != m_names || m_part != m_names.size()) {
    err = platform::IoError{"create recovery data for", base, 0, "the parts are not the ones planned"};
    return false;
  }
  return creator->finish(base, written, err);
}

JobResult checkRecovery(const std::string& firstPartPath, bool rebuild, const StopToken& stop,
                        RecoveryReport& report) {
  report = {};
  // Another run writing into this folder (a split of the same name, a join deleting these
  // parts) would have its files taken for damaged ones and moved aside. The folder is held
  // from before the check: a run that ended during it may have written what it found
  // missing.
  const std::string folder = platform::folderPart(firstPartPath);
  const std::string shown = folder.empty() ? "." : folder;
  platform::IoError lockErr;
  platform::FolderLock lock;
  const bool locked = !rebuild || lock.acquire(shown, lockErr);
  const std::string base = recoveryBase(firstPartPath);
  const std::vector<std::string> files = recoveryFilesOf(base);
  report.present = !files.empty();
  if (!report.present) return {};
  par2::RecoverySet set;
  const bool loaded = set.load(files);
  for (const par2::Rejection& rejection : set.rejections()) {
    report.rejections.push_back(rejection.message());
  }
  if (!loaded) {
    report.summary = "The recovery files of " + platform::namePart(base) +
                     " cannot be used: " + set.error();
    return {};
  }
  // The set must describe parts of this series and nothing else: a rebuild writes only
  // part names.
  const std::string templateName = partsTemplate(base);
  std::set<std::string> named;
  for (const par2::SetFile& file : set.files()) {
    if (!file.described) continue;
    if (partNumberOf(file.description.name, templateName) == 0) {
      report.summary = "The recovery files of " + platform::namePart(base) + " describe " +
                       file.description.name + ", which is no part of this series; they are not used.";
      return {};
    }
    // Two descriptions of one name would rebuild two different files under it.
    if (!named.insert(file.description.name).second) {
      report.summary = "The recovery files of " + platform::namePart(base) + " describe " +
                       file.description.name + " twice; they are not used.";
      return {};
    }
  }
  report.usable = true;
  par2::Steering steering;
  steering.stopRequested = [&stop] { return stop.stopRequested(); };
  const std::vector<std::string> sources = par2::pathsInFolder(set, folder);
  par2::SetCheck check = par2::checkFiles(set, sources, steering);
  if (check.stopped || stop.stopRequested()) return JobResult::stopped();
  // The checksum list outranks the recovery set: a part it vouches for stays as it is.
  const std::map<std::string, std::string> digests = listedDigests(firstPartPath);
  std::vector<std::string> outputs(sources.size());
  for (std::size_t i = 0; i < check.files.size(); ++i) {
    par2::FileCheck& file = check.files[i];
    if (file.state == par2::FileState::Good) continue;
    const std::string name = platform::namePart(sources[i]);
    if (file.state != par2::FileState::Unknown && matchesList(digests, name, sources[i])) {
      report.rejections.push_back(name + " is right by the checksum list but not by the "
                                         "recovery files; it is kept as it is.");
      file.state = par2::FileState::Good;
      continue;
    }
    report.damaged.push_back(name.empty() ? "(a part the recovery files lost)" : name);
  }
  std::sort(report.damaged.begin(), report.damaged.end());
  if (report.damaged.empty()) {
    report.repairable = true;
    report.summary = "Every part is right by the recovery files.";
    return {};
  }
  report.repairable = check.repairable && set.complete();
  report.summary = someNames(report.damaged, 10) + (report.damaged.size() == 1 ? " is" : " are") +
                   " missing or damaged (" + check.summary + ")";
  if (!rebuild || !report.repairable) return {};
  if (!locked) {
    return JobResult::failed(shown, "cannot rebuild parts in " + shown + ": " +
                                        lockErr.reason() + ". Nothing was changed.");
  }
  platform::IoError err;
  // Rebuilt under names of their own, then checked, then put in place. The names they
  // take, and those the damaged parts move aside to, must be free before anything is
  // written.
  for (std::size_t i = 0; i < check.files.size(); ++i) {
    if (check.files[i].state == par2::FileState::Good) continue;
    outputs[i] = sources[i] + ".rebuilding";
    const std::string aside = sources[i] + ".damaged";
    for (const std::string& way : {outputs[i], aside}) {
      if (way == aside && !platform::pathExists(sources[i])) continue;
      if (platform::pathExists(way)) {
        return JobResult::failed(way, way + " is in the way of the rebuilt part; move it away. "
                                            "Nothing was changed.");
      }
    }
  }
  par2::RepairOptions options;
  options.steering = steering;
  const par2::RepairResult repaired = par2::repairFiles(set, check, sources, outputs, options);
  // Only the files this rebuild wrote go when it does not finish: a name taken meanwhile
  // by anyone else is left as it is.
  const auto removeRebuilt = [&] {
    platform::IoError ignored;
    for (const std::size_t i : repaired.rebuilt) platform::removeFile(outputs[i], ignored);
  };
  if (repaired.status == par2::RepairStatus::Stopped) {
    removeRebuilt();
    return JobResult::stopped();
  }
  if (repaired.status != par2::RepairStatus::Rebuilt) {
    removeRebuilt();
    return JobResult::failed(firstPartPath, "The parts could not be rebuilt from the recovery "
                                            "data: " + repaired.message + ". Nothing was changed.");
  }
  // Checked again by the list before use; only then does a damaged part give up its name.
  for (const std::size_t i : repaired.rebuilt) {
    const std::string name = platform::namePart(sources[i]);
    if (!digests.empty() && !matchesList(digests, name, outputs[i])) {
      removeRebuilt();
      return JobResult::failed(sources[i], "The part rebuilt from the recovery data for " + name +
                                               " is not the one the checksum list names; the "
                                               "rebuilt parts were removed and every part kept "
                                               "as it was.");
    }
  }
  for (const std::size_t i : repaired.rebuilt) {
    const std::string name = platform::namePart(sources[i]);
    if (platform::pathExists(sources[i])) {
      const std::string aside = sources[i] + ".damaged";
      if (platform::pathExists(aside) || !platform::renameReplacing(sources[i], aside, err)) {
        return JobResult::failed(sources[i], "cannot move the damaged " + name + " aside to " +
                                                 aside + (platform::pathExists(aside)
                                                              ? ": a file is there"
                                                              : ": " + err.reason()) +
                                                 ". The rebuilt part is in " + outputs[i] + ".");
      }
    }
    if (!platform::renameReplacing(outputs[i], sources[i], err)) {
      return JobResult::failed(sources[i], err.message() + " The rebuilt part is in " + outputs[i] + ".");
    }
    report.rebuilt.push_back(name);
  }
  if (!platform::syncFolder(folder.empty() ? "." : folder, err)) {
    return JobResult::failed(folder, err.message());
  }
  JobResult result;
  for (const std::string& name : report.rebuilt) {
    result.notes.push_back("rebuilt " + name + " from recovery data");
  }
  return result;
}

JobResult repairBeforeJoin(const std::string& firstPartPath, const StopToken& stop) {
  RecoveryReport report;
  JobResult result = checkRecovery(firstPartPath, true, stop, report);
  if (result.outcome != JobOutcome::Done) return result;
  // Damaged recovery files beside whole parts change nothing, but the user should know.
  if (report.damaged.empty()) {
    if (!report.usable && report.present) result.notes.push_back(report.summary);
    for (const std::string& rejection : report.rejections) result.notes.push_back(rejection);
    return result;
  }
  if (report.rebuilt.size() < report.damaged.size()) {
    result.warnings.push_back("Not rebuilt from the recovery data: " + report.summary);
    for (const std::string& rejection : report.rejections) result.warnings.push_back(rejection);
  }
  return result;
}

}  // namespace engine
