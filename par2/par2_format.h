// The PAR 2.0 packet layout, written once: every packet is a 64-byte header (magic, length,
// MD5 of the rest, recovery set id, type) and a body whose length is a multiple of 4; all
// numbers are little-endian. Each body has its write and its read function side by side.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "par2/md5.h"

namespace par2 {

using Bytes = std::vector<std::uint8_t>;
using TypeTag = std::array<std::uint8_t, 16>;

inline constexpr std::size_t kHeaderSize = 64;
inline constexpr std::array<std::uint8_t, 8> kMagic = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};
// The first 16 KiB of a file are hashed on their own, so that a file can be recognised
// without reading it all.
inline constexpr std::uint64_t kHeadSize = 16384;

enum class PacketType { Main, FileDescription, SliceChecksums, RecoverySlice, Creator, Unknown };
const TypeTag& typeTag(PacketType type);
PacketType packetTypeOf(const std::uint8_t* tag);

inline std::uint32_t get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t get64(const std::uint8_t* p) {
  return get32(p) | static_cast<std::uint64_t>(get32(p + 4)) << 32;
}
void put32(Bytes& out, std::uint32_t v);
void put64(Bytes& out, std::uint64_t v);

struct PacketHeader {
  std::uint64_t length = 0;  // of the whole packet, header included
  Md5Hash hash{};            // of the packet from the set id on
  Md5Hash setId{};
  PacketType type = PacketType::Unknown;
};
// False when the bytes do not start with the magic.
bool readHeader(const std::uint8_t* p, PacketHeader& out);
// A whole packet around `body` (padded here with zeros to a multiple of 4).
Bytes makePacket(PacketType type, const Md5Hash& setId, Bytes body);
// The header of a packet whose body is hashed by the caller as it is written (a recovery
// slice): `bodyHash` is the MD5 of set id, type and body, fed through startPacketHash().
Bytes makeHeader(PacketType type, const Md5Hash& setId, std::uint64_t bodyLength,
                 const Md5Hash& bodyHash);
void startPacketHash(Md5& md5, PacketType type, const Md5Hash& setId);

// Orders file ids as the main packet lists them: as 128-bit little-endian numbers.
bool fileIdLess(const Md5Hash& a, const Md5Hash& b);

struct MainPacket {
  std::uint64_t sliceSize = 0;
  std::vector<Md5Hash> recoveryFiles;  // their slices are the input of the recovery data
  std::vector<Md5Hash> otherFiles;     // described, not protected
};
Bytes writeMain(const MainPacket& main);
// nullptr when the body is sound, else what is wrong with it.
const char* readMain(const std::uint8_t* body, std::size_t n, MainPacket& out);

struct FileDescription {
  Md5Hash fileId{};
  Md5Hash hashFull{};
  Md5Hash hash16k{};
  std::uint64_t length = 0;
  std::string name;
};
Md5Hash fileIdOf(const Md5Hash& hash16k, std::uint64_t length, const std::string& name);
Bytes writeFileDescription(const FileDescription& file);
const char* readFileDescription(const std::uint8_t* body, std::size_t n, FileDescription& out);

struct SliceChecksum {
  Md5Hash md5{};
  std::uint32_t crc = 0;
  bool operator==(const SliceChecksum&) const = default;
};
struct SliceChecksums {
  Md5Hash fileId{};
  std::vector<SliceChecksum> slices;
};
Bytes writeSliceChecksums(const SliceChecksums& sums);
const char* readSliceChecksums(const std::uint8_t* body, std::size_t n, SliceChecksums& out);

// A recovery slice's body is its exponent (4 bytes) and the slice's bytes.
inline constexpr std::size_t kRecoveryPrefix = 4;

Bytes writeCreator(const std::string& creator);

}  // namespace par2
