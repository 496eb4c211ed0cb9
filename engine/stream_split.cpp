// The split of a stream: each part is filled from the input as it comes, and the
// checksum list is made from the same bytes on the way.
#include "engine/stream_split.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/checksum.h"
#include "engine/checksum_file.h"
#include "engine/part_names.h"
#include "platform/path.h"

namespace engine {
namespace {

constexpr std::int64_t kChunk = 256 * 1024;

// True when the regular file at `path` begins with `text`.
bool beginsWith(const std::string& path, const char* text) {
  platform::IoError err;
  platform::File file = platform::File::open(path, platform::File::Mode::Read, err);
  const auto n = static_cast<std::int64_t>(std::strlen(text));
  std::string head(static_cast<std::size_t>(n), '\0');
  return file.isOpen() && file.read(head.data(), n, err) == n && head == text;
}

class StreamSplitJob {
 public:
  StreamSplitJob(platform::File& input, const StreamSplitRequest& request, ProgressSink& progress,
                 const StopToken& stop)
      : m_in(input), m_request(request), m_progress(progress), m_stop(stop) {}

  JobResult run() {
    m_listPath = m_request.folder + m_request.name + kChecksumExtension;
    m_template = partTemplate(m_request.name);
    platform::IoError err;
    if (!m_lock.acquire(m_request.folder, err)) {
      return JobResult::failed(folderShown(), "cannot split standard input into " +
                                                  folderShown() + ": " + err.reason() + ".");
    }
    JobResult step = clearOldList();
    if (step.outcome != JobOutcome::Done) return step;
    for (std::int64_t number = 1;; ++number) {
      bool full = false;
      step = writePart(number, full);
      if (step.outcome != JobOutcome::Done) return kept(step);
      if (!full) break;
    }
    if (m_request.writeChecksum) {
      m_list.wholeName = m_request.name;
      m_list.wholeSize = m_total;
      m_list.wholeSha256 = m_whole.finishHex();
      step = writeList();
      if (step.outcome != JobOutcome::Done) return step;
    }
    noteLeftovers();
    return m_result;
  }

 private:
  std::string folderShown() const {
    return m_request.folder.empty() ? platform::currentFolder() : m_request.folder;
  }

  // A list of an earlier split at this name describes other parts; a file of that name
  // that this program did not write is not ours to replace.
  JobResult clearOldList() {
    platform::FileIdentity id;
    if (!platform::identifyEntry(m_listPath, id)) return {};
    if (!beginsWith(m_listPath, kChecksumMarker)) {
      if (!m_request.writeChecksum) return {};
      return JobResult::failed(m_listPath, m_listPath +
                                               " is a file this program did not write; move it "
                                               "away. Nothing was read.");
    }
    platform::IoError err;
    if (!platform::removeFile(m_listPath, err)) return JobResult::failed(m_listPath, err.message());
    if (!m_request.writeChecksum) {
      m_result.notes.push_back("The checksum file " + m_listPath +
                               " of an earlier split was removed: it described other parts.");
    }
    return {};
  }

  // Fills part `number` from the input; `full` when it took a whole part size, so that
  // the input may go on.
  JobResult writePart(std::int64_t number, bool& full) {
    const std::string name = partFileName(m_template, number);
    const std::string path = m_request.folder + name;
    platform::IoError err;
    platform::File out = platform::File::open(path, platform::File::Mode::CreateNew, err);
    if (!out.isOpen()) return JobResult::failed(path, err.message());
    ++m_parts;
    Sha256 digest;
    std::int64_t size = 0;
    m_buffer.resize(kChunk);
    while (size < m_request.partSize) {
      if (m_stop.stopRequested()) return JobResult::stopped();
      const std::int64_t want = std::min(kChunk, m_request.partSize - size);
      const std::int64_t got = m_in.read(m_buffer.data(), want, err);
      if (got < 0) return JobResult::failed(m_in.path(), err.message());
      // A stop asked for while the read waited: what came before the end may be cut
      // short by whatever was stopped with it, so no list vouches for it.
      if (got == 0 && m_stop.stopRequested()) return JobResult::stopped();
      if (got == 0) break;
      if (!out.writeAll(m_buffer.data(), got, err)) return JobResult::failed(path, err.message());
      digest.update(m_buffer.data(), static_cast<std::size_t>(got));
      m_whole.update(m_buffer.data(), static_cast<std::size_t>(got));
      size += got;
      m_total += got;
      publish(number, size);
    }
    if (!out.close(err)) return JobResult::failed(path, err.message());
    full = size == m_request.partSize;
    if (m_request.writeChecksum) {
      m_list.parts.push_back({number, size, name, digest.finishHex(), "", ""});
    }
    return {};
  }

  void publish(std::int64_t number, std::int64_t size) {
    if (!m_progress.shown()) return;
    m_update.part = static_cast<int>(number);
    m_update.gauge = gaugePosition(size, m_request.partSize);
    setProgressTexts(m_update, m_total / 1024, " Kb read", "% - " + m_request.name);
    m_progress.publish(m_update);
  }

  JobResult writeList() {
    platform::IoError err;
    platform::File out = platform::File::open(m_listPath, platform::File::Mode::CreateNew, err);
    const std::string text = checksumFileText(m_list);
    if (!out.isOpen() || !out.writeAll(text.data(), static_cast<std::int64_t>(text.size()), err) ||
        !out.close(err)) {
      out.closeQuietly();
      platform::IoError ignored;
      platform::removeFile(m_listPath, ignored);
      return kept(JobResult::failed(m_listPath, err.message()));
    }
    return {};
  }

  // The bytes read are nowhere else: a stop or a failure says where they are.
  JobResult kept(JobResult result) const {
    if (m_parts == 0) return result;
    if (m_total == 0) {
      // Nothing was read: the empty part this run made holds nothing worth keeping.
      platform::IoError ignored;
      platform::removeFile(m_request.folder + partFileName(m_template, 1), ignored);
      return result;
    }
    std::string where = "The " + std::to_string(m_total) + " bytes read so far are in " +
                        partFileName(m_template, 1);
    if (m_parts > 1) where += " to " + partFileName(m_template, m_parts);
    result.warnings.push_back(where + " in " + folderShown() + "; no checksum file was written.");
    return result;
  }

  // Parts with higher numbers, left by an earlier split of the same name, would be
  // joined after these.
  void noteLeftovers() {
    std::int64_t first = 0;
    std::int64_t count = 0;
    for (const std::int64_t k : partNumbersIn(m_request.folder, m_template, true)) {
      if (k <= m_parts) continue;
      if (first == 0) first = k;
      ++count;
    }
    if (count == 0) return;
    m_result.warnings.push_back(
        "Parts of an earlier split are still in " + folderShown() + " (" +
        partFileName(m_template, first) + (count > 1 ? " and " + std::to_string(count - 1) + " more" : "") +
        "): a join would append them after the " + std::to_string(m_parts) +
        " parts of this split. Remove them before joining.");
  }

  platform::File& m_in;
  const StreamSplitRequest& m_request;
  ProgressSink& m_progress;
  const StopToken& m_stop;
  platform::FolderLock m_lock;
  std::string m_listPath;
  std::string m_template;
  std::vector<char> m_buffer;
  Sha256 m_whole;
  ChecksumList m_list;
  std::int64_t m_parts = 0;
  std::int64_t m_total = 0;
  Progress m_update;
  JobResult m_result;
};

}  // namespace

JobResult SplitStream(platform::File& input, const StreamSplitRequest& request,
                      ProgressSink& progress, const StopToken& stop) {
  return StreamSplitJob(input, request, progress, stop).run();
}

}  // namespace engine
