// Windows implementation of the file layer: wide-character calls, binary handles shared
// for reading, writing and deleting, 64-bit sizes and offsets.
#include "platform/file.h"

#include <algorithm>
#include <vector>

#include "platform/file_internal.h"
#include "platform/path.h"
#include "platform/win32/wide.h"

namespace platform {

// FlushFileBuffers needs a handle that may write.
const File::Mode kModeForSync = File::Mode::ReadWrite;

namespace {

using win32::asHandle;
using win32::fromHandle;
using win32::longPath;
using win32::ScopedHandle;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// ReadFile and WriteFile take 32-bit counts.
constexpr std::int64_t kMaxTransfer = 1 << 30;
constexpr std::int64_t kCopyChunk = 1024 * 1024;

int lastError() {
  return static_cast<int>(::GetLastError());
}

bool attributesOf(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return !path.empty() &&
         ::GetFileAttributesExW(longPath(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

bool isFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isLink(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FileIdentity identityOf(HANDLE h) {
  FileIdentity id;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(h, &info) == 0) return id;
  id.device = info.dwVolumeSerialNumber;
  id.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  id.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                      info.nFileSizeLow);
  id.modifiedNs = win32::fileTimeToNs(info.ftLastWriteTime);
  FILE_BASIC_INFO basic{};
  id.changedNs = ::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0
                     ? win32::fileTimeToNs(basic.ChangeTime)
                     : id.modifiedNs;
  return id;
}

bool handleIdentity(HANDLE h, FileIdentity& out, bool regularOnly) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(h, &info) == 0) return false;
  if (regularOnly && (isFolder(info.dwFileAttributes) || isLink(info.dwFileAttributes))) {
    return false;
  }
  out = identityOf(h);
  return true;
}

// Makes room for a new file: a file or a link at `path` is removed (never what a link
// points at); a folder is not.
bool clearEntry(const std::string& path, IoError& err) {
  const std::wstring wide = longPath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const int code = lastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
           fail(err, FileOp::Create, path, code);
  }
  if (isFolder(attributes) && !isLink(attributes)) {
    return fail(err, FileOp::Create, path, ERROR_DIRECTORY);
  }
  // A link to a folder is itself a folder entry.
  const BOOL removed = isFolder(attributes) ? ::RemoveDirectoryW(wide.c_str())
                                            : ::DeleteFileW(wide.c_str());
  if (removed == 0 && lastError() != ERROR_FILE_NOT_FOUND) {
    return fail(err, FileOp::Create, path, lastError());
  }
  return true;
}

}  // namespace

ErrorKind errorKind(int code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return ErrorKind::NotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
      return ErrorKind::PathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
      return ErrorKind::Denied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ErrorKind::DiskFull;
    case ERROR_LOCK_VIOLATION:
    case ERROR_ALREADY_EXISTS:
      return ErrorKind::Busy;
    default:
      return ErrorKind::Other;
  }
}

int errorCode(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::NotFound:
      return ERROR_FILE_NOT_FOUND;
    case ErrorKind::PathNotFound:
      return ERROR_PATH_NOT_FOUND;
    case ErrorKind::Denied:
      return ERROR_ACCESS_DENIED;
    case ErrorKind::DiskFull:
      return ERROR_DISK_FULL;
    case ErrorKind::Busy:
      return ERROR_LOCK_VIOLATION;
    case ErrorKind::Other:
      break;
  }
  return ERROR_GEN_FAILURE;
}

std::string IoError::reason() const {
  if (!detail.empty()) return detail;
  if (code != 0) return win32::systemMessage(static_cast<DWORD>(code));
  return "unknown error";
}

File File::open(const std::string& path, Mode mode, IoError& err) {
  File file;
  const bool creates = mode != Mode::Read && mode != Mode::ReadWrite;
  const FileOp op = creates ? FileOp::Create : FileOp::Open;
  if (injected(op, path, err)) return file;
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  switch (mode) {
    case Mode::Read:
      access = GENERIC_READ;
      break;
    case Mode::ReadWrite:
      break;
    case Mode::CreateReadWrite:
      disposition = CREATE_ALWAYS;
      break;
    case Mode::CreateNew:
      if (!clearEntry(path, err)) return file;
      disposition = CREATE_NEW;
      flags |= FILE_FLAG_OPEN_REPARSE_POINT;
      break;
    case Mode::WriteStream:
      access = GENERIC_WRITE;
      break;
    case Mode::CreateExclusive:
      disposition = CREATE_NEW;
      flags |= FILE_FLAG_OPEN_REPARSE_POINT;
      break;
  }
  if (path.empty()) {
    fail(err, op, path, ERROR_PATH_NOT_FOUND);
    return file;
  }
  // A temporary file may not be removed while it is open: that is its lock.
  const DWORD share = mode == Mode::CreateExclusive ? FILE_SHARE_READ : kShareAll;
  HANDLE h =
      ::CreateFileW(longPath(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    fail(err, op, path, lastError());
    return file;
  }
  const DWORD type = ::GetFileType(h);
  if (mode == Mode::WriteStream && (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE)) {
    file.m_fd = fromHandle(h);
    file.m_path = path;
    file.m_stream = true;
    return file;
  }
  // Only regular files on a disk: no folder, device, pipe or console.
  BY_HANDLE_FILE_INFORMATION info{};
  if (type != FILE_TYPE_DISK || ::GetFileInformationByHandle(h, &info) == 0 ||
      isFolder(info.dwFileAttributes)) {
    const bool folder = isFolder(info.dwFileAttributes);
    ::CloseHandle(h);
    fail(err, op, path, folder ? ERROR_DIRECTORY : 0,
         folder ? std::string() : "not a regular file");
    return file;
  }
  file.m_fd = fromHandle(h);
  file.m_path = path;
  file.m_openedAs = identityOf(h);
  return file;
}

std::int64_t File::read(void* buffer, std::int64_t n, IoError& err) {
  if (injected(FileOp::Read, m_path, err)) return -1;
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min(n, kMaxTransfer));
  if (::ReadFile(asHandle(m_fd), buffer, want, &got, nullptr) == 0) {
    const int code = lastError();
    if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return 0;
    fail(err, FileOp::Read, m_path, code);
    return -1;
  }
  return got;
}

bool File::writeAll(const void* buffer, std::int64_t n, IoError& err) {
  if (injected(FileOp::Write, m_path, err)) return false;
  const char* p = static_cast<const char*>(buffer);
  while (n > 0) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min(n, kMaxTransfer));
    if (::WriteFile(asHandle(m_fd), p, want, &put, nullptr) == 0) {
      return fail(err, FileOp::Write, m_path, lastError());
    }
    if (put == 0) return fail(err, FileOp::Write, m_path, ERROR_DISK_FULL);
    p += put;
    n -= put;
  }
  return true;
}

bool File::seek(std::int64_t position, IoError& err) {
  if (injected(FileOp::Seek, m_path, err)) return false;
  LARGE_INTEGER to;
  to.QuadPart = position;
  if (::SetFilePointerEx(asHandle(m_fd), to, nullptr, FILE_BEGIN) == 0) {
    return fail(err, FileOp::Seek, m_path, lastError());
  }
  return true;
}

bool File::seekToEnd(IoError& err) {
  if (injected(FileOp::Seek, m_path, err)) return false;
  LARGE_INTEGER zero{};
  if (::SetFilePointerEx(asHandle(m_fd), zero, nullptr, FILE_END) == 0) {
    return fail(err, FileOp::Seek, m_path, lastError());
  }
  return true;
}

std::int64_t File::position(IoError& err) {
  LARGE_INTEGER zero{}, at{};
  if (::SetFilePointerEx(asHandle(m_fd), zero, &at, FILE_CURRENT) == 0) {
    fail(err, FileOp::Seek, m_path, lastError());
    return -1;
  }
  return at.QuadPart;
}

std::int64_t File::size(IoError& err) {
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(asHandle(m_fd), &size) == 0) {
    fail(err, FileOp::Read, m_path, lastError());
    return -1;
  }
  return size.QuadPart;
}

bool File::identify(FileIdentity& out) const {
  return m_fd != -1 && handleIdentity(asHandle(m_fd), out, false);
}

bool File::truncate(std::int64_t size, IoError& err) {
  if (injected(FileOp::Truncate, m_path, err)) return false;
  // SetEndOfFile cuts at the file pointer; the caller's position stays where it was.
  const std::int64_t at = position(err);
  if (at < 0) return false;
  if (!seek(size, err)) return false;
  if (::SetEndOfFile(asHandle(m_fd)) == 0) return fail(err, FileOp::Truncate, m_path, lastError());
  return seek(at, err);
}

// Windows reads ahead of sequential reads by itself and takes no hint for a range.
void File::willRead(std::int64_t, std::int64_t) const {}

bool File::sync(IoError& err) {
  if (injected(FileOp::Sync, m_path, err)) return false;
  if (::FlushFileBuffers(asHandle(m_fd)) == 0) return fail(err, FileOp::Sync, m_path, lastError());
  return true;
}

bool File::close(IoError& err) {
  if (m_fd == -1) return true;
  const HANDLE h = asHandle(m_fd);
  m_fd = -1;
  if (injected(FileOp::Close, m_path, err)) {
    ::CloseHandle(h);
    return false;
  }
  if (::CloseHandle(h) == 0) return fail(err, FileOp::Close, m_path, lastError());
  return true;
}

void File::closeQuietly() {
  if (m_fd != -1) ::CloseHandle(asHandle(m_fd));
  m_fd = -1;
}

bool copyBytes(File& in, File& out, std::int64_t n, IoError& err,
               const std::function<bool()>& stopRequested, const CopyProgress& moved) {
  std::vector<char> buffer(static_cast<std::size_t>(std::max<std::int64_t>(1, std::min(n, kCopyChunk))));
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

// ReFS can share blocks (FSCTL_DUPLICATE_EXTENTS_TO_FILE), but that is not built yet:
// every byte is copied here.
std::int64_t shareableBlockSize(File& /*in*/, const std::string& /*folder*/) { return 0; }

std::int64_t shareRange(File& /*in*/, std::int64_t /*inAt*/, File& /*out*/,
                        std::int64_t /*outAt*/, std::int64_t /*n*/, std::int64_t /*blockSize*/,
                        IoError& /*err*/) {
  return 0;
}

// Windows looks up every path whole: the folder is not held, and the files are opened
// and looked at by their full paths.
File File::standardInput(IoError& err) {
  File file;
  const std::string name = "standard input";
  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  HANDLE own = nullptr;
  if (in == nullptr || in == INVALID_HANDLE_VALUE ||
      ::DuplicateHandle(::GetCurrentProcess(), in, ::GetCurrentProcess(), &own, 0, FALSE,
                        DUPLICATE_SAME_ACCESS) == 0) {
    fail(err, FileOp::Open, name, lastError());
    return file;
  }
  file.m_fd = fromHandle(own);
  file.m_path = name;
  file.m_stream = true;
  return file;
}

File File::openIn(NativeHandle /*folder*/, const std::string& /*name*/, const std::string& path,
                  Mode mode, IoError& err) {
  return open(path, mode, err);
}

FolderFiles::FolderFiles(const std::string& folder) : m_folder(folder) {}

FolderFiles::~FolderFiles() = default;

File FolderFiles::open(const std::string& name, File::Mode mode, IoError& err) const {
  return File::open(m_folder + name, mode, err);
}

bool FolderFiles::fileSpace(const std::string& name, FileSpace& out) const {
  return platform::fileSpace(m_folder + name, out);
}

bool fileSpace(const std::string& path, FileSpace& out) {
  const ScopedHandle h(win32::openForAttributes(path, 0, 0));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!h.valid() || ::GetFileInformationByHandle(h.get(), &info) == 0) return false;
  const FileIdentity id = identityOf(h.get());
  out.size = id.size;
  out.allocated = allocatedSize(path);
  out.device = id.device;
  out.inode = id.inode;
  out.regular = !isFolder(info.dwFileAttributes);
  return true;
}

bool identifyPath(const std::string& path, FileIdentity& out) {
  const ScopedHandle h(win32::openForAttributes(path, 0, 0));
  return h.valid() && handleIdentity(h.get(), out, false);
}

bool identifyEntry(const std::string& path, FileIdentity& out) {
  const ScopedHandle h(win32::openForAttributes(path, 0, FILE_FLAG_OPEN_REPARSE_POINT));
  return h.valid() && handleIdentity(h.get(), out, true);
}

bool syncAndCheckFile(const std::string& path, const FileIdentity& expected, IoError& err) {
  if (injected(FileOp::Sync, path, err)) return false;
  // Flushing needs a handle that may write.
  const ScopedHandle h(::CreateFileW(longPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                     kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.valid()) return fail(err, FileOp::Sync, path, lastError());
  FileIdentity now;
  if (!handleIdentity(h.get(), now, true)) {
    return fail(err, FileOp::Sync, path, 0, "a link has taken its place");
  }
  if (!now.sameObject(expected)) {
    return fail(err, FileOp::Sync, path, 0, "it is no longer the file written by this run");
  }
  if (now.size != expected.size) {
    return fail(err, FileOp::Sync, path, 0,
                "holds " + std::to_string(now.size) + " bytes instead of " +
                    std::to_string(expected.size));
  }
  if (::FlushFileBuffers(h.get()) == 0) return fail(err, FileOp::Sync, path, lastError());
  return true;
}

FolderLock::~FolderLock() {
  if (m_fd != -1) ::CloseHandle(asHandle(m_fd));
}

// A named mutex per folder identity (volume and file index, so that every spelling of
// the folder's path meets the same one): it exists while some run holds it open, and a
// second run that finds it existing knows that the folder is taken. The system removes
// it when the holder ends, however it ends.
bool FolderLock::acquire(const std::string& folder, IoError& err) {
  const std::string path = folder.empty() ? "." : folder;
  FileIdentity id;
  {
    const ScopedHandle h(win32::openForAttributes(path, 0, 0));
    if (!h.valid()) return fail(err, FileOp::Open, path, lastError());
    if (!handleIdentity(h.get(), id, false)) return true;  // the filesystem cannot tell
  }
  const std::wstring name = L"Local\\sundrix-folder-" + std::to_wstring(id.device) + L"-" +
                            std::to_wstring(id.inode);
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return true;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return fail(err, FileOp::Open, path, ERROR_LOCK_VIOLATION,
                "another run of this program is writing into this folder");
  }
  if (m_fd != -1) ::CloseHandle(asHandle(m_fd));
  m_fd = fromHandle(mutex);
  return true;
}

bool syncFolder(const std::string& folder, IoError& err) {
  const std::string path = folder.empty() ? "." : folder;
  if (injected(FileOp::Sync, path, err)) return false;
  if (!folderExists(path)) return fail(err, FileOp::Sync, path, ERROR_PATH_NOT_FOUND);
  return true;
}

bool isStreamTarget(const std::string& path) {
  // The devices every program may name (NUL, CON) and named pipes (\\.\pipe\...).
  std::string upper;
  for (char c : path) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return upper == "NUL" || upper == "CON" || upper.rfind("\\\\.\\PIPE\\", 0) == 0;
}

std::string resolveLinks(const std::string& path) {
  const ScopedHandle h(win32::openForAttributes(path, 0, 0));
  if (!h.valid()) return path;
  std::vector<wchar_t> buffer(32768);
  const DWORD n = ::GetFinalPathNameByHandleW(h.get(), buffer.data(),
                                              static_cast<DWORD>(buffer.size()), 0);
  if (n == 0 || n >= buffer.size()) return path;
  return win32::toUtf8(std::wstring_view(buffer.data(), n));
}

bool fileExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return attributesOf(path, data) && !isFolder(data.dwFileAttributes);
}

bool folderExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return attributesOf(path, data) && isFolder(data.dwFileAttributes);
}

bool pathExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return attributesOf(path, data);
}

std::int64_t fileSize(const std::string& path, IoError& err) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!attributesOf(path, data)) {
    fail(err, FileOp::Open, path, path.empty() ? ERROR_PATH_NOT_FOUND : lastError());
    return -1;
  }
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

bool removeFile(const std::string& path, IoError& err) {
  if (injected(FileOp::Delete, path, err)) return false;
  if (::DeleteFileW(longPath(path).c_str()) == 0) {
    return fail(err, FileOp::Delete, path, lastError());
  }
  return true;
}

bool renameReplacing(const std::string& from, const std::string& to, IoError& err) {
  if (injected(FileOp::Write, to, err)) return false;
  if (::MoveFileExW(longPath(from).c_str(), longPath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    return fail(err, FileOp::Write, to, lastError());
  }
  return true;
}

bool makeExecutable(const std::string& path, IoError& err) {
  return fileExists(path) || fail(err, FileOp::Write, path, ERROR_FILE_NOT_FOUND);
}

bool clearName(const std::string& path, IoError& err) {
  if (injected(FileOp::Delete, path, err)) return false;
  return clearEntry(path, err);
}

// Where the folders of a path begin: after "C:\", "C:", "\\server\share\" or a leading
// separator, none of which can be created.
std::size_t rootLength(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') {
    return path.size() >= 3 && isPathSeparator(path[2]) && path[2] != ':' ? 3 : 2;
  }
  if (path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
    std::size_t at = 2;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !isPathSeparator(path[at])) ++at;
      if (at < path.size()) ++at;
    }
    return at;
  }
  return !path.empty() && isPathSeparator(path[0]) ? 1 : 0;
}

bool createFolders(const std::string& path, IoError& err) {
  if (path.empty()) return fail(err, FileOp::Create, path, ERROR_PATH_NOT_FOUND);
  for (std::size_t i = rootLength(path) + 1; i <= path.size(); ++i) {
    if (i < path.size() && !isPathSeparator(path[i])) continue;
    const std::string partial = path.substr(0, i);
    if (isPathSeparator(partial.back()) || folderExists(partial)) continue;
    if (::CreateDirectoryW(longPath(partial).c_str(), nullptr) == 0 &&
        lastError() != ERROR_ALREADY_EXISTS) {
      return fail(err, FileOp::Create, partial, lastError());
    }
  }
  return folderExists(path) || fail(err, FileOp::Create, path, ERROR_DIRECTORY);
}

bool sameFile(const std::string& a, const std::string& b) {
  FileIdentity ia, ib;
  return identifyPath(a, ia) && identifyPath(b, ib) && ia.sameObject(ib);
}

bool fileModificationTime(const std::string& path, std::time_t& out, IoError& err) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!attributesOf(path, data)) return fail(err, FileOp::Open, path, lastError());
  out = win32::fileTimeToTime(data.ftLastWriteTime);
  return true;
}

bool setFileModificationTime(const std::string& path, std::time_t when, IoError& err) {
  const ScopedHandle h(win32::openForAttributes(path, FILE_WRITE_ATTRIBUTES, 0));
  if (!h.valid()) return fail(err, FileOp::Write, path, lastError());
  const FILETIME ft = win32::timeToFileTime(when);
  if (::SetFileTime(h.get(), nullptr, &ft, &ft) == 0) {
    return fail(err, FileOp::Write, path, lastError());
  }
  return true;
}

std::int64_t freeSpace(const std::string& folder) {
  if (FaultInjector* injector = g_injector.load()) {
    if (const auto space = injector->freeSpace(folder)) return *space;
  }
  ULARGE_INTEGER available{};
  const std::wstring wide = longPath(withTrailingSeparator(folder.empty() ? "." : folder));
  if (::GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr) == 0) return -1;
  return static_cast<std::int64_t>(available.QuadPart);
}

std::int64_t allocatedSize(const std::string& path) {
  DWORD high = 0;
  const DWORD low = ::GetCompressedFileSizeW(longPath(path).c_str(), &high);
  if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return -1;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

bool sameFilesystem(const std::string& a, const std::string& b) {
  FileIdentity ia, ib;
  return identifyPath(a.empty() ? "." : a, ia) && identifyPath(b.empty() ? "." : b, ib) &&
         ia.device == ib.device;
}

// Rights on Windows come from access lists that no attribute sums up: the answer is
// whether a file can be created there.
bool folderWritable(const std::string& folder) {
  const std::string probe =
      withTrailingSeparator(folder.empty() ? "." : folder) + ".sundrix-probe-" +
      std::to_string(::GetCurrentProcessId());
  const HANDLE h = ::CreateFileW(longPath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

bool replaceFileContents(const std::string& path, const std::string& contents, IoError& err) {
  const std::string temporary = path + ".tmp-" + std::to_string(::GetCurrentProcessId());
  File file = File::open(temporary, File::Mode::CreateReadWrite, err);
  if (!file.isOpen()) return false;
  if (!file.writeAll(contents.data(), static_cast<std::int64_t>(contents.size()), err) ||
      !file.sync(err) || !file.close(err)) {
    file.closeQuietly();
    ::DeleteFileW(longPath(temporary).c_str());
    return false;
  }
  if (::MoveFileExW(longPath(temporary).c_str(), longPath(path).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    const int code = lastError();
    ::DeleteFileW(longPath(temporary).c_str());
    return fail(err, FileOp::Write, path, code);
  }
  return true;
}

// The open without delete sharing is the lock (see Mode::CreateExclusive).
bool lockTemporary(NativeHandle) {
  return true;
}

File createTemporaryBeside(const std::string& path, IoError& err) {
  const std::string folder = folderPart(path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    File file = File::open(folder + temporaryName(), File::Mode::CreateExclusive, err);
    if (file.isOpen() || (err.code != ERROR_FILE_EXISTS && err.code != ERROR_ALREADY_EXISTS)) {
      return file;
    }
  }
  fail(err, FileOp::Create, path, ERROR_FILE_EXISTS);
  return File();
}

// The read-only attribute stands for the permission bits there.
int filePermissions(const std::string&) {
  return -1;
}

bool setFilePermissions(File&, int, IoError&) {
  return true;
}

bool mayReplaceFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(longPath(path).c_str());
  return attributes == INVALID_FILE_ATTRIBUTES ||
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
         (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

}  // namespace platform
