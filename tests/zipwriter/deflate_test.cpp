// The Deflate method: the encoder's stream against zlib's own inflater and this program's
// readers, its independence from how the input arrives, damaged streams, and ZIP64 records
// as the readers take them.
#include <gtest/gtest.h>

#include <zlib.h>

#include "zip/deflate.h"
#include "zip/inflate.h"
#include "zip/single_member.h"
#include "zip/tunzip.h"
#include "zip/tzip.h"
#include "zipwriter/zipwriter_util.h"

using namespace zipwriter_test;

namespace {

class Collect : public zip::ByteSink {
 public:
  void write(const std::uint8_t* data, std::size_t n) override { bytes.insert(bytes.end(), data, data + n); }
  Bytes bytes;
};

Bytes deflateInRuns(const Bytes& data, std::size_t run) {
  Bytes out;
  zip::Deflater d([&out](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
  d.begin();
  for (std::size_t at = 0; at < data.size(); at += run) {
    d.add(data.data() + at, std::min(run, data.size() - at));
  }
  d.end();
  return out;
}

zip::DecodeResult inflateAll(const Bytes& stream, std::uint64_t size, Bytes& out,
                             std::size_t chunk = SIZE_MAX) {
  zip::MemorySource source(stream.data(), stream.size(), chunk);
  Collect sink;
  const zip::DecodeResult r = zip::Inflate(source, sink, size, [](const std::string&) {});
  out = sink.bytes;
  return r;
}

Bytes inputOf(const std::string& kind) {
  if (kind == "empty") return {};
  if (kind == "zeros") return Bytes(300000, 0);
  if (kind == "random") return randomBytes(200000, 5);
  return mixedBytes(2 << 20, 9);
}

}  // namespace

// The stream depends on the bytes alone, so a part packs to the same archive on any
// thread and with any read sizes; and each one inflates back to its input.
TEST(Deflater, SameStreamWhateverTheRunsAndInflatesBack) {
  for (const std::string kind : {"empty", "zeros", "random", "mixed"}) {
    SCOPED_TRACE(kind);
    const Bytes data = inputOf(kind);
    const Bytes whole = zip::deflateBytes(data);
    for (const std::size_t run : {std::size_t{1}, std::size_t{4093}, zip::kDeflateBlock + 1}) {
      if (run == 1 && data.size() > 300000) continue;  // a byte at a time is only slow
      EXPECT_TRUE(deflateInRuns(data, run) == whole) << "runs of " << run;
    }
    Bytes back;
    EXPECT_EQ(inflateAll(whole, data.size(), back, 1000), zip::DecodeResult::Done);
    EXPECT_TRUE(back == data);
    // zlib's own inflater agrees.
    Bytes check(data.size() + 1);
    z_stream z{};
    ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
    z.next_in = const_cast<Bytef*>(whole.data());
    z.avail_in = static_cast<uInt>(whole.size());
    z.next_out = check.data();
    z.avail_out = static_cast<uInt>(check.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(z.total_out, data.size());
    inflateEnd(&z);
  }
}

TEST(Deflater, NoiseIsStoredAndTextCompressed) {
  std::string text;
  for (int i = 0; text.size() < 70000; ++i) text += "line " + std::to_string(i) + " of a text\n";
  const Bytes textBytes(text.begin(), text.end());
  const Bytes noise = randomBytes(zip::kDeflateBlock, 3);
  EXPECT_TRUE(zip::looksIncompressible(noise.data(), noise.size()));
  EXPECT_FALSE(zip::looksIncompressible(textBytes.data(), textBytes.size()));
  EXPECT_FALSE(zip::looksIncompressible(Bytes(70000, 7).data(), 70000));
  // Stored blocks cost 5 bytes each; text shrinks to a fraction.
  EXPECT_LE(zip::deflateBytes(noise).size(), noise.size() + 16);
  EXPECT_LT(zip::deflateBytes(textBytes).size(), textBytes.size() / 3);
}

// Every cut of a valid stream ends as damaged, never as done nor past the buffer; a
// stream that goes on past the size is TooLong with exactly the size delivered.
TEST(Inflate, CutAndOverlongStreams) {
  const Bytes data = mixedBytes(40000, 4);
  const Bytes stream = zip::deflateBytes(data);
  for (std::size_t cut = 0; cut < stream.size(); cut += 1 + cut / 8) {
    Bytes out;
    const Bytes part(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_EQ(inflateAll(part, data.size(), out), zip::DecodeResult::Stopped) << "cut at " << cut;
    EXPECT_LE(out.size(), data.size());
  }
  Bytes out;
  EXPECT_EQ(inflateAll(stream, 1000, out), zip::DecodeResult::TooLong);
  EXPECT_EQ(out.size(), 1000u);
  Bytes bad = stream;
  bad[0] ^= 0x06;  // block type 3, which does not exist
  EXPECT_EQ(inflateAll(bad, data.size(), out), zip::DecodeResult::Stopped);
}

namespace {

// A one-member archive of `data` stored with every size and offset in ZIP64 fields and a
// ZIP64 end record, as a writer does for a member past 4 GiB.
// With `flags` kFlagDataDescriptor the reader must take the sizes from the directory.
Bytes zip64Archive(const std::string& name, const Bytes& data, std::uint16_t flags = 0) {
  const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
  Bytes out(zip::kLocalHeaderSize + name.size() + 20);
  zip::LocalHeader l;
  l.versionNeeded = zip::kVersion45;
  l.flags = flags;
  l.method = zip::kMethodStored;
  l.crc = crc;
  l.compressedSize = l.uncompressedSize = zip::kZip64Marker;
  l.nameLength = static_cast<std::uint16_t>(name.size());
  l.extraLength = 20;
  zip::writeLocalHeader(out.data(), l);
  std::copy(name.begin(), name.end(), out.begin() + zip::kLocalHeaderSize);
  std::uint8_t* extra = out.data() + zip::kLocalHeaderSize + name.size();
  zip::put16(extra, zip::kZip64Tag);
  zip::put16(extra + 2, 16);
  zip::put64(extra + 4, data.size());
  zip::put64(extra + 12, data.size());
  out.insert(out.end(), data.begin(), data.end());
  const std::uint64_t directoryAt = out.size();
  Bytes central(zip::kCentralHeaderSize + name.size() + 28);
  zip::CentralHeader c = zip::centralFromLocal(l, zip::kZip64Marker);
  c.extraLength = 28;
  zip::writeCentralHeader(central.data(), c);
  std::copy(name.begin(), name.end(), central.begin() + zip::kCentralHeaderSize);
  extra = central.data() + zip::kCentralHeaderSize + name.size();
  zip::put16(extra, zip::kZip64Tag);
  zip::put16(extra + 2, 24);
  zip::put64(extra + 4, data.size());
  zip::put64(extra + 12, data.size());
  zip::put64(extra + 20, 0);
  out.insert(out.end(), central.begin(), central.end());
  const std::uint64_t endAt = out.size();
  Bytes tail(zip::kZip64EndSize + zip::kZip64LocatorSize + zip::kEndRecordSize);
  zip::writeZip64End(tail.data(), {1, central.size(), directoryAt});
  zip::writeZip64Locator(tail.data() + zip::kZip64EndSize, endAt);
  zip::EndRecord e;
  e.entriesOnDisk = e.totalEntries = 1;
  e.centralDirectorySize = e.centralDirectoryOffset = zip::kZip64Marker;
  zip::writeEndRecord(tail.data() + zip::kZip64EndSize + zip::kZip64LocatorSize, e);
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

}  // namespace

// ZIP64 fields are read by the one-member reader and the extractor alike.
TEST(Zip64, ReadersTakeTheWideFields) {
  TempDir tmp;
  const Bytes data = mixedBytes(70000, 12);
  writeAll(tmp / "z64.zip", zip64Archive("part.001", data));
  platform::IoError err;
  platform::File f = platform::File::open(tmp / "z64.zip", platform::File::Mode::Read, err);
  zip::SingleMember m;
  std::string why;
  ASSERT_TRUE(zip::readSingleMember(f, m, why, err)) << why;
  EXPECT_EQ(m.name, "part.001");
  EXPECT_EQ(m.uncompressedSize, data.size());
  Collect sink;
  EXPECT_EQ(zip::decodeSingleMember(f, m, sink, {}, why, err), zip::MemberOutcome::Whole) << why;
  EXPECT_TRUE(sink.bytes == data);
  f.closeQuietly();

  // The extractor, also where the sizes follow the data and only the directory has them.
  for (const std::uint16_t flags : {std::uint16_t{0}, std::uint16_t{zip::kFlagDataDescriptor}}) {
    SCOPED_TRACE(flags);
    writeAll(tmp / "z64d.zip", zip64Archive("part.001", data, flags));
    zip::TUnZip unzip;
    std::vector<std::string> messages;
    unzip.OnError = [&](zip::ZipComponent&, const std::string& m2) { messages.push_back(m2); };
    unzip.UnCrunch(tmp / "z64d.zip", tmp / "out", {});
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_TRUE(readAll(tmp / "out/part.001") == data);
    std::vector<std::string> listing;
    unzip.GetZipList(tmp / "z64d.zip", listing);
    ASSERT_EQ(listing.size(), 1u);
    EXPECT_EQ(listing[0].substr(0, listing[0].find("\t", 9)), "part.001\t" + std::to_string(data.size()));
    EXPECT_EQ(unzip.listingProblem(), "");
  }
  // The other tools agree that the records are right.
  if (haveTool("unzip")) {
    std::string out;
    EXPECT_EQ(runCommand("unzip -p " + shellQuote(tmp / "z64.zip"), &out), 0);
    EXPECT_TRUE(out == std::string(data.begin(), data.end()));
  }
}

// A ZIP64 field that is missing or cut short leaves the archive unread, never misread.
TEST(Zip64, MissingOrShortFieldIsRefused) {
  TempDir tmp;
  const Bytes good = zip64Archive("p.001", Bytes(100, 1));
  // The central ZIP64 field lies just before the ZIP64 end record.
  const std::size_t centralExtra =
      good.size() - zip::kZip64EndSize - zip::kZip64LocatorSize - zip::kEndRecordSize - 28;
  for (const auto& [what, at, value] :
       {std::tuple{"field of another tag", centralExtra, 0x99}, std::tuple{"field too short", centralExtra + 2, 8}}) {
    SCOPED_TRACE(what);
    Bytes bad = good;
    bad[at] = static_cast<std::uint8_t>(value);
    writeAll(tmp / "bad.zip", bad);
    platform::IoError err;
    platform::File f = platform::File::open(tmp / "bad.zip", platform::File::Mode::Read, err);
    zip::SingleMember m;
    std::string why;
    EXPECT_FALSE(zip::readSingleMember(f, m, why, err));
    EXPECT_NE(why, "");
  }
}
