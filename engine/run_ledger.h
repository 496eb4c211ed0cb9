// The files a run wrote, as it wrote them. Nothing is deleted on the strength of a name:
// the input or a part goes only when every file that now holds its bytes is still the
// file this run created (same device and inode), of the size written, and on disk.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
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
  // One file in 24 bytes, so that a run of 700,000 parts keeps its ledger in a few tens
  // of MiB: its path is a prefix held once (its folder, or its folder and the stem of a
  // numbered name, "NAME" of NAME.001) and either the number that ends it or a name held in m_names
  // (ending at a NUL); its device is held by number. The ledger checks only the object
  // and its size.
  struct Entry {
    std::uint64_t inode = 0;
    std::int64_t size = 0;     // the bytes written
    std::uint32_t tail = 0;    // the number after the prefix, or where the name begins in m_names
    std::uint16_t device = 0;  // index into m_devices
    std::uint16_t prefix = 0;  // index into m_prefixes
  };
  struct Prefix {
    std::string text;
    bool numbered = false;  // followed by platform::partSuffix of a number, not a name
    bool operator==(const Prefix&) const = default;
  };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  bool record(const std::string& path, platform::FileIdentity id, std::int64_t size,
              std::string& problem);
  std::string pathOf(const Entry& entry) const;
  std::uint64_t pathHash(const Entry& entry) const;
  std::uint64_t objectHash(const Entry& entry) const;
  std::size_t findPath(const std::string& path) const;  // an index into m_entries, or kNone
  std::size_t findObject(const platform::FileIdentity& id) const;
  void removeAt(std::size_t index);

  // An index into m_entries looked up by a hash: open addressing with linear probing,
  // 4 bytes a slot, at most three quarters full. `hashOf(i)` gives entry i's hash.
  class Index {
   public:
    template <typename Match>
    std::size_t find(std::uint64_t hash, const Match& matches) const;
    void insert(std::uint64_t hash, std::size_t index,
                const std::function<std::uint64_t(std::size_t)>& hashOf);
    void erase(std::uint64_t hash, std::size_t index,
               const std::function<std::uint64_t(std::size_t)>& hashOf);
    // Entry `from` is now entry `to`.
    void renumber(std::uint64_t hash, std::size_t from, std::size_t to);
    void reserve(std::size_t count, const std::function<std::uint64_t(std::size_t)>& hashOf);

   private:
    std::size_t slotOf(std::uint64_t hash) const { return hash & (m_slots.size() - 1); }
    void rebuild(std::size_t slots, const std::function<std::uint64_t(std::size_t)>& hashOf);
    std::vector<std::uint32_t> m_slots;  // entry index + 1; 0: free
    std::size_t m_count = 0;
  };

  std::vector<Entry> m_entries;
  std::deque<char> m_names;  // grows in blocks, never copied whole
  std::vector<Prefix> m_prefixes;
  std::vector<std::uint64_t> m_devices;
  Index m_byPath, m_byObject;
};

}  // namespace engine
