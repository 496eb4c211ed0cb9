// The ZIP records this program writes and reads: local file header, central directory
// file header and end of central directory record. Little-endian throughout; each
// record has its read and its write function side by side.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace zip {

inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr std::uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr std::uint32_t kDescriptorSignature = 0x08074B50;  // optional before a data descriptor
inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndRecordSize = 22;
inline constexpr std::uint16_t kVersion10 = 10;
inline constexpr std::uint16_t kVersion20 = 20;  // Deflate
inline constexpr std::uint16_t kVersion45 = 45;  // ZIP64 fields
inline constexpr std::uint32_t kArchiveAttribute = 0x20;

enum : std::uint16_t {
  kMethodStored = 0,
  kMethodShrunk = 1,
  kMethodImploded = 6,
  kMethodDeflated = 8
};
// General purpose flag bits that change how a member is read.
enum : std::uint16_t { kFlagEncrypted = 1, kFlagDataDescriptor = 8 };

inline std::uint16_t get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
inline void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct LocalHeader {
  std::uint32_t signature = kLocalHeaderSignature;
  std::uint16_t versionNeeded = kVersion10;
  std::uint16_t flags = 0;
  std::uint16_t method = kMethodShrunk;
  std::uint16_t time = 0;
  std::uint16_t date = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t uncompressedSize = 0;
  std::uint16_t nameLength = 0;
  std::uint16_t extraLength = 0;
};

inline LocalHeader readLocalHeader(const std::uint8_t* p) {
  LocalHeader h;
  h.signature = get32(p);
  h.versionNeeded = get16(p + 4);
  h.flags = get16(p + 6);
  h.method = get16(p + 8);
  h.time = get16(p + 10);
  h.date = get16(p + 12);
  h.crc = get32(p + 14);
  h.compressedSize = get32(p + 18);
  h.uncompressedSize = get32(p + 22);
  h.nameLength = get16(p + 26);
  h.extraLength = get16(p + 28);
  return h;
}

inline void writeLocalHeader(std::uint8_t* p, const LocalHeader& h) {
  put32(p, h.signature);
  put16(p + 4, h.versionNeeded);
  put16(p + 6, h.flags);
  put16(p + 8, h.method);
  put16(p + 10, h.time);
  put16(p + 12, h.date);
  put32(p + 14, h.crc);
  put32(p + 18, h.compressedSize);
  put32(p + 22, h.uncompressedSize);
  put16(p + 26, h.nameLength);
  put16(p + 28, h.extraLength);
}

struct CentralHeader {
  std::uint32_t signature = kCentralHeaderSignature;
  std::uint16_t versionMadeBy = kVersion10;
  std::uint16_t versionNeeded = kVersion10;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint16_t time = 0;
  std::uint16_t date = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t uncompressedSize = 0;
  std::uint16_t nameLength = 0;
  std::uint16_t extraLength = 0;
  std::uint16_t commentLength = 0;
  std::uint16_t diskNumberStart = 0;
  std::uint16_t internalAttributes = 0;
  std::uint32_t externalAttributes = kArchiveAttribute;
  std::uint32_t localHeaderOffset = 0;
};

inline CentralHeader readCentralHeader(const std::uint8_t* p) {
  CentralHeader h;
  h.signature = get32(p);
  h.versionMadeBy = get16(p + 4);
  h.versionNeeded = get16(p + 6);
  h.flags = get16(p + 8);
  h.method = get16(p + 10);
  h.time = get16(p + 12);
  h.date = get16(p + 14);
  h.crc = get32(p + 16);
  h.compressedSize = get32(p + 20);
  h.uncompressedSize = get32(p + 24);
  h.nameLength = get16(p + 28);
  h.extraLength = get16(p + 30);
  h.commentLength = get16(p + 32);
  h.diskNumberStart = get16(p + 34);
  h.internalAttributes = get16(p + 36);
  h.externalAttributes = get32(p + 38);
  h.localHeaderOffset = get32(p + 42);
  return h;
}

inline void writeCentralHeader(std::uint8_t* p, const CentralHeader& h) {
  put32(p, h.signature);
  put16(p + 4, h.versionMadeBy);
  put16(p + 6, h.versionNeeded);
  put16(p + 8, h.flags);
  put16(p + 10, h.method);
  put16(p + 12, h.time);
  put16(p + 14, h.date);
  put32(p + 16, h.crc);
  put32(p + 20, h.compressedSize);
  put32(p + 24, h.uncompressedSize);
  put16(p + 28, h.nameLength);
  put16(p + 30, h.extraLength);
  put16(p + 32, h.commentLength);
  put16(p + 34, h.diskNumberStart);
  put16(p + 36, h.internalAttributes);
  put32(p + 38, h.externalAttributes);
  put32(p + 42, h.localHeaderOffset);
}

// The central directory header that repeats a local header's fields.
inline CentralHeader centralFromLocal(const LocalHeader& l, std::uint32_t localOffset) {
  CentralHeader c;
  c.versionMadeBy = l.versionNeeded;
  c.versionNeeded = l.versionNeeded;
  c.flags = l.flags;
  c.method = l.method;
  c.time = l.time;
  c.date = l.date;
  c.crc = l.crc;
  c.compressedSize = l.compressedSize;
  c.uncompressedSize = l.uncompressedSize;
  c.nameLength = l.nameLength;
  c.extraLength = l.extraLength;
  c.localHeaderOffset = localOffset;
  return c;
}

struct EndRecord {
  std::uint32_t signature = kEndRecordSignature;
  std::uint16_t diskNumber = 0;
  std::uint16_t centralDirectoryDisk = 0;
  std::uint16_t entriesOnDisk = 0;
  std::uint16_t totalEntries = 0;
  std::uint32_t centralDirectorySize = 0;
  std::uint32_t centralDirectoryOffset = 0;
  std::uint16_t commentLength = 0;
};

inline EndRecord readEndRecord(const std::uint8_t* p) {
  EndRecord e;
  e.signature = get32(p);
  e.diskNumber = get16(p + 4);
  e.centralDirectoryDisk = get16(p + 6);
  e.entriesOnDisk = get16(p + 8);
  e.totalEntries = get16(p + 10);
  e.centralDirectorySize = get32(p + 12);
  e.centralDirectoryOffset = get32(p + 16);
  e.commentLength = get16(p + 20);
  return e;
}

inline void writeEndRecord(std::uint8_t* p, const EndRecord& e) {
  put32(p, e.signature);
  put16(p + 4, e.diskNumber);
  put16(p + 6, e.centralDirectoryDisk);
  put16(p + 8, e.entriesOnDisk);
  put16(p + 10, e.totalEntries);
  put32(p + 12, e.centralDirectorySize);
  put32(p + 16, e.centralDirectoryOffset);
  put16(p + 20, e.commentLength);
}

// ZIP64: a 32-bit size or offset that holds kZip64Marker has its true value in the
// extra field tagged kZip64Tag, which lists only the marked fields, in the order
// uncompressed size, compressed size, local header offset. Archives whose directory lies
// past the 32-bit range end with a ZIP64 end record and its locator before the end record.
inline constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;
inline constexpr std::uint16_t kZip64Tag = 0x0001;
inline constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr std::size_t kZip64EndSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;

inline std::uint64_t get64(const std::uint8_t* p) {
  return std::uint64_t{get32(p)} | std::uint64_t{get32(p + 4)} << 32;
}
inline void put64(std::uint8_t* p, std::uint64_t v) {
  put32(p, static_cast<std::uint32_t>(v));
  put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// A member's sizes and local header offset at their full width.
struct WideValues {
  std::uint64_t uncompressedSize = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t offset = 0;
};

// The values whose 32-bit fields hold the marker, taken from the ZIP64 field among
// `extra`'s fields; false when one is marked and the field does not carry it.
inline bool readZip64Extra(const std::uint8_t* extra, std::size_t length, bool wantUncompressed,
                           bool wantCompressed, bool wantOffset, WideValues& v) {
  std::size_t pos = 0;
  while (length - pos >= 4) {
    const std::uint16_t tag = get16(extra + pos);
    const std::size_t size = get16(extra + pos + 2);
    if (length - pos - 4 < size) return false;
    if (tag == kZip64Tag) {
      const std::uint8_t* p = extra + pos + 4;
      std::size_t left = size;
      for (auto [want, field] : {std::pair{wantUncompressed, &v.uncompressedSize},
                                 std::pair{wantCompressed, &v.compressedSize},
                                 std::pair{wantOffset, &v.offset}}) {
        if (!want) continue;
        if (left < 8) return false;
        *field = get64(p);
        p += 8;
        left -= 8;
      }
      return true;
    }
    pos += 4 + size;
  }
  return !wantUncompressed && !wantCompressed && !wantOffset;
}

// A ZIP64 field holding `count` values (8 bytes each) in the order above; the caller
// fills them in after the 4 bytes of tag and length.
inline std::string zip64ExtraHead(std::size_t count) {
  std::string field(4 + 8 * count, '\0');
  auto* p = reinterpret_cast<std::uint8_t*>(field.data());
  put16(p, kZip64Tag);
  put16(p + 2, static_cast<std::uint16_t>(8 * count));
  return field;
}

struct Zip64EndRecord {
  std::uint64_t entries = 0;
  std::uint64_t centralDirectorySize = 0;
  std::uint64_t centralDirectoryOffset = 0;
};

inline void writeZip64End(std::uint8_t* p, const Zip64EndRecord& e) {
  put32(p, kZip64EndSignature);
  put64(p + 4, kZip64EndSize - 12);  // the record's size after this field
  put16(p + 12, kVersion45);
  put16(p + 14, kVersion45);
  put32(p + 16, 0);  // this disk
  put32(p + 20, 0);  // the directory's disk
  put64(p + 24, e.entries);
  put64(p + 32, e.entries);
  put64(p + 40, e.centralDirectorySize);
  put64(p + 48, e.centralDirectoryOffset);
}

// False for a record that is not one, or one that spans disks.
inline bool readZip64End(const std::uint8_t* p, Zip64EndRecord& e) {
  if (get32(p) != kZip64EndSignature || get32(p + 16) != 0 || get32(p + 20) != 0 ||
      get64(p + 24) != get64(p + 32)) {
    return false;
  }
  e.entries = get64(p + 32);
  e.centralDirectorySize = get64(p + 40);
  e.centralDirectoryOffset = get64(p + 48);
  return true;
}

inline void writeZip64Locator(std::uint8_t* p, std::uint64_t endRecordOffset) {
  put32(p, kZip64LocatorSignature);
  put32(p + 4, 0);
  put64(p + 8, endRecordOffset);
  put32(p + 16, 1);  // disks in all
}

// The ZIP64 end record's offset, from the locator; -1 when `p` is no locator.
inline std::int64_t readZip64Locator(const std::uint8_t* p) {
  if (get32(p) != kZip64LocatorSignature || get32(p + 4) != 0) return -1;
  const std::uint64_t at = get64(p + 8);
  return at > 0x7FFFFFFFFFFFFFFFull ? -1 : static_cast<std::int64_t>(at);
}

}  // namespace zip
