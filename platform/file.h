// Files with the OS error kept: every open, read, write, seek, truncate, sync, close and
// delete reports what failed, on which path, and why. Tests can inject failures through
// FaultInjector, the one seam that all of these pass.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The OS's handle of an open file or folder: a descriptor on POSIX, a HANDLE (held as an
// integer) on Windows. -1 is no handle on both: it is INVALID_HANDLE_VALUE there.
#ifdef _WIN32
using NativeHandle = std::intptr_t;
#else
using NativeHandle = int;
#endif

// The failures that callers tell apart, whatever code the OS gives them.
enum class ErrorKind { Other, NotFound, PathNotFound, Denied, DiskFull, Busy };
ErrorKind errorKind(int code);
// An OS code of that kind, for tests and fault injectors that must fail like the OS.
int errorCode(ErrorKind kind);

// What went wrong in a file operation. `code` is the OS error code (errno on POSIX, the
// system error code on Windows); `detail` explains failures that have no OS code (a file
// that ended early).
struct IoError {
  std::string operation;  // "open", "create", "read", "write", "seek", "sync", "delete" ...
  std::string path;
  int code = 0;
  std::string detail;

  bool isSet() const { return !operation.empty(); }
  // The OS's text for the reason: "No space left on device".
  std::string reason() const;
  // "cannot write /tmp/a.001: No space left on device"
  std::string message() const;
};

// What makes a file the same file later on: where it lives, how big it is, when it changed.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = -1;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;  // status change: also moves when a write restores the mtime
  bool operator==(const FileIdentity&) const = default;
  // The same file object, whatever it holds now.
  bool sameObject(const FileIdentity& other) const {
    return device == other.device && inode == other.inode;
  }
};

enum class FileOp { Open, Create, Read, Write, Seek, Truncate, Sync, Close, Delete };

// Test seam: when installed, asked before every operation; a non-zero return is taken
// as the OS error code of a failure of that operation.
class FaultInjector {
 public:
  virtual ~FaultInjector() = default;
  virtual int before(FileOp op, const std::string& path) = 0;
  // The free space to report for a folder instead of the filesystem's; nothing for the real one.
  virtual std::optional<std::int64_t> freeSpace(const std::string& /*folder*/) { return {}; }
  // Whether copyBytes may use the kernel's copy while this injector is installed: -1 no
  // (every byte then passes read and write, so their faults can be injected), 0 yes,
  // an OS error code to make the kernel's copy fail with it. Windows has no kernel copy.
  virtual int kernelCopy(const std::string& /*in*/, const std::string& /*out*/) { return -1; }
};
void setFaultInjector(FaultInjector* injector);  // nullptr removes it
bool faultsInjected();                           // whether one is installed

class File {
 public:
  enum class Mode {
    Read,             // existing file, read only
    ReadWrite,        // existing file, read and write
    CreateReadWrite,  // created, or an existing file emptied
    CreateNew,        // a new file: whatever had the name (a file, a link) is removed first,
                      // and the name is never followed, so no other file can be written
    WriteStream,      // an existing device or named pipe, or the file a link through
                      // /proc reaches (/dev/stdout): written, never created or replaced
    CreateExclusive,  // a new file under a name nothing has: fails (EEXIST there) when
                      // anything has it; others may read it, but not remove it (Windows)
  };

  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  ~File();  // closes quietly; call close() where the result matters

  // An unopened File on failure, with `err` set.
  static File open(const std::string& path, Mode mode, IoError& err);
  // The process's standard input, as a stream of its own (closing it leaves the
  // process's standard input open); named "standard input" in messages.
  static File standardInput(IoError& err);

  bool isOpen() const { return m_fd >= 0; }
  // Opened as a stream: no position to seek to, no size, no holes to leave.
  bool isStream() const { return m_stream; }
  const std::string& path() const { return m_path; }
  NativeHandle descriptor() const { return m_fd; }

  // Up to n bytes; 0 at the end of the file, -1 on failure.
  std::int64_t read(void* buffer, std::int64_t n, IoError& err);
  // Exactly n bytes; an early end of file is a failure ("the file ended early").
  bool readExact(void* buffer, std::int64_t n, IoError& err);
  bool writeAll(const void* buffer, std::int64_t n, IoError& err);
  bool seek(std::int64_t position, IoError& err);
  bool seekToEnd(IoError& err);
  std::int64_t position(IoError& err);
  std::int64_t size(IoError& err);
  // The open file's identity now; false when the OS cannot tell.
  bool identify(FileIdentity& out) const;
  // Its identity as the open found it (the look that made sure it is a regular file), so
  // that a caller that wants it then needs no look of its own.
  const FileIdentity& openedAs() const { return m_openedAs; }
  bool truncate(std::int64_t size, IoError& err);
  // A hint that the n bytes from `from` will be read soon: the OS may start reading them
  // from the disk now, so that the reads find them in memory. Nothing happens where the
  // OS takes no such hint; it never fails.
  void willRead(std::int64_t from, std::int64_t n) const;
  // Data reaches the disk (fdatasync).
  bool sync(IoError& err);
  bool close(IoError& err);
  // Closes without reporting; for stop and clean-up paths.
  void closeQuietly();

 private:
  friend class FolderFiles;
  // `name` in the folder held by `folder`; `path` (the folder's path and the name) is the
  // file's name in messages and for the fault injector.
  static File openIn(NativeHandle folder, const std::string& name, const std::string& path,
                     Mode mode, IoError& err);

  NativeHandle m_fd = -1;
  std::string m_path;
  FileIdentity m_openedAs;
  bool m_stream = false;
};

struct FileSpace;

// A folder held open while many files in it are looked at and opened by name: each then
// costs a lookup of its name alone, not another walk down the folder's whole path. Where
// the folder cannot be held (and on Windows) the full paths are used, to the same effect.
class FolderFiles {
 public:
  explicit FolderFiles(const std::string& folder);  // "" for the current folder
  ~FolderFiles();
  FolderFiles(const FolderFiles&) = delete;
  FolderFiles& operator=(const FolderFiles&) = delete;

  // File::open and fileSpace() of the folder's path + `name`; files keep that as their path.
  File open(const std::string& name, File::Mode mode, IoError& err) const;
  bool fileSpace(const std::string& name, FileSpace& out) const;

 private:
  std::string m_folder;  // with its trailing separator, or ""
  NativeHandle m_fd = -1;
};

// Told the bytes a copy has moved (or passed over as a hole) after each chunk.
using CopyProgress = std::function<void(std::int64_t)>;

// Copies n bytes from the current position of `in` to the current position of `out`,
// in bounded chunks (the kernel's copy where it allows one, a small buffer elsewhere).
// `stopRequested` is asked between chunks; a stop returns false with `err` unset.
bool copyBytes(File& in, File& out, std::int64_t n, IoError& err,
               const std::function<bool()>& stopRequested = {},
               const CopyProgress& moved = {});

// Block sharing, on filesystems whose files can share blocks (btrfs, XFS with reflink):
// a range of one file becomes a range of another without its bytes being copied, and
// takes no new room until either file is written there.
//
// Copies shorter than this move through a buffer and share nothing: for so few bytes the
// kernel's looks at both files cost more than they save.
inline constexpr std::int64_t kSmallestSharedCopy = 64 * 1024;
// The size of the blocks `in` can share with a new file in `folder`, found by sharing a
// block with a nameless scratch file there; 0 when it cannot (another filesystem, one
// that cannot share, an empty file, a platform without it).
std::int64_t shareableBlockSize(File& in, const std::string& folder);
// Makes the bytes of `out` from `outAt` on share the next `n` bytes of `in` from `inAt`,
// as far as whole blocks of `blockSize` allow (a range that ends where `in` ends may end
// inside a block). Neither file's position moves. Returns the bytes shared from the start
// of the range; 0 when none can be here (an offset inside a block, less than a block, a
// refusal); -1 when the output has no room, with `err` naming it.
std::int64_t shareRange(File& in, std::int64_t inAt, File& out, std::int64_t outAt,
                        std::int64_t n, std::int64_t blockSize, IoError& err);

bool fileExists(const std::string& path);                      // a regular file (or a link to one)
bool folderExists(const std::string& path);                    // a folder (or a link to one)
bool pathExists(const std::string& path);                      // anything at all
std::int64_t fileSize(const std::string& path, IoError& err);  // -1 on failure
bool removeFile(const std::string& path, IoError& err);
// Gives the file `from` the name `to` in one step, replacing what had that name.
bool renameReplacing(const std::string& from, const std::string& to, IoError& err);
// Lets everyone who may read the file also run it (a script). Windows runs a script by
// its extension, so there it only checks that the file exists.
bool makeExecutable(const std::string& path, IoError& err);
// Frees a name for a new file: a file or a link there is removed (never what the link
// points at), nothing there is fine, a folder is an error.
bool clearName(const std::string& path, IoError& err);
// Creates the folder with all missing parents.
bool createFolders(const std::string& path, IoError& err);
// Opens the file, flushes its data to disk and checks that it holds `expectedSize` bytes.
bool syncAndCheckSize(const std::string& path, std::int64_t expectedSize, IoError& err);
// Opens the file without following a link, checks that it is still the file `expected`
// describes (device, inode) with `expected.size` bytes, and flushes its data to disk.
bool syncAndCheckFile(const std::string& path, const FileIdentity& expected, IoError& err);
// The identity of the regular file at `path` itself; false for a link, a folder or nothing.
bool identifyEntry(const std::string& path, FileIdentity& out);
// True when both paths name the same existing file (same device and inode).
bool sameFile(const std::string& a, const std::string& b);
// Last-write time of an existing file, seconds since the epoch (UTC).
bool fileModificationTime(const std::string& path, std::time_t& out, IoError& err);
bool setFileModificationTime(const std::string& path, std::time_t when, IoError& err);
// Bytes the user may still write on the filesystem that holds `folder`; -1 when unknown.
std::int64_t freeSpace(const std::string& folder);
// Bytes the file really occupies on disk (less than its size when it has holes).
std::int64_t allocatedSize(const std::string& path);
// A file's size, the bytes it occupies, its filesystem and file object, in one look (a
// link is followed); false when nothing is there.
struct FileSpace {
  std::int64_t size = -1;
  std::int64_t allocated = -1;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;  // with `device`, what FileIdentity::sameObject compares
  bool regular = false;     // what fileExists() asks: a regular file, not a folder or device
};
bool fileSpace(const std::string& path, FileSpace& out);
// The identity of the file a path names now; false when there is none.
bool identifyPath(const std::string& path, FileIdentity& out);
// A 64-bit fingerprint of every field of `id`: two identities that differ in any field
// have different ones but by a chance of 2^-64.
std::uint64_t identityPrint(const FileIdentity& id);
// Makes the folder's entries (files created or renamed in it) durable. Windows cannot
// flush a folder; its filesystems journal the entries themselves.
bool syncFolder(const std::string& folder, IoError& err);
// True when both paths lie on the same filesystem.
bool sameFilesystem(const std::string& a, const std::string& b);
// True when the user may write into the folder.
bool folderWritable(const std::string& folder);
// Atomically replaces `path` with `contents` (temporary file in the same folder, synced, renamed).
bool replaceFileContents(const std::string& path, const std::string& contents, IoError& err);

// A new, empty file in the folder of `path`, opened for reading and writing, for a file
// that is to take the name `path` only once complete (renameReplacing). Its name is one
// that isTemporaryName knows, and it is held locked while open, so that a sweep of the
// folder (BeneathTarget::removeStaleTemporaries) never takes it for a killed run's.
File createTemporaryBeside(const std::string& path, IoError& err);
// The names of this program's temporary files: ".sundrix-", 1 to 32 of [a-z0-9-], ".part".
bool isTemporaryName(std::string_view name);
// The permission bits of the regular file at `path` itself (a link is not followed);
// -1 when there is none, or where the OS keeps no such bits.
int filePermissions(const std::string& path);
bool setFilePermissions(File& file, int bits, IoError& err);
// False for a regular file at `path` itself whose permission bits (the read-only
// attribute on Windows) do not let the user write it, whatever privileges the user may
// have; true otherwise (nothing there, a link, a file that may be written).
bool mayReplaceFile(const std::string& path);

// An advisory lock on a folder, held for the life of the object, so that two runs of this
// program never write into one folder at once. Filesystems that cannot lock are not an
// error: the lock is then simply not held (held() says so).
class FolderLock {
 public:
  FolderLock() = default;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();
  // False with `err` set when the folder cannot be opened or another process holds it
  // (errorKind(err.code) is Busy).
  bool acquire(const std::string& folder, IoError& err);
  bool held() const { return m_fd >= 0; }

 private:
  NativeHandle m_fd = -1;
};

// True when what `path` reaches is written as a stream (File::Mode::WriteStream) rather
// than replaced: a character device or a named pipe, directly or through links, or a link
// that passes through /proc (/dev/stdout, /dev/fd/1), whatever it reaches.
bool isStreamTarget(const std::string& path);

// The path of the file a link at `path` points to, links resolved; `path` itself when
// nothing is there.
std::string resolveLinks(const std::string& path);

}  // namespace platform
