// Helpers of the archive-writer tests.
#include "zipwriter/zipwriter_util.h"

#include <algorithm>
#include <filesystem>
#include <random>

namespace zipwriter_test {

std::string testdataDir() {
  const std::string dir = std::string(SUNDRIX_TESTDATA) + "/zip/";
  return exists(dir + "sh_shrink_expected.zip") ? dir : std::string();
}

Bytes randomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

Bytes mixedBytes(std::size_t n, std::uint32_t seed) {
  static const char* const kWords[] = {"the ",  "split ", "part ", "archive ", "of ", "file ",
                                       "data ", "and ",   "zip ",  "join ",    "\n",  "1234 "};
  std::mt19937 rng(seed);
  Bytes b;
  b.reserve(n);
  while (b.size() < n) {
    const std::size_t chunk = std::min<std::size_t>(4096, n - b.size());
    const auto kind = rng() % 3;
    for (std::size_t i = 0; i < chunk;) {
      if (kind == 0) {
        const char* w = kWords[rng() % std::size(kWords)];
        for (; *w && i < chunk; ++w, ++i) b.push_back(static_cast<std::uint8_t>(*w));
      } else if (kind == 1) {
        const auto value = static_cast<std::uint8_t>(rng());
        for (std::size_t run = rng() % 200; run > 0 && i < chunk; --run, ++i) b.push_back(value);
      } else {
        b.push_back(static_cast<std::uint8_t>(rng()));
        ++i;
      }
    }
  }
  return b;
}

Archive parseArchive(const Bytes& bytes) {
  Archive a;
  std::size_t pos = 0;
  while (pos + 4 <= bytes.size() && zip::get32(&bytes[pos]) == zip::kLocalHeaderSignature) {
    if (pos + zip::kLocalHeaderSize > bytes.size()) {
      a.error = "local header cut short";
      return a;
    }
    Member m;
    m.localOffset = static_cast<std::uint32_t>(pos);
    m.local = zip::readLocalHeader(&bytes[pos]);
    pos += zip::kLocalHeaderSize;
    const std::size_t dataEnd =
        pos + m.local.nameLength + m.local.extraLength + m.local.compressedSize;
    if (dataEnd > bytes.size()) {
      a.error = "member data runs past the end";
      return a;
    }
    m.name.assign(bytes.begin() + static_cast<long>(pos),
                  bytes.begin() + static_cast<long>(pos + m.local.nameLength));
    pos += std::size_t{m.local.nameLength} + m.local.extraLength;
    m.data.assign(bytes.begin() + static_cast<long>(pos),
                  bytes.begin() + static_cast<long>(dataEnd));
    pos = dataEnd;
    a.members.push_back(std::move(m));
  }
  a.localEnd = pos;
  for (Member& m : a.members) {
    if (pos + zip::kCentralHeaderSize > bytes.size() ||
        zip::get32(&bytes[pos]) != zip::kCentralHeaderSignature) {
      a.error = "central directory header missing";
      return a;
    }
    m.central = zip::readCentralHeader(&bytes[pos]);
    pos += zip::kCentralHeaderSize;
    if (pos + m.central.nameLength > bytes.size()) {
      a.error = "central name cut short";
      return a;
    }
    m.centralName.assign(bytes.begin() + static_cast<long>(pos),
                         bytes.begin() + static_cast<long>(pos + m.central.nameLength));
    pos += std::size_t{m.central.nameLength} + m.central.extraLength + m.central.commentLength;
  }
  if (pos + zip::kEndRecordSize != bytes.size() ||
      zip::get32(&bytes[pos]) != zip::kEndRecordSignature) {
    a.error = "end record missing or not at the very end";
    return a;
  }
  a.end = zip::readEndRecord(&bytes[pos]);
  return a;
}

std::vector<int> readCodes(const Bytes& stream) {
  std::vector<int> codes;
  std::uint64_t buf = 0;
  int bits = 0;
  int width = 9;
  std::size_t pos = 0;
  bool control = false;
  for (;;) {
    while (bits < width && pos < stream.size()) {
      buf |= std::uint64_t{stream[pos++]} << static_cast<unsigned>(bits);
      bits += 8;
    }
    if (bits < width) break;
    const int code = static_cast<int>(buf & ((1u << width) - 1));
    buf >>= width;
    bits -= width;
    codes.push_back(code);
    if (control && code == 1) ++width;
    control = !control && code == 256;
  }
  return codes;
}

bool haveTool(const std::string& name) {
  return runCommand("command -v " + name + " >/dev/null 2>&1") == 0;
}

std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

}  // namespace zipwriter_test
