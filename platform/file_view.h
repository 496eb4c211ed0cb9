// A read-only view of a range of an open file, straight from the system's file cache: the
// bytes are looked at where they lie instead of being copied into a buffer first. A file
// cut short by another process while it is viewed would end this one (SIGBUS on POSIX), so
// every look at a view goes through readViews, which turns that into a failed read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

#include "platform/file.h"

namespace platform {

class FileView {
 public:
  FileView() = default;
  ~FileView() { reset(); }
  FileView(FileView&& other) noexcept { *this = std::move(other); }
  FileView& operator=(FileView&& other) noexcept {
    if (this != &other) {
      reset();
      std::swap(m_base, other.m_base);
      std::swap(m_length, other.m_length);
      std::swap(m_data, other.m_data);
      std::swap(m_size, other.m_size);
    }
    return *this;
  }
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;

  // Whether a copy from `in` to `out` may let the kernel move the bytes and read them back
  // through views: never where this platform has none, nor where the test seam wants every
  // byte to pass read and write.
  static bool available(const File& in, const File& out);
  // Views n bytes of `file` (open for reading) from `offset`; false with `err` set when it
  // cannot (the file is then read the usual way).
  bool map(File& file, std::int64_t offset, std::int64_t n, IoError& err);
  void reset();
  const char* data() const { return m_data; }
  std::size_t size() const { return m_size; }

 private:
  void* m_base = nullptr;  // the mapping, from a page boundary
  std::size_t m_length = 0;
  const char* m_data = nullptr;
  std::size_t m_size = 0;
};

// Runs `read`, which may look at views; false when a viewed file no longer held the bytes
// (it was cut short under the view), true when `read` ran to its end.
bool readViews(const std::function<void()>& read);

// Tells the system that n bytes of `file` from `offset` are about to be read, so that it
// starts reading them from the device now, in large requests, instead of a little ahead of
// each read. A hint only: nothing happens where the system takes none.
void readSoon(File& file, std::int64_t offset, std::int64_t n);

}  // namespace platform
