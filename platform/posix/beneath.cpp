// BeneathTarget: openat() part by part with O_NOFOLLOW, a temporary file created with
// O_EXCL beside the target, renameat() onto the target name.
#include "platform/beneath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_internal.h"

namespace platform {
namespace {

bool failAs(IoError& err, const char* operation, const std::string& path, int code) {
  err.operation = operation;
  err.path = path;
  err.code = code;
  return false;
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
    failAs(err, "open", root, errno);
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
      failAs(err, "open", root + name.substr(0, end), code);
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

bool BeneathTarget::targetWritable() const {
  struct stat st {};
  if (m_leaf.empty() || ::fstatat(m_folder, m_leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(st.st_mode)) {
    return true;
  }
  return permissionBitsAllowWrite(st.st_uid, st.st_gid, st.st_mode);
}

bool BeneathTarget::folderIdentity(FileIdentity& out) const {
  struct stat st {};
  if (m_folder < 0 || ::fstat(m_folder, &st) != 0) return false;
  out.device = static_cast<std::uint64_t>(st.st_dev);
  out.inode = static_cast<std::uint64_t>(st.st_ino);
  return true;
}

int BeneathTarget::removeStaleTemporaries() {
  const int listing =
      m_folder < 0 ? -1 : ::openat(m_folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return 0;
  DIR* dir = ::fdopendir(listing);
  if (dir == nullptr) {
    ::close(listing);
    return 0;
  }
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (!isTemporaryName(entry->d_name)) continue;
    const int fd = ::openat(m_folder, entry->d_name,
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat held {
    }, named{};
    // Removed only while its lock is ours, and only when the name still leads to the file
    // that was locked: a running program's temporary file is never touched.
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(m_folder, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == held.st_dev && named.st_ino == held.st_ino &&
        ::unlinkat(m_folder, entry->d_name, 0) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

bool BeneathTarget::createTemporary(IoError& err) {
  discard();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = temporaryName();
    m_file = ::openat(m_folder, candidate.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_file < 0) {
      if (errno != EEXIST) return failAs(err, "create", m_path, errno);
      continue;
    }
    if (lockTemporary(m_file)) {
      m_temporary = candidate;
      return true;
    }
    ::close(m_file);
    m_file = -1;
  }
  return failAs(err, "create", m_path, EEXIST);
}

bool BeneathTarget::write(const void* data, std::int64_t n, IoError& err) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (n > 0) {
    const ssize_t w = ::write(m_file, p, static_cast<std::size_t>(n));
    if (w < 0) {
      if (errno == EINTR) continue;
      return failAs(err, "write", m_path, errno);
    }
    p += w;
    n -= w;
  }
  return true;
}

bool BeneathTarget::setModificationTime(std::time_t when, IoError& err) {
  const struct timespec times[2] = {{when, 0}, {when, 0}};
  if (::futimens(m_file, times) != 0) return failAs(err, "set the time of", m_path, errno);
  return true;
}

bool BeneathTarget::commit(IoError& err) {
  struct stat old {};
  if (::fstatat(m_folder, m_leaf.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode) &&
      ::fchmod(m_file, old.st_mode & 0777) != 0) {
    failAs(err, "set the permissions of", m_path, errno);
    discard();
    return false;
  }
  const int file = m_file;
  m_file = -1;
  if (::close(file) != 0) {
    failAs(err, "close", m_path, errno);
    discard();
    return false;
  }
  if (::renameat(m_folder, m_temporary.c_str(), m_folder, m_leaf.c_str()) != 0) {
    failAs(err, "rename", m_path, errno);
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
