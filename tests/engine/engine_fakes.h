// Options, progress and fault doubles for the split and join tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/combine.h"
#include "engine/part_archiver.h"
#include "engine/split.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace engine_test {

struct FakeSplitOptions : engine::SplitOptions {
  std::string folder;
  std::string bat = "temp";
  engine::SplitMode splitMode = engine::SplitMode::ByNumber;
  int unit = 1;
  bool withBat = false;
  bool compress = false;
  bool removeInput = false;
  bool batDelete = false;
  bool checksum = false;
  bool sh = false;
  engine::RecoveryAmount recoveryAmount;
  int createBatReads = 0;
  std::function<bool(int read)> createBatAt;  // answers the n-th read when set

  std::string outputFolder() override { return folder; }
  std::string batName() override { return bat; }
  engine::SplitMode mode() override { return splitMode; }
  int sizeUnit() override { return unit; }
  bool createBat() override {
    ++createBatReads;
    return createBatAt ? createBatAt(createBatReads) : withBat;
  }
  bool compressZip() override { return compress; }
  bool deleteInput() override { return removeInput; }
  bool batDeleteLine() override { return batDelete; }
  bool writeChecksum() override { return checksum; }
  bool createShScript() override { return sh; }
  engine::RecoveryAmount recovery() override { return recoveryAmount; }
};

struct FakeCombineOptions : engine::CombineOptions {
  bool remove = false;
  bool deleteParts() override { return remove; }
};

// Packs a part by copying it. Parts whose names end in one of `failFor` fail with
// `problem`, leaving half an archive behind when `leaveHalf` is set.
struct CopyArchiver : engine::PartArchiver {
  std::vector<std::string> failFor;
  std::string failure = "the archive could not be finished";
  bool leaveHalf = true;
  bool archive(const std::string& part, const std::string& archivePath,
               std::string& problem) override {
    for (const std::string& name : failFor) {
      if (!part.ends_with(name)) continue;
      if (leaveHalf) testing_support::writeText(archivePath, "PK half");
      problem = failure;
      return false;
    }
    testing_support::writeFile(archivePath, testing_support::readFile(part));
    return true;
  }
};

// Records every update; can ask the job to stop after a given number of them.
struct RecordingSink : engine::ProgressSink {
  std::vector<engine::Progress> updates;
  engine::StopToken* stop = nullptr;
  std::size_t stopAfter = 0;
  void publish(const engine::Progress& p) override {
    updates.push_back(p);
    if (stop != nullptr && updates.size() == stopAfter) stop->requestStop();
  }
};

// Fails the n-th call of one operation (counted over all paths, or paths ending in `suffix`).
struct FailNth : platform::FaultInjector {
  platform::FileOp op;
  int n;
  int code;
  std::string suffix;
  int seen = 0;
  FailNth(platform::FileOp o, int nth, int c, std::string s = {})
      : op(o), n(nth), code(c), suffix(std::move(s)) {
    platform::setFaultInjector(this);
  }
  ~FailNth() override { platform::setFaultInjector(nullptr); }
  int before(platform::FileOp o, const std::string& path) override {
    if (o != op) return 0;
    if (!suffix.empty() && (path.size() < suffix.size() ||
                            path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0))
      return 0;
    return ++seen == n ? code : 0;
  }
};

// Reports a fixed amount of free space for every folder.
struct TightDisk : platform::FaultInjector {
  std::int64_t free;
  explicit TightDisk(std::int64_t f) : free(f) { platform::setFaultInjector(this); }
  ~TightDisk() override { platform::setFaultInjector(nullptr); }
  int before(platform::FileOp, const std::string&) override { return 0; }
  std::optional<std::int64_t> freeSpace(const std::string&) override { return free; }
};

// An OS code of the kind, and the system's text for it, so that fault tests read the same
// on every OS.
inline int osCode(platform::ErrorKind kind) {
  return platform::errorCode(kind);
}
inline std::string systemText(platform::ErrorKind kind) {
  return platform::IoError{"use", "", platform::errorCode(kind), ""}.reason();
}

// A folder of its own, options for a split into it and a join, and what they report to.
class JobTest : public ::testing::Test {
 public:
  testing_support::TempDir dir;
  FakeSplitOptions splitOptions;
  FakeCombineOptions joinOptions;
  RecordingSink sink;
  engine::StopToken stop;
  std::vector<std::uint8_t> bytes;  // what the files of the test hold, in order

  void SetUp() override { splitOptions.folder = dir.path(); }
};

}  // namespace engine_test
