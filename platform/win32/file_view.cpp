// Windows reads files the usual way: no views.
#include "platform/file_view.h"


namespace platform {

bool FileView::available(const File& /*in*/, const File& /*out*/) {
  return false;
}

bool FileView::map(File& file, std::int64_t /*offset*/, std::int64_t /*n*/, IoError& err) {
  err.operation = "read";
  err.path = file.path();
  err.detail = "views are not available";
  return false;
}

void FileView::reset() {
  m_base = nullptr;
  m_length = 0;
  m_data = nullptr;
  m_size = 0;
}

bool readViews(const std::function<void()>& read) {
  read();
  return true;
}

void readSoon(File& /*file*/, std::int64_t /*offset*/, std::int64_t /*n*/) {}

}  // namespace platform
