// TUnZip: lists the members of a ZIP archive and extracts those that match a list of
// masks, reading the archive strictly front to back through its local headers. Stored
// members are copied; shrunk, reduced and imploded ones go through the legacy decoders,
// deflated ones through Inflate. ZIP64 sizes in a local header are honoured.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "zip/zip_events.h"

namespace zip {

// What ends an extraction run or a listing at once: the archive cannot be opened or read,
// a target cannot be written, the extraction folder name is empty.
class UnZipError : public std::runtime_error {
 public:
  explicit UnZipError(const std::string& what, platform::IoError io = {})
      : std::runtime_error(what), error(std::move(io)) {}
  platform::IoError error;
};

// The message for the OS error of a failed file operation.
std::string ioErrorMessage(int osError);

// The archive's file ends before the member's header or data does.
std::string endsInsideMessage(const std::string& archive, const std::string& member);

// False for a stored name that would leave the extraction folder: an absolute path, a
// drive ("C:"), a ".." component (with "/" or "\" between components) or a NUL byte.
bool isSafeMemberName(std::string_view name);

class TUnZip : public ZipComponent {
 public:
  TUnZip();
  ~TUnZip() override;
  TUnZip(const TUnZip&) = delete;
  TUnZip& operator=(const TUnZip&) = delete;

  const std::string& ArcName() const { return m_arcName; }
  void SetFName(const std::string& name) { m_arcName = name; }
  const std::string& ExtrPath() const { return m_extrPath; }
  // Appends the path separator to a folder that is not empty and does not end in one.
  void SetExtrPath(const std::string& folder);

  std::vector<std::string> Files;  // masks of the members to extract; empty = "*.*"
  bool Overwrite = false;          // kept for callers; existing targets are always replaced
  TZipProgress OnProgress;
  TZipError OnError;
  // Separators of the listing's date and time; taken from the C library's current
  // LC_TIME locale when it has them ("/" and ":" in the "C" locale), else "." and ":".
  char DateSeparator = '.';
  char TimeSeparator = ':';

  // UnCrunch(ArcName, ExtrPath, Files); false when it ended by an exception.
  bool Execute();
  // One extraction run. Throws UnZipError (and whatever an event handler throws).
  void UnCrunch(const std::string& arcName, const std::string& extrPath,
                const std::vector<std::string>& masks);
  // Appends one line per member: name, sizes, ratio, date and time, tab-separated.
  // Throws UnZipError when the archive cannot be opened or read.
  void GetZipList(const std::string& arcName, std::vector<std::string>& list);
  // Why the last listing ended before the central directory (the archive is cut off or
  // damaged); empty when it reached it, and for an empty file.
  const std::string& listingProblem() const { return m_listingProblem; }
  // OnError when assigned, else the warning box.
  void ReportError(const std::string& message);

  // The current member's data during a run: its next compressed byte (-1 once used up),
  // one byte of its output, and a skip of n archive bytes.
  int ReadCompressedByte();
  void PutByte(std::uint8_t b);
  void SkipBytes(std::uint64_t n);

 private:
  struct Run;
  class MemberSource;
  class TargetSink;

  void refill();
  int readArchiveByte();
  bool ReadLocalHeader();
  std::int64_t archiveOffset();
  void moveTo(std::int64_t offset);
  bool takeDirectorySizes();
  bool selected(const std::string& name) const;
  void ExtractMember();
  bool prepareTarget(bool& replaces);
  void sweepTargetFolder();
  // How a member's data came out: all there and as its header says; there to the end but
  // damaged (reported); not to be put in place at all (reported).
  enum class Outcome { Whole, Damaged, Lost };
  Outcome DecodeMember(const std::string& target);
  void skipRestOfMember();
  std::size_t nextCompressedRun(const std::uint8_t*& data);
  void reportProgress();
  void writeTarget(const std::uint8_t* data, std::size_t n);
  void flushTarget();

  std::string m_arcName;
  std::string m_extrPath;
  std::string m_listingProblem;
  std::unique_ptr<Run> m_run;
};

}  // namespace zip
