// Making recovery files from files pushed in slice by slice.
#include "par2/recovery_creator.h"

#include <algorithm>
#include <cstring>

#include "par2/gf16.h"
#include "par2/region_accumulator.h"
#include "zip/crc32.h"

namespace par2 {
namespace {

constexpr std::uint32_t kMaxRecoveryBlocks = 65535;
// Large slices reach the recovery data in pieces of this size.
constexpr std::size_t kPiece = 1 << 20;

struct FileState {
  SourceFile source;
  FileDescription description;
  std::uint32_t firstSlice = 0;  // global index of its first slice
  bool oneSlice = false;
  std::uint64_t fed = 0;
  Md5 fileHash;
  Md5 headHash;
  Md5 sliceHash;                 // of the slice being fed
  std::uint32_t sliceCrc = zip::kCrcStart;
  std::size_t sliceFill = 0;
  Bytes spill;                   // the slice being fed while another file fills the batch slot
  std::vector<SliceChecksum> checksums;
};

std::uint64_t slicesOf(std::uint64_t size, std::uint64_t sliceSize) {
  return (size + sliceSize - 1) / sliceSize;
}

bool fail(platform::IoError& err, const std::string& operation, const std::string& path,
          const std::string& detail) {
  err = platform::IoError{operation, path, 0, detail};
  return false;
}

bool hasFolder(const std::string& name) {
  return name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
         name == "." || name == "..";
}

bool writeFile(const std::string& path, const std::vector<const Bytes*>& chunks,
               platform::IoError& err) {
  platform::File out = platform::File::open(path, platform::File::Mode::CreateNew, err);
  if (!out.isOpen()) return false;
  for (const Bytes* chunk : chunks) {
    if (!out.writeAll(chunk->data(), static_cast<std::int64_t>(chunk->size()), err)) return false;
  }
  return out.close(err);
}

}  // namespace

bool readHeadHash(platform::File& in, std::uint64_t size, Md5Hash& hash, platform::IoError& err) {
  Bytes head(static_cast<std::size_t>(std::min(size, kHeadSize)));
  if (!in.readExact(head.data(), static_cast<std::int64_t>(head.size()), err)) return false;
  hash = md5Of(head.data(), head.size());
  return true;
}

std::uint64_t sliceSizeForParts(std::uint64_t largestPart) {
  return std::max<std::uint64_t>(4, (largestPart + 3) / 4 * 4);
}

std::vector<VolumeSpan> volumeLayout(std::uint32_t firstExponent, std::uint32_t blocks) {
  std::vector<VolumeSpan> spans;
  std::uint32_t next = 1;
  for (std::uint32_t done = 0; done < blocks;) {
    const std::uint32_t count = std::min(next, blocks - done);
    spans.push_back({firstExponent + done, count});
    done += count;
    if (next < (1u << 15)) next *= 2;
  }
  return spans;
}

std::string volumeName(const std::string& basePath, const VolumeSpan& span, std::uint32_t widest) {
  const int width = std::max<int>(2, static_cast<int>(std::to_string(widest).size()));
  auto padded = [width](std::uint32_t v) {
    std::string s = std::to_string(v);
    return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(s.size()))), '0') + s;
  };
  return basePath + ".vol" + padded(span.first) + "+" + padded(span.count) + ".par2";
}

struct RecoveryCreator::State {
  CreateOptions options;
  std::vector<FileState> files;          // in the caller's order
  std::vector<std::size_t> mainOrder;    // indexes into files, in the main packet's order
  std::unique_ptr<RegionAccumulator> accumulator;
  std::vector<Gf> factors;
  std::size_t slotOwner = kNobody;  // the file whose slice is in the accumulator's slot

  static constexpr std::size_t kNobody = static_cast<std::size_t>(-1);
  void feed(std::size_t index, const std::uint8_t* data, std::size_t n);
  void addPiece(FileState& f);
  const std::vector<Gf>& factorsFor(const FileState& f);
  void completeSlice(std::size_t index);
  Bytes critical(Md5Hash& setId) const;
};

// Part of one slice: hashed on the way, and kept in the accumulator's slot (or in the
// file's own buffer while another file's slice is in the slot). A slice too large for a
// batch goes to the accumulator in pieces of the file's buffer instead.
void RecoveryCreator::State::feed(std::size_t index, const std::uint8_t* data, std::size_t n) {
  FileState& f = files[index];
  if (!f.oneSlice) f.sliceHash.update(data, n);
  f.sliceCrc = zip::updateCrc(f.sliceCrc, data, n);
  const std::size_t at = f.sliceFill;
  f.sliceFill += n;
  if (accumulator && !accumulator->batches()) {
    f.spill.insert(f.spill.end(), data, data + n);
    if (f.spill.size() >= kPiece) addPiece(f);
  } else if (accumulator) {
    if (slotOwner == index || (slotOwner == kNobody && f.spill.empty())) {
      slotOwner = index;
      std::memcpy(accumulator->slot() + at, data, n);
    } else {
      f.spill.insert(f.spill.end(), data, data + n);
    }
  }
}

// The whole words of the file's buffer go to the accumulator; an odd byte waits for its pair.
void RecoveryCreator::State::addPiece(FileState& f) {
  const std::size_t whole = f.spill.size() / 2 * 2;
  const std::size_t offset = f.sliceFill - f.spill.size();
  accumulator->addPiece(offset, f.spill.data(), whole, factorsFor(f));
  f.spill.erase(f.spill.begin(), f.spill.begin() + static_cast<std::ptrdiff_t>(whole));
}

const std::vector<Gf>& RecoveryCreator::State::factorsFor(const FileState& f) {
  const Gf constant = inputConstant(f.firstSlice + static_cast<std::uint32_t>(f.checksums.size()));
  for (std::size_t k = 0; k < factors.size(); ++k) {
    factors[k] = gfPow(constant, options.firstExponent + static_cast<std::uint32_t>(k));
  }
  return factors;
}

void RecoveryCreator::State::completeSlice(std::size_t index) {
  FileState& f = files[index];
  const std::size_t sliceSize = static_cast<std::size_t>(options.sliceSize);
  // Format note: the last slice of a file is hashed and used as if padded with zeros.
  static const std::uint8_t zeros[4096] = {};
  // A file of one slice: its slice hash is its file hash over the padding, so the bytes
  // need no second pass through MD5.
  Md5 md5 = f.oneSlice ? f.fileHash.clone() : std::move(f.sliceHash);
  for (std::size_t left = sliceSize - f.sliceFill; left > 0;) {
    const std::size_t n = std::min(left, sizeof zeros);
    md5.update(zeros, n);
    f.sliceCrc = zip::updateCrc(f.sliceCrc, zeros, n);
    left -= n;
  }
  const SliceChecksum sum{md5.finish(), ~f.sliceCrc};
  if (!f.oneSlice) f.sliceHash = std::move(md5);
  if (accumulator && !accumulator->batches()) {
    // The padding adds nothing; only an odd last byte needs its zero partner.
    if (f.spill.size() % 2 != 0) {
      f.spill.push_back(0);
      ++f.sliceFill;
    }
    addPiece(f);
  } else if (accumulator) {
    const std::vector<Gf>& sliceFactors = factorsFor(f);
    if (slotOwner == index) {
      std::memset(accumulator->slot() + f.sliceFill, 0, sliceSize - f.sliceFill);
      accumulator->commit(sliceFactors);
      slotOwner = kNobody;
    } else {
      if (slotOwner != kNobody) {
        // The slot holds another file's partial slice: that file goes on in its own buffer.
        FileState& owner = files[slotOwner];
        owner.spill.assign(accumulator->slot(), accumulator->slot() + owner.sliceFill);
        slotOwner = kNobody;
      }
      f.spill.resize(sliceSize, 0);
      accumulator->add(f.spill.data(), sliceFactors);
      Bytes().swap(f.spill);
    }
  }
  f.checksums.push_back(sum);
  f.sliceCrc = zip::kCrcStart;
  f.sliceFill = 0;
}

RecoveryCreator::RecoveryCreator() : m_state(std::make_unique<State>()) {}
RecoveryCreator::~RecoveryCreator() = default;

bool RecoveryCreator::start(std::vector<SourceFile> files, const CreateOptions& options,
                            platform::IoError& err) {
  State& s = *m_state;
  s = State{};
  s.options = options;
  if (options.sliceSize == 0 || options.sliceSize % 4 != 0) {
    return fail(err, "create recovery data for", "", "the slice size must be a positive multiple of 4");
  }
  if (options.recoveryBlocks > kMaxRecoveryBlocks ||
      options.firstExponent > kMaxRecoveryBlocks - options.recoveryBlocks) {
    return fail(err, "create recovery data for", "", "a set has at most 65535 recovery slices");
  }
  std::uint64_t slices = 0;
  for (SourceFile& file : files) {
    if (file.name.empty() || hasFolder(file.name)) {
      return fail(err, "create recovery data for", file.name, "the name must be a file's own name");
    }
    FileState f;
    f.description.hash16k = file.hash16k;
    f.description.length = file.size;
    f.description.name = file.name;
    f.description.fileId = fileIdOf(f.description.hash16k, file.size, file.name);
    slices += slicesOf(file.size, options.sliceSize);
    f.oneSlice = slicesOf(file.size, options.sliceSize) == 1;
    f.source = std::move(file);
    s.files.push_back(std::move(f));
  }
  if (slices > kMaxInputSlices) {
    return fail(err, "create recovery data for", "", "the slice size makes more than 32768 slices");
  }
  // An empty file has no slices to protect and other programs leave it out of the set:
  // it is fed (nothing) like the others but not described.
  for (std::size_t i = 0; i < s.files.size(); ++i) {
    if (s.files[i].source.size > 0) s.mainOrder.push_back(i);
  }
  std::sort(s.mainOrder.begin(), s.mainOrder.end(), [&s](std::size_t a, std::size_t b) {
    return fileIdLess(s.files[a].description.fileId, s.files[b].description.fileId);
  });
  for (std::size_t i = 1; i < s.mainOrder.size(); ++i) {
    if (s.files[s.mainOrder[i]].description.fileId == s.files[s.mainOrder[i - 1]].description.fileId) {
      return fail(err, "create recovery data for", s.files[s.mainOrder[i]].source.name,
                  "the set names this file twice");
    }
  }
  std::uint32_t next = 0;
  for (std::size_t index : s.mainOrder) {
    s.files[index].firstSlice = next;
    next += static_cast<std::uint32_t>(slicesOf(s.files[index].source.size, options.sliceSize));
  }
  if (options.recoveryBlocks > 0) {
    s.accumulator = std::make_unique<RegionAccumulator>(
        options.recoveryBlocks, static_cast<std::size_t>(options.sliceSize), options.threads);
    s.factors.resize(options.recoveryBlocks);
  }
  return true;
}

bool RecoveryCreator::addFileBytes(std::size_t fileIndex, const std::uint8_t* data, std::size_t n,
                                   platform::IoError& err) {
  State& s = *m_state;
  if (fileIndex >= s.files.size()) {
    return fail(err, "create recovery data for", "", "no such file in the set");
  }
  FileState& f = s.files[fileIndex];
  if (n > f.source.size - f.fed) {
    return fail(err, "create recovery data for", f.source.name, "more bytes than the file's size");
  }
  if (f.fed < kHeadSize) f.headHash.update(data, static_cast<std::size_t>(std::min<std::uint64_t>(n, kHeadSize - f.fed)));
  f.fileHash.update(data, n);
  f.fed += n;
  const std::size_t sliceSize = static_cast<std::size_t>(s.options.sliceSize);
  while (n > 0) {
    const std::size_t take = std::min(n, sliceSize - f.sliceFill);
    s.feed(fileIndex, data, take);
    data += take;
    n -= take;
    if (f.sliceFill == sliceSize) s.completeSlice(fileIndex);
  }
  if (f.fed == f.source.size && f.sliceFill > 0) s.completeSlice(fileIndex);
  return true;
}

Bytes RecoveryCreator::State::critical(Md5Hash& setId) const {
  MainPacket main;
  main.sliceSize = options.sliceSize;
  for (std::size_t index : mainOrder) main.recoveryFiles.push_back(files[index].description.fileId);
  const Bytes mainBody = writeMain(main);
  setId = md5Of(mainBody.data(), mainBody.size());
  Bytes out = makePacket(PacketType::Main, setId, mainBody);
  for (std::size_t index : mainOrder) {
    const FileState& f = files[index];
    const Bytes desc = makePacket(PacketType::FileDescription, setId, writeFileDescription(f.description));
    out.insert(out.end(), desc.begin(), desc.end());
    const Bytes sums = makePacket(PacketType::SliceChecksums, setId,
                                  writeSliceChecksums({f.description.fileId, f.checksums}));
    out.insert(out.end(), sums.begin(), sums.end());
  }
  const Bytes creator = makePacket(PacketType::Creator, setId, writeCreator(options.creator));
  out.insert(out.end(), creator.begin(), creator.end());
  return out;
}

bool RecoveryCreator::finish(const std::string& basePath, std::vector<std::string>& written,
                             platform::IoError& err) {
  State& s = *m_state;
  for (FileState& f : s.files) {
    if (f.fed != f.source.size) {
      return fail(err, "create recovery data for", f.source.name, "the file was not read to its end");
    }
    if (f.headHash.finish() != f.description.hash16k) {
      return fail(err, "create recovery data for", f.source.name, "the file's first bytes changed while it was read");
    }
    f.description.hashFull = f.fileHash.finish();
  }
  if (s.accumulator) s.accumulator->flush();
  Md5Hash setId{};
  const Bytes critical = s.critical(setId);
  const std::size_t first = written.size();
  auto undo = [&] {
    platform::IoError ignored;
    for (std::size_t i = first; i < written.size(); ++i) platform::removeFile(written[i], ignored);
    written.resize(first);
    return false;
  };
  const std::string indexPath = basePath + ".par2";
  written.push_back(indexPath);
  if (!writeFile(indexPath, {&critical}, err)) return undo();

  const std::vector<VolumeSpan> spans = volumeLayout(s.options.firstExponent, s.options.recoveryBlocks);
  const std::uint32_t widest = spans.empty() ? 0 : std::max(spans.back().first, spans.back().count);
  const std::size_t sliceSize = static_cast<std::size_t>(s.options.sliceSize);
  for (const VolumeSpan& span : spans) {
    const std::string path = volumeName(basePath, span, widest);
    written.push_back(path);
    platform::File out = platform::File::open(path, platform::File::Mode::CreateNew, err);
    if (!out.isOpen()) return undo();
    for (std::uint32_t e = span.first; e < span.first + span.count; ++e) {
      const std::uint8_t* data = s.accumulator->output(e - s.options.firstExponent);
      Bytes exponent;
      put32(exponent, e);
      Md5 md5;
      startPacketHash(md5, PacketType::RecoverySlice, setId);
      md5.update(exponent.data(), exponent.size());
      md5.update(data, sliceSize);
      Bytes header = makeHeader(PacketType::RecoverySlice, setId, kRecoveryPrefix + sliceSize, md5.finish());
      header.insert(header.end(), exponent.begin(), exponent.end());
      if (!out.writeAll(header.data(), static_cast<std::int64_t>(header.size()), err) ||
          !out.writeAll(data, static_cast<std::int64_t>(sliceSize), err)) {
        return undo();
      }
    }
    if (!out.writeAll(critical.data(), static_cast<std::int64_t>(critical.size()), err) ||
        !out.close(err)) {
      return undo();
    }
  }
  return true;
}

bool createRecoveryFiles(const std::vector<std::string>& paths, const CreateOptions& options,
                         const std::string& basePath, std::vector<std::string>& written,
                         platform::IoError& err) {
  std::vector<SourceFile> files;
  std::vector<platform::File> opened;
  for (const std::string& path : paths) {
    platform::File in = platform::File::open(path, platform::File::Mode::Read, err);
    if (!in.isOpen()) return false;
    const std::int64_t size = in.size(err);
    if (size < 0) return false;
    SourceFile file;
    file.name = path.substr(path.find_last_of("/\\") + 1);
    file.size = static_cast<std::uint64_t>(size);
    if (!readHeadHash(in, file.size, file.hash16k, err) || !in.seek(0, err)) {
      return false;
    }
    files.push_back(std::move(file));
    opened.push_back(std::move(in));
  }
  RecoveryCreator creator;
  if (!creator.start(files, options, err)) return false;
  Bytes buffer(1 << 20);
  for (std::size_t i = 0; i < opened.size(); ++i) {
    for (std::uint64_t left = files[i].size; left > 0;) {
      const std::int64_t want = static_cast<std::int64_t>(std::min<std::uint64_t>(left, buffer.size()));
      if (!opened[i].readExact(buffer.data(), want, err)) return false;
      if (!creator.addFileBytes(i, buffer.data(), static_cast<std::size_t>(want), err)) return false;
      left -= static_cast<std::uint64_t>(want);
    }
  }
  return creator.finish(basePath, written, err);
}

}  // namespace par2
