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
       end.entriesOnDisk == end.totalEntries;
  Zip64EndRecord wide{end.totalEntries, end.centralDirectorySize, end.centralDirectoryOffset};
  if (ok && (end.centralDirectoryOffset == kZip64Marker ||
             end.centralDirectorySize == kZip64Marker)) {
    // The true values are in the ZIP64 end record, which the locator before the end
    // record points at; the directory must end before that record.
    std::vector<std::uint8_t> locator(kZip64LocatorSize), record(kZip64EndSize);
    const std::int64_t locatorAt = endAt - static_cast<std::int64_t>(kZip64LocatorSize);
    std::int64_t recordAt = -1;
    ok = locatorAt >= 0 && readAt(file, locatorAt, locator) &&
         (recordAt = readZip64Locator(locator.data())) >= 0 &&
         recordAt + static_cast<std::int64_t>(kZip64EndSize) <= locatorAt &&
         readAt(file, recordAt, record) && readZip64End(record.data(), wide);
    endAt = recordAt;
  }
  ok = ok && wide.centralDirectorySize <= kMaxDirectorySize &&
       wide.centralDirectoryOffset <= static_cast<std::uint64_t>(endAt) &&
       wide.centralDirectorySize <= static_cast<std::uint64_t>(endAt) - wide.centralDirectoryOffset;
  if (ok) {
    std::vector<std::uint8_t> records(static_cast<std::size_t>(wide.centralDirectorySize));
    m_start = static_cast<std::int64_t>(wide.centralDirectoryOffset);
    ok = readAt(file, m_start, records) && parse(records.data(), records.size(), wide.entries);
  }
  if (!file.seek(keep, err)) ok = false;
  if (!ok) m_entries.clear();
  m_loaded = ok;
  return ok;
}

bool CentralDirectory::parse(const std::uint8_t* p, std::size_t size, std::uint64_t count) {
  std::size_t pos = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (size - pos < kCentralHeaderSize) return false;
    const CentralHeader h = readCentralHeader(p + pos);
    const std::size_t length = kCentralHeaderSize + h.nameLength + h.extraLength + h.commentLength;
    if (h.signature != kCentralHeaderSignature || size - pos < length) return false;
    // A marked field's true value is in the record's ZIP64 field.
    WideValues wide{h.uncompressedSize, h.compressedSize, h.localHeaderOffset};
    if (!readZip64Extra(p + pos + kCentralHeaderSize + h.nameLength, h.extraLength,
                        h.uncompressedSize == kZip64Marker, h.compressedSize == kZip64Marker,
                        h.localHeaderOffset == kZip64Marker, wide) ||
        wide.offset >= static_cast<std::uint64_t>(m_start)) {
      return false;
    }
    CentralEntry e;
    e.name.assign(reinterpret_cast<const char*>(p + pos + kCentralHeaderSize), h.nameLength);
    e.flags = h.flags;
    e.method = h.method;
    e.crc = h.crc;
    e.compressedSize = wide.compressedSize;
    e.uncompressedSize = wide.uncompressedSize;
    if (!m_entries.emplace(static_cast<std::int64_t>(wide.offset), std::move(e)).second) {
      return false;
    }
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
