// The split: parts of the input in 100 blocks each, optional archives, deletion of the
// input once every byte is safely in a part or an archive, and the join script.
#include "engine/split.h"

#include <limits>
#include <vector>

#include "engine/block_copy.h"
#include "engine/join_script.h"
#include "engine/part_names.h"
#include "platform/file.h"
#include "platform/path.h"

namespace engine {
namespace {

constexpr std::int64_t kMaxValue = std::numeric_limits<std::int32_t>::max();

// A file that now holds bytes of the input, and how many it must hold.
struct Holder {
  std::string path;
  std::int64_t size = 0;
};

class SplitJob {
 public:
  SplitJob(const SplitRequest& request, SplitOptions& options, ProgressSink& progress,
           const StopToken& stop, PartArchiver* archiver)
      : m_request(request),
        m_options(options),
        m_progress(progress),
        m_stop(stop),
        m_archiver(archiver) {}

  JobResult run();

 private:
  JobResult openInput();
  JobResult checkRoom() const;
  JobResult checkNames();
  JobResult writePart(std::int64_t number, std::int64_t size);
  void archivePart(const std::string& partPath, std::int64_t size);
  void deleteInput();
  JobResult writeScript();
  void publish(std::int64_t part);
  bool overwritesInput(const std::string& path) const {
    return platform::sameFile(path, m_request.path);
  }

  const SplitRequest& m_request;
  SplitOptions& m_options;
  ProgressSink& m_progress;
  const StopToken& m_stop;
  PartArchiver* m_archiver;

  std::string m_workFolder;
  std::string m_baseName;
  std::string m_batName;
  platform::File m_in;
  std::int64_t m_fileSize = 0;
  std::int64_t m_bytesDone = 0;
  SplitPlan m_plan;
  JoinScript m_script;
  std::vector<Holder> m_holders;
  bool m_everyPartSafe = true;       // every part written and, where asked, archived
  platform::FileIdentity m_inputId;  // the input as it was when the split began
  bool m_inputUnchanged = false;     // ... and still was when the last part was written
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

namespace {

// k when `name` is the k-th part name of `templateName` (k >= 1), else 0.
std::int64_t partNumberOf(const std::string& name, const std::string& templateName) {
  const std::string stem = platform::replaceExtension(templateName, "");
  if (name.size() <= stem.size() + 1 || name.compare(0, stem.size(), stem) != 0 ||
      name[stem.size()] != '.') {
    return 0;
  }
  const std::string digits = name.substr(stem.size() + 1);
  if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  const std::int64_t k = std::stoll(digits);
  return k >= 1 && partFileName(templateName, k) == name ? k : 0;
}

}  // namespace

// The input must never be overwritten. Where a planned part, archive or script name
// would land on it, refuse before the first part is written rather than at that part.
JobResult SplitJob::checkNames() {
  if (!platform::sameFile(
          platform::folderPart(m_request.path).empty() ? "." : platform::folderPart(m_request.path),
          m_workFolder.empty() ? "." : m_workFolder)) {
    return {};  // another folder: names cannot meet (links are caught at each part)
  }
  const bool script = m_options.createBat();
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
  JobResult room = checkRoom();
  if (room.outcome != JobOutcome::Done) return room;
  JobResult names = checkNames();
  if (names.outcome != JobOutcome::Done) return names;
  const std::int64_t regularSize = m_plan.partSize;
  for (std::int64_t i = 1; i <= m_plan.partCount; ++i) {
    const std::int64_t size =
        i == m_plan.partCount ? m_fileSize - (i - 1) * regularSize : regularSize;
    JobResult part = writePart(i, size);
    if (part.outcome != JobOutcome::Done) {
      m_in.closeQuietly();
      return part;
    }
  }
  // A stop that arrives after the last block still keeps the input and writes no script.
  if (m_stop.stopRequested()) return JobResult{JobOutcome::Stopped, {}, {}, m_result.warnings};
  platform::FileIdentity now;
  m_inputUnchanged = m_in.identify(now) && now == m_inputId;
  platform::IoError err;
  if (!m_in.close(err)) return JobResult::failed(m_request.path, err.message());
  if (m_options.deleteInput()) deleteInput();
  if (m_stop.stopRequested()) return JobResult{JobOutcome::Stopped, {}, {}, m_result.warnings};
  if (m_options.createBat()) {
    JobResult script = writeScript();
    if (script.outcome != JobOutcome::Done) {
      script.warnings = m_result.warnings;
      return script;
    }
  }
  return m_result;
}

// A half-written set of parts is worse than none: the parts must fit before the first
// one is written. Parts of a sparse input keep its holes when they stay on its
// filesystem, so they need only the room the input really occupies.
JobResult SplitJob::checkRoom() const {
  std::int64_t need = m_fileSize;
  const std::int64_t allocated = platform::allocatedSize(m_request.path);
  if (allocated >= 0 && allocated < need &&
      platform::sameFilesystem(m_request.path, m_workFolder)) {
    need = allocated;
  }
  const std::int64_t free = platform::freeSpace(m_workFolder);
  if (free < 0 || free >= need) return {};
  const std::string folder = m_workFolder.empty() ? platform::currentFolder() : m_workFolder;
  return JobResult::failed(folder, "Not enough free space in " + folder + ": the parts need " +
                                       std::to_string(need) + " bytes, " + std::to_string(free) +
                                       " are free.");
}

JobResult SplitJob::writePart(std::int64_t number, std::int64_t size) {
  const bool named = m_options.createBat();
  const std::string partName = partFileName(named ? m_batName : partTemplate(m_baseName), number);
  const std::string partPath = m_workFolder + partName;
  if (overwritesInput(partPath)) {
    return JobResult::failed(
        partPath, "cannot write " + partPath + ": the part would replace the file being split");
  }
  platform::IoError err;
  platform::File out = platform::File::open(partPath, platform::File::Mode::CreateReadWrite, err);
  if (!out.isOpen()) return JobResult::failed(partPath, err.message());

  JobResult copied = copyInBlocks(m_in, out, size, m_stop, [&](std::int64_t n) {
    m_bytesDone += n;
    publish(number);
  });
  if (copied.outcome != JobOutcome::Done) return copied;
  if (!out.close(err)) return JobResult::failed(partPath, err.message());

  if (m_options.createBat()) m_script.addPart(partName, number == m_plan.partCount);
  if (m_options.compressZip()) {
    archivePart(partPath, size);
  } else {
    m_holders.push_back({partPath, size});
  }
  return {};
}

void SplitJob::archivePart(const std::string& partPath, std::int64_t size) {
  const std::string archivePath = partPath + ".zip";
  std::string problem;
  if (m_archiver == nullptr) {
    problem = "compression is not available in this build";
  } else if (overwritesInput(archivePath)) {
    problem = "the archive would replace the file being split";
  } else if (m_archiver->archive(partPath, archivePath, problem)) {
    std::int64_t archiveSize = 0;
    platform::IoError err;
    archiveSize = platform::fileSize(archivePath, err);
    if (!platform::removeFile(partPath, err)) {
      // The part stays beside its archive; both hold the bytes.
      m_result.warnings.push_back(err.message());
      m_holders.push_back({partPath, size});
      return;
    }
    m_holders.push_back({archivePath, archiveSize});
    return;
  }
  m_everyPartSafe = false;
  m_holders.push_back({partPath, size});
  m_result.warnings.push_back("The part " + partPath + " was kept unarchived: " + problem);
}

void SplitJob::deleteInput() {
  if (!m_everyPartSafe) {
    m_result.warnings.push_back("The input " + m_request.path +
                                " was not deleted because not every part was archived.");
    return;
  }
  // Bytes that reached the input after it was opened are in no part; a file put in its
  // place is not the one that was split.
  platform::FileIdentity now;
  if (!m_inputUnchanged || !platform::identifyPath(m_request.path, now) || now != m_inputId) {
    m_result.warnings.push_back("The input " + m_request.path +
                                " was not deleted because it changed while it was split.");
    return;
  }
  platform::IoError err;
  for (const Holder& holder : m_holders) {
    if (!platform::syncAndCheckSize(holder.path, holder.size, err)) {
      m_result.warnings.push_back("The input " + m_request.path +
                                  " was not deleted: " + err.message());
      return;
    }
  }
  // The new files' names must be on disk too before the only other copy goes.
  if (!platform::syncFolder(m_workFolder, err)) {
    m_result.warnings.push_back("The input " + m_request.path +
                                " was not deleted: " + err.message());
    return;
  }
  if (m_stop.stopRequested()) return;
  if (!platform::removeFile(m_request.path, err)) m_result.warnings.push_back(err.message());
}

JobResult SplitJob::writeScript() {
  const std::string scriptPath = m_workFolder + m_batName + ".bat";
  if (overwritesInput(scriptPath)) {
    return JobResult::failed(scriptPath, "cannot write " + scriptPath +
                                             ": the script would replace the file being split");
  }
  const std::string text = m_script.text(m_batName, m_baseName, m_options.batDeleteLine());
  platform::IoError err;
  platform::File out = platform::File::open(scriptPath, platform::File::Mode::CreateReadWrite, err);
  if (!out.isOpen() || !out.writeAll(text.data(), static_cast<std::int64_t>(text.size()), err) ||
      !out.close(err)) {
    return JobResult::failed(scriptPath, err.message());
  }
  return {};
}

void SplitJob::publish(std::int64_t part) {
  Progress progress;
  progress.part = static_cast<int>(part);
  progress.gauge = gaugePosition(m_bytesDone, m_fileSize);
  progress.status = " " + std::to_string(m_bytesDone / 1024) + " Kb / " +
                    std::to_string(m_fileSize / 1024) + " Kb";
  progress.title =
      std::to_string(part) + " - " + std::to_string(progress.gauge) + "% - " + m_request.caption;
  m_progress.publish(progress);
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
