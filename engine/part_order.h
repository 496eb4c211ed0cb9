// Parts packed side by side, shown as if packed one after another: what a part shows (its
// progress, the archiver's warning boxes) reaches the user once every earlier part is
// done, and at that moment.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/job.h"

namespace engine {

// Every call may come from any thread; the sink is called by one thread at a time.
class PartOrder : public ProgressSink {
 public:
  explicit PartOrder(ProgressSink& sink) : m_sink(sink) {}

  // Passed on at once when every part before `progress.part` is done; otherwise the
  // part's newest update waits until they are.
  void publish(const Progress& progress) override;
  bool shown() const override { return m_sink.shown(); }
  // Part `part` has nothing more to show. The parts after it that now come first show
  // their newest update.
  void done(std::int64_t part);
  // Waits until every part before `part` is done, then shows `boxes` one after another,
  // each waiting for the user as the archiver's own box does.
  void showBoxes(std::int64_t part, const std::vector<std::string>& boxes);
  // Lets every waiting box through: for a job that ends without marking its parts done.
  void release();

 private:
  ProgressSink& m_sink;
  std::mutex m_mutex;
  std::condition_variable m_turn;
  std::int64_t m_first = 1;                    // the first part not yet done
  std::set<std::int64_t> m_doneLater;          // parts after m_first already done
  std::map<std::int64_t, Progress> m_waiting;  // the newest update of each part after m_first
};

}  // namespace engine
