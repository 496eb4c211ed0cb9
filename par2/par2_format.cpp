// The PAR 2.0 packet layout: headers and the bodies of the packets this program writes.
#include "par2/par2_format.h"

#include <cstring>

namespace par2 {
namespace {

TypeTag tag(const char (&text)[17]) {
  TypeTag t{};
  std::memcpy(t.data(), text, 16);
  return t;
}

Md5Hash hashAt(const std::uint8_t* p) {
  Md5Hash h{};
  std::memcpy(h.data(), p, h.size());
  return h;
}

void append(Bytes& out, const Md5Hash& h) {
  out.insert(out.end(), h.begin(), h.end());
}

void padTo4(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

}  // namespace

const TypeTag& typeTag(PacketType type) {
  static const TypeTag tags[] = {
      tag("PAR 2.0\0Main\0\0\0\0"), tag("PAR 2.0\0FileDesc"), tag("PAR 2.0\0IFSC\0\0\0\0"),
      tag("PAR 2.0\0RecvSlic"),     tag("PAR 2.0\0Creator\0"), TypeTag{}};
  return tags[static_cast<int>(type)];
}

PacketType packetTypeOf(const std::uint8_t* t) {
  for (PacketType type : {PacketType::Main, PacketType::FileDescription,
                          PacketType::SliceChecksums, PacketType::RecoverySlice,
                          PacketType::Creator}) {
    if (std::memcmp(typeTag(type).data(), t, 16) == 0) return type;
  }
  return PacketType::Unknown;
}

void put32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put64(Bytes& out, std::uint64_t v) {
  put32(out, static_cast<std::uint32_t>(v));
  put32(out, static_cast<std::uint32_t>(v >> 32));
}

bool readHeader(const std::uint8_t* p, PacketHeader& out) {
  if (std::memcmp(p, kMagic.data(), kMagic.size()) != 0) return false;
  out.length = get64(p + 8);
  out.hash = hashAt(p + 16);
  out.setId = hashAt(p + 32);
  out.type = packetTypeOf(p + 48);
  return true;
}

void startPacketHash(Md5& md5, PacketType type, const Md5Hash& setId) {
  md5.update(setId.data(), setId.size());
  md5.update(typeTag(type).data(), 16);
}

Bytes makeHeader(PacketType type, const Md5Hash& setId, std::uint64_t bodyLength,
                 const Md5Hash& bodyHash) {
  Bytes out(kMagic.begin(), kMagic.end());
  put64(out, kHeaderSize + bodyLength);
  append(out, bodyHash);
  append(out, setId);
  const TypeTag& t = typeTag(type);
  out.insert(out.end(), t.begin(), t.end());
  return out;
}

Bytes makePacket(PacketType type, const Md5Hash& setId, Bytes body) {
  padTo4(body);
  Md5 md5;
  startPacketHash(md5, type, setId);
  md5.update(body.data(), body.size());
  Bytes out = makeHeader(type, setId, body.size(), md5.finish());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

bool fileIdLess(const Md5Hash& a, const Md5Hash& b) {
  for (std::size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return false;
}

Bytes writeMain(const MainPacket& main) {
  Bytes out;
  put64(out, main.sliceSize);
  put32(out, static_cast<std::uint32_t>(main.recoveryFiles.size()));
  for (const Md5Hash& id : main.recoveryFiles) append(out, id);
  for (const Md5Hash& id : main.otherFiles) append(out, id);
  return out;
}

const char* readMain(const std::uint8_t* body, std::size_t n, MainPacket& out) {
  if (n < 12 || (n - 12) % 16 != 0) return "the main packet has a length that holds no whole list of files";
  out.sliceSize = get64(body);
  const std::uint32_t recoveryCount = get32(body + 8);
  const std::size_t total = (n - 12) / 16;
  if (out.sliceSize == 0 || out.sliceSize % 4 != 0) return "the slice size is not a positive multiple of 4";
  if (recoveryCount > total) return "the main packet counts more files than it lists";
  out.recoveryFiles.clear();
  out.otherFiles.clear();
  for (std::size_t i = 0; i < total; ++i) {
    (i < recoveryCount ? out.recoveryFiles : out.otherFiles).push_back(hashAt(body + 12 + 16 * i));
  }
  return nullptr;
}

Md5Hash fileIdOf(const Md5Hash& hash16k, std::uint64_t length, const std::string& name) {
  Bytes in(hash16k.begin(), hash16k.end());
  put64(in, length);
  in.insert(in.end(), name.begin(), name.end());
  return md5Of(in.data(), in.size());
}

Bytes writeFileDescription(const FileDescription& file) {
  Bytes out;
  append(out, file.fileId);
  append(out, file.hashFull);
  append(out, file.hash16k);
  put64(out, file.length);
  out.insert(out.end(), file.name.begin(), file.name.end());
  padTo4(out);
  return out;
}

const char* readFileDescription(const std::uint8_t* body, std::size_t n, FileDescription& out) {
  if (n < 56) return "the file description is too short";
  out.fileId = hashAt(body);
  out.hashFull = hashAt(body + 16);
  out.hash16k = hashAt(body + 32);
  out.length = get64(body + 48);
  // Format note: the name is padded with zero bytes to the packet's 4-byte grid.
  std::size_t nameLength = n - 56;
  while (nameLength > 0 && body[56 + nameLength - 1] == 0) --nameLength;
  out.name.assign(reinterpret_cast<const char*>(body + 56), nameLength);
  if (out.name.empty()) return "the file description has no name";
  if (out.name.find('\0') != std::string::npos) return "the file name holds a zero byte";
  return nullptr;
}

Bytes writeSliceChecksums(const SliceChecksums& sums) {
  Bytes out;
  append(out, sums.fileId);
  for (const SliceChecksum& s : sums.slices) {
    append(out, s.md5);
    put32(out, s.crc);
  }
  return out;
}

const char* readSliceChecksums(const std::uint8_t* body, std::size_t n, SliceChecksums& out) {
  if (n < 16 || (n - 16) % 20 != 0) return "the slice checksums have a length that holds no whole list";
  out.fileId = hashAt(body);
  out.slices.resize((n - 16) / 20);
  for (std::size_t i = 0; i < out.slices.size(); ++i) {
    out.slices[i].md5 = hashAt(body + 16 + 20 * i);
    out.slices[i].crc = get32(body + 32 + 20 * i);
  }
  return nullptr;
}

Bytes writeCreator(const std::string& creator) {
  Bytes out(creator.begin(), creator.end());
  padTo4(out);
  return out;
}

}  // namespace par2
