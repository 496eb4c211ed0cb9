// What a split or a join needs from its caller and gives back: the options it reads
// while it runs, the progress it publishes, the stop request it obeys, and how it ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

enum class JobOutcome {
  Done,     // every step ran; `warnings` may still list things the user should know
  Stopped,  // the caller asked to stop; files written so far stay as they are
  Failed,   // an error ended the job; `file` and `reason` say where and why
};

struct JobResult {
  JobOutcome outcome = JobOutcome::Done;
  std::string file;                   // the file the failure concerns
  std::string reason;                 // what went wrong, for the user
  std::vector<std::string> warnings;  // problems that did not stop the job
  std::vector<std::string> notes;     // things worth knowing that are not problems
  std::string summary;                // what a finished job proved ("verified ..."), or ""

  // For the user: the reason of a failure (naming the file), then every warning and
  // note, a line each; "" when done without any.
  std::string message() const;
  static JobResult failed(std::string file, std::string reason);
  static JobResult stopped(std::vector<std::string> warnings = {});
};

// One update after a block: the gauge position (0..100), the status line and the title.
struct Progress {
  int part = 0;  // part number, counted from 1
  int gauge = 0;
  std::string status;
  std::string title;
};

// Sets an update's texts in place: status " <kbDone><statusTail>", title
// "<part> - <gauge><titleTail>". Reusing one Progress keeps its strings' room, so the
// hundred updates of each of thousands of small parts cost no allocation.
void setProgressTexts(Progress& progress, std::int64_t kbDone, std::string_view statusTail,
                      std::string_view titleTail);

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void publish(const Progress& progress) = 0;
  // False when nothing shows the updates (a command line writing to no terminal): a job
  // then leaves out the work of making them.
  virtual bool shown() const { return true; }
};

// Set from any thread; the job looks at it between chunks of a copy.
class StopToken {
 public:
  void requestStop() { m_stop.store(true, std::memory_order_relaxed); }
  bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }
  void reset() { m_stop.store(false, std::memory_order_relaxed); }

 private:
  std::atomic<bool> m_stop{false};
};

inline constexpr int kBlocksPerPart = 100;

// Gauge position for `done` of `total` bytes; an empty file counts as complete.
int gaugePosition(std::int64_t done, std::int64_t total);

}  // namespace engine
