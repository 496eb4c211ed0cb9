// The reader against hostile and damaged recovery files: each bad packet is skipped with
// its own reason while the sound packets beside it still make the set; every truncation
// of an index either loads what is whole or says where the file was cut.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "par2/par2_format.h"
#include "par2/recovery_creator.h"
#include "par2/recovery_set.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using Bytes = std::vector<std::uint8_t>;

struct Made {
  std::vector<std::string> parts;
  std::string index;
  std::string volume;  // the one volume, a recovery slice and a copy of the description
  Bytes indexBytes;
};

Made makeSet(const TempDir& dir) {
  Made m;
  for (const char* name : {"p.001", "p.002"}) {
    m.parts.push_back(dir.file(name));
    testing_support::writeFile(m.parts.back(), testing_support::makeBytes(5000, 2));
  }
  testing_support::writeFile(m.parts[1], testing_support::makeBytes(3000, 3));
  std::vector<std::string> written;
  platform::IoError err;
  EXPECT_TRUE(par2::createRecoveryFiles(m.parts, {5000, 1}, dir.file("p"), written, err)) << err.message();
  m.index = written.at(0);
  m.volume = written.at(1);
  m.indexBytes = testing_support::readFile(m.index);
  return m;
}

// The offsets of the packets in a file's bytes.
std::vector<std::size_t> packetStarts(const Bytes& b) {
  std::vector<std::size_t> out;
  for (std::size_t at = 0; at + 64 <= b.size(); at += static_cast<std::size_t>(par2::get64(&b[at + 8]))) {
    out.push_back(at);
  }
  return out;
}

void put64At(Bytes& b, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

par2::Md5Hash setIdOf(const Bytes& index) {
  par2::Md5Hash id{};
  std::memcpy(id.data(), &index[32], 16);
  return id;
}

struct Row {
  const char* name;
  // Writes the hostile file (loaded first, before the sound volume) from the index's bytes.
  std::function<Bytes(const Bytes& index)> hostile;
  const char* reason;
  par2::ReadLimits limits = {};
};

std::vector<Row> hostileRows() {
  par2::ReadLimits tinyPackets;
  tinyPackets.maxDescriptionPacket = 48;  // the main packet fits, a description does not
  par2::ReadLimits fewPackets;
  fewPackets.maxPackets = 3;
  return {
      {"length not a multiple of 4", [](const Bytes& b) { Bytes h = b; put64At(h, 8, par2::get64(&h[8]) + 2); return h; },
       "multiple of 4"},
      {"length below a header", [](const Bytes& b) { Bytes h = b; put64At(h, 8, 60); return h; }, "multiple of 4"},
      {"length past the end", [](const Bytes& b) {
         Bytes h = b;
         put64At(h, packetStarts(h).back() + 8, 1ull << 62);
         return h;
       }, "runs past the end"},
      {"a changed byte", [](const Bytes& b) { Bytes h = b; h[packetStarts(h)[1] + 100] ^= 1; return h; },
       "MD5 does not match"},
      {"a packet of another set", [](const Bytes& b) {
         par2::Md5Hash other = setIdOf(b);
         other[0] ^= 1;
         const std::size_t at = packetStarts(b)[1];
         return par2::makePacket(par2::PacketType::FileDescription, other,
                                 Bytes(b.begin() + static_cast<std::ptrdiff_t>(at + 64),
                                       b.begin() + static_cast<std::ptrdiff_t>(packetStarts(b)[2])));
       }, "another recovery set"},
      {"a main packet whose set id is not its hash", [](const Bytes& b) {
         par2::MainPacket main;
         main.sliceSize = 5000;
         return par2::makePacket(par2::PacketType::Main, setIdOf(b), par2::writeMain(main));
       }, "set id is not the hash"},
      {"slice checksums of the wrong count", [](const Bytes& b) {
         // The index's own checksum packet for the first file, one slice longer.
         const std::size_t at = packetStarts(b)[2];
         par2::SliceChecksums sums;
         par2::readSliceChecksums(&b[at + 64], static_cast<std::size_t>(par2::get64(&b[at + 8])) - 64, sums);
         sums.slices.push_back({});
         return par2::makePacket(par2::PacketType::SliceChecksums, setIdOf(b), par2::writeSliceChecksums(sums));
       }, "do not match the file's length"},
      {"a description whose id is not its hash", [](const Bytes& b) {
         const std::size_t at = packetStarts(b)[1];
         par2::FileDescription d;
         par2::readFileDescription(&b[at + 64], static_cast<std::size_t>(par2::get64(&b[at + 8])) - 64, d);
         d.length += 1;
         return par2::makePacket(par2::PacketType::FileDescription, setIdOf(b), par2::writeFileDescription(d));
       }, "id is not the hash"},
      {"a description packet longer than allowed", [](const Bytes& b) { return b; }, "longer than a packet", tinyPackets},
      {"more packets than allowed", [](const Bytes& b) { return b; }, "more packets", fewPackets},
      {"forged headers, each claiming the rest of the file", [](const Bytes&) {
         constexpr std::size_t kCount = 4000;
         Bytes h(64 * kCount, 0);
         for (std::size_t i = 0; i < kCount; ++i) {
           std::copy(par2::kMagic.begin(), par2::kMagic.end(), h.begin() + static_cast<std::ptrdiff_t>(64 * i));
           put64At(h, 64 * i + 8, 64 * (kCount - i));
         }
         return h;
       }, "too many damaged packets"},
      {"cut inside a header", [](const Bytes& b) { return Bytes(b.begin(), b.begin() + 40); }, "cut short"},
      {"cut inside a packet", [](const Bytes& b) { return Bytes(b.begin(), b.begin() + 100); }, "runs past the end"},
  };
}

TEST(RecoveryReader, EachHostilePacketIsRejectedAndTheSoundOnesStillMakeTheSet) {
  for (const Row& row : hostileRows()) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const Made m = makeSet(dir);
    testing_support::writeFile(dir.file("hostile.par2"), row.hostile(m.indexBytes));
    par2::RecoverySet set;
    ASSERT_TRUE(set.load({dir.file("hostile.par2"), m.volume}, row.limits)) << set.error();
    ASSERT_FALSE(set.rejections().empty());
    bool found = false;
    std::string all;
    for (const par2::Rejection& r : set.rejections()) {
      found = found || r.reason.find(row.reason) != std::string::npos;
      all += r.message() + "\n";
    }
    EXPECT_TRUE(found) << all;
    // Limits this low keep too little to describe the set.
    if (row.limits.maxPackets < 10 || row.limits.maxDescriptionPacket < 1000) continue;
    EXPECT_TRUE(set.complete());
    const par2::SetCheck check = par2::checkFiles(set, par2::pathsInFolder(set, dir.path()));
    EXPECT_TRUE(check.allGood) << check.summary;
  }
}

TEST(RecoveryReader, FilesWithoutASoundMainPacketMakeNoSet) {
  struct Case { const char* name; std::function<Bytes(const Bytes&)> bytes; const char* error; };
  const std::vector<Case> cases = {
      {"empty", [](const Bytes&) { return Bytes{}; }, "no sound main packet"},
      {"noise", [](const Bytes&) { return testing_support::makeBytes(100000, 9); }, "no sound main packet"},
      {"magic and nothing", [](const Bytes&) { return Bytes(par2::kMagic.begin(), par2::kMagic.end()); },
       "no sound main packet"},
      {"slice size 0", [](const Bytes&) {
         const Bytes body = par2::writeMain({});
         return par2::makePacket(par2::PacketType::Main, par2::md5Of(body.data(), body.size()), body);
       }, "no sound main packet"},
      {"a file listed twice", [](const Bytes&) {
         par2::MainPacket main;
         main.sliceSize = 4;
         main.recoveryFiles = {par2::Md5Hash{}, par2::Md5Hash{}};
         const Bytes body = par2::writeMain(main);
         return par2::makePacket(par2::PacketType::Main, par2::md5Of(body.data(), body.size()), body);
       }, "lists a file twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const Made m = makeSet(dir);
    testing_support::writeFile(dir.file("x.par2"), c.bytes(m.indexBytes));
    par2::RecoverySet set;
    EXPECT_FALSE(set.load({dir.file("x.par2"), dir.file("absent.par2")}));
    EXPECT_NE(set.error().find(c.error), std::string::npos) << set.error();
    EXPECT_TRUE(set.files().empty());
    EXPECT_FALSE(set.rejections().empty());  // at least the absent file
  }
}

TEST(RecoveryReader, EveryTruncationOfAnIndexLoadsWhatIsWholeOrSaysItWasCut) {
  TempDir dir;
  const Made m = makeSet(dir);
  const std::vector<std::size_t> starts = packetStarts(m.indexBytes);
  for (std::size_t n = 0; n <= m.indexBytes.size(); ++n) {
    SCOPED_TRACE(n);
    testing_support::writeFile(dir.file("cut.par2"), Bytes(m.indexBytes.begin(), m.indexBytes.begin() + static_cast<std::ptrdiff_t>(n)));
    par2::RecoverySet set;
    const bool loaded = set.load({dir.file("cut.par2")});
    const bool atBoundary = n == m.indexBytes.size() || std::find(starts.begin(), starts.end(), n) != starts.end();
    // A cut within a packet's first 8 bytes leaves no magic to report.
    const std::size_t intoPacket = n - *std::prev(std::upper_bound(starts.begin(), starts.end(), n));
    if (!atBoundary && intoPacket >= 8) {
      EXPECT_FALSE(set.rejections().empty());
    }
    if (atBoundary) {
      EXPECT_TRUE(set.rejections().empty());
    }
    EXPECT_EQ(loaded, n >= starts[1]);
    // Main, then each file's description and checksums, then the creator.
    EXPECT_EQ(set.complete(), n >= starts[4]);
  }
}

}  // namespace
