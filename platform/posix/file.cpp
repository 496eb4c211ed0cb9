// POSIX implementation of the file layer.
#include "platform/file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/file_internal.h"
#include "platform/path.h"

namespace platform {

// A descriptor opened for reading may be flushed.
const File::Mode kModeForSync = File::Mode::Read;

namespace {

constexpr std::int64_t kBufferedChunk = 128 * 1024;
// Large enough for the kernel's copy to run at full speed, small enough that a stop
// request is seen within a fraction of a second even on slow media.
constexpr std::int64_t kKernelChunk = 8 * 1024 * 1024;

bool copyBuffered(File& in, File& out, std::int64_t n, IoError& err,
                  const std::function<bool()>& stopRequested, const CopyProgress& moved) {
  std::vector<char> buffer(static_cast<std::size_t>(std::min(n, kBufferedChunk)));
  while (n > 0) {
    if (stopRequested && stopRequested()) return false;
    const std::int64_t want = std::min<std::int64_t>(n, static_cast<std::int64_t>(buffer.size()));
    if (!in.readExact(buffer.data(), want, err)) return false;
    if (!out.writeAll(buffer.data(), want, err)) return false;
    n -= want;
    if (moved) moved(want);
  }
  return true;
}

FileIdentity identityOf(const struct stat& st) {
  FileIdentity id;
  id.device = static_cast<std::uint64_t>(st.st_dev);
  id.inode = static_cast<std::uint64_t>(st.st_ino);
  id.size = st.st_size;
  id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  id.changedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
  return id;
}

// Makes room for a new file: a file or a link at `name` in `folder` (`path` in messages)
// is removed (never what a link points at); a folder is not.
bool clearEntry(int folder, const std::string& name, const std::string& path, IoError& err) {
  struct stat st {};
  if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT || fail(err, FileOp::Create, path, errno);
  }
  if (S_ISDIR(st.st_mode)) return fail(err, FileOp::Create, path, EISDIR);
  // A device, a named pipe or a socket is never ours to remove: it may be a system's.
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    return fail(err, FileOp::Create, path, 0, "not a regular file");
  }
  if (::unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT) {
    return fail(err, FileOp::Create, path, errno);
  }
  return true;
}

}  // namespace

ErrorKind errorKind(int code) {
  switch (code) {
    case ENOENT:
      return ErrorKind::NotFound;
    case ENOTDIR:
      return ErrorKind::PathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ErrorKind::Denied;
    case ENOSPC:
    case EDQUOT:
      return ErrorKind::DiskFull;
    case EWOULDBLOCK:
      return ErrorKind::Busy;
    default:
      return ErrorKind::Other;
  }
}

int errorCode(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::NotFound:
      return ENOENT;
    case ErrorKind::PathNotFound:
      return ENOTDIR;
    case ErrorKind::Denied:
      return EACCES;
    case ErrorKind::DiskFull:
      return ENOSPC;
    case ErrorKind::Busy:
      return EWOULDBLOCK;
    case ErrorKind::Other:
      break;
  }
  return EIO;
}

std::string IoError::reason() const {
  if (!detail.empty()) return detail;
  if (code != 0) return std::strerror(code);
  return "unknown error";
}

File File::open(const std::string& path, Mode mode, IoError& err) {
  return openIn(AT_FDCWD, path, path, mode, err);
}

File File::standardInput(IoError& err) {
  File file;
  const std::string name = "standard input";
  const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    fail(err, FileOp::Open, name, errno);
    return file;
  }
  file.m_fd = fd;
  file.m_path = name;
  file.m_stream = true;
  return file;
}

File File::openIn(NativeHandle folder, const std::string& name, const std::string& path, Mode mode,
                  IoError& err) {
  File file;
  const bool creates = mode != Mode::Read && mode != Mode::ReadWrite;
  const FileOp op = creates ? FileOp::Create : FileOp::Open;
  if (injected(op, path, err)) return file;
  // Non-blocking while opening, so that a named pipe in a file's place cannot hang the
  // program until some other process writes to it; only regular files are accepted.
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
    case Mode::Read:
      flags |= O_RDONLY;
      break;
    case Mode::ReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::CreateReadWrite:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case Mode::CreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
      if (!clearEntry(folder, name, path, err)) return file;
      break;
    case Mode::WriteStream:
      // A pipe's open waits for its reader, as the user who named it expects.
      flags = O_CLOEXEC | O_WRONLY | O_NOCTTY;
      break;
    case Mode::CreateExclusive:
      flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
      break;
  }
  int fd;
  do {
    fd = ::openat(folder, name.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    fail(err, op, path, errno);
    return file;
  }
  struct stat st {};
  if (mode == Mode::WriteStream && ::fstat(fd, &st) == 0 &&
      (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISREG(st.st_mode))) {
    // What a link through /proc reaches may be a plain file (a shell's redirection):
    // written at its end, as the redirection would.
    if (S_ISREG(st.st_mode)) ::fcntl(fd, F_SETFL, O_APPEND);
    file.m_fd = fd;
    file.m_path = path;
    file.m_openedAs = identityOf(st);
    file.m_stream = true;
    return file;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int code = S_ISDIR(st.st_mode) ? EISDIR : 0;
    ::close(fd);
    fail(err, op, path, code, code == 0 ? "not a regular file" : std::string());
    return file;
  }
  // F_SETFL changes only the status flags, and of those the open set O_NONBLOCK alone.
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  file.m_fd = fd;
  file.m_path = path;
  file.m_openedAs = identityOf(st);
  return file;
}

std::int64_t File::read(void* buffer, std::int64_t n, IoError& err) {
  if (injected(FileOp::Read, m_path, err)) return -1;
  ssize_t got;
  do {
    got = ::read(m_fd, buffer, static_cast<std::size_t>(n));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    fail(err, FileOp::Read, m_path, errno);
    return -1;
  }
  return got;
}

bool File::writeAll(const void* buffer, std::int64_t n, IoError& err) {
  if (injected(FileOp::Write, m_path, err)) return false;
  const char* p = static_cast<const char*>(buffer);
  while (n > 0) {
    const ssize_t put = ::write(m_fd, p, static_cast<std::size_t>(n));
    if (put < 0) {
      if (errno == EINTR) continue;
      return fail(err, FileOp::Write, m_path, errno);
    }
    if (put == 0) return fail(err, FileOp::Write, m_path, ENOSPC);
    p += put;
    n -= put;
  }
  return true;
}

bool File::seek(std::int64_t position, IoError& err) {
  if (injected(FileOp::Seek, m_path, err)) return false;
  if (::lseek(m_fd, static_cast<off_t>(position), SEEK_SET) < 0) {
    return fail(err, FileOp::Seek, m_path, errno);
  }
  return true;
}

bool File::seekToEnd(IoError& err) {
  if (injected(FileOp::Seek, m_path, err)) return false;
  if (::lseek(m_fd, 0, SEEK_END) < 0) return fail(err, FileOp::Seek, m_path, errno);
  return true;
}

std::int64_t File::position(IoError& err) {
  const off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
  if (pos < 0) {
    fail(err, FileOp::Seek, m_path, errno);
    return -1;
  }
  return pos;
}

std::int64_t File::size(IoError& err) {
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) {
    fail(err, FileOp::Read, m_path, errno);
    return -1;
  }
  return st.st_size;
}

bool File::identify(FileIdentity& out) const {
  struct stat st {};
  if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return false;
  out = identityOf(st);
  return true;
}

bool identifyPath(const std::string& path, FileIdentity& out) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  out = identityOf(st);
  return true;
}

bool identifyEntry(const std::string& path, FileIdentity& out) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out = identityOf(st);
  return true;
}

bool syncAndCheckFile(const std::string& path, const FileIdentity& expected, IoError& err) {
  if (injected(FileOp::Sync, path, err)) return false;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == ELOOP) return fail(err, FileOp::Sync, path, 0, "a link has taken its place");
    return fail(err, FileOp::Sync, path, errno);
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  int code = ok ? 0 : errno;
  std::string detail;
  if (ok && (!S_ISREG(st.st_mode) || !identityOf(st).sameObject(expected))) {
    ok = false;
    detail = "it is no longer the file written by this run";
  } else if (ok && st.st_size != expected.size) {
    ok = false;
    detail = "holds " + std::to_string(st.st_size) + " bytes instead of " +
             std::to_string(expected.size);
  } else if (ok && ::fdatasync(fd) != 0) {
    ok = false;
    code = errno;
  }
  ::close(fd);
  return ok || fail(err, FileOp::Sync, path, code, detail);
}

FolderLock::~FolderLock() {
  if (m_fd >= 0) ::close(m_fd);  // closing the last descriptor releases the lock
}

bool FolderLock::acquire(const std::string& folder, IoError& err) {
  const std::string path = folder.empty() ? "." : folder;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fail(err, FileOp::Open, path, errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int code = errno;
    ::close(fd);
    if (code == EWOULDBLOCK || code == EINTR) {
      return fail(err, FileOp::Open, path, code,
                  "another run of this program is writing into this folder");
    }
    return true;  // the filesystem cannot lock; the identity checks still hold
  }
  if (m_fd >= 0) ::close(m_fd);
  m_fd = fd;
  return true;
}

bool syncFolder(const std::string& folder, IoError& err) {
  const std::string path = folder.empty() ? "." : folder;
  if (injected(FileOp::Sync, path, err)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fail(err, FileOp::Sync, path, errno);
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // some filesystems cannot sync folders
  const int code = errno;
  ::close(fd);
  return ok || fail(err, FileOp::Sync, path, code);
}

bool File::truncate(std::int64_t size, IoError& err) {
  if (injected(FileOp::Truncate, m_path, err)) return false;
  if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
    return fail(err, FileOp::Truncate, m_path, errno);
  }
  return true;
}

void File::willRead(std::int64_t from, std::int64_t n) const {
  if (m_fd >= 0 && !m_stream) {
    ::posix_fadvise(m_fd, static_cast<off_t>(from), static_cast<off_t>(n), POSIX_FADV_WILLNEED);
  }
}

bool File::sync(IoError& err) {
  if (injected(FileOp::Sync, m_path, err)) return false;
  if (::fdatasync(m_fd) != 0) return fail(err, FileOp::Sync, m_path, errno);
  return true;
}

bool File::close(IoError& err) {
  if (m_fd < 0) return true;
  const int fd = m_fd;
  m_fd = -1;
  if (injected(FileOp::Close, m_path, err)) {
    ::close(fd);
    return false;
  }
  // The descriptor is gone after close() whatever it returns; EINTR is not retried.
  if (::close(fd) != 0 && errno != EINTR) return fail(err, FileOp::Close, m_path, errno);
  return true;
}

void File::closeQuietly() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

namespace {

// The run starting at `pos` of `fd`: how much of the next `n` bytes is a hole (0 when
// data comes first), and how much is data before the next hole.
struct Extent {
  std::int64_t hole = 0;
  std::int64_t data = 0;
};

Extent extentAt(int fd, off_t pos, std::int64_t n) {
  Extent e;
  const off_t data = ::lseek(fd, pos, SEEK_DATA);
  if (data < 0) {
    e.hole = errno == ENXIO ? n : 0;  // ENXIO: nothing but hole up to the end
    e.data = errno == ENXIO ? 0 : n;
  } else if (data > pos) {
    e.hole = std::min<std::int64_t>(data - pos, n);
  } else {
    const off_t hole = ::lseek(fd, pos, SEEK_HOLE);
    e.data = hole > pos ? std::min<std::int64_t>(hole - pos, n) : n;
  }
  ::lseek(fd, pos, SEEK_SET);  // the lookups moved the file's position
  return e;
}

// Where a kernel copy stands. Holes in the input are not copied when the output grows at
// its end: skipping leaves a hole there too, which reads back as the same zeros, and a
// sparse image stays sparse. The input's holes are looked up once per run of data, not
// per chunk, and only in files that have any.
struct KernelCopy {
  File& in;
  File& out;
  off_t inPos = -1, outPos = -1;
  bool sparse = false;
  bool skipped = false;
  Extent extent;  // what is left of the run being copied (sparse inputs only)

  KernelCopy(File& input, File& output, std::int64_t n) : in(input), out(output) {
    struct stat inStat {
    }, outStat{};
    inPos = ::lseek(in.descriptor(), 0, SEEK_CUR);
    outPos = ::lseek(out.descriptor(), 0, SEEK_CUR);
    sparse = inPos >= 0 && outPos >= 0 && ::fstat(in.descriptor(), &inStat) == 0 &&
             ::fstat(out.descriptor(), &outStat) == 0 && S_ISREG(inStat.st_mode) &&
             S_ISREG(outStat.st_mode) &&
             outPos >= outStat.st_size && inPos + n <= inStat.st_size &&
             inStat.st_blocks * 512 < inStat.st_size;  // only files with holes
  }

  // How much of the next `n` bytes to copy now; 0 after a hole was passed over (or on a
  // failure, with `err` set).
  std::int64_t next(std::int64_t n, IoError& err) {
    if (!sparse) return std::min(n, kKernelChunk);
    if (extent.hole == 0 && extent.data == 0) extent = extentAt(in.descriptor(), inPos, n);
    if (extent.hole > 0) {
      inPos += extent.hole;
      outPos += extent.hole;
      extent.hole = 0;
      skipped = true;
      if (::lseek(in.descriptor(), inPos, SEEK_SET) < 0) {
        fail(err, FileOp::Seek, in.path(), errno);
      } else if (::lseek(out.descriptor(), outPos, SEEK_SET) < 0) {
        fail(err, FileOp::Seek, out.path(), errno);
      }
      return 0;
    }
    if (extent.data == 0) extent.data = 1;
    return std::min(extent.data, kKernelChunk);
  }
  void advance(std::int64_t got) {
    inPos += got;
    outPos += got;
    extent.data = std::max<std::int64_t>(0, extent.data - got);
  }
  // A copy that ends in a hole must still reach its full length.
  bool finish(IoError& err) {
    struct stat now {};
    if (skipped && ::fstat(out.descriptor(), &now) == 0 && now.st_size < outPos &&
        ::ftruncate(out.descriptor(), outPos) != 0) {
      return fail(err, FileOp::Write, out.path(), errno);
    }
    return true;
  }
};

}  // namespace

bool copyBytes(File& in, File& out, std::int64_t n, IoError& err,
               const std::function<bool()>& stopRequested, const CopyProgress& moved) {
  int injectedCopyError = 0;
  // A small copy costs one read and one write through a buffer; the kernel's copy would
  // add its own looks at both files, and what holes it could pass over are too small to
  // matter.
  bool kernelCopy = n > kSmallestSharedCopy;
  if (FaultInjector* injector = g_injector.load()) {
    injectedCopyError = injector->kernelCopy(in.path(), out.path());
    kernelCopy = kernelCopy && injectedCopyError >= 0;
  }
  if (kernelCopy) {
    KernelCopy copy(in, out, n);
    while (n > 0) {
      if (stopRequested && stopRequested()) return false;
      const std::int64_t before = copy.inPos;
      const std::int64_t want = copy.next(n, err);
      if (err.isSet()) return false;
      if (want == 0) {
        n -= copy.inPos - before;
        if (moved) moved(copy.inPos - before);
        continue;
      }
      ssize_t got = -1;
      if (injectedCopyError > 0) {
        errno = injectedCopyError;
      } else {
        got = ::copy_file_range(in.descriptor(), nullptr, out.descriptor(), nullptr,
                                static_cast<std::size_t>(want), 0);
      }
      if (got > 0) {
        n -= got;
        copy.advance(got);
        if (moved) moved(got);
        continue;
      }
      if (got == 0) return fail(err, FileOp::Read, in.path(), 0, "the file ended early");
      if (errno == EINTR) continue;
      // Only the output can be full or too big. For anything else the kernel does not say
      // which side failed, so the rest goes through the buffer, whose read and write each
      // name their own file (and which works where the kernel refuses: another filesystem,
      // a special file).
      if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) {
        return fail(err, FileOp::Write, out.path(), errno);
      }
      break;
    }
    if (!copy.finish(err)) return false;
  }
  if (n == 0) return true;
  return copyBuffered(in, out, n, err, stopRequested, moved);
}

namespace {

// Asks the filesystem to share the range; 0 or the OS error code.
int cloneRange(int in, std::int64_t inAt, int out, std::int64_t outAt, std::int64_t n) {
  file_clone_range range{};
  range.src_fd = in;
  range.src_offset = static_cast<std::uint64_t>(inAt);
  range.src_length = static_cast<std::uint64_t>(n);
  range.dest_offset = static_cast<std::uint64_t>(outAt);
  int result;
  do {
    result = ::ioctl(out, FICLONERANGE, &range);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

// Whether the test seam lets a copy share blocks: only where it lets the kernel copy
// (-1 no; else 0, or the error code the sharing is to fail with).
int injectedShare(const File& in, const File& out) {
  FaultInjector* injector = g_injector.load();
  return injector == nullptr ? 0 : injector->kernelCopy(in.path(), out.path());
}

}  // namespace

std::int64_t shareableBlockSize(File& in, const std::string& folder) {
  struct stat inStat {};
  if (!in.isOpen() || ::fstat(in.descriptor(), &inStat) != 0 || !S_ISREG(inStat.st_mode) ||
      inStat.st_size == 0 || injectedShare(in, in) != 0) {
    return 0;
  }
  // A file without a name: nothing is left behind, however the probe ends.
  const int scratch = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (scratch < 0) return 0;
  struct stat scratchStat {};
  std::int64_t block = 0;
  // Not compared by device: btrfs gives each subvolume a device of its own, and files of
  // two subvolumes of one filesystem share blocks all the same.
  if (::fstat(scratch, &scratchStat) == 0 && scratchStat.st_blksize > 0 &&
      cloneRange(in.descriptor(), 0, scratch, 0,
                 std::min<std::int64_t>(scratchStat.st_blksize, inStat.st_size)) == 0) {
    block = scratchStat.st_blksize;
  }
  ::close(scratch);
  return block;
}

std::int64_t shareRange(File& in, std::int64_t inAt, File& out, std::int64_t outAt,
                        std::int64_t n, std::int64_t blockSize, IoError& err) {
  if (blockSize <= 0 || inAt % blockSize != 0 || outAt % blockSize != 0) return 0;
  int code = injectedShare(in, out);
  if (code < 0) return 0;
  std::int64_t length = n - n % blockSize;
  struct stat inStat {};
  if (length < n && ::fstat(in.descriptor(), &inStat) == 0 && inAt + n == inStat.st_size) {
    length = n;  // the last block of `in` is shared whole
  }
  if (length == 0) return 0;
  if (code == 0) code = cloneRange(in.descriptor(), inAt, out.descriptor(), outAt, length);
  if (code != 0 && length % blockSize != 0) {
    // Some filesystems share a partial last block only where the output ends as well.
    length -= length % blockSize;
    code = length == 0 ? EINVAL : cloneRange(in.descriptor(), inAt, out.descriptor(), outAt, length);
  }
  if (code == 0) return length;
  if (code == ENOSPC || code == EDQUOT || code == EFBIG) {
    fail(err, FileOp::Write, out.path(), code);
    return -1;
  }
  return 0;  // cannot share here: the bytes are copied instead
}

bool isStreamTarget(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
    return true;
  }
  // /dev/stdout and /dev/fd/N are links into /proc/self/fd: replacing them would replace
  // the system's entry, and the file they reach is the caller's to write, not ours to swap.
  // A folder that lies in /proc (/dev/fd is a link to /proc/self/fd): its entries are
  // the process's open files, never names to replace.
  const std::string folder = folderPart(path);
  if (!folder.empty() && resolveLinks(folder).rfind("/proc/", 0) == 0) return true;
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    std::vector<char> target(PATH_MAX + 1);
    const ssize_t n = ::readlink(at.c_str(), target.data(), PATH_MAX);
    if (n <= 0) return false;
    std::string next(target.data(), static_cast<std::size_t>(n));
    if (next[0] != '/') next = folderPart(at) + next;
    if (next.rfind("/proc/", 0) == 0) return true;
    at = next;
  }
  return false;
}

std::string resolveLinks(const std::string& path) {
  std::vector<char> real(PATH_MAX + 1);
  return ::realpath(path.c_str(), real.data()) != nullptr ? std::string(real.data()) : path;
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::int64_t fileSize(const std::string& path, IoError& err) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    fail(err, FileOp::Open, path, errno);
    return -1;
  }
  return st.st_size;
}

bool removeFile(const std::string& path, IoError& err) {
  if (injected(FileOp::Delete, path, err)) return false;
  if (::unlink(path.c_str()) != 0) return fail(err, FileOp::Delete, path, errno);
  return true;
}

bool renameReplacing(const std::string& from, const std::string& to, IoError& err) {
  if (injected(FileOp::Write, to, err)) return false;
  if (::rename(from.c_str(), to.c_str()) != 0) return fail(err, FileOp::Write, to, errno);
  return true;
}

bool makeExecutable(const std::string& path, IoError& err) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return fail(err, FileOp::Write, path, errno);
  const mode_t readers = st.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
  if (::chmod(path.c_str(), (st.st_mode & 07777) | (readers >> 2)) != 0) {
    return fail(err, FileOp::Write, path, errno);
  }
  return true;
}

bool clearName(const std::string& path, IoError& err) {
  if (injected(FileOp::Delete, path, err)) return false;
  return clearEntry(AT_FDCWD, path, path, err);
}

bool createFolders(const std::string& path, IoError& err) {
  if (path.empty()) return fail(err, FileOp::Create, path, ENOENT);
  std::string partial;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t next = path.find(kPathSeparator, pos);
    if (next == std::string::npos) next = path.size();
    partial = path.substr(0, next);
    if (!partial.empty() && !folderExists(partial)) {
      if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
        return fail(err, FileOp::Create, partial, errno);
      }
    }
    pos = next + 1;
  }
  return folderExists(path) || fail(err, FileOp::Create, path, ENOTDIR);
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool fileModificationTime(const std::string& path, std::time_t& out, IoError& err) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return fail(err, FileOp::Open, path, errno);
  out = st.st_mtime;
  return true;
}

bool setFileModificationTime(const std::string& path, std::time_t when, IoError& err) {
  struct timespec times[2];
  times[0].tv_sec = when;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
    return fail(err, FileOp::Write, path, errno);
  }
  return true;
}

std::int64_t freeSpace(const std::string& folder) {
  if (FaultInjector* injector = g_injector.load()) {
    if (const auto space = injector->freeSpace(folder)) return *space;
  }
  struct statvfs st {};
  if (::statvfs(folder.empty() ? "." : folder.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
}

std::int64_t allocatedSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_blocks) * 512;
}

namespace {

bool fileSpaceAt(int folder, const std::string& name, FileSpace& out) {
  struct stat st {};
  if (::fstatat(folder, name.c_str(), &st, 0) != 0) return false;
  out.size = st.st_size;
  out.allocated = static_cast<std::int64_t>(st.st_blocks) * 512;
  out.device = static_cast<std::uint64_t>(st.st_dev);
  out.inode = static_cast<std::uint64_t>(st.st_ino);
  out.regular = S_ISREG(st.st_mode);
  return true;
}

}  // namespace

bool fileSpace(const std::string& path, FileSpace& out) {
  return fileSpaceAt(AT_FDCWD, path, out);
}

FolderFiles::FolderFiles(const std::string& folder) : m_folder(folder) {
#ifdef O_PATH
  const int how = O_PATH;  // a folder that may be searched but not listed can still be held
#else
  const int how = O_RDONLY;
#endif
  m_fd = ::open(folder.empty() ? "." : folder.c_str(), how | O_DIRECTORY | O_CLOEXEC);
}

FolderFiles::~FolderFiles() {
  if (m_fd >= 0) ::close(m_fd);
}

File FolderFiles::open(const std::string& name, File::Mode mode, IoError& err) const {
  const std::string path = m_folder + name;
  return m_fd >= 0 ? File::openIn(m_fd, name, path, mode, err) : File::open(path, mode, err);
}

bool FolderFiles::fileSpace(const std::string& name, FileSpace& out) const {
  return m_fd >= 0 ? fileSpaceAt(m_fd, name, out) : platform::fileSpace(m_folder + name, out);
}

bool sameFilesystem(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.empty() ? "." : a.c_str(), &sa) == 0 &&
         ::stat(b.empty() ? "." : b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

bool folderWritable(const std::string& folder) {
  return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

bool replaceFileContents(const std::string& path, const std::string& contents, IoError& err) {
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  File file = File::open(temporary, File::Mode::CreateReadWrite, err);
  if (!file.isOpen()) return false;
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) ::fchmod(file.descriptor(), old.st_mode & 07777);
  if (!file.writeAll(contents.data(), static_cast<std::int64_t>(contents.size()), err) ||
      !file.sync(err) || !file.close(err)) {
    file.closeQuietly();
    ::unlink(temporary.c_str());
    return false;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    return fail(err, FileOp::Write, path, code);
  }
  return true;
}

// A sweep removes a temporary file only while it holds the file's lock, so a file whose
// lock we got and that still has a link is ours to keep. A filesystem without locks
// leaves the file unlocked; a sweep then never removes it.
bool lockTemporary(NativeHandle file) {
  int r;
  do {
    r = ::flock(file, LOCK_EX);
  } while (r != 0 && errno == EINTR);
  struct stat st {};
  return ::fstat(file, &st) == 0 && st.st_nlink > 0;
}

File createTemporaryBeside(const std::string& path, IoError& err) {
  const std::string folder = folderPart(path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = folder + temporaryName();
    File file = File::open(candidate, File::Mode::CreateExclusive, err);
    if (!file.isOpen()) {
      if (err.code == EEXIST) continue;
      return file;
    }
    if (lockTemporary(file.descriptor())) return file;
  }
  fail(err, FileOp::Create, path, EEXIST);
  return File();
}

int filePermissions(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int>(st.st_mode & 0777);
}

bool setFilePermissions(File& file, int bits, IoError& err) {
  if (::fchmod(file.descriptor(), static_cast<mode_t>(bits & 0777)) != 0) {
    return fail(err, FileOp::Write, file.path(), errno);
  }
  return true;
}

bool permissionBitsAllowWrite(unsigned ownerId, unsigned groupId, unsigned mode) {
  if (ownerId == ::geteuid()) return (mode & S_IWUSR) != 0;
  bool member = groupId == ::getegid();
  if (!member) {
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
    member = std::find(groups.begin(), groups.begin() + std::max(n, 0), groupId) !=
             groups.begin() + std::max(n, 0);
  }
  return (mode & (member ? S_IWGRP : S_IWOTH)) != 0;
}

bool mayReplaceFile(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;
  return permissionBitsAllowWrite(st.st_uid, st.st_gid, st.st_mode);
}

}  // namespace platform
