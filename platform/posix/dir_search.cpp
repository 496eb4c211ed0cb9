// Directory search on POSIX: readdir, then the mask and the attribute filter.
#include "platform/dir_search.h"

#include <dirent.h>
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

void forEachEntryName(const std::string& folder, const std::function<void(const std::string&)>& take) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  // Looked at where it was read, whether or not the folder was given with a separator.
  const std::string at = folder.empty() ? std::string() : withTrailingSeparator(folder);
  std::string name;
  while (const dirent* item = ::readdir(dir)) {
    name = item->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    const bool known = item->d_type != DT_LNK && item->d_type != DT_UNKNOWN;
    if (!known && ::stat((at + name).c_str(), &st) != 0) continue;
    take(name);
  }
  ::closedir(dir);
}

std::vector<std::string> entryNames(const std::string& folder) {
  std::vector<std::string> names;
  forEachEntryName(folder, [&names](const std::string& name) { names.push_back(name); });
  return names;
}

}  // namespace platform
