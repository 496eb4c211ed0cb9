// Reading a recovery set packet by packet, and checking files against it.
#include "par2/recovery_set.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "par2/gf16.h"
#include "platform/file.h"
#include "zip/crc32.h"

namespace par2 {
namespace {

constexpr std::size_t kScanChunk = 64 * 1024;
constexpr std::size_t kReadChunk = 1 << 20;
constexpr std::size_t kMaxRejections = 1000;

std::uint64_t slicesOf(std::uint64_t size, std::uint64_t sliceSize) {
  return size / sliceSize + (size % sliceSize != 0 ? 1 : 0);
}

bool readAt(platform::File& in, std::uint64_t at, std::uint8_t* out, std::size_t n,
            platform::IoError& err) {
  return in.seek(static_cast<std::int64_t>(at), err) &&
         in.readExact(out, static_cast<std::int64_t>(n), err);
}

bool plainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

}  // namespace

std::string Rejection::message() const {
  return path + " at byte " + std::to_string(offset) + ": " + reason;
}

struct RecoverySet::Parser {
  struct Stored {
    Md5Hash setId{};
    PacketType type = PacketType::Unknown;
    Bytes body;
    std::string path;
    std::uint64_t offset = 0;
  };
  // Where a recovery slice lies; the path is kept once per file, not per slice.
  struct Block {
    Md5Hash setId{};
    std::uint32_t exponent = 0;
    std::size_t file = 0;  // index into paths
    std::uint64_t dataOffset = 0;
    std::uint64_t length = 0;
    std::uint64_t offset = 0;
  };

  RecoverySet& set;
  ReadLimits limits;
  std::vector<Stored> packets;  // main packets, file descriptions and slice checksums
  std::vector<Block> blocks;
  std::vector<std::string> paths;  // of the files read, in order
  std::uint64_t storedBytes = 0;
  std::size_t moreRejections = 0;
  std::uint64_t wastedHashing = 0;  // bytes of the current file hashed for packets that failed
  bool giveUp = false;

  void reject(const std::string& path, std::uint64_t offset, std::string reason) {
    if (set.m_rejections.size() < kMaxRejections) {
      set.m_rejections.push_back({path, offset, std::move(reason)});
    } else {
      ++moreRejections;
    }
  }
  bool full() const { return packets.size() + blocks.size() >= limits.maxPackets; }

  // The offset of the next magic at or after `pos`; false when there is none.
  bool nextMagic(platform::File& in, std::uint64_t& pos, std::uint64_t size,
                 platform::IoError& err) {
    // Packets follow each other: the next one is nearly always right here.
    std::uint8_t start[kMagic.size()];
    if (pos + kHeaderSize <= size && readAt(in, pos, start, sizeof start, err) &&
        std::equal(kMagic.begin(), kMagic.end(), start)) {
      return true;
    }
    Bytes chunk;
    while (!err.isSet() && pos + kHeaderSize <= size) {
      chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kScanChunk, size - pos)));
      if (!readAt(in, pos, chunk.data(), chunk.size(), err)) return false;
      const auto hit = std::search(chunk.begin(), chunk.end(), kMagic.begin(), kMagic.end());
      if (hit != chunk.end()) {
        pos += static_cast<std::uint64_t>(hit - chunk.begin());
        return true;
      }
      pos += chunk.size() - (kMagic.size() - 1);
    }
    return false;
  }

  // The MD5 of a packet from its set id on, read in bounded chunks.
  bool hashPacket(platform::File& in, std::uint64_t pos, const std::uint8_t* header,
                  std::uint64_t bodyLength, Md5Hash& out, platform::IoError& err) {
    Md5 md5;
    md5.update(header + 32, 32);
    Bytes chunk(static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunk, bodyLength)));
    for (std::uint64_t done = 0; done < bodyLength;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bodyLength - done));
      if (!readAt(in, pos + kHeaderSize + done, chunk.data(), n, err)) return false;
      md5.update(chunk.data(), n);
      done += n;
    }
    out = md5.finish();
    return true;
  }

  // Reads and checks one packet at `pos`; returns its length when sound, else 0.
  std::uint64_t packet(platform::File& in, const std::string& path, std::uint64_t pos,
                       std::uint64_t size, platform::IoError& err) {
    std::uint8_t header[kHeaderSize];
    if (!readAt(in, pos, header, sizeof header, err)) return 0;
    PacketHeader h;
    readHeader(header, h);
    if (h.length < kHeaderSize || h.length % 4 != 0) {
      reject(path, pos, "the packet's length is not a multiple of 4 of at least 64 bytes");
      return 0;
    }
    if (h.length > size - pos) {
      reject(path, pos, "the packet runs past the end of the file (the file is cut short)");
      return 0;
    }
    const std::uint64_t bodyLength = h.length - kHeaderSize;
    const bool isBlock = h.type == PacketType::RecoverySlice;
    if (isBlock && (bodyLength <= kRecoveryPrefix || bodyLength - kRecoveryPrefix > limits.maxSliceSize)) {
      reject(path, pos, "the recovery slice's length is outside what a set can have");
      return 0;
    }
    if (!isBlock && bodyLength > limits.maxDescriptionPacket) {
      reject(path, pos, "the packet is longer than a packet of its kind can be");
      return 0;
    }
    if (full()) {
      reject(path, pos, "the files hold more packets than a set can use");
      return h.length;
    }
    Md5Hash hash{};
    if (!hashPacket(in, pos, header, bodyLength, hash, err)) return 0;
    if (hash != h.hash) {
      reject(path, pos, "the packet's MD5 does not match its bytes");
      // Each failed packet is searched again from its next byte: without a bound, a file
      // of forged long headers would be hashed over and over.
      wastedHashing += bodyLength;
      if (wastedHashing > 2 * size + kReadChunk * 16) giveUp = true;
      return 0;
    }
    if (isBlock) {
      std::uint8_t exponent[kRecoveryPrefix];
      if (!readAt(in, pos + kHeaderSize, exponent, sizeof exponent, err)) return 0;
      blocks.push_back({h.setId, get32(exponent), paths.size() - 1, pos + kHeaderSize + kRecoveryPrefix,
                        bodyLength - kRecoveryPrefix, pos});
      return h.length;
    }
    if (h.type == PacketType::Main || h.type == PacketType::FileDescription ||
        h.type == PacketType::SliceChecksums) {
      if (storedBytes + bodyLength > limits.maxStoredBytes) {
        reject(path, pos, "the files hold more descriptions than a set can use");
        return h.length;
      }
      Stored s{h.setId, h.type, Bytes(static_cast<std::size_t>(bodyLength)), path, pos};
      if (!readAt(in, pos + kHeaderSize, s.body.data(), s.body.size(), err)) return 0;
      storedBytes += bodyLength;
      packets.push_back(std::move(s));
    }
    // Creator packets and packet types this program does not know are sound and skipped.
    return h.length;
  }

  void readFile(const std::string& path) {
    paths.push_back(path);
    platform::IoError err;
    platform::File in = platform::File::open(path, platform::File::Mode::Read, err);
    const std::int64_t size = in.isOpen() ? in.size(err) : -1;
    if (size < 0) {
      reject(path, 0, err.message());
      return;
    }
    const std::uint64_t end = static_cast<std::uint64_t>(size);
    std::uint64_t pos = 0;
    std::uint64_t lastEnd = 0;  // the end of the last sound packet
    wastedHashing = 0;
    giveUp = false;
    while (nextMagic(in, pos, end, err)) {
      const std::uint64_t length = packet(in, path, pos, end, err);
      if (err.isSet()) break;
      if (giveUp) {
        reject(path, pos, "too many damaged packets: the rest of the file is not read");
        return;
      }
      pos += length != 0 ? length : 1;
      if (length != 0) lastEnd = pos;
    }
    if (err.isSet()) {
      reject(path, pos, err.message());
    } else if (endsInsideHeader(in, lastEnd, end, err)) {
      reject(path, std::max(lastEnd, end - std::min<std::uint64_t>(end, kHeaderSize - 1)),
             "the file ends inside a packet's header (the file is cut short)");
    }
  }

  // Whether the last bytes, too few for a header, start one: a volume cut short there.
  bool endsInsideHeader(platform::File& in, std::uint64_t lastEnd, std::uint64_t end,
                        platform::IoError& err) {
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(end - std::min(lastEnd, end), kHeaderSize - 1));
    std::uint8_t tail[kHeaderSize];
    if (n < kMagic.size() || !readAt(in, end - n, tail, n, err)) return false;
    return std::search(tail, tail + n, kMagic.begin(), kMagic.end()) != tail + n;
  }

  bool finish();
  bool takeFiles(const MainPacket& main);
};

bool RecoverySet::Parser::takeFiles(const MainPacket& main) {
  std::map<Md5Hash, std::size_t> index;
  for (const Md5Hash& id : main.recoveryFiles) {
    if (!index.emplace(id, set.m_files.size()).second) {
      set.m_error = "the main packet lists a file twice";
      return false;
    }
    SetFile f;
    f.fileId = id;
    set.m_files.push_back(f);
  }
  for (const Stored& p : packets) {
    if (p.setId != set.m_setId || p.type != PacketType::FileDescription) continue;
    FileDescription d;
    const char* problem = readFileDescription(p.body.data(), p.body.size(), d);
    if (problem == nullptr && fileIdOf(d.hash16k, d.length, d.name) != d.fileId) {
      problem = "the file description's id is not the hash of its contents";
    }
    const auto it = index.find(d.fileId);
    if (problem == nullptr && it == index.end()) continue;  // a file outside the recovery set
    if (problem == nullptr && slicesOf(d.length, set.m_sliceSize) > kMaxInputSlices) {
      problem = "the file has more slices than a set can have";
    }
    if (problem != nullptr) {
      reject(p.path, p.offset, problem);
      continue;
    }
    SetFile& f = set.m_files[it->second];
    if (f.described) continue;  // every volume repeats the descriptions
    f.described = true;
    f.description = std::move(d);
    f.sliceCount = static_cast<std::uint32_t>(slicesOf(f.description.length, set.m_sliceSize));
  }
  for (const Stored& p : packets) {
    if (p.setId != set.m_setId || p.type != PacketType::SliceChecksums) continue;
    SliceChecksums sums;
    const char* problem = readSliceChecksums(p.body.data(), p.body.size(), sums);
    const auto it = problem == nullptr ? index.find(sums.fileId) : index.end();
    if (problem != nullptr || it == index.end()) {
      if (problem != nullptr) reject(p.path, p.offset, problem);
      continue;
    }
    SetFile& f = set.m_files[it->second];
    if (f.checksummed || !f.described) continue;
    if (sums.slices.size() != f.sliceCount) {
      reject(p.path, p.offset, "the slice checksums do not match the file's length");
      continue;
    }
    f.checksummed = true;
    f.slices = std::move(sums.slices);
  }
  return true;
}

bool RecoverySet::Parser::finish() {
  const auto mainIt = std::find_if(packets.begin(), packets.end(), [this](const Stored& p) {
    if (p.type != PacketType::Main) return false;
    MainPacket main;
    if (const char* problem = readMain(p.body.data(), p.body.size(), main)) {
      reject(p.path, p.offset, problem);
      return false;
    }
    if (md5Of(p.body.data(), p.body.size()) != p.setId) {
      reject(p.path, p.offset, "the set id is not the hash of the main packet");
      return false;
    }
    if (main.sliceSize > limits.maxSliceSize) {
      reject(p.path, p.offset, "the slice size is larger than this program handles");
      return false;
    }
    return true;
  });
  if (mainIt == packets.end()) {
    set.m_error = "no sound main packet: the files hold no recovery set this program can use";
    return false;
  }
  MainPacket main;
  readMain(mainIt->body.data(), mainIt->body.size(), main);
  set.m_setId = mainIt->setId;
  set.m_sliceSize = main.sliceSize;
  if (!takeFiles(main)) return false;

  set.m_complete = true;
  std::uint64_t next = 0;
  for (SetFile& f : set.m_files) {
    set.m_complete = set.m_complete && f.described;
    f.firstSlice = static_cast<std::uint32_t>(std::min<std::uint64_t>(next, kMaxInputSlices));
    next += f.sliceCount;
  }
  if (next > kMaxInputSlices) {
    set.m_error = "the set's files have more slices than a set can have";
    return false;
  }
  set.m_totalSlices = static_cast<std::uint32_t>(next);

  std::vector<bool> seen(65536, false);
  for (const Block& b : blocks) {
    if (b.setId != set.m_setId) continue;
    if (b.length != set.m_sliceSize) {
      reject(paths[b.file], b.offset, "the recovery slice's length differs from the set's slice size");
    } else if (b.exponent > 65535) {
      reject(paths[b.file], b.offset, "the recovery slice's exponent is out of range");
    } else if (!seen[b.exponent]) {
      seen[b.exponent] = true;
      set.m_blocks.push_back({b.exponent, paths[b.file], b.dataOffset});
    }
  }
  for (const Stored& p : packets) {
    if (p.setId != set.m_setId) reject(p.path, p.offset, "the packet belongs to another recovery set");
  }
  for (const Block& b : blocks) {
    if (b.setId != set.m_setId) reject(paths[b.file], b.offset, "the packet belongs to another recovery set");
  }
  return true;
}

bool RecoverySet::load(const std::vector<std::string>& paths, const ReadLimits& limits) {
  *this = RecoverySet{};
  Parser parser{*this, limits, {}, {}, {}, 0, 0};
  for (const std::string& path : paths) parser.readFile(path);
  const bool ok = parser.finish();
  if (parser.moreRejections > 0) {
    m_rejections.push_back({"", 0, "and " + std::to_string(parser.moreRejections) + " more problems"});
  }
  if (!ok) {
    m_files.clear();
    m_blocks.clear();
    m_complete = false;
    m_totalSlices = 0;
  }
  return ok;
}

std::vector<std::string> pathsInFolder(const RecoverySet& set, const std::string& folder) {
  std::vector<std::string> out;
  const std::string prefix =
      folder.empty() || folder.back() == '/' || folder.back() == '\\' ? folder : folder + "/";
  for (const SetFile& f : set.files()) {
    out.push_back(f.described && plainName(f.description.name) ? prefix + f.description.name : "");
  }
  return out;
}

namespace {

// Hashes the file slice by slice (the last one padded with zeros), marking each against
// its checksum, and the whole file against its MD5.
FileCheck checkOne(const SetFile& f, std::uint64_t sliceSize, const std::string& path,
                   const Steering& steering, bool& stopped) {
  FileCheck check;
  check.path = path;
  check.sliceGood.assign(f.sliceCount, false);
  if (!f.described) {
    check.state = FileState::Unknown;
    check.note = "the set has lost this file's description";
    return check;
  }
  if (path.empty()) {
    check.note = "the name " + f.description.name + " is not a plain file name";
    return check;
  }
  platform::IoError err;
  platform::File in = platform::File::open(path, platform::File::Mode::Read, err);
  const std::int64_t size = in.isOpen() ? in.size(err) : -1;
  if (size < 0) {
    check.note = err.message();
    return check;
  }
  const std::uint64_t length = f.description.length;
  Md5 whole;
  Bytes chunk(static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunk, sliceSize)));
  std::uint64_t at = 0;
  const std::uint64_t have = std::min<std::uint64_t>(static_cast<std::uint64_t>(size), length);
  for (std::uint32_t s = 0; s < f.sliceCount && at < have; ++s) {
    if (steering.stop()) {
      stopped = true;
      check.note = "stopped";
      return check;
    }
    Md5 md5;
    std::uint32_t crc = zip::kCrcStart;
    const std::uint64_t sliceEnd = std::min(at + sliceSize, length);
    for (std::uint64_t done = 0; done < sliceSize;) {
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), sliceSize - done));
      const std::uint64_t pos = at + done;
      const std::size_t real = pos >= std::min(sliceEnd, have) ? 0
          : static_cast<std::size_t>(std::min<std::uint64_t>(n, std::min(sliceEnd, have) - pos));
      if (real > 0 && !in.readExact(chunk.data(), static_cast<std::int64_t>(real), err)) {
        check.note = err.message();
        return check;
      }
      if (real > 0) {
        whole.update(chunk.data(), real);
        steering.advance(real);
      }
      std::memset(chunk.data() + real, 0, n - real);
      md5.update(chunk.data(), n);
      crc = zip::updateCrc(crc, chunk.data(), n);
      done += n;
    }
    const bool complete = sliceEnd <= have;
    const SliceChecksum sum{md5.finish(), ~crc};
    const bool good = complete && (!f.checksummed || f.slices[s] == sum);
    check.sliceGood[s] = good && f.checksummed;
    at = sliceEnd;
  }
  const bool lengthRight = static_cast<std::uint64_t>(size) == length;
  if (lengthRight && whole.finish() == f.description.hashFull) {
    check.sliceGood.assign(f.sliceCount, true);
    check.state = FileState::Good;
  } else {
    check.state = FileState::Damaged;
  }
  check.goodSlices = static_cast<std::uint32_t>(std::count(check.sliceGood.begin(), check.sliceGood.end(), true));
  return check;
}

}  // namespace

SetCheck checkFiles(const RecoverySet& set, const std::vector<std::string>& paths,
                    const Steering& steering) {
  SetCheck out;
  std::size_t bad = 0;
  bool unknown = false;
  for (std::size_t i = 0; i < set.files().size(); ++i) {
    const SetFile& f = set.files()[i];
    out.files.push_back(checkOne(f, set.sliceSize(), i < paths.size() ? paths[i] : "", steering,
                                 out.stopped));
    if (out.stopped) {
      out.summary = "stopped before every file was checked";
      return out;
    }
    const FileCheck& c = out.files.back();
    if (c.state == FileState::Good) continue;
    ++bad;
    unknown = unknown || c.state == FileState::Unknown;
    out.lostSlices += f.sliceCount - c.goodSlices;
  }
  out.blocks = static_cast<std::uint32_t>(set.blocks().size());
  out.allGood = bad == 0 && set.complete();
  out.repairable = set.complete() && !unknown && out.lostSlices <= out.blocks;
  out.summary = std::to_string(bad) + " of " + std::to_string(set.files().size()) +
                " files damaged or missing; " + std::to_string(out.lostSlices) + " slices lost, " +
                std::to_string(out.blocks) + " recovery slices: ";
  if (out.allGood) {
    out.summary += "nothing to rebuild";
  } else if (!set.complete()) {
    out.summary += "cannot be rebuilt (the set has lost a file description)";
  } else {
    out.summary += out.repairable ? "can be rebuilt" : "cannot be rebuilt (too few recovery slices)";
  }
  return out;
}

}  // namespace par2
