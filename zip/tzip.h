// TZip: packs a set of files into one new ZIP archive, each member shrunk (method 1) or
// deflated (method 8), or stored (method 0) when compressing does not pay. Sizes and
// offsets past the 32-bit fields go into ZIP64 fields. Problems are reported as texts
// through OnError (or the warning box); input/output failures end the run with an
// exception from Crunch, which Execute turns into false.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/file.h"
#include "zip/zip_events.h"

namespace zip {

class Shrinker;
class Deflater;

// How members are compressed.
enum class ZipMethod { Shrink, Deflate };

// One member to write.
struct TZipEntry {
  std::string Path;      // folder part of the list line that found the file, with separator
  std::string FileName;  // the file's own name; becomes the member name
  std::int64_t Size = 0;
  std::uint16_t FileDate = 0;
  std::uint16_t FileTime = 0;
};

// What ends a run early: an input/output failure, or more files than the archive's
// 16-bit member count can describe. `reported` is true when the text already
// went through the error channel.
class TZipFailure : public std::runtime_error {
 public:
  explicit TZipFailure(const std::string& what, bool reported = false)
      : std::runtime_error(what), m_reported(reported) {}
  bool reported() const { return m_reported; }

 private:
  bool m_reported;
};

// The member count of the end record; sizes and offsets have no limit but ZIP64's.
inline constexpr std::size_t kZipMaxMembers = 65535;

class TZip : public ZipComponent {
 public:
  TZip();
  ~TZip() override;
  TZip(const TZip&) = delete;
  TZip& operator=(const TZip&) = delete;

  const std::string& ArcName() const { return m_arcName; }
  void SetFName(const std::string& name) { m_arcName = name; }

  std::vector<std::string> Files;
  bool Overwrite = false;
  ZipMethod Method = ZipMethod::Shrink;
  // Sizes and offsets from this value on go into ZIP64 fields: the 32-bit fields' limit,
  // lowered only by tests, which then see ZIP64 records without writing 4 GiB.
  std::uint64_t Zip64From = 0xFFFFFFFF;
  std::string SourcePath;
  TZipProgress OnProgress;
  TZipError OnError;

  // Runs Crunch with ArcName, Files and SourcePath; false when it raised an exception.
  bool Execute();
  // One complete run; input/output failures leave as exceptions.
  void Crunch(const std::string& arcName, const std::vector<std::string>& files,
              const std::string& sourcePath);
  // The text of the failure that made the last Execute return false, and whether that
  // text was already reported through the error channel.
  const std::string& lastFailure() const { return m_lastFailure; }
  bool lastFailureReported() const { return m_lastFailureReported; }

  // The steps of a run, reachable for tests.
  bool PrepareFileList(const std::string& arcName, const std::vector<std::string>& files,
                       const std::string& sourcePath);
  void ExpandPattern(const std::string& pattern, std::vector<std::string>& out);
  void BuildEntryList(const std::vector<std::string>& expanded);
  void AddEntry(const TZipEntry& entry);
  bool IsArchiveItself(const std::string& name) const;
  // The entry list of the last run, in member order.
  std::vector<TZipEntry> entries() const;

 private:
  struct Run;

  void ReportError(const std::string& message);
  void checkLimits();
  // True when `path` leads, through links, to the archive's own name.
  bool leadsToArchive(const std::string& path) const;
  std::string anotherNameMessage(const std::string& path) const;
  void createArchive();
  void completeArchive();
  std::uint32_t copyStored(platform::File& input, std::int64_t size);
  void writeMember(const TZipEntry& entry);
  void WriteLocalHeader(const TZipEntry& entry);
  void ShrinkFile(platform::File& input, const TZipEntry& entry);
  void compressBlock(const std::uint8_t* data, std::size_t n);
  void FinishMember(platform::File& input, const TZipEntry& entry);
  void WriteCentralDirectory();
  platform::File& archive();
  void writeArchive(const void* data, std::int64_t n);

  std::string m_arcName;
  std::string m_lastFailure;
  bool m_lastFailureReported = false;
  std::map<std::string, TZipEntry> m_entries;  // by member name, byte order
  std::vector<std::string> m_visitedFolders;
  std::unique_ptr<Run> m_run;
};

}  // namespace zip
