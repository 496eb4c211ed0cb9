// The ZIP records this program writes and reads: local file header, central directory
// file header and end of central directory record. Little-endian throughout; each
// record has its read and its write function side by side.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace zip {

inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr std::uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndRecordSize = 22;
inline constexpr std::uint16_t kVersion10 = 10;
inline constexpr std::uint32_t kArchiveAttribute = 0x20;

enum : std::uint16_t { kMethodStored = 0, kMethodShrunk = 1, kMethodImploded = 6 };
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

}  // namespace zip
