// Writing a file below a folder without ever following a link there: the folders of the
// name are opened one by one, each refused when it is a link, and the file is written
// under a temporary name beside its target and renamed onto it only when complete.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/file.h"

namespace platform {

class BeneathTarget {
 public:
  enum class Reach {
    Ok,            // the target's folder is open
    LinkedFolder,  // a folder part of the name is a link; `linkedPart` names it
    Failed,        // an OS failure (a missing folder, no rights ...); `err` says which
  };

  BeneathTarget() = default;
  BeneathTarget(const BeneathTarget&) = delete;
  BeneathTarget& operator=(const BeneathTarget&) = delete;
  ~BeneathTarget();  // a temporary file not yet renamed is removed

  // Opens `root` (a link there is the caller's own choice and is followed), then every
  // folder part of `name` ("/" separates parts; empty parts are ignored) below it.
  Reach reachFolder(const std::string& root, const std::string& name, IoError& err);
  const std::string& linkedPart() const { return m_linkedPart; }
  // What the target name holds now: a folder (a link to one is not a folder here); the
  // identity of the file it names, links followed. Both false when there is nothing.
  bool targetIsFolder() const;
  bool identifyTarget(FileIdentity& out) const;
  // False for a file at the target name that the user may not write (a link there is
  // not followed: it is replaced, never written).
  bool targetWritable() const;
  // The identity of the target's folder, once reached.
  bool folderIdentity(FileIdentity& out) const;
  // Removes from the target's folder the temporary files that a run killed before it
  // could rename them left behind: names isTemporaryName knows, regular files of this
  // user that no running program holds (a live run keeps its temporary file locked).
  // Returns how many went.
  int removeStaleTemporaries();

  // A new, empty temporary file in the target's folder.
  bool createTemporary(IoError& err);
  bool write(const void* data, std::int64_t n, IoError& err);
  bool setModificationTime(std::time_t when, IoError& err);
  // Closes the temporary file and renames it onto the target name; a link or file there
  // is replaced, never written through, and a file there gives the new one its
  // permission bits. On failure the temporary file is removed.
  bool commit(IoError& err);
  // Closes and removes the temporary file; nothing happens to the target.
  void discard();

 private:
  void closeFolder();

  NativeHandle m_folder = -1;
  NativeHandle m_file = -1;
  std::string m_path;  // root + name, for messages
  std::string m_folderPath;  // the target's folder, for an OS that names files by path only
  std::string m_leaf;
  std::string m_temporary;
  std::string m_linkedPart;
};

}  // namespace platform
