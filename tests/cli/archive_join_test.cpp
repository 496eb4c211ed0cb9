// Joining and verifying straight from the archives of packed parts, shrunk and deflated:
// the file comes back byte for byte, checked against the list; a damaged, swapped or
// missing archive stops the join before the joined file takes its name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/combine.h"
#include "support/temp_dir.h"

namespace {

using testing_support::runCommand;
const auto& quoted = testing_support::shellQuoted;

const std::string kCli = quoted(SUNDRIX_CLI);

// A series of doc.bin packed part by part with `how` (--zip or --deflate).
struct PackedSeries {
  testing_support::TempDir dir;
  std::vector<std::uint8_t> bytes;
  PackedSeries(const std::string& how, bool list = true) {
    bytes = testing_support::makeBytes(2500000, 44);
    // Half of it text-like, so that the members are compressed, not stored.
    for (std::size_t i = 0; i < bytes.size() / 2; ++i) bytes[i] = static_cast<std::uint8_t>('a' + i % 7 * (i % 3));
    testing_support::writeFile(dir.file("doc.bin"), bytes);
    std::string out;
    EXPECT_EQ(run("split doc.bin --size 1M --delete-input " + how + (list ? "" : " --no-checksum"), out), 0)
        << out;
  }
  int run(const std::string& arguments, std::string& out) const {
    out.clear();
    return runCommand("cd " + quoted(dir.path()) + " && " + kCli + " " + arguments + " 2>&1", &out);
  }
  std::string file(const std::string& name) const { return dir.file(name); }
};

}  // namespace

TEST(ArchiveJoin, JoinsAndVerifiesFromShrunkAndDeflatedArchives) {
  for (const std::string how : {"--zip", "--deflate"}) {
    SCOPED_TRACE(how);
    PackedSeries s(how);
    ASSERT_FALSE(testing_support::exists(s.file("doc.bin.001")));
    // What the Combine tab shows for the first archive: the part's output name, the count.
    const engine::CombineSelection chosen = engine::SelectFirstPart(s.file("doc.bin.001.zip"));
    EXPECT_EQ(chosen.outputName, "doc.bin");
    EXPECT_EQ(chosen.combineCount, 4);  // counting stops at the first missing number
    std::string out;
    EXPECT_EQ(s.run("join doc.bin.001.zip", out), 0) << out;
    EXPECT_NE(out.find("Verified"), std::string::npos) << out;
    EXPECT_TRUE(testing_support::readFile(s.file("doc.bin")) == s.bytes);
    // The archives stay, and no part was unpacked beside them.
    EXPECT_EQ(testing_support::listFolder(s.dir.path()),
              (std::vector<std::string>{"doc.bin", "doc.bin.001.zip", "doc.bin.002.zip",
                                        "doc.bin.003.zip", "doc.bin.sha256"}));
    EXPECT_EQ(s.run("verify doc.bin.001.zip", out), 0) << out;
    EXPECT_NE(out.find("ok       doc.bin.003.zip: doc.bin.003"), std::string::npos) << out;
    // To standard output as well.
    EXPECT_EQ(runCommand("cd " + quoted(s.dir.path()) + " && " + kCli +
                             " join doc.bin.001.zip --out - 2>/dev/null | cmp - doc.bin"),
              0);
  }
}

// What must stop the join, and what verify says of it. The joined file is never made,
// and no archive is touched.
TEST(ArchiveJoin, DamagedSwappedOrMissingArchivesStopTheJoin) {
  struct Row {
    const char* what;
    const char* spoil;        // shell command run in the folder
    const char* joinSays;     // in the join's message
    const char* verifySays;   // in verify's output
  };
  const Row rows[] = {
      {"a byte of the second member flipped",
       "printf '\\x55' | dd of=doc.bin.002.zip bs=1 seek=5000 conv=notrunc 2>/dev/null",
       "doc.bin.002.zip", "MISMATCH doc.bin.002.zip: doc.bin.002 - the part doc.bin.002 in doc.bin.002.zip is"},
      {"the archives of two parts swapped",
       "mv doc.bin.001.zip t && mv doc.bin.002.zip doc.bin.001.zip && mv t doc.bin.002.zip",
       "holds doc.bin.002, not the part doc.bin.001",
       "MISMATCH doc.bin.001.zip: doc.bin.001 - the archive doc.bin.001.zip holds doc.bin.002"},
      {"the last archive missing", "rm doc.bin.003.zip", "doc.bin.003.zip", "missing  doc.bin.003.zip"},
      {"the last archive cut short", "truncate -s -30 doc.bin.003.zip", "doc.bin.003.zip",
       "MISMATCH doc.bin.003.zip: doc.bin.003 - the archive doc.bin.003.zip is damaged"},
      {"an archive that is a named pipe", "rm doc.bin.002.zip && mkfifo doc.bin.002.zip",
       "doc.bin.002.zip is not a regular file", "missing  doc.bin.002.zip - not a regular file"},
  };
  for (const std::string how : {"--zip", "--deflate"}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(how + ", " + row.what);
      PackedSeries s(how);
      ASSERT_EQ(runCommand("cd " + quoted(s.dir.path()) + " && " + row.spoil), 0);
      const std::vector<std::string> before = testing_support::listFolder(s.dir.path());
      std::string out;
      EXPECT_EQ(s.run("join doc.bin.001.zip", out), 1) << out;
      EXPECT_NE(out.find(row.joinSays), std::string::npos) << out;
      EXPECT_EQ(testing_support::listFolder(s.dir.path()), before);
      EXPECT_EQ(s.run("verify doc.bin.001.zip", out), 1) << out;
      EXPECT_NE(out.find(row.verifySays), std::string::npos) << out;
    }
  }
}

// Without a list each member is still held to its own CRC-32; the result says it was not
// verified. A file at the output's name is kept unless --overwrite is given.
TEST(ArchiveJoin, WithoutListAndOverAnExistingFile) {
  PackedSeries s("--deflate", false);
  std::string out;
  testing_support::writeText(s.file("doc.bin"), "keep me");
  EXPECT_EQ(s.run("join doc.bin.001.zip", out), 1) << out;
  EXPECT_EQ(testing_support::readText(s.file("doc.bin")), "keep me");
  EXPECT_EQ(s.run("join doc.bin.001.zip --overwrite", out), 0) << out;
  EXPECT_NE(out.find("Not verified"), std::string::npos) << out;
  EXPECT_TRUE(testing_support::readFile(s.file("doc.bin")) == s.bytes);
  EXPECT_EQ(s.run("join doc.bin.001.zip --append", out), 1) << out;
}

// Without a list the archives are counted up to the highest number in the folder: one
// missing or unreadable before it stops the join, which would otherwise end early and
// leave the later archives out of a file it calls joined.
TEST(ArchiveJoin, WithoutListAGapStopsTheJoin) {
  struct Row {
    const char* spoil;
    const char* says;
  };
  const Row rows[] = {
      {"rm doc.bin.002.zip",
       "the archive doc.bin.002.zip is missing; the archives after it up to doc.bin.003.zip "
       "would be left out"},
      {"rm doc.bin.002.zip && mkfifo doc.bin.002.zip",
       "the archive doc.bin.002.zip is not a regular file; the archives after it up to "
       "doc.bin.003.zip would be left out"},
      {"mv doc.bin.003.zip doc.bin.004.zip", "the archive doc.bin.003.zip is missing"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.spoil);
    PackedSeries s("--deflate", false);
    ASSERT_EQ(runCommand("cd " + quoted(s.dir.path()) + " && " + row.spoil), 0);
    const std::vector<std::string> before = testing_support::listFolder(s.dir.path());
    std::string out;
    EXPECT_EQ(s.run("join doc.bin.001.zip", out), 1) << out;
    EXPECT_NE(out.find(row.says), std::string::npos) << out;
    EXPECT_EQ(testing_support::listFolder(s.dir.path()), before);
  }
}

// The joined file never replaces what the join reads, nor takes a name of its series,
// where a later join would read it as a part; --overwrite does not change that.
TEST(ArchiveJoin, OutputNeverTakesANameOfItsSeries) {
  struct Row {
    const char* out;
    const char* says;
  };
  const Row rows[] = {
      {"doc.bin.002.zip", "would take the name of one of its own parts"},
      {"doc.bin.002", "would take the name of one of its own parts"},
      {"./doc.bin.007.zip", "would take the name of one of its own parts"},
      {"doc.bin.sha256", "would replace the checksum file it is checked with"},
      {"link", "would replace one of its own archives"},
  };
  PackedSeries s("--deflate");
  ASSERT_EQ(runCommand("cd " + quoted(s.dir.path()) + " && mkdir other && ln -s ../doc.bin.003.zip other/link"), 0);
  const std::vector<std::uint8_t> archive = testing_support::readFile(s.file("doc.bin.003.zip"));
  const std::vector<std::string> before = testing_support::listFolder(s.dir.path());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.out);
    const std::string out = std::string(row.out) == "link" ? "other/link" : row.out;
    std::string said;
    EXPECT_EQ(s.run("join doc.bin.001.zip --overwrite --out " + out, said), 1) << said;
    EXPECT_NE(said.find(row.says), std::string::npos) << said;
    EXPECT_EQ(testing_support::listFolder(s.dir.path()), before);
  }
  EXPECT_TRUE(testing_support::readFile(s.file("doc.bin.003.zip")) == archive);
  // The same name in another folder is an ordinary output.
  std::string said;
  EXPECT_EQ(s.run("join doc.bin.001.zip --out other/doc.bin.002", said), 0) << said;
  EXPECT_TRUE(testing_support::readFile(s.file("other/doc.bin.002")) == s.bytes);
}

// Archives of the parts made by tools that write as they stream (the CRC and sizes in a
// data descriptor after the data; some add ZIP64 records whether needed or not) join and
// verify like the program's own; a descriptor that contradicts the directory is refused.
TEST(ArchiveJoin, StreamedArchivesOfOtherToolsJoin) {
  // PACK: python3 - PART ZIP64 SPOIL writes PART.zip through a stream that cannot seek;
  // SPOIL 4 changes the descriptor's CRC, 8 its compressed size.
  const std::string pack =
      "python3 -c 'import io,sys,zipfile\n"
      "part,z64,spoil=sys.argv[1],sys.argv[2]==\"1\",int(sys.argv[3])\n"
      "class S(io.RawIOBase):\n"
      " def __init__(s,f): s.f=f\n"
      " def writable(s): return True\n"
      " def write(s,b): return s.f.write(b)\n"
      "with open(part+\".zip\",\"wb\") as raw:\n"
      " z=zipfile.ZipFile(S(raw),\"w\",zipfile.ZIP_DEFLATED)\n"
      " with z.open(part,\"w\",force_zip64=z64) as w: w.write(open(part,\"rb\").read())\n"
      " z.close()\n"
      "b=bytearray(open(part+\".zip\",\"rb\").read())\n"
      "at=b.rfind(b\"PK\\x07\\x08\")\n"
      "if spoil: b[at+spoil]^=1\n"
      "open(part+\".zip\",\"wb\").write(b)' ";
  struct Row {
    const char* what;
    std::string command;  // run on each part, in the folder
    int exit;
    const char* says;
  };
  const Row rows[] = {
      {"python, 32-bit descriptor", pack + "$p 0 0", 0, "Verified"},
      {"python, ZIP64 descriptor", pack + "$p 1 0", 0, "Verified"},
      {"bsdtar", "bsdtar -a -cf $p.zip $p", 0, "Verified"},
      {"bsdtar with ZIP64 records", "bsdtar --options zip:zip64 -a -cf $p.zip $p", 0, "Verified"},
      {"descriptor CRC changed", pack + "$p 0 4", 1, "its data descriptor does not match its headers"},
      {"descriptor size changed", pack + "$p 1 8", 1, "its data descriptor does not match its headers"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string tool = row.command.substr(0, row.command.find(' '));
    if (runCommand("command -v " + tool + " >/dev/null") != 0) {
      std::printf("%s is not installed: %s is not checked\n", tool.c_str(), row.what);
      continue;
    }
    PackedSeries s("");
    ASSERT_EQ(runCommand("cd " + quoted(s.dir.path()) + " && for p in doc.bin.00?; do " + row.command +
                         " && rm $p || exit 1; done"),
              0);
    std::string out;
    EXPECT_EQ(s.run("join doc.bin.001.zip", out), row.exit) << out;
    EXPECT_NE(out.find(row.says), std::string::npos) << out;
    EXPECT_EQ(testing_support::exists(s.file("doc.bin")), row.exit == 0);
    if (row.exit == 0) {
      EXPECT_TRUE(testing_support::readFile(s.file("doc.bin")) == s.bytes);
    }
    EXPECT_EQ(s.run("verify doc.bin.001.zip", out), row.exit) << out;
  }
}
