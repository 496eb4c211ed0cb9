// What a join may never do, whatever it finds beside the parts: remove a file it did not
// write, trust a list of another series or one it cannot read, replace a file or a device
// at the output's name, leave an unfinished file under that name, append a part to itself
// or twice, or lose its place when it is ended early.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

#include "engine/combine.h"
#include "engine/join_journal.h"
#include "engine/recovery_data.h"
#include "engine/split.h"
#include "engine/verify.h"
#include "engine_fakes.h"
#include "support/descriptors.h"
#include "support/temp_dir.h"

using namespace engine;
using namespace engine_test;

namespace {

constexpr std::size_t kPart = 30'000;

bool isLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// One series f.bin.001 .. .003 with its checksum list, the input gone; a row changes
// what lies around it and how the join is asked for.
struct Scene {
  testing_support::TempDir dir;
  std::vector<std::uint8_t> bytes = testing_support::makeBytes(3 * kPart, 5);
  FakeCombineOptions options;
  RecordingSink sink;
  StopToken stop;
  CombineRequest request;
  std::vector<std::uint8_t> fromPipe;
  std::thread reader;
  std::unique_ptr<FailNth> fault;

  Scene() {
    request = {dir.file("f.bin.001"), dir.file("f.bin")};
    splitInto("f.bin", bytes);
    std::remove(dir.file("f.bin").c_str());
  }
  ~Scene() {
    if (reader.joinable()) reader.join();
  }
  void splitInto(const std::string& name, const std::vector<std::uint8_t>& content) {
    testing_support::writeFile(dir.file(name), content);
    FakeSplitOptions split;
    split.folder = dir.path();
    split.checksum = true;
    RecordingSink quiet;
    ASSERT_EQ(SplitFile({dir.file(name), 3, "t"}, split, quiet, stop, nullptr).outcome,
              JobOutcome::Done);
  }
  void noList() { std::remove(dir.file("f.bin.sha256").c_str()); }
  std::vector<std::uint8_t> part(int k) const {
    const auto at = static_cast<std::ptrdiff_t>(static_cast<std::size_t>(k - 1) * kPart);
    return {bytes.begin() + at, bytes.begin() + at + static_cast<std::ptrdiff_t>(kPart)};
  }
  void flipByteOfPart2() {
    auto p = part(2);
    p[100] ^= 1;
    testing_support::writeFile(dir.file("f.bin.002"), p);
  }
  JobResult join() { return CombineFiles(request, options, sink, stop); }
  // A journal of f.bin's join naming `holder` (the file at `holderFile`, when given) and
  // holding `held` bytes of part 1; without a holder only its head, as a kill leaves it.
  void journal(const std::string& series, const std::string& holder,
               const std::string& holderFile, std::int64_t held) {
    JoinJournal head;
    head.series = series;
    head.partsFolder = dir.path();
    platform::FileIdentity id;
    if (!holderFile.empty()) {
      ASSERT_TRUE(platform::identifyEntry(dir.file(holderFile), id));
    }
    head.holder = holder;
    head.device = id.device;
    head.inode = id.inode;
    if (held > 0) head.held.push_back({1, 0, held, id});
    JournalWriter writer;
    platform::IoError err;
    ASSERT_TRUE(writer.create(dir.file(".f.bin.sundrix-journal"), head, err) &&
                (holder.empty() || writer.nameHolder(head, err)))
        << err.message();
  }
};

// A journal of f.bin's join written by hand, naming the file at `.f.bin.sundrix-join`
// (made here) as its holder, with `parts` for its part lines: "part N OFFSET SIZE" each.
void handJournal(Scene& s, const std::string& start, const std::vector<std::string>& parts) {
  testing_support::writeText(s.dir.file(".f.bin.sundrix-join"), "some bytes");
  platform::FileIdentity id;
  ASSERT_TRUE(platform::identifyEntry(s.dir.file(".f.bin.sundrix-join"), id));
  const std::string ids = std::to_string(id.device) + " " + std::to_string(id.inode);
  std::string text = "# sundrix join journal 1\nseries f.bin.001\nfolder " + s.dir.path() +
                     "\nstart " + start + "\nholder " + ids + " .f.bin.sundrix-join\n";
  for (const std::string& part : parts) text += "part " + part + " " + ids + " 1 1\n";
  testing_support::writeText(s.dir.file(".f.bin.sundrix-journal"), text);
}

void keepsHandJournalsHolder(Scene& s) {
  EXPECT_EQ(testing_support::readText(s.dir.file(".f.bin.sundrix-join")), "some bytes");
}

struct Row {
  const char* what;
  std::function<void(Scene&)> arrange;
  JobOutcome outcome;
  const char* says;  // in the message of a join that did not finish
  std::function<void(Scene&)> check;
};

void keepsEveryPart(Scene& s) {
  for (int k = 1; k <= 3; ++k) {
    const std::string name = s.dir.file("f.bin.00" + std::to_string(k));
    if (k == 2 && testing_support::readFile(name) != s.part(2)) continue;  // damaged on purpose
    EXPECT_EQ(testing_support::readFile(name), s.part(k)) << name;
  }
}

const Row kRows[] = {
    {"a file at the temporary name that no journal explains",
     [](Scene& s) {
       s.noList();
       testing_support::writeText(s.dir.file(".f.bin.sundrix-join"), "somebody's bytes");
       s.options.remove = true;
     },
     JobOutcome::Failed, ".f.bin.sundrix-join is in the way",
     [](Scene& s) {
       EXPECT_EQ(testing_support::readText(s.dir.file(".f.bin.sundrix-join")), "somebody's bytes");
     }},
    {"the journal and bytes of another series' join into the same name",
     [](Scene& s) {
       testing_support::writeText(s.dir.file(".f.bin.sundrix-join"), "g's first part");
       s.journal("g.bin.001", ".f.bin.sundrix-join", ".f.bin.sundrix-join", 14);
     },
     JobOutcome::Failed, "An unfinished join of",
     [](Scene& s) {
       EXPECT_EQ(testing_support::readText(s.dir.file(".f.bin.sundrix-join")), "g's first part");
     }},
    {"a journal that puts the bytes outside the output's folder",
     [](Scene& s) {
       testing_support::writeText(s.dir.file("victim"), "not a join's");
       s.journal("f.bin.001", "sub/../victim", "victim", 0);
     },
     JobOutcome::Failed, "names neither",
     [](Scene& s) { EXPECT_EQ(testing_support::readText(s.dir.file("victim")), "not a join's"); }},
    // Damaged journals whose sums of offsets or numbers would pass the largest a file or
    // a series can have.
    {"a journal whose parts end past the largest size a file can have",
     [](Scene& s) {
       handJournal(s, "1 0 3", {"1 0 9223372036854775807", "2 9223372036854775807 5"});
       s.options.remove = true;
     },
     JobOutcome::Failed, "cannot be used: a line is damaged", keepsHandJournalsHolder},
    {"a journal whose part has the largest number there is",
     [](Scene& s) {
       handJournal(s, "9223372036854775807 0 3", {"9223372036854775807 0 5"});
       s.options.remove = true;
     },
     JobOutcome::Failed, "cannot be used: a line is damaged", keepsHandJournalsHolder},
    // Damaged journals that go on from, or plan for, parts far past those there are.
    {"a journal that goes on from a part past the listed ones",
     [](Scene& s) {
       handJournal(s, "5 0 3", {});
       s.options.remove = true;
     },
     JobOutcome::Failed, "does not agree with", keepsHandJournalsHolder},
    {"a journal, without a list, planned for two billion parts",
     [](Scene& s) {
       s.noList();
       handJournal(s, "1 0 2000000000", {});
       s.options.remove = true;
     },
     JobOutcome::Failed, "f.bin.004 is missing (up to", keepsHandJournalsHolder},
    {"a kill right after the journal was begun, before the file was named in it",
     [](Scene& s) {
       s.journal("f.bin.001", "", "", 0);
       testing_support::writeText(s.dir.file(".f.bin.sundrix-join"), "the start of a part");
       s.options.remove = true;
     },
     JobOutcome::Done, "",
     [](Scene& s) {
       EXPECT_EQ(testing_support::readFile(s.dir.file("f.bin")), s.bytes);
       EXPECT_EQ(testing_support::listFolder(s.dir.path()),
                 (std::vector<std::string>{"f.bin", "f.bin.sha256"}));
     }},
    {"the list of another split under the series' name",
     [](Scene& s) {
       s.splitInto("g.bin", testing_support::makeBytes(3 * kPart, 9));
       std::rename(s.dir.file("g.bin.sha256").c_str(), s.dir.file("f.bin.sha256").c_str());
       s.options.remove = true;
     },
     JobOutcome::Failed, "does not belong to these parts",
     [](Scene& s) {
       EXPECT_TRUE(testing_support::exists(s.dir.file("g.bin.001")));
       EXPECT_FALSE(testing_support::exists(s.dir.file("f.bin")));
       EXPECT_FALSE(VerifyParts(s.request.firstPartPath, s.stop).problem.empty());
     }},
    {"a link to nothing at the list's name",
     [](Scene& s) {
       s.noList();
       ASSERT_EQ(::symlink("gone.sha256", s.dir.file("f.bin.sha256").c_str()), 0);
       s.flipByteOfPart2();
       s.options.remove = true;
     },
     JobOutcome::Failed, "f.bin.sha256 cannot be used", nullptr},
    {"a folder at the list's name",
     [](Scene& s) {
       s.noList();
       ::mkdir(s.dir.file("f.bin.sha256").c_str(), 0777);
       s.flipByteOfPart2();
       s.options.remove = true;
     },
     JobOutcome::Failed, "f.bin.sha256 cannot be used", nullptr},
    {"a named pipe at the list's name",
     [](Scene& s) {
       s.noList();
       ::mkfifo(s.dir.file("f.bin.sha256").c_str(), 0666);
       s.flipByteOfPart2();
       s.options.remove = true;
     },
     JobOutcome::Failed, "f.bin.sha256 cannot be used", nullptr},
    {"a link to nothing at the .crc file's name",
     [](Scene& s) {
       s.noList();
       ASSERT_EQ(::symlink("gone.crc", s.dir.file("f.bin.crc").c_str()), 0);
       s.options.remove = true;
     },
     JobOutcome::Failed, "f.bin.crc cannot be used", nullptr},
    {"an edited file at the output's name, no --overwrite",
     [](Scene& s) { testing_support::writeText(s.dir.file("f.bin"), "edited"); },
     JobOutcome::Failed, "give --overwrite",
     [](Scene& s) { EXPECT_EQ(testing_support::readText(s.dir.file("f.bin")), "edited"); }},
    {"a link to a character device at the output's name",
     [](Scene& s) { ASSERT_EQ(::symlink("/dev/null", s.dir.file("f.bin").c_str()), 0); },
     JobOutcome::Done, "",
     [](Scene& s) {
       EXPECT_TRUE(isLink(s.dir.file("f.bin")));
       EXPECT_EQ(testing_support::listFolder(s.dir.path()).size(), 5u);  // parts, list, link
     }},
    {"a named pipe at the output's name",
     [](Scene& s) {
       ASSERT_EQ(::mkfifo(s.dir.file("f.bin").c_str(), 0666), 0);
       s.reader = std::thread([&s] { s.fromPipe = testing_support::readFile(s.dir.file("f.bin")); });
     },
     JobOutcome::Done, "",
     [](Scene& s) {
       s.reader.join();
       EXPECT_EQ(s.fromPipe, s.bytes);
       struct stat st {};
       EXPECT_TRUE(::lstat(s.dir.file("f.bin").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
     }},
    {"parts deleted into a device",
     [](Scene& s) {
       ASSERT_EQ(::symlink("/dev/null", s.dir.file("f.bin").c_str()), 0);
       s.options.remove = true;
     },
     JobOutcome::Failed, "no part may be deleted", nullptr},
    {"a join stopped half-way",
     [](Scene& s) {
       s.noList();
       s.sink.stop = &s.stop;
       s.sink.stopAfter = 150;
     },
     JobOutcome::Stopped, "was removed",
     [](Scene& s) {
       EXPECT_EQ(testing_support::listFolder(s.dir.path()),
                 (std::vector<std::string>{"f.bin.001", "f.bin.002", "f.bin.003"}));
     }},
    {"a long name whose temporary names the file system could not take, stopped, run again",
     [](Scene& s) {
       s.noList();
       s.request.outputPath = s.dir.file(std::string(250, 'o'));
       s.options.remove = true;
       s.sink.stop = &s.stop;
       s.sink.stopAfter = 150;
     },
     JobOutcome::Stopped, "run the same join again",
     [](Scene& s) {
       s.stop.reset();
       s.sink.stop = nullptr;
       ASSERT_EQ(s.join().outcome, JobOutcome::Done);
       EXPECT_EQ(testing_support::readFile(s.request.outputPath), s.bytes);
       EXPECT_EQ(testing_support::listFolder(s.dir.path()),
                 std::vector<std::string>{std::string(250, 'o')});
     }},
    {"a journal kept across a new split of the same name",
     [](Scene& s) {
       s.noList();
       s.options.remove = true;
       s.sink.stop = &s.stop;
       s.sink.stopAfter = 150;
       ASSERT_EQ(s.join().outcome, JobOutcome::Stopped);  // part 1 is in the temporary file
       s.stop.reset();
       s.sink.stop = nullptr;
       s.options.remove = false;
       for (const char* n : {"f.bin.002", "f.bin.003"}) std::remove(s.dir.file(n).c_str());
       s.bytes = testing_support::makeBytes(3 * kPart, 77);
       s.splitInto("f.bin", s.bytes);
       std::remove(s.dir.file("f.bin").c_str());
       s.noList();
     },
     JobOutcome::Failed, "another file has that name now",
     [](Scene& s) { EXPECT_TRUE(testing_support::exists(s.dir.file(".f.bin.sundrix-join"))); }},
    {"appending into a part under another name",
     [](Scene& s) {
       s.noList();
       ASSERT_EQ(::link(s.dir.file("f.bin.001").c_str(), s.dir.file("f.bin").c_str()), 0);
       s.request.firstPartPath = s.dir.file("f.bin.002");
       s.request.append = true;
     },
     JobOutcome::Failed, "is the part", nullptr},
    {"appending to a file that already ends with the start of the first part",
     [](Scene& s) {
       s.noList();
       auto held = s.part(1);
       const auto next = s.part(2);
       held.insert(held.end(), next.begin(), next.begin() + 1000);
       testing_support::writeFile(s.dir.file("f.bin"), held);
       s.request.firstPartPath = s.dir.file("f.bin.002");
       s.request.append = true;
     },
     JobOutcome::Failed, "--append-at 30000",
     [](Scene& s) {
       // The advice, followed, gives the file back.
       s.request.appendAt = 30'000;
       ASSERT_EQ(s.join().outcome, JobOutcome::Done);
       EXPECT_EQ(testing_support::readFile(s.dir.file("f.bin")), s.bytes);
     }},
    {"appending the last part to a file that already ends with its start",
     [](Scene& s) {
       s.noList();
       auto held = s.part(1);
       const auto second = s.part(2), last = s.part(3);
       held.insert(held.end(), second.begin(), second.end());
       held.insert(held.end(), last.begin(), last.begin() + 2);
       testing_support::writeFile(s.dir.file("f.bin"), held);
       s.request.firstPartPath = s.dir.file("f.bin.003");
       s.request.append = true;
     },
     JobOutcome::Failed, "--append-at 60000", nullptr},
    {"appending to a file one byte short of the parts before the first part",
     [](Scene& s) {
       s.noList();
       auto held = s.part(1);
       held.pop_back();
       testing_support::writeFile(s.dir.file("f.bin"), held);
       s.request.firstPartPath = s.dir.file("f.bin.002");
       s.request.append = true;
     },
     JobOutcome::Failed, "--append-at 30000", nullptr},
    {"a journal line that cannot be written",
     [](Scene& s) {
       s.noList();
       s.options.remove = true;
       s.fault = std::make_unique<FailNth>(platform::FileOp::Sync, 2, EIO, "sundrix-journal");
     },
     JobOutcome::Done, "",
     [](Scene& s) {
       s.fault.reset();
       // Part 2's line failed: neither it nor any part after it may go.
       EXPECT_EQ(testing_support::readFile(s.dir.file("f.bin")), s.bytes);
       EXPECT_EQ(testing_support::listFolder(s.dir.path()),
                 (std::vector<std::string>{"f.bin", "f.bin.002", "f.bin.003"}));
     }},
    {"a join over an existing file, stopped after deleting a part, run again",
     [](Scene& s) {
       s.noList();
       testing_support::writeText(s.dir.file("f.bin"), "the old file");
       s.request.overwrite = true;
       s.options.remove = true;
       s.sink.stop = &s.stop;
       s.sink.stopAfter = 150;
     },
     JobOutcome::Stopped, "run the same join again",
     [](Scene& s) {
       EXPECT_EQ(testing_support::readText(s.dir.file("f.bin")), "the old file");
       s.stop.reset();
       s.sink.stop = nullptr;
       ASSERT_EQ(s.join().outcome, JobOutcome::Done);
       EXPECT_EQ(testing_support::readFile(s.dir.file("f.bin")), s.bytes);
       EXPECT_EQ(testing_support::listFolder(s.dir.path()), std::vector<std::string>{"f.bin"});
     }},
};

TEST(JoinSafety, WhatAJoinFindsNeverCostsData) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    Scene scene;
    row.arrange(scene);
    const JobResult result = scene.join();
    EXPECT_EQ(result.outcome, row.outcome) << result.message();
    if (row.outcome != JobOutcome::Done) {
      EXPECT_NE(result.message().find(row.says), std::string::npos) << result.message();
    }
    if (row.outcome == JobOutcome::Failed) keepsEveryPart(scene);
    if (row.check) row.check(scene);
  }
}

// A part that becomes the join's own file while the join runs (a link to it put at the
// part's name) would have the file copied into itself: with no list to catch it, a wrong
// file under the output's name. The join stops at that part and keeps the others.
// However few descriptors are left when a join without a list reads its parts' folder, it
// never passes over a missing part: it names it, or says it could not look, and joins
// nothing either way.
TEST(JoinSafety, AGapIsNeverPassedOverWhenDescriptorsRunShort) {
  for (int spare = 0; spare <= 12; ++spare) {
    SCOPED_TRACE("descriptors left: " + std::to_string(spare));
    Scene s;
    s.noList();
    std::remove(s.dir.file("f.bin.002").c_str());
    JobResult result;
    {
      testing_support::DescriptorLimit limit(spare);
      ASSERT_TRUE(limit.set());
      result = s.join();
    }
    EXPECT_EQ(result.outcome, JobOutcome::Failed) << result.message();
    // Refused before the folder was read (its lock), or after it: then for the gap, or
    // for the read cut short. Anything that fails later planned past the gap.
    const std::string says = result.message();
    EXPECT_TRUE(says.starts_with("cannot join into") ||
                says.find("f.bin.002 is missing") != std::string::npos ||
                says.find("could not be read to its end") != std::string::npos)
        << says;
    EXPECT_FALSE(testing_support::exists(s.dir.file("f.bin")));
    EXPECT_EQ(testing_support::readFile(s.dir.file("f.bin.003")), s.part(3));
  }
}

TEST(JoinSafety, APartThatBecameTheJoinedFileIsNotCopiedIntoIt) {
  for (const bool listed : {false, true}) {
    for (const bool hard : {false, true}) {
      SCOPED_TRACE(std::string(listed ? "with" : "without") + " a list, " +
                   (hard ? "a hard link" : "a symbolic link"));
      Scene s;
      if (!listed) s.noList();
      // Part 3's name is made a link to the unfinished file just before part 3 is opened.
      struct LinksPartThree : platform::FaultInjector {
        Scene& s;
        bool hard;
        explicit LinksPartThree(Scene& scene, bool h) : s(scene), hard(h) {
          platform::setFaultInjector(this);
        }
        ~LinksPartThree() override { platform::setFaultInjector(nullptr); }
        int before(platform::FileOp op, const std::string& path) override {
          const std::string temporary = s.dir.file(".f.bin.sundrix-join");
          if (op != platform::FileOp::Open || !path.ends_with("f.bin.003") ||
              !testing_support::exists(temporary)) {
            return 0;
          }
          const std::string link = s.dir.file("link");
          const int made = hard ? ::link(temporary.c_str(), link.c_str())
                                : ::symlink(".f.bin.sundrix-join", link.c_str());
          EXPECT_EQ(made, 0);
          EXPECT_EQ(::rename(link.c_str(), path.c_str()), 0);
          return 0;
        }
      } linker(s, hard);
      const JobResult result = s.join();
      ASSERT_EQ(result.outcome, JobOutcome::Failed) << result.message();
      EXPECT_NE(result.message().find("f.bin.003 is the joined file"), std::string::npos)
          << result.message();
      EXPECT_FALSE(testing_support::exists(s.dir.file("f.bin")));
      EXPECT_EQ(testing_support::readFile(s.dir.file("f.bin.001")), s.part(1));
      EXPECT_EQ(testing_support::readFile(s.dir.file("f.bin.002")), s.part(2));
    }
  }
}

// A verified join ended after its file took its name but before it had deleted its parts
// and its journal: the same join again finishes the deletions and says so, also where
// recovery files could rebuild the parts it had deleted (they are in the file, not lost).
TEST(JoinSafety, AJoinEndedAfterItsFileWasInPlaceIsFinished) {
  for (const bool recovery : {false, true}) {
  SCOPED_TRACE(recovery ? "with recovery files" : "without recovery files");
  Scene s;
  s.options.remove = true;
  std::vector<std::string> recoveryFiles;
  if (recovery) {
    RecoveryPlan plan;
    std::string problem;
    ASSERT_TRUE(planRecovery({2, 0}, kPart, 3, plan, problem)) << problem;
    ASSERT_EQ(writeRecoveryFiles({s.dir.file("f.bin.001"), s.dir.file("f.bin.002"),
                                  s.dir.file("f.bin.003")},
                                 plan, s.dir.file("f.bin"), s.stop, recoveryFiles)
                  .outcome,
              JobOutcome::Done);
  }
  {
    // As a kill would leave it: the file in place, part 1 and the journal still there.
    struct KeepsPartOneAndJournal : platform::FaultInjector {
      KeepsPartOneAndJournal() { platform::setFaultInjector(this); }
      ~KeepsPartOneAndJournal() override { platform::setFaultInjector(nullptr); }
      int before(platform::FileOp op, const std::string& path) override {
        return op == platform::FileOp::Delete &&
                       (path.ends_with(".001") || path.ends_with("sundrix-journal"))
                   ? EIO
                   : 0;
      }
    } fault;
    EXPECT_EQ(s.join().outcome, JobOutcome::Done);
  }
  EXPECT_EQ(testing_support::readFile(s.dir.file("f.bin")), s.bytes);
  ASSERT_TRUE(testing_support::exists(s.dir.file("f.bin.001")));
  const JobResult again = s.join();
  ASSERT_EQ(again.outcome, JobOutcome::Done) << again.message();
  EXPECT_EQ(testing_support::readFile(s.dir.file("f.bin")), s.bytes);
  std::vector<std::string> left = testing_support::listFolder(s.dir.path());
  std::erase_if(left, [](const std::string& name) { return name.ends_with(".par2"); });
  EXPECT_EQ(left, (std::vector<std::string>{"f.bin", "f.bin.sha256"}));
  }
}

}  // namespace
