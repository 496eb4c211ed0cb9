// BeneathTarget on Windows: every folder of the name is opened by itself with
// FILE_FLAG_OPEN_REPARSE_POINT, and refused when it is a reparse point (a link or a
// junction) or when the system's final path of the folder opened is not its parent's
// plus its name: links that the system does not report as reparse points (a POSIX
// link seen through a compatibility layer) still show there. The handle of the last one is kept without delete sharing, and the system
// renames no folder above an open one, so the chain cannot be swapped for a link while
// the file is written. The file is written under a temporary name and moved onto the
// target name, which replaces a link there rather than writing through it.
#include "platform/beneath.h"

#include <atomic>

#include "platform/dir_search.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

using win32::asHandle;
using win32::fromHandle;
using win32::longPath;

bool fail(IoError& err, const char* operation, const std::string& path, DWORD code) {
  err.operation = operation;
  err.path = path;
  err.code = static_cast<int>(code);
  return false;
}

// The folder itself, not what a link there points at; held so that it stays put.
HANDLE openFolder(const std::string& path, DWORD flags) {
  return ::CreateFileW(longPath(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// The path the system resolved for an open handle, "" when it cannot tell.
std::wstring finalPath(HANDLE h) {
  std::wstring buffer(32768, L'\0');
  const DWORD n =
      ::GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
  if (n == 0 || n >= buffer.size()) return {};
  buffer.resize(n);
  if (!buffer.empty() && buffer.back() == L'\\') buffer.pop_back();
  return buffer;
}

// True when `child`, opened as `name` below `parent`, is that folder and not one a link
// led to.
bool reachedDirectly(HANDLE parent, HANDLE child, const std::string& name) {
  const std::wstring above = finalPath(parent);
  const std::wstring here = finalPath(child);
  if (above.empty() || here.empty()) return true;  // nothing to compare: attributes decide
  const std::wstring expected = above + L"\\" + win32::toWide(name);
  return ::CompareStringOrdinal(here.c_str(), static_cast<int>(here.size()), expected.c_str(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

BeneathTarget::~BeneathTarget() {
  discard();
  closeFolder();
}

void BeneathTarget::closeFolder() {
  if (m_folder != -1) ::CloseHandle(asHandle(m_folder));
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
  std::string folder = root.empty() ? "." : root;
  HANDLE h = openFolder(folder, 0);
  if (h == INVALID_HANDLE_VALUE) {
    fail(err, "open", root, ::GetLastError());
    return Reach::Failed;
  }
  m_folder = fromHandle(h);
  m_folderPath = folder;
  if (slash == std::string::npos) return Reach::Ok;
  std::size_t start = 0;
  while (start < slash) {
    const std::size_t end = name.find('/', start);
    const std::string part = name.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    folder += "\\" + part;
    HANDLE next = openFolder(folder, FILE_FLAG_OPEN_REPARSE_POINT);
    BY_HANDLE_FILE_INFORMATION info{};
    const DWORD code = next == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    if (next != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(next, &info) != 0 &&
        ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
         !reachedDirectly(asHandle(m_folder), next, part))) {
      ::CloseHandle(next);
      closeFolder();
      m_linkedPart = name.substr(0, end);
      return Reach::LinkedFolder;
    }
    if (next == INVALID_HANDLE_VALUE || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      if (next != INVALID_HANDLE_VALUE) ::CloseHandle(next);
      closeFolder();
      fail(err, "open", root + name.substr(0, end),
           code == ERROR_SUCCESS ? ERROR_DIRECTORY : code);
      return Reach::Failed;
    }
    closeFolder();
    m_folder = fromHandle(next);
    m_folderPath = folder;
  }
  return Reach::Ok;
}

bool BeneathTarget::targetIsFolder() const {
  if (m_leaf.empty() || m_leaf == ".") return true;  // the name ends in its folder
  const DWORD attributes = ::GetFileAttributesW(longPath(m_folderPath + "\\" + m_leaf).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool BeneathTarget::identifyTarget(FileIdentity& out) const {
  return !m_leaf.empty() && identifyPath(m_folderPath + "\\" + m_leaf, out);
}

bool BeneathTarget::targetWritable() const {
  return m_leaf.empty() || mayReplaceFile(m_folderPath + "\\" + m_leaf);
}

bool BeneathTarget::folderIdentity(FileIdentity& out) const {
  return identifyPath(m_folderPath, out);
}

// A temporary file that its run still holds open cannot be removed: it is opened without
// delete sharing.
int BeneathTarget::removeStaleTemporaries() {
  int removed = 0;
  for (const DirEntry& entry : findFiles(m_folderPath + "\\.sundrix-*.part", SearchKind::Files)) {
    if (isTemporaryName(entry.name) &&
        ::DeleteFileW(longPath(m_folderPath + "\\" + entry.name).c_str()) != 0) {
      ++removed;
    }
  }
  return removed;
}

bool BeneathTarget::createTemporary(IoError& err) {
  discard();
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = m_folderPath + "\\.sundrix-" +
                                  std::to_string(::GetCurrentProcessId()) + "-" +
                                  std::to_string(counter++) + ".part";
    HANDLE h = ::CreateFileW(longPath(candidate).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                             nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      m_file = fromHandle(h);
      m_temporary = candidate;
      return true;
    }
    const DWORD code = ::GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      return fail(err, "create", m_path, code);
    }
  }
  return fail(err, "create", m_path, ERROR_FILE_EXISTS);
}

bool BeneathTarget::write(const void* data, std::int64_t n, IoError& err) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (n > 0) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(n > (1 << 30) ? (1 << 30) : n);
    if (::WriteFile(asHandle(m_file), p, want, &put, nullptr) == 0) {
      return fail(err, "write", m_path, ::GetLastError());
    }
    if (put == 0) return fail(err, "write", m_path, ERROR_DISK_FULL);
    p += put;
    n -= put;
  }
  return true;
}

bool BeneathTarget::setModificationTime(std::time_t when, IoError& err) {
  const FILETIME ft = win32::timeToFileTime(when);
  if (::SetFileTime(asHandle(m_file), nullptr, &ft, &ft) == 0) {
    return fail(err, "set the time of", m_path, ::GetLastError());
  }
  return true;
}

bool BeneathTarget::commit(IoError& err) {
  const HANDLE file = asHandle(m_file);
  m_file = -1;
  if (::CloseHandle(file) == 0) {
    fail(err, "close", m_path, ::GetLastError());
    discard();
    return false;
  }
  const std::string target = m_folderPath + "\\" + m_leaf;
  if (::MoveFileExW(longPath(m_temporary).c_str(), longPath(target).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    fail(err, "rename", m_path, ::GetLastError());
    discard();
    return false;
  }
  m_temporary.clear();
  return true;
}

void BeneathTarget::discard() {
  if (m_file != -1) ::CloseHandle(asHandle(m_file));
  m_file = -1;
  if (!m_temporary.empty()) ::DeleteFileW(longPath(m_temporary).c_str());
  m_temporary.clear();
}

}  // namespace platform
