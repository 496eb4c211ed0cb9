// Records of a one-member archive, read from the end, and its data as a stream.
#include "zip/single_member.h"

#include <vector>

#include "zip/crc32.h"
#include "zip/inflate.h"
#include "zip/unshrink.h"
#include "zip/zip_format.h"

namespace zip {
namespace {

bool readAt(platform::File& f, std::int64_t at, std::uint8_t* out, std::size_t n,
            platform::IoError& io) {
  return f.seek(at, io) && f.readExact(out, static_cast<std::int64_t>(n), io);
}

// The directory's place and size, from the end record at the very end of the file (these
// archives carry no comment) and, when it says so, from the ZIP64 end record.
bool findDirectory(platform::File& f, std::int64_t size, std::uint64_t& start,
                   std::uint64_t& length, std::uint64_t& entries, std::int64_t& directoryEnd,
                   std::string& why, platform::IoError& io) {
  const auto endAt = size - static_cast<std::int64_t>(kEndRecordSize);
  std::uint8_t end[kEndRecordSize];
  if (endAt < 0) return (why = "no end record"), false;
  if (!readAt(f, endAt, end, kEndRecordSize, io)) return false;
  const EndRecord e = readEndRecord(end);
  if (e.signature != kEndRecordSignature) return (why = "no end record"), false;
  start = e.centralDirectoryOffset;
  length = e.centralDirectorySize;
  entries = e.totalEntries;
  directoryEnd = endAt;
  // Some writers add the ZIP64 records whenever they might need them, so a locator before
  // the end record is followed even when the end record's own fields suffice.
  const bool needed =
      e.centralDirectoryOffset == kZip64Marker || e.centralDirectorySize == kZip64Marker;
  const auto locatorAt = endAt - static_cast<std::int64_t>(kZip64LocatorSize);
  std::uint8_t locator[kZip64LocatorSize];
  if (locatorAt < 0) return needed ? (why = "no ZIP64 end record locator", false) : true;
  if (!readAt(f, locatorAt, locator, kZip64LocatorSize, io)) return false;
  const std::int64_t recordAt = readZip64Locator(locator);
  if (recordAt < 0 && !needed) return true;
  if (recordAt < 0 || recordAt + static_cast<std::int64_t>(kZip64EndSize) != locatorAt) {
    return (why = "no ZIP64 end record"), false;
  }
  std::uint8_t record[kZip64EndSize];
  Zip64EndRecord z;
  if (!readAt(f, recordAt, record, kZip64EndSize, io)) return false;
  if (!readZip64End(record, z)) return (why = "a damaged ZIP64 end record"), false;
  start = z.centralDirectoryOffset;
  length = z.centralDirectorySize;
  entries = z.entries;
  directoryEnd = recordAt;
  return true;
}

class ArchiveSource : public ByteSource {
 public:
  ArchiveSource(platform::File& f, std::uint64_t size, const std::function<bool()>& keepGoing,
                platform::IoError& io)
      : m_file(f), m_left(size), m_keepGoing(keepGoing), m_io(io), m_buffer(256 * 1024) {}
  std::size_t next(const std::uint8_t*& data) override {
    if (m_left == 0 || m_failed) return 0;
    if (m_keepGoing && !m_keepGoing()) return (m_failed = true), 0;
    const std::size_t n = m_left < m_buffer.size() ? static_cast<std::size_t>(m_left) : m_buffer.size();
    if (!m_file.readExact(m_buffer.data(), static_cast<std::int64_t>(n), m_io)) {
      return (m_failed = true), 0;
    }
    m_left -= n;
    data = m_buffer.data();
    return n;
  }
  bool failed() const { return m_failed; }

 private:
  platform::File& m_file;
  std::uint64_t m_left;
  const std::function<bool()>& m_keepGoing;
  platform::IoError& m_io;
  std::vector<std::uint8_t> m_buffer;
  bool m_failed = false;
};

class CheckingSink : public ByteSink {
 public:
  explicit CheckingSink(ByteSink& out) : m_out(out) {}
  void write(const std::uint8_t* data, std::size_t n) override {
    crc = updateCrc(crc, data, n);
    written += n;
    m_out.write(data, n);
  }
  std::uint32_t crc = kCrcStart;
  std::uint64_t written = 0;

 private:
  ByteSink& m_out;
};

// The descriptor between a streamed member's data and the directory: an optional
// signature, the CRC, then both sizes in 4 or (ZIP64) 8 bytes each, as the headers say.
bool descriptorAgrees(platform::File& f, std::uint64_t at, std::uint64_t length,
                      const SingleMember& m, platform::IoError& io) {
  std::uint8_t d[24];
  if (length < 12 || length > sizeof d) return false;
  if (!readAt(f, static_cast<std::int64_t>(at), d, static_cast<std::size_t>(length), io)) {
    return false;
  }
  std::size_t pos = get32(d) == kDescriptorSignature && length % 8 == 0 ? 4 : 0;
  const std::size_t sizeBytes = (static_cast<std::size_t>(length) - pos - 4) / 2;
  if (pos + 4 + 2 * sizeBytes != length || get32(d + pos) != m.crc) return false;
  pos += 4;
  const auto value = [&](std::size_t p) { return sizeBytes == 8 ? get64(d + p) : get32(d + p); };
  return value(pos) == m.compressedSize && value(pos + sizeBytes) == m.uncompressedSize;
}

}  // namespace

bool readSingleMember(platform::File& f, SingleMember& m, std::string& why,
                      platform::IoError& io) {
  const std::int64_t size = f.size(io);
  if (size < 0) return false;
  std::uint64_t start = 0, length = 0, entries = 0;
  std::int64_t directoryEnd = 0;
  if (!findDirectory(f, size, start, length, entries, directoryEnd, why, io)) return false;
  if (entries != 1) return (why = "it does not hold one member"), false;
  if (start + length != static_cast<std::uint64_t>(directoryEnd) || length < kCentralHeaderSize ||
      length > kCentralHeaderSize + 3 * 0xFFFFu) {
    return (why = "the central directory does not fit"), false;
  }
  std::vector<std::uint8_t> central(static_cast<std::size_t>(length));
  std::uint8_t local[kLocalHeaderSize];
  if (!readAt(f, static_cast<std::int64_t>(start), central.data(), central.size(), io) ||
      !readAt(f, 0, local, kLocalHeaderSize, io)) {
    return false;
  }
  const CentralHeader c = readCentralHeader(central.data());
  const LocalHeader l = readLocalHeader(local);
  std::vector<std::uint8_t> localExtra(l.extraLength);
  if (!readAt(f, static_cast<std::int64_t>(kLocalHeaderSize) + l.nameLength, localExtra.data(),
              localExtra.size(), io)) {
    return false;
  }
  if (c.signature != kCentralHeaderSignature || l.signature != kLocalHeaderSignature ||
      kCentralHeaderSize + c.nameLength + c.extraLength + c.commentLength != length) {
    return (why = "its headers are missing"), false;
  }
  WideValues wide{c.uncompressedSize, c.compressedSize, c.localHeaderOffset};
  if (!readZip64Extra(central.data() + kCentralHeaderSize + c.nameLength, c.extraLength,
                      c.uncompressedSize == kZip64Marker, c.compressedSize == kZip64Marker,
                      c.localHeaderOffset == kZip64Marker, wide)) {
    return (why = "its ZIP64 field is missing"), false;
  }
  m.name.assign(reinterpret_cast<const char*>(central.data() + kCentralHeaderSize), c.nameLength);
  m.method = c.method;
  m.flags = c.flags;
  m.crc = c.crc;
  m.compressedSize = wide.compressedSize;
  m.uncompressedSize = wide.uncompressedSize;
  m.dataOffset = static_cast<std::int64_t>(kLocalHeaderSize) + l.nameLength + l.extraLength;
  // Local and central header describe the same member, and its data ends where the
  // directory begins. A writer that streams (flag bit 3) puts zeros in the local header
  // and the CRC and sizes in a descriptor after the data, which must then agree.
  const bool described = (l.flags & kFlagDataDescriptor) != 0;
  WideValues localSizes{l.uncompressedSize, l.compressedSize, 0};
  const bool localRead = readZip64Extra(localExtra.data(), localExtra.size(),
                                        l.uncompressedSize == kZip64Marker,
                                        l.compressedSize == kZip64Marker, false, localSizes);
  // Streamed, each local value is the central one or zero (not known when it was written).
  const auto agrees = [described](std::uint64_t inLocal, std::uint64_t inCentral) {
    return inLocal == inCentral || (described && inLocal == 0);
  };
  const bool localAgrees = localRead && agrees(localSizes.uncompressedSize, m.uncompressedSize) &&
                           agrees(localSizes.compressedSize, m.compressedSize) && agrees(l.crc, c.crc);
  const std::uint64_t dataEnd = static_cast<std::uint64_t>(m.dataOffset) + m.compressedSize;
  if (!localAgrees || wide.offset != 0 || l.method != c.method ||
      l.nameLength != c.nameLength || dataEnd < m.compressedSize || dataEnd > start ||
      (!described && dataEnd != start)) {
    return (why = "its sizes do not add up"), false;
  }
  if (described && !descriptorAgrees(f, dataEnd, start - dataEnd, m, io)) {
    if (!io.isSet()) why = "its data descriptor does not match its headers";
    return false;
  }
  if ((m.flags & kFlagEncrypted) != 0) return (why = "its member is encrypted"), false;
  return true;
}

MemberOutcome decodeSingleMember(platform::File& f, const SingleMember& m, ByteSink& sink,
                                 const std::function<bool()>& keepGoing, std::string& why,
                                 platform::IoError& io) {
  if (!f.seek(m.dataOffset, io)) return MemberOutcome::Failed;
  ArchiveSource source(f, m.compressedSize, keepGoing, io);
  CheckingSink out(sink);
  std::string report;
  const DecodeReport keep = [&report](const std::string& message) {
    if (report.empty()) report = message;
  };
  DecodeResult result = DecodeResult::Done;
  if (m.method == kMethodStored) {
    const std::uint8_t* data = nullptr;
    while (const std::size_t n = source.next(data)) out.write(data, n);
  } else if (m.method == kMethodShrunk) {
    BitReader bits(source);
    result = Unshrink(bits, out, m.uncompressedSize, keep);
  } else if (m.method == kMethodDeflated) {
    result = Inflate(source, out, m.uncompressedSize, keep);
  } else {
    why = "its member is packed with method " + std::to_string(m.method) +
          ", which a part is never packed with";
    return MemberOutcome::Damaged;
  }
  if (source.failed()) return MemberOutcome::Failed;
  if (result == DecodeResult::NoMemory) return (why = report), MemberOutcome::Failed;
  if (result != DecodeResult::Done) {
    why = report.empty() ? "its data goes on past its size" : report;
    return MemberOutcome::Damaged;
  }
  if (out.written != m.uncompressedSize) {
    why = "it unpacks to " + std::to_string(out.written) + " bytes instead of " +
          std::to_string(m.uncompressedSize);
    return MemberOutcome::Damaged;
  }
  if (~out.crc != m.crc) return (why = "its CRC-32 does not match its data"), MemberOutcome::Damaged;
  return MemberOutcome::Whole;
}

}  // namespace zip
