// The join: parts appended in number order, each in 100 blocks; a part is deleted only
// after the output holding its bytes has reached the disk.
#include "engine/combine.h"

#include <algorithm>
#include <vector>

#include "engine/block_copy.h"
#include "engine/part_names.h"
#include "platform/file.h"
#include "platform/path.h"

namespace engine {
namespace {

std::string numberedPath(const std::string& firstPartPath, std::int64_t number) {
  return platform::replaceExtension(firstPartPath, platform::partSuffix(number));
}

class CombineJob {
 public:
  CombineJob(const CombineRequest& request, CombineOptions& options, ProgressSink& progress,
             const StopToken& stop)
      : m_request(request), m_options(options), m_progress(progress), m_stop(stop) {}

  JobResult run();

 private:
  JobResult check() const;
  JobResult checkRoom();
  JobResult appendPart(std::int32_t number, const std::string& path);
  void deletePart(const std::string& path);
  platform::FileIdentity m_partId;  // the part just copied, as it was when opened
  bool m_folderSynced = false;
  void publish(std::int32_t number, const std::string& name, std::int64_t size);

  const CombineRequest& m_request;
  CombineOptions& m_options;
  ProgressSink& m_progress;
  const StopToken& m_stop;
  platform::File m_out;
  std::int64_t m_written = 0;
  std::int64_t m_bytesDone = 0;
  JobResult m_result;
};

JobResult CombineJob::check() const {
  const std::string& output = m_request.outputPath;
  platform::IoError err;
  if (platform::namePart(output).empty()) {
    return JobResult::failed(output, "No name is given for the joined file.");
  }
  bool anyPart = false;
  std::int32_t firstMissing = 0;  // a number without a file before a later part
  const std::string outputFull = platform::absolutePath(output);
  for (std::int32_t i = 1; i <= m_request.combineCount; ++i) {
    const std::string part = numberedPath(m_request.firstPartPath, i);
    if (!platform::fileExists(part)) {
      if (firstMissing == 0) firstMissing = i;
      continue;
    }
    anyPart = true;
    if (firstMissing != 0 && platform::fileSize(output, err) > 0) {
      // Most likely an earlier join that deleted its parts and did not finish: the
      // existing output may be the only copy of the missing part, so it is not replaced.
      return JobResult::failed(
          output, "The joined file " + output + " already exists and the part " +
                      numberedPath(m_request.firstPartPath, firstMissing) +
                      " is missing; an earlier join may have deleted it. Move or rename " + output +
                      " and join again.");
    }
    if (platform::sameFile(part, output) || platform::absolutePath(part) == outputFull) {
      return JobResult::failed(
          output, "The joined file " + output + " would replace one of its own parts.");
    }
  }
  if (!anyPart) {
    return JobResult::failed(m_request.firstPartPath, "No part to join was found: " +
                                                          numberedPath(m_request.firstPartPath, 1) +
                                                          " and the parts after it do not exist.");
  }
  return {};
}

// A join that runs out of room half-way is worse than none: the joined file must fit
// before it is created. Parts deleted as they are copied free their room on the way, so
// then only the largest part must fit at once.
JobResult CombineJob::checkRoom() {
  const std::string folder = platform::folderPart(m_request.outputPath);
  std::int64_t total = 0, largest = 0;
  bool sameFilesystem = true;
  for (std::int32_t i = 1; i <= m_request.combineCount; ++i) {
    const std::string part = numberedPath(m_request.firstPartPath, i);
    if (!platform::fileExists(part)) continue;
    platform::IoError err;
    const std::int64_t size = platform::fileSize(part, err);
    const std::int64_t allocated = platform::allocatedSize(part);
    const std::int64_t need = allocated >= 0 && allocated < size ? allocated : size;
    total += need;
    largest = std::max(largest, need);
    sameFilesystem = sameFilesystem && platform::sameFilesystem(part, folder);
  }
  const std::int64_t need = m_options.deleteParts() && sameFilesystem ? largest : total;
  std::int64_t free = platform::freeSpace(folder);
  if (free < 0) return {};
  if (platform::fileExists(m_request.outputPath)) {
    free += std::max<std::int64_t>(0, platform::allocatedSize(m_request.outputPath));
  }
  if (free >= need) return {};
  const std::string shown = folder.empty() ? platform::currentFolder() : folder;
  return JobResult::failed(shown, "Not enough free space in " + shown + ": the joined file needs " +
                                      std::to_string(need) + " bytes, " + std::to_string(free) +
                                      " are free.");
}

JobResult CombineJob::run() {
  JobResult checked = check();
  if (checked.outcome != JobOutcome::Done) return checked;
  JobResult room = checkRoom();
  if (room.outcome != JobOutcome::Done) return room;
  platform::IoError err;
  m_out = platform::File::open(m_request.outputPath, platform::File::Mode::CreateReadWrite, err);
  if (!m_out.isOpen()) return JobResult::failed(m_request.outputPath, err.message());
  for (std::int32_t i = 1; i <= m_request.combineCount; ++i) {
    const std::string path = numberedPath(m_request.firstPartPath, i);
    if (!platform::fileExists(path)) continue;  // a missing number is passed over
    JobResult part = appendPart(i, path);
    if (part.outcome != JobOutcome::Done) {
      m_out.closeQuietly();
      part.warnings = m_result.warnings;
      return part;
    }
    if (m_options.deleteParts()) {
      // A stop that arrives after the part's last block keeps the part.
      if (m_stop.stopRequested()) {
        m_out.closeQuietly();
        return JobResult{JobOutcome::Stopped, {}, {}, m_result.warnings};
      }
      deletePart(path);
    }
  }
  if (!m_out.close(err)) return JobResult::failed(m_request.outputPath, err.message());
  return m_result;
}

JobResult CombineJob::appendPart(std::int32_t number, const std::string& path) {
  platform::IoError err;
  platform::File in = platform::File::open(path, platform::File::Mode::Read, err);
  if (!in.isOpen()) return JobResult::failed(path, err.message());
  const std::int64_t size = in.size(err);
  if (size < 0) return JobResult::failed(path, err.message());
  in.identify(m_partId);
  const std::string name = platform::namePart(path);
  m_bytesDone = 0;
  JobResult copied = copyInBlocks(in, m_out, size, m_stop, [&](std::int64_t n) {
    m_bytesDone += n;
    publish(number, name, size);
  });
  if (copied.outcome != JobOutcome::Done) return copied;
  m_written += size;
  if (!in.close(err)) return JobResult::failed(path, err.message());
  return {};
}

void CombineJob::deletePart(const std::string& path) {
  // The part's bytes must be on disk in the output before the part goes.
  platform::IoError err;
  if (!m_out.sync(err)) {
    m_result.warnings.push_back("The part " + path + " was kept: " + err.message());
    return;
  }
  const std::int64_t size = m_out.size(err);
  if (size != m_written) {
    m_result.warnings.push_back("The part " + path + " was kept: the joined file holds " +
                                std::to_string(size) + " bytes instead of " +
                                std::to_string(m_written) + ".");
    return;
  }
  // A part that changed after it was opened holds bytes the output lacks.
  platform::FileIdentity now;
  if (!platform::identifyPath(path, now) || now != m_partId) {
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
  if (!platform::removeFile(path, err)) m_result.warnings.push_back(err.message());
}

void CombineJob::publish(std::int32_t number, const std::string& name, std::int64_t size) {
  Progress progress;
  progress.part = number;
  progress.gauge = gaugePosition(m_bytesDone, size);
  progress.status = " " + std::to_string(m_bytesDone / 1024) + " Kb / " +
                    std::to_string(size / 1024) + " Kb - " + name;
  progress.title = std::to_string(number) + " - " + std::to_string(progress.gauge) + "% - " + name;
  m_progress.publish(progress);
}

}  // namespace

CombineSelection SelectFirstPart(const std::string& path) {
  CombineSelection selection;
  selection.folder = platform::folderPart(path);
  selection.firstName = platform::namePart(path);
  const std::size_t dot = selection.firstName.rfind('.');
  selection.outputName =
      dot == std::string::npos ? std::string() : selection.firstName.substr(0, dot);
  if (selection.firstName.empty()) return selection;
  // Counted as the Combine tab always has: the chosen name first, then .002, .003 ...
  // until a number has no file; the count ends at that first missing number.
  std::int32_t count = 1;
  std::string name = selection.firstName;
  while (platform::fileExists(selection.folder + name) && count < INT32_MAX) {
    ++count;
    name = partFileName(name, count);
  }
  selection.combineCount = count;
  return selection;
}

JobResult CombineFiles(const CombineRequest& request, CombineOptions& options,
                       ProgressSink& progress, const StopToken& stop) {
  CombineJob job(request, options, progress, stop);
  return job.run();
}

}  // namespace engine
