// The archive as TZip writes it: per member a provisional local header, the compressed
// data, then the patched header (or the stored bytes when compressing did not pay); at
// the end a central directory rebuilt from the local headers, and the end record, with
// its ZIP64 record and locator before it when the directory lies past the 32-bit range.
#include <algorithm>
#include <cmath>

#include "zip/crc32.h"
#include "zip/name_match.h"
#include "zip/tzip.h"
#include "zip/tzip_run.h"

namespace zip {
namespace {

void check(bool ok, const platform::IoError& err) {
  if (!ok) throw TZipFailure(err.message());
}

std::int64_t positionOf(platform::File& f) {
  platform::IoError err;
  const std::int64_t pos = f.position(err);
  check(pos >= 0, err);
  return pos;
}

// k of `size` bytes taken, as a whole percentage, halves to the even neighbour.
std::int16_t progressValue(std::int64_t k, std::int64_t size) {
  if (k >= size) return 100;
  return static_cast<std::int16_t>(
      std::nearbyint(static_cast<double>(k) / static_cast<double>(size) * 100.0));
}

}  // namespace

// The first operation on an archive that could not be created fails here.
platform::File& TZip::archive() {
  if (!m_run->archive.isOpen()) throw TZipFailure(m_run->createError.message());
  return m_run->archive;
}

void TZip::writeArchive(const void* data, std::int64_t n) {
  platform::IoError err;
  check(archive().writeAll(data, n, err), err);
}

// A member that may reach the 32-bit limit reserves a ZIP64 field for its sizes; the
// limit is judged by the file's size when it was opened, past which nothing is read.
void TZip::WriteLocalHeader(const TZipEntry& entry) {
  m_run->headerOffset = positionOf(archive());
  m_run->zip64 = static_cast<std::uint64_t>(m_run->sizeAtStart) >= Zip64From;
  const std::string extra = m_run->zip64 ? zip64ExtraHead(2) : std::string();
  LocalHeader h;
  h.method = m_run->deflater ? kMethodDeflated : kMethodShrunk;
  h.time = entry.FileTime;
  h.date = entry.FileDate;
  h.nameLength = static_cast<std::uint16_t>(entry.FileName.size());
  h.extraLength = static_cast<std::uint16_t>(extra.size());
  std::vector<std::uint8_t> bytes(kLocalHeaderSize + entry.FileName.size() + extra.size());
  writeLocalHeader(bytes.data(), h);
  std::copy(entry.FileName.begin(), entry.FileName.end(), bytes.begin() + kLocalHeaderSize);
  std::copy(extra.begin(), extra.end(),
            bytes.begin() + static_cast<std::ptrdiff_t>(kLocalHeaderSize + entry.FileName.size()));
  writeArchive(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TZip::compressBlock(const std::uint8_t* data, std::size_t n) {
  if (m_run->deflater) {
    m_run->deflater->add(data, n);
  } else {
    m_run->shrinker->shrinkBlock(data, n);
  }
}

void TZip::ShrinkFile(platform::File& input, const TZipEntry& entry) {
  std::vector<std::uint8_t>& buffer = m_run->input;
  if (m_run->deflater) {
    m_run->deflater->begin();
  } else {
    m_run->shrinker->begin();
  }
  std::uint32_t crc = kCrcStart;
  std::int64_t taken = 0;
  const std::int64_t limit = m_run->sizeAtStart;
  platform::IoError err;
  for (;;) {
    const std::int64_t want = std::min(static_cast<std::int64_t>(buffer.size()), limit - taken);
    if (want == 0) break;
    const std::int64_t n = input.read(buffer.data(), want, err);
    check(n >= 0, err);
    if (n == 0) break;
    const auto count = static_cast<std::size_t>(n);
    crc = updateCrc(crc, buffer.data(), count);
    if (OnProgress) {
      // One event per byte, before the byte is processed.
      for (std::size_t i = 0; i < count; ++i) {
        OnProgress(*this, progressValue(++taken, entry.Size));
        compressBlock(&buffer[i], 1);
      }
    } else {
      compressBlock(buffer.data(), count);
      taken += n;
    }
  }
  // A file that grew goes in as it was when its member began; one that shrank, with
  // the bytes it still had. Either way the member describes what was read.
  std::uint8_t probe = 0;
  const std::int64_t more = input.read(&probe, 1, err);
  check(more >= 0, err);
  m_run->changed = taken != limit || more > 0;
  m_run->crc = ~crc;
  m_run->bytesRead = taken;
  if (m_run->deflater) {
    m_run->deflater->end();
  } else {
    m_run->shrinker->end();
  }
}

// Copies `size` bytes of the input over the shrunk data and returns their CRC. A file
// that shrank meanwhile is made up with zeros so that the member keeps its length.
std::uint32_t TZip::copyStored(platform::File& input, std::int64_t size) {
  platform::IoError err;
  check(input.seek(0, err), err);
  std::vector<std::uint8_t>& buffer = m_run->input;
  std::uint32_t crc = kCrcStart;
  std::int64_t copied = 0;
  while (copied < size) {
    const std::int64_t want = std::min(static_cast<std::int64_t>(buffer.size()), size - copied);
    std::int64_t n = input.read(buffer.data(), want, err);
    check(n >= 0, err);
    if (n == 0) {
      std::fill(buffer.begin(), buffer.begin() + want, std::uint8_t{0});
      n = want;
    }
    crc = updateCrc(crc, buffer.data(), static_cast<std::size_t>(n));
    writeArchive(buffer.data(), n);
    copied += n;
  }
  return ~crc;
}

void TZip::FinishMember(platform::File& input, const TZipEntry& entry) {
  platform::File& arc = archive();
  const std::int64_t extraSize = m_run->zip64 ? 20 : 0;
  const std::int64_t dataStart = m_run->headerOffset +
                                 static_cast<std::int64_t>(kLocalHeaderSize + entry.FileName.size()) +
                                 extraSize;
  const std::int64_t compressed = positionOf(arc) - dataStart;
  // The header describes the bytes actually read, also when the file changed size
  // after it was listed.
  const std::int64_t size = m_run->bytesRead;
  const bool stored = compressed >= size;
  platform::IoError err;
  std::uint32_t crc = m_run->crc;
  if (stored) {
    // The file's bytes replace the shrunk ones; the header then gives their own CRC.
    check(arc.seek(dataStart, err), err);
    crc = copyStored(input, size);
    if (crc != m_run->crc) m_run->changed = true;
    check(arc.truncate(dataStart + size, err), err);
  }
  const std::int64_t packed = stored ? size : compressed;
  LocalHeader h;
  h.method = stored ? kMethodStored : m_run->deflater ? kMethodDeflated : kMethodShrunk;
  h.versionNeeded = m_run->zip64 ? kVersion45 : h.method == kMethodDeflated ? kVersion20 : kVersion10;
  h.time = entry.FileTime;
  h.date = entry.FileDate;
  h.crc = crc;
  h.compressedSize = m_run->zip64 ? kZip64Marker : static_cast<std::uint32_t>(packed);
  h.uncompressedSize = m_run->zip64 ? kZip64Marker : static_cast<std::uint32_t>(size);
  h.nameLength = static_cast<std::uint16_t>(entry.FileName.size());
  h.extraLength = static_cast<std::uint16_t>(extraSize);
  std::uint8_t bytes[kLocalHeaderSize];
  writeLocalHeader(bytes, h);
  check(arc.seek(m_run->headerOffset, err), err);
  writeArchive(bytes, kLocalHeaderSize);
  writeArchive(entry.FileName.data(), static_cast<std::int64_t>(entry.FileName.size()));
  if (m_run->zip64) {
    std::string extra = zip64ExtraHead(2);
    auto* p = reinterpret_cast<std::uint8_t*>(extra.data());
    put64(p + 4, static_cast<std::uint64_t>(size));
    put64(p + 12, static_cast<std::uint64_t>(packed));
    writeArchive(extra.data(), static_cast<std::int64_t>(extra.size()));
  }
  check(arc.seekToEnd(err), err);
  if (m_run->changed)
    ReportError(printableName(entry.Path + entry.FileName) + " changed while it was being packed");
}

namespace {

// A central header repeats its local header, with the values past 32 bits (the sizes
// from the local header's ZIP64 field, the header's own offset) in a ZIP64 field.
std::vector<std::uint8_t> centralRecord(const LocalHeader& l, const std::string& name,
                                        const WideValues& wide, std::uint64_t zip64From) {
  CentralHeader c = centralFromLocal(l, 0);
  const bool bigSizes = l.compressedSize == kZip64Marker || l.uncompressedSize == kZip64Marker;
  const bool bigOffset = wide.offset >= zip64From;
  const std::size_t count = (bigSizes ? 2u : 0u) + (bigOffset ? 1u : 0u);
  std::string extra = count > 0 ? zip64ExtraHead(count) : std::string();
  auto* p = reinterpret_cast<std::uint8_t*>(extra.data()) + 4;
  if (bigSizes) {
    put64(p, wide.uncompressedSize);
    put64(p + 8, wide.compressedSize);
    p += 16;
  }
  if (bigOffset) put64(p, wide.offset);
  c.localHeaderOffset = bigOffset ? kZip64Marker : static_cast<std::uint32_t>(wide.offset);
  if (count > 0) c.versionMadeBy = c.versionNeeded = kVersion45;
  c.extraLength = static_cast<std::uint16_t>(extra.size());
  std::vector<std::uint8_t> record(kCentralHeaderSize + name.size() + extra.size());
  writeCentralHeader(record.data(), c);
  std::copy(name.begin(), name.end(), record.begin() + kCentralHeaderSize);
  std::copy(extra.begin(), extra.end(),
            record.begin() + static_cast<std::ptrdiff_t>(kCentralHeaderSize + name.size()));
  return record;
}

}  // namespace

void TZip::WriteCentralDirectory() {
  platform::File& arc = archive();
  platform::IoError err;
  check(arc.seekToEnd(err), err);
  const std::int64_t directoryStart = positionOf(arc);
  std::int64_t end = directoryStart;
  std::int64_t pos = 0;
  std::uint64_t count = 0;
  std::vector<std::uint8_t> fields;
  while (pos < directoryStart) {
    std::uint8_t local[kLocalHeaderSize];
    check(arc.seek(pos, err), err);
    check(arc.readExact(local, kLocalHeaderSize, err), err);
    const LocalHeader h = readLocalHeader(local);
    fields.assign(std::size_t{h.nameLength} + h.extraLength, 0);
    check(arc.readExact(fields.data(), static_cast<std::int64_t>(fields.size()), err), err);
    WideValues wide{h.uncompressedSize, h.compressedSize, static_cast<std::uint64_t>(pos)};
    if (!readZip64Extra(fields.data() + h.nameLength, h.extraLength,
                        h.uncompressedSize == kZip64Marker, h.compressedSize == kZip64Marker,
                        false, wide)) {
      throw TZipFailure(m_run->archivePath + ": a member's ZIP64 field went missing");
    }
    const std::vector<std::uint8_t> record = centralRecord(
        h, std::string(fields.begin(), fields.begin() + h.nameLength), wide, Zip64From);
    check(arc.seek(end, err), err);
    writeArchive(record.data(), static_cast<std::int64_t>(record.size()));
    end += static_cast<std::int64_t>(record.size());
    ++count;
    pos += static_cast<std::int64_t>(kLocalHeaderSize + fields.size() + wide.compressedSize);
  }
  const auto directorySize = static_cast<std::uint64_t>(end - directoryStart);
  const bool zip64 =
      static_cast<std::uint64_t>(directoryStart) >= Zip64From || directorySize >= Zip64From;
  check(arc.seek(end, err), err);
  if (zip64) {
    std::uint8_t record[kZip64EndSize + kZip64LocatorSize];
    writeZip64End(record, {count, directorySize, static_cast<std::uint64_t>(directoryStart)});
    writeZip64Locator(record + kZip64EndSize, static_cast<std::uint64_t>(end));
    writeArchive(record, sizeof record);
  }
  EndRecord e;
  e.entriesOnDisk = static_cast<std::uint16_t>(count);
  e.totalEntries = static_cast<std::uint16_t>(count);
  e.centralDirectorySize = zip64 ? kZip64Marker : static_cast<std::uint32_t>(directorySize);
  e.centralDirectoryOffset = zip64 ? kZip64Marker : static_cast<std::uint32_t>(directoryStart);
  std::uint8_t bytes[kEndRecordSize];
  writeEndRecord(bytes, e);
  writeArchive(bytes, kEndRecordSize);
}

}  // namespace zip
