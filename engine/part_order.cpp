// Part order for what parts packed side by side show.
#include "engine/part_order.h"

#include <limits>

#include "zip/zip_events.h"

namespace engine {

void PartOrder::publish(const Progress& progress) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (progress.part <= m_first) {
    m_sink.publish(progress);
  } else {
    m_waiting[progress.part] = progress;
  }
}

void PartOrder::done(std::int64_t part) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (part < m_first) return;
    m_doneLater.insert(part);
    while (m_doneLater.erase(m_first) != 0) {
      ++m_first;
      // A part that waited shows where it stands now; its last update, when it is done.
      const auto waiting = m_waiting.find(m_first);
      if (waiting == m_waiting.end()) continue;
      m_sink.publish(waiting->second);
      m_waiting.erase(waiting);
    }
  }
  m_turn.notify_all();
}

void PartOrder::showBoxes(std::int64_t part, const std::vector<std::string>& boxes) {
  if (boxes.empty()) return;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_turn.wait(lock, [&] { return m_first >= part; });
  }
  // The part stays first until it is done, which its own thread marks after this.
  for (const std::string& box : boxes) zip::showWarningBox(box);
}

void PartOrder::release() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_first = std::numeric_limits<std::int64_t>::max();
    m_waiting.clear();
  }
  m_turn.notify_all();
}

}  // namespace engine
