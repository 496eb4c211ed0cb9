// The archive as TZip writes it: per member a provisional local header, the shrunk
// data, then the patched header (or the stored bytes when shrinking did not pay); at
// the end a central directory rebuilt from the local headers, and the end record.
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

void TZip::WriteLocalHeader(const TZipEntry& entry) {
  m_run->headerOffset = positionOf(archive());
  LocalHeader h;
  h.method = kMethodShrunk;
  h.time = entry.FileTime;
  h.date = entry.FileDate;
  h.uncompressedSize = static_cast<std::uint32_t>(entry.Size);
  h.nameLength = static_cast<std::uint16_t>(entry.FileName.size());
  std::vector<std::uint8_t> bytes(kLocalHeaderSize + entry.FileName.size());
  writeLocalHeader(bytes.data(), h);
  std::copy(entry.FileName.begin(), entry.FileName.end(), bytes.begin() + kLocalHeaderSize);
  writeArchive(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TZip::ShrinkFile(platform::File& input, const TZipEntry& entry) {
  Shrinker& shrinker = *m_run->shrinker;
  std::vector<std::uint8_t>& buffer = m_run->input;
  shrinker.begin();
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
        shrinker.ShrinkChar(buffer[i]);
      }
    } else {
      shrinker.shrinkBlock(buffer.data(), count);
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
  shrinker.end();
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
  const std::int64_t dataStart =
      m_run->headerOffset + static_cast<std::int64_t>(kLocalHeaderSize + entry.FileName.size());
  const std::int64_t compressed = positionOf(arc) - dataStart;
  // The header describes the bytes actually read, also when the file changed size
  // after it was listed.
  const std::int64_t size = m_run->bytesRead;
  if (size > kZipMaxPosition) {
    throw TZipFailure(entry.Path + entry.FileName +
                      " grew to 2 GiB or more while it was being packed");
  }
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
  LocalHeader h;
  h.method = stored ? kMethodStored : kMethodShrunk;
  h.time = entry.FileTime;
  h.date = entry.FileDate;
  h.crc = crc;
  h.compressedSize = static_cast<std::uint32_t>(stored ? size : compressed);
  h.uncompressedSize = static_cast<std::uint32_t>(size);
  h.nameLength = static_cast<std::uint16_t>(entry.FileName.size());
  std::uint8_t bytes[kLocalHeaderSize];
  writeLocalHeader(bytes, h);
  check(arc.seek(m_run->headerOffset, err), err);
  writeArchive(bytes, kLocalHeaderSize);
  writeArchive(entry.FileName.data(), static_cast<std::int64_t>(entry.FileName.size()));
  check(arc.seekToEnd(err), err);
  if (m_run->changed)
    ReportError(printableName(entry.Path + entry.FileName) + " changed while it was being packed");
}

void TZip::WriteCentralDirectory() {
  platform::File& arc = archive();
  platform::IoError err;
  check(arc.seekToEnd(err), err);
  const std::int64_t directoryStart = positionOf(arc);
  std::int64_t end = directoryStart;
  std::int64_t pos = 0;
  std::uint32_t directorySize = 0;
  std::uint16_t count = 0;
  std::vector<std::uint8_t> record;
  while (pos < directoryStart) {
    std::uint8_t local[kLocalHeaderSize];
    check(arc.seek(pos, err), err);
    check(arc.readExact(local, kLocalHeaderSize, err), err);
    const LocalHeader h = readLocalHeader(local);
    record.assign(kCentralHeaderSize + h.nameLength, 0);
    check(arc.readExact(record.data() + kCentralHeaderSize, h.nameLength, err), err);
    writeCentralHeader(record.data(), centralFromLocal(h, static_cast<std::uint32_t>(pos)));
    check(arc.seek(end, err), err);
    writeArchive(record.data(), static_cast<std::int64_t>(record.size()));
    end += static_cast<std::int64_t>(record.size());
    directorySize += static_cast<std::uint32_t>(record.size());
    ++count;
    pos += static_cast<std::int64_t>(kLocalHeaderSize) + h.nameLength + h.extraLength +
           h.compressedSize;
  }
  if (end + static_cast<std::int64_t>(kEndRecordSize) > kZipMaxPosition) {
    throw TZipFailure(m_run->archivePath + " would pass 2 GiB; the archive was not completed");
  }
  EndRecord e;
  e.entriesOnDisk = count;
  e.totalEntries = count;
  e.centralDirectorySize = directorySize;
  e.centralDirectoryOffset = static_cast<std::uint32_t>(directoryStart);
  std::uint8_t bytes[kEndRecordSize];
  writeEndRecord(bytes, e);
  check(arc.seek(end, err), err);
  writeArchive(bytes, kEndRecordSize);
}

}  // namespace zip
