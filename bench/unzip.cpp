// Driver of bench/unzip.sh.
//   bench_unzip corpus OUTPUT MEBIBYTES   a deterministic file of word-like text with
//                                         stretches of noise, so that Shrink has strings to
//                                         find and its table fills and clears many times
//   bench_unzip test ARCHIVE              decodes every member in memory and checks its
//                                         CRC-32, as `unzip -t` and `7z t` do
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zip/bit_reader.h"
#include "zip/crc32.h"
#include "zip/explode.h"
#include "zip/unreduce.h"
#include "zip/unshrink.h"
#include "zip/zip_format.h"

namespace {

int makeCorpus(const char* path, std::uint64_t size) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return 1;
  static const char* const kWords[] = {
      "part",   "file",   "join",  "split", "archive", "member", "the", "of",  "and",
      "movie",  "folder", "bytes", "size",  "number",  "copy",   "a",   "to",  "in",
      "shrink", "table",  "code",  "clear", "window",  "tree",   "is",  "for", "with"};
  const std::size_t wordCount = sizeof kWords / sizeof kWords[0];
  std::uint32_t x = 12345;
  auto next = [&x] {
    x = x * 1664525u + 1013904223u;
    return x >> 8;
  };
  std::vector<char> block;
  std::uint64_t written = 0;
  while (written < size) {
    block.clear();
    if (next() % 10 == 0) {
      for (int i = 0; i < 2048; ++i) block.push_back(static_cast<char>(next()));
    } else {
      while (block.size() < 8192) {
        const std::string word = kWords[next() % wordCount];
        block.insert(block.end(), word.begin(), word.end());
        block.push_back(next() % 12 == 0 ? '\n' : ' ');
      }
    }
    const std::uint64_t n = std::min<std::uint64_t>(block.size(), size - written);
    if (std::fwrite(block.data(), 1, n, out) != n) return 1;
    written += n;
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

class CrcSink : public zip::ByteSink {
 public:
  void write(const std::uint8_t* data, std::size_t n) override {
    crc = zip::updateCrc(crc, data, n);
    total += n;
  }
  std::uint32_t crc = zip::kCrcStart;
  std::uint64_t total = 0;
};

int testArchive(const char* path) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return 1;
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[1 << 16];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, in)) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  std::fclose(in);
  const zip::DecodeReport report = [](const std::string& m) {
    std::fprintf(stderr, "%s\n", m.c_str());
  };
  std::size_t pos = 0;
  int bad = 0;
  while (pos + zip::kLocalHeaderSize <= bytes.size()) {
    const zip::LocalHeader h = zip::readLocalHeader(&bytes[pos]);
    if (h.signature != zip::kLocalHeaderSignature) break;
    const std::size_t data = pos + zip::kLocalHeaderSize + h.nameLength + h.extraLength;
    if (data + h.compressedSize > bytes.size()) return 1;
    zip::MemorySource source(&bytes[data], h.compressedSize);
    zip::BitReader bits(source);
    CrcSink sink;
    if (h.method == zip::kMethodStored) {
      sink.write(&bytes[data], h.compressedSize);
    } else if (h.method == zip::kMethodShrunk) {
      zip::Unshrink(bits, sink, h.uncompressedSize, report);
    } else if (h.method >= 2 && h.method <= 5) {
      zip::Unreduce(bits, sink, h.method - 1, h.uncompressedSize, report);
    } else if (h.method == zip::kMethodImploded) {
      zip::Explode(bits, sink, h.flags, h.uncompressedSize, report);
    }
    if (~sink.crc != h.crc) ++bad;
    pos = data + h.compressedSize;
  }
  if (bad > 0) std::fprintf(stderr, "%d members with a bad CRC\n", bad);
  return bad == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "corpus") == 0) {
    return makeCorpus(argv[2], std::strtoull(argv[3], nullptr, 10) << 20);
  }
  if (argc == 3 && std::strcmp(argv[1], "test") == 0) return testArchive(argv[2]);
  std::fprintf(stderr, "usage: bench_unzip corpus OUTPUT MEBIBYTES | bench_unzip test ARCHIVE\n");
  return 2;
}
