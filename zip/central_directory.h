// The central directory of an archive, read only for what a local header cannot tell:
// the sizes and CRC of a member whose writer put them in a data descriptor after its
// data, and where the next listed member starts after such a member.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/file.h"

namespace zip {

struct CentralEntry {
  std::string name;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;  // ZIP64 values where the directory has them
  std::uint64_t uncompressedSize = 0;
};

class CentralDirectory {
 public:
  // Reads the end record (the last one whose comment ends the file) and the directory
  // it points at (through the ZIP64 end record where the end record says so). False when
  // there is none, or when it does not hold together: a directory that overlaps the end
  // records or runs past them, a record cut short or without the ZIP64 values it marks,
  // two members at one offset, a split archive. The file's position is kept.
  bool load(platform::File& file, std::int64_t fileSize);
  bool loaded() const { return m_loaded; }
  // The member whose local header lies at `offset`; nullptr when none is listed there.
  const CentralEntry* at(std::int64_t offset) const;
  // The offset of the first listed local header after `offset`, or of the directory
  // itself after the last one.
  std::int64_t nextStart(std::int64_t offset) const;

 private:
  bool parse(const std::uint8_t* p, std::size_t size, std::uint64_t count);

  std::map<std::int64_t, CentralEntry> m_entries;
  std::int64_t m_start = 0;
  bool m_loaded = false;
};

}  // namespace zip
