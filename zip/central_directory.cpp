// CentralDirectory: the end record found from the back of the file, then one pass over
// the directory's records.
#include "zip/central_directory.h"

#include <algorithm>
#include <vector>

#include "zip/zip_format.h"

namespace zip {
namespace {

constexpr std::size_t kMaxComment = 0xFFFF;
// More than 65535 records of the longest names could need, and far more than any
// archive this reader can extract: a directory past this is not read.
constexpr std::uint32_t kMaxDirectorySize = 64u << 20;

bool readAt(platform::File& file, std::int64_t at, std::vector<std::uint8_t>& out) {
  platform::IoError err;
  return file.seek(at, err) &&
         file.readExact(out.data(), static_cast<std::int64_t>(out.size()), err);
}

}  // namespace

bool CentralDirectory::load(platform::File& file, std::int64_t fileSize) {
  m_entries.clear();
  m_loaded = false;
  platform::IoError err;
  const std::int64_t keep = file.position(err);
  if (keep < 0 || fileSize < static_cast<std::int64_t>(kEndRecordSize)) return false;
  const std::int64_t tailSize =
      std::min<std::int64_t>(fileSize, static_cast<std::int64_t>(kEndRecordSize + kMaxComment));
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(tailSize));
  bool ok = readAt(file, fileSize - tailSize, tail);
  std::int64_t endAt = -1;
  EndRecord end;
  for (std::size_t i = tail.size() - kEndRecordSize + 1; ok && i-- > 0;) {
    if (get32(&tail[i]) != kEndRecordSignature) continue;
    end = readEndRecord(&tail[i]);
    if (i + kEndRecordSize + end.commentLength == tail.size()) {
      endAt = fileSize - tailSize + static_cast<std::int64_t>(i);
      break;
    }
  }
  ok = ok && endAt >= 0 && end.diskNumber == 0 && end.centralDirectoryDisk == 0 &&
       end.entriesOnDisk == end.totalEntries && end.centralDirectorySize <= kMaxDirectorySize &&
       std::int64_t{end.centralDirectoryOffset} + end.centralDirectorySize <= endAt;
  if (ok) {
    std::vector<std::uint8_t> records(end.centralDirectorySize);
    m_start = end.centralDirectoryOffset;
    ok = readAt(file, end.centralDirectoryOffset, records) &&
         parse(records.data(), records.size(), end.totalEntries);
  }
  if (!file.seek(keep, err)) ok = false;
  if (!ok) m_entries.clear();
  m_loaded = ok;
  return ok;
}

bool CentralDirectory::parse(const std::uint8_t* p, std::size_t size, std::uint16_t count) {
  std::size_t pos = 0;
  for (std::uint16_t i = 0; i < count; ++i) {
    if (size - pos < kCentralHeaderSize) return false;
    const CentralHeader h = readCentralHeader(p + pos);
    const std::size_t length = kCentralHeaderSize + h.nameLength + h.extraLength + h.commentLength;
    if (h.signature != kCentralHeaderSignature || size - pos < length) return false;
    // ZIP64 keeps the true values elsewhere; these fields then only say so.
    if (h.compressedSize == 0xFFFFFFFF || h.uncompressedSize == 0xFFFFFFFF ||
        h.localHeaderOffset == 0xFFFFFFFF || h.localHeaderOffset >= m_start) {
      return false;
    }
    CentralEntry e;
    e.name.assign(reinterpret_cast<const char*>(p + pos + kCentralHeaderSize), h.nameLength);
    e.flags = h.flags;
    e.method = h.method;
    e.crc = h.crc;
    e.compressedSize = h.compressedSize;
    e.uncompressedSize = h.uncompressedSize;
    if (!m_entries.emplace(h.localHeaderOffset, std::move(e)).second) return false;
    pos += length;
  }
  return true;
}

const CentralEntry* CentralDirectory::at(std::int64_t offset) const {
  const auto it = m_entries.find(offset);
  return it == m_entries.end() ? nullptr : &it->second;
}

std::int64_t CentralDirectory::nextStart(std::int64_t offset) const {
  const auto it = m_entries.upper_bound(offset);
  return it == m_entries.end() ? m_start : it->first;
}

}  // namespace zip
