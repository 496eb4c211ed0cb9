// Directory search with wildcards and attribute filters, in the manner the archive
// writer and the language list expect of it.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct DirEntry {
  std::string name;  // bare name, no folder
  std::int64_t size = 0;
  std::time_t modified = 0;  // last write, UTC seconds
  bool isFolder = false;
  bool hidden = false;    // name starts with "." (or, on Windows, the hidden attribute)
  bool readOnly = false;  // the user may not write it
};

enum class SearchKind {
  Files,    // regular files, hidden and read-only ones included; no folders
  Folders,  // folders that are not hidden; never "." or ".."
  Any,      // every entry but "." and ".."
};

// Wildcard match of a whole name: "*" any run, "?" any one character, letter case
// counts. "*.*" matches every name, with or without a dot.
bool wildcardMatch(std::string_view mask, std::string_view name);

// Entries of the folder part of `pattern` whose names match its name part, in
// ascending byte order of the names (the order is the same on every run).
std::vector<DirEntry> findFiles(const std::string& pattern, SearchKind kind);

// The names of everything in `folder` that exists (a link only when its target does), in
// no particular order. Cheaper than findFiles where only names matter: an entry costs a
// look of its own only when it is a link.
std::vector<std::string> entryNames(const std::string& folder);
// The same names handed to `take` one at a time, never all held at once: a folder of
// 700,000 parts lists them in a few KiB. False when the folder could not be read to its
// end (it could not be opened, perhaps for want of a descriptor, or a read failed).
bool forEachEntryName(const std::string& folder, const std::function<void(const std::string&)>& take);

// The first match of `pattern` exists and is not a folder.
bool firstMatchIsFile(const std::string& pattern);

}  // namespace platform
