// BeneathTarget: openat() part by part with O_NOFOLLOW, a temporary file created with
// O_EXCL beside the target, renameat() onto the target name.
#include "platform/beneath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace platform {
namespace {

bool fail(IoError& err, const char* operation, const std::string& path, int code) {
  err.operation = operation;
  err.path = path;
  err.code = code;
  return false;
}

// Six characters that make a temporary name unlikely to be taken.
std::string randomSuffix() {
  static thread_local std::mt19937 generator{std::random_device{}()};
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string s(6, 'a');
  for (char& c : s) c = kChars[generator() % (sizeof kChars - 1)];
  return s;
}

}  // namespace

BeneathTarget::~BeneathTarget() {
  discard();
  closeFolder();
}

void BeneathTarget::closeFolder() {
  if (m_folder >= 0) ::close(m_folder);
  m_folder = -1;
}

BeneathTarget::Reach BeneathTarget::reachFolder(const std::string& root, const std::string& name,
                                                IoError& err) {
  discard();
  closeFolder();
  m_linkedPart.clear();
  m_path = root + name;
  const std::size_t slash = name.rfind('/');
  m_leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  m_folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (m_folder < 0) {
    fail(err, "open", root, errno);
    return Reach::Failed;
  }
  if (slash == std::string::npos) return Reach::Ok;
  std::size_t start = 0;
  while (start < slash) {
    std::size_t end = name.find('/', start);
    const std::string part = name.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    const int next =
        ::openat(m_folder, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      const int code = errno;
      struct stat st {};
      const bool link =
          ::fstatat(m_folder, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
      closeFolder();
      if (link) {
        m_linkedPart = name.substr(0, end);
        return Reach::LinkedFolder;
      }
      fail(err, "open", root + name.substr(0, end), code);
      return Reach::Failed;
    }
    ::close(m_folder);
    m_folder = next;
  }
  return Reach::Ok;
}

bool BeneathTarget::targetIsFolder() const {
  if (m_leaf.empty() || m_leaf == ".") return true;  // the name ends in its folder
  struct stat st {};
  return ::fstatat(m_folder, m_leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

bool BeneathTarget::identifyTarget(FileIdentity& out) const {
  struct stat st {};
  if (m_leaf.empty() || ::fstatat(m_folder, m_leaf.c_str(), &st, 0) != 0) return false;
  out.device = static_cast<std::uint64_t>(st.st_dev);
  out.inode = static_cast<std::uint64_t>(st.st_ino);
  out.size = static_cast<std::int64_t>(st.st_size);
  out.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

bool BeneathTarget::createTemporary(IoError& err) {
  discard();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = ".sundrix-" + randomSuffix() + ".part";
    m_file = ::openat(m_folder, candidate.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_file >= 0) {
      m_temporary = candidate;
      return true;
    }
    if (errno != EEXIST) return fail(err, "create", m_path, errno);
  }
  return fail(err, "create", m_path, EEXIST);
}

bool BeneathTarget::write(const void* data, std::int64_t n, IoError& err) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (n > 0) {
    const ssize_t w = ::write(m_file, p, static_cast<std::size_t>(n));
    if (w < 0) {
      if (errno == EINTR) continue;
      return fail(err, "write", m_path, errno);
    }
    p += w;
    n -= w;
  }
  return true;
}

bool BeneathTarget::setModificationTime(std::time_t when, IoError& err) {
  const struct timespec times[2] = {{when, 0}, {when, 0}};
  if (::futimens(m_file, times) != 0) return fail(err, "set the time of", m_path, errno);
  return true;
}

bool BeneathTarget::commit(IoError& err) {
  const int file = m_file;
  m_file = -1;
  if (::close(file) != 0) {
    fail(err, "close", m_path, errno);
    discard();
    return false;
  }
  if (::renameat(m_folder, m_temporary.c_str(), m_folder, m_leaf.c_str()) != 0) {
    fail(err, "rename", m_path, errno);
    discard();
    return false;
  }
  m_temporary.clear();
  return true;
}

void BeneathTarget::discard() {
  if (m_file >= 0) ::close(m_file);
  m_file = -1;
  if (!m_temporary.empty() && m_folder >= 0) ::unlinkat(m_folder, m_temporary.c_str(), 0);
  m_temporary.clear();
}

}  // namespace platform
