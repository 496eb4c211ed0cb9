// The files a run wrote, as it wrote them. Nothing is deleted on the strength of a name:
// the input or a part goes only when every file that now holds its bytes is still the
// file this run created (same device and inode), of the size written, and on disk.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace engine {

class RunLedger {
 public:
  // Records the file at `path` with `size` bytes. False (with `problem` set) when no
  // regular file is there or it is a file already recorded under another name: two
  // names of this run then meet in one file, and one of them lost its bytes.
  bool add(const std::string& path, std::int64_t size, std::string& problem);
  // Records a file from its open handle (the identity it was created with).
  bool add(const platform::File& file, std::int64_t size, std::string& problem);
  void remove(const std::string& path);
  // Room for `files` entries at once: growing step by step would hold a long ledger twice
  // for a moment.
  void reserve(std::size_t files);
  // True when `path` names a file this run recorded (by identity, not by name).
  bool holds(const std::string& path) const;

  // Flushes every recorded file and checks it is still as written; false with `err`
  // naming the first one that is not.
  bool verify(platform::IoError& err) const;

 private:
  struct Entry {
    std::string path;
    platform::FileIdentity id;  // id.size: the bytes written
  };
  bool record(const std::string& path, platform::FileIdentity id, std::int64_t size,
              std::string& problem);
  struct ObjectHash {
    std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& key) const {
      return std::hash<std::uint64_t>()(key.first * 0x9E3779B97F4A7C15ULL ^ key.second);
    }
  };
  static std::pair<std::uint64_t, std::uint64_t> objectKey(const platform::FileIdentity& id) {
    return {id.device, id.inode};
  }
  // Looked up by path and by file object, so that a run of thousands of parts costs
  // no more per part than one of three.
  std::vector<Entry> m_entries;
  std::unordered_map<std::string, std::size_t> m_byPath;  // index into m_entries
  std::unordered_map<std::pair<std::uint64_t, std::uint64_t>, std::size_t, ObjectHash>
      m_byObject;  // likewise, by device and inode
};

}  // namespace engine
