// Directory search on Windows: FindFirstFileExW with the system's own attributes, then
// the mask (the project's wildcard rules, not the system's 8.3 ones) and the filter.
#include "platform/dir_search.h"

#include <algorithm>

#include "platform/path.h"
#include "platform/win32/wide.h"

namespace platform {

std::vector<DirEntry> findFiles(const std::string& pattern, SearchKind kind) {
  std::vector<DirEntry> result;
  const std::string folder = folderPart(pattern);
  const std::string mask = namePart(pattern);
  WIN32_FIND_DATAW data{};
  // A plain name is looked up directly rather than by reading the whole folder (the
  // system matches it without regard to case; the mask below then decides).
  const bool plain = mask.find_first_of("*?") == std::string::npos && !mask.empty();
  const std::wstring search =
      win32::longPath(withTrailingSeparator(folder.empty() ? "." : folder)) +
      (plain ? win32::toWide(mask) : L"*");
  HANDLE h = ::FindFirstFileExW(search.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return result;
  do {
    const std::string name = win32::toUtf8(data.cFileName);
    if (name == "." || name == ".." || !wildcardMatch(mask, name)) continue;
    DirEntry entry;
    entry.name = name;
    entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0 || name.front() == '.';
    if (kind == SearchKind::Files && entry.isFolder) continue;
    if (kind == SearchKind::Folders && (!entry.isFolder || entry.hidden)) continue;
    entry.size = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    entry.modified = win32::fileTimeToTime(data.ftLastWriteTime);
    entry.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    result.push_back(std::move(entry));
  } while (::FindNextFileW(h, &data) != 0);
  ::FindClose(h);
  std::sort(result.begin(), result.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return result;
}

bool forEachEntryName(const std::string& folder, const std::function<void(const std::string&)>& take) {
  for (const DirEntry& entry : findFiles(withTrailingSeparator(folder.empty() ? "." : folder) + "*",
                                         SearchKind::Any)) {
    take(entry.name);
  }
  return true;  // a search that fails finds nothing, as an empty folder does; handles do not run out
}

}  // namespace platform
