// Opens the parts of a long series of small ones ahead of their copy, on a thread of its
// own: a part of a kilobyte costs its open (a lookup of its name and a look at what it
// is) about as much as its copy, and with a second core the two then overlap. The two
// threads meet once per batch of parts, not once per part, or the meetings would cost
// what the overlap saves.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"

namespace engine {

class PartOpener {
 public:
  // Opens the names `nameOf` gives for first .. last, in order, for reading, at most
  // kAhead of them before take() has them. `folder` and `nameOf` must stay usable until
  // the opener is gone, and `nameOf` must be safe to call from another thread.
  PartOpener(const platform::FolderFiles& folder,
             std::function<std::string(std::int32_t)> nameOf, std::int32_t first,
             std::int32_t last);
  ~PartOpener();  // stops, and closes what was opened and not taken
  PartOpener(const PartOpener&) = delete;
  PartOpener& operator=(const PartOpener&) = delete;

  // The part `number`, the next in order. One whose open failed ahead is opened again
  // now, so that a part that came or went meanwhile is seen as it is now, and `err` says
  // why when that fails too. The opener opens nothing more ahead after a failed open (the
  // process may be out of descriptors): what it holds past `number` is let go, and each
  // part is opened on its turn.
  platform::File take(std::int32_t number, platform::IoError& err);

  static constexpr std::int32_t kAhead = 64;  // parts opened ahead at most

 private:
  static constexpr std::int32_t kBatch = 16;
  void run();

  const platform::FolderFiles& m_folder;
  std::function<std::string(std::int32_t)> m_nameOf;
  const std::int32_t m_first, m_last;
  std::vector<platform::File> m_ring = std::vector<platform::File>(kAhead);
  std::mutex m_mutex;
  std::condition_variable m_changed;
  // Under the mutex: the numbers below m_opened are in the ring (or failed), those below
  // m_taken have left it.
  std::int32_t m_opened;
  std::int32_t m_taken;
  bool m_closing = false;
  // Set by the opening thread, after its last open, when an open failed.
  std::atomic<bool> m_gaveUp{false};
  // The taking thread's own: the next number, m_opened as it last saw it, and whether
  // it let go of what was opened ahead.
  std::int32_t m_next;
  std::int32_t m_seenOpened;
  bool m_letGo = false;
  std::thread m_thread;
};

}  // namespace engine
