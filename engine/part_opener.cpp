// Parts opened ahead of the copy.
#include "engine/part_opener.h"

#include <utility>

namespace engine {

PartOpener::PartOpener(const platform::FolderFiles& folder,
                       std::function<std::string(std::int32_t)> nameOf, std::int32_t first,
                       std::int32_t last)
    : m_folder(folder),
      m_nameOf(std::move(nameOf)),
      m_first(first),
      m_last(last),
      m_opened(first),
      m_taken(first),
      m_next(first),
      m_seenOpened(first) {
  m_thread = std::thread([this] { run(); });
}

PartOpener::~PartOpener() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closing = true;
  }
  m_changed.notify_all();
  m_thread.join();
  for (platform::File& file : m_ring) file.closeQuietly();
}

void PartOpener::run() {
  std::int32_t number = m_first;
  std::int32_t seenTaken = m_first;
  while (number <= m_last) {
    if (number - seenTaken >= kAhead || (number - m_first) % kBatch == 0) {
      // Shows what was opened, and waits for room when the ring is full.
      std::unique_lock<std::mutex> lock(m_mutex);
      m_opened = number;
      m_changed.notify_all();
      m_changed.wait(lock, [&] { return m_closing || number - m_taken < kAhead; });
      if (m_closing) return;
      seenTaken = m_taken;
    }
    platform::IoError ignored;  // a failed open is tried again by take(), which reports it
    platform::File file = m_folder.open(m_nameOf(number), platform::File::Mode::Read, ignored);
    if (!file.isOpen()) {
      // Perhaps no descriptor is left: the copy needs them more. Nothing more is opened
      // ahead, and what take() cannot see yet is closed at once.
      std::lock_guard<std::mutex> lock(m_mutex);
      for (std::int32_t k = m_opened; k < number; ++k) {
        m_ring[static_cast<std::size_t>((k - m_first) % kAhead)].closeQuietly();
      }
      m_gaveUp.store(true);
      m_opened = m_last + 1;
      m_changed.notify_all();
      return;
    }
    m_ring[static_cast<std::size_t>((number - m_first) % kAhead)] = std::move(file);
    ++number;
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  m_opened = number;
  m_changed.notify_all();
}

platform::File PartOpener::take(std::int32_t number, platform::IoError& err) {
  if (number != m_next || number > m_last) {
    return m_folder.open(m_nameOf(number), platform::File::Mode::Read, err);
  }
  if (!m_letGo && m_gaveUp.load()) {
    // The opener stopped at a part it could not open: what it holds past this part goes
    // now, and those parts are opened on their turn.
    for (std::int32_t k = number + 1; k < number + kAhead; ++k) {
      m_ring[static_cast<std::size_t>((k - m_first) % kAhead)].closeQuietly();
    }
    m_letGo = true;
  }
  if (number >= m_seenOpened || (number - m_first) % kBatch == 0) {
    // Gives back the room of what was taken, and waits for this part when needed.
    std::unique_lock<std::mutex> lock(m_mutex);
    m_taken = number;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_opened > number; });
    m_seenOpened = m_opened;
  }
  platform::File file = std::move(m_ring[static_cast<std::size_t>((number - m_first) % kAhead)]);
  ++m_next;
  if (file.isOpen()) return file;
  return m_folder.open(m_nameOf(number), platform::File::Mode::Read, err);
}

}  // namespace engine
