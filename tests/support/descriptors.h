// A limit on the descriptors the process may open, for tests of what runs out of them.
#pragma once
#ifndef _WIN32

#include <fcntl.h>
#include <sys/resource.h>

namespace testing_support {

// While it lasts, the process can open only `spare` descriptors more. The limit is on
// their numbers, and a new one takes the lowest number free: it is put at the number of
// the free one after the `spare` that may be taken.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(int spare) {
    ::getrlimit(RLIMIT_NOFILE, &m_before);
    int limit = 0;
    for (int free = 0;; ++limit) {
      if (::fcntl(limit, F_GETFD) != -1) continue;
      if (free == spare) break;
      ++free;
    }
    rlimit tight = m_before;
    tight.rlim_cur = static_cast<rlim_t>(limit);
    m_set = ::setrlimit(RLIMIT_NOFILE, &tight) == 0;
  }
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &m_before); }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;
  bool set() const { return m_set; }

 private:
  rlimit m_before{};
  bool m_set = false;
};

}  // namespace testing_support

#endif
