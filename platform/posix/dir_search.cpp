// Directory search on POSIX: readdir, then the mask and the attribute filter.
#include "platform/dir_search.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/path.h"

namespace platform {

std::vector<DirEntry> findFiles(const std::string& pattern, SearchKind kind) {
  std::vector<DirEntry> result;
  const std::string folder = folderPart(pattern);
  const std::string mask = namePart(pattern);
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return result;
  while (const dirent* item = ::readdir(dir)) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    if (!wildcardMatch(mask, name)) continue;
    const std::string full = folder + name;
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0) continue;
    DirEntry entry;
    entry.name = name;
    entry.isFolder = S_ISDIR(st.st_mode);
    entry.hidden = name.front() == '.';
    if (kind == SearchKind::Files && (entry.isFolder || !S_ISREG(st.st_mode))) continue;
    if (kind == SearchKind::Folders && (!entry.isFolder || entry.hidden)) continue;
    entry.size = st.st_size;
    entry.modified = st.st_mtime;
    entry.readOnly = ::access(full.c_str(), W_OK) != 0;
    result.push_back(std::move(entry));
  }
  ::closedir(dir);
  std::sort(result.begin(), result.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return result;
}

bool forEachEntryName(const std::string& folder, const std::function<void(const std::string&)>& take) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  // A link is looked at through its path: the folder ("" and "." alike) and the name.
  const std::string prefix = folder.empty() ? std::string() : withTrailingSeparator(folder);
  std::string name;
  for (;;) {
    errno = 0;  // readdir's end and its failure differ only by errno
    const dirent* item = ::readdir(dir);
    if (item == nullptr) break;
    name = item->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    const bool known = item->d_type != DT_LNK && item->d_type != DT_UNKNOWN;
    if (!known && ::stat((prefix + name).c_str(), &st) != 0) continue;
    take(name);
  }
  const bool whole = errno == 0;
  ::closedir(dir);
  return whole;
}

}  // namespace platform
