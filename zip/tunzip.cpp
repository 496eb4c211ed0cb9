// TUnZip: the extraction run and the byte paths the decoders use; the listing is in
// tunzip_list.cpp.
#include "zip/tunzip.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <new>

#include "platform/beneath.h"
#include "platform/console.h"
#include "platform/dos_time.h"
#include "platform/path.h"
#include "zip/bit_reader.h"
#include "zip/central_directory.h"
#include "zip/crc32.h"
#include "zip/explode.h"
#include "zip/inflate.h"
#include "zip/name_match.h"
#include "zip/reader_messages.h"
#include "zip/unreduce.h"
#include "zip/unshrink.h"
#include "zip/zip_format.h"

namespace zip {
namespace {

constexpr std::size_t kInputSize = 1 << 16;
constexpr std::size_t kOutputSize = 1 << 16;

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  return text;
}

// A folder or a file the user may not write in a member's place; the member's name
// follows on a line of its own.
std::string deniedMessage(const std::string& shownName) {
  return ioErrorMessage(platform::errorCode(platform::ErrorKind::Denied)) + "\n" + shownName;
}

}  // namespace

std::string endsInsideMessage(const std::string& archive, const std::string& member) {
  return "Archive " + archive + " ends inside member " + member + " !";
}

std::string ioErrorMessage(int osError) {
  switch (platform::errorKind(osError)) {
    case platform::ErrorKind::NotFound:
      return "Soubor nebyl nalezen";
    case platform::ErrorKind::PathNotFound:
      return "Cesta není platná/nebyla nalezana";
    case platform::ErrorKind::Denied:
      return "Chyba souboru/cesty/syntaxe";
    case platform::ErrorKind::DiskFull:
      return "Disk je plný";
    case platform::ErrorKind::Busy:
    case platform::ErrorKind::Other:
      break;
  }
  return "Vstupně/výstupní chyba " + std::to_string(osError);
}

bool isSafeMemberName(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return false;
  if (!name.empty() && (name.front() == '/' || name.front() == '\\')) return false;
  if (name.size() >= 2 && name[1] == ':') return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

struct TUnZip::Run {
  std::string archiveName;
  std::string folder;
  std::vector<std::string> masks;
  platform::File archive;
  platform::FileIdentity archiveId;
  std::int64_t archiveSize = 0;
  std::vector<std::uint8_t> input;
  std::size_t inCount = 0;
  std::size_t inPos = 0;
  bool atEnd = false;
  platform::BeneathTarget target;
  std::vector<std::uint8_t> output;
  std::size_t outPos = 0;
  std::uint32_t crc = kCrcStart;
  std::uint64_t written = 0;
  std::uint64_t remaining = 0;
  bool cutOff = false;  // the archive ends inside the member's data
  LocalHeader header;
  std::uint64_t packed = 0;    // the member's sizes, from a ZIP64 field where it has one
  std::uint64_t unpacked = 0;
  std::string name;
  std::string shown;              // the name as messages show it
  std::int64_t headerOffset = 0;  // where the member's local header starts
  std::int64_t memberEnd = -1;    // where the next listed member starts, when the
                                  // directory gave the member's sizes
  CentralDirectory directory;
  bool directoryTried = false;
  std::vector<platform::FileIdentity> swept;  // target folders already cleared of debris
};

class TUnZip::MemberSource : public ByteSource {
 public:
  explicit MemberSource(TUnZip& owner) : m_owner(owner) {}
  std::size_t next(const std::uint8_t*& data) override { return m_owner.nextCompressedRun(data); }

 private:
  TUnZip& m_owner;
};

class TUnZip::TargetSink : public ByteSink {
 public:
  explicit TargetSink(TUnZip& owner) : m_owner(owner) {}
  void write(const std::uint8_t* data, std::size_t n) override { m_owner.writeTarget(data, n); }

 private:
  TUnZip& m_owner;
};

TUnZip::TUnZip() {
  DateSeparator = platform::localDateSeparator('.');
  TimeSeparator = platform::localTimeSeparator(':');
}

TUnZip::~TUnZip() = default;

void TUnZip::SetExtrPath(const std::string& folder) {
  m_extrPath = platform::withTrailingSeparator(folder);
}

bool TUnZip::Execute() {
  try {
    UnCrunch(m_arcName, m_extrPath, Files);
    return true;
  } catch (...) {
    return false;
  }
}

void TUnZip::ReportError(const std::string& message) {
  if (OnError) {
    OnError(*this, message);
  } else {
    showWarningBox(message);
  }
}

void TUnZip::UnCrunch(const std::string& arcName, const std::string& extrPath,
                      const std::vector<std::string>& masks) {
  if (!platform::fileExists(arcName)) return;
  if (extrPath.empty()) throw UnZipError("no extraction folder given");
  if (!platform::folderExists(extrPath)) {
    platform::IoError err;
    if (!platform::createFolders(extrPath, err)) return;
  }
  struct Release {
    std::unique_ptr<Run>& run;
    ~Release() { run.reset(); }
  } release{m_run};
  try {
    m_run = std::make_unique<Run>();
    m_run->input.resize(kInputSize);
    m_run->output.resize(kOutputSize);
  } catch (const std::bad_alloc&) {
    m_run.reset();
    ReportError("Not enough memory to allocate LZW data structures!");
    return;
  }
  Run& r = *m_run;
  r.archiveName = arcName;
  r.folder = platform::withTrailingSeparator(extrPath);
  r.masks = masks.empty() ? std::vector<std::string>{"*.*"} : masks;

  platform::IoError err;
  r.archive = platform::File::open(arcName, platform::File::Mode::Read, err);
  if (!r.archive.isOpen()) {
    ReportError(ioErrorMessage(err.code));
    throw UnZipError(err.message(), err);
  }
  r.archive.identify(r.archiveId);
  r.archiveSize = r.archive.size(err);
  if (r.archiveSize < 0) throw UnZipError(err.message(), err);
  refill();
  while (ReadLocalHeader()) {
    if (!takeDirectorySizes()) continue;
    if (selected(r.name)) {
      ExtractMember();
    } else {
      SkipBytes(r.packed);
    }
    if (r.memberEnd >= 0) moveTo(r.memberEnd);
  }
  if (!r.archive.close(err)) ReportError(ioErrorMessage(err.code));
}

void TUnZip::refill() {
  Run& r = *m_run;
  platform::IoError err;
  const std::int64_t n =
      r.archive.read(r.input.data(), static_cast<std::int64_t>(r.input.size()), err);
  if (n < 0) throw UnZipError(err.message(), err);
  r.inCount = static_cast<std::size_t>(n);
  r.inPos = 0;
  r.atEnd = n == 0;
}

int TUnZip::readArchiveByte() {
  Run& r = *m_run;
  if (r.inPos >= r.inCount) {
    if (r.atEnd) return -1;
    refill();
    if (r.atEnd) return -1;
  }
  return r.input[r.inPos++];
}

// The archive offset of the next byte the walk takes.
std::int64_t TUnZip::archiveOffset() {
  Run& r = *m_run;
  platform::IoError err;
  const std::int64_t position = r.archive.position(err);
  if (position < 0) throw UnZipError(err.message(), err);
  return position - static_cast<std::int64_t>(r.inCount - r.inPos);
}

// Forward only: the walk never reads a byte twice.
void TUnZip::moveTo(std::int64_t offset) {
  const std::int64_t here = archiveOffset();
  if (offset > here) SkipBytes(static_cast<std::uint64_t>(offset - here));
}

bool TUnZip::ReadLocalHeader() {
  Run& r = *m_run;
  if (r.atEnd) return false;
  r.headerOffset = archiveOffset();
  std::uint8_t fixed[kLocalHeaderSize];
  for (std::size_t i = 0; i < kLocalHeaderSize; ++i) {
    if (i == 4) {
      const std::uint32_t signature = get32(fixed);
      if (signature == kCentralHeaderSignature) {
        r.atEnd = true;
        return false;
      }
      if (signature != kLocalHeaderSignature) {
        ReportError("Hlava chybí nebo je poškozena u " + r.archiveName);
        return false;
      }
    }
    fixed[i] = static_cast<std::uint8_t>(readArchiveByte());
  }
  r.header = zip::readLocalHeader(fixed);
  std::string extra;
  auto readField = [&](std::uint16_t length, std::string& keep, std::size_t most) {
    keep.clear();
    for (std::uint16_t i = 0; i < length; ++i) {
      const auto b = static_cast<char>(readArchiveByte());
      if (i < most) keep.push_back(b);
    }
  };
  if (r.header.nameLength > kMaxNameLength) ReportError("Jméno je chybné !");
  readField(r.header.nameLength, r.name, kMaxNameLength);
  if (r.header.extraLength > kMaxNameLength) ReportError("Jméno je chybné !");
  readField(r.header.extraLength, extra, extra.max_size());
  WideValues wide{r.header.uncompressedSize, r.header.compressedSize, 0};
  // A marked size without its ZIP64 value keeps the marker: the member's data then runs
  // to the end of the archive and is reported as cut off, never read short.
  readZip64Extra(reinterpret_cast<const std::uint8_t*>(extra.data()), extra.size(),
                 r.header.uncompressedSize == kZip64Marker, r.header.compressedSize == kZip64Marker,
                 false, wide);
  r.unpacked = wide.uncompressedSize;
  r.packed = wide.compressedSize;
  r.shown = printableName(r.name);
  if (r.atEnd) {
    // Fields past the archive's end would be made-up bytes: no member to extract.
    ReportError(endsInsideHeaderMessage(r.archiveName));
    return false;
  }
  return true;
}

// A member with a data descriptor (flag bit 3) carries zeros or guesses in its local
// header; its sizes and CRC are taken from the central directory, and the walk goes on
// where the directory puts the next member, past the descriptor. Without a directory its
// end cannot be found, and the walk ends with it. False when the member is passed over.
bool TUnZip::takeDirectorySizes() {
  Run& r = *m_run;
  r.memberEnd = -1;
  if ((r.header.flags & kFlagDataDescriptor) == 0) {
    // Once the directory was read it says which members there are: a header it does not
    // list (one hidden in another member's data) is no member.
    if (!r.directory.loaded() || r.directory.at(r.headerOffset) != nullptr) return true;
    ReportError(notListedMessage(r.shown));
    const std::int64_t next = r.directory.nextStart(r.headerOffset);
    if (next < archiveOffset()) r.atEnd = true;
    moveTo(next);
    return false;
  }
  if (!r.directoryTried) {
    r.directoryTried = true;
    r.directory.load(r.archive, r.archiveSize);
  }
  if (!r.directory.loaded()) {
    ReportError(noDirectoryMessage(r.shown));
    r.atEnd = true;
    return false;
  }
  const CentralEntry* listed = r.directory.at(r.headerOffset);
  const std::int64_t next = r.directory.nextStart(r.headerOffset);
  if (listed == nullptr || listed->name.substr(0, kMaxNameLength) != r.name ||
      next < archiveOffset() ||
      listed->compressedSize > static_cast<std::uint64_t>(next - archiveOffset())) {
    ReportError(notListedMessage(r.shown));
    // A next member listed inside this one's header would have the walk read this
    // member's data as headers: the walk ends instead.
    if (next < archiveOffset()) r.atEnd = true;
    moveTo(next);
    return false;
  }
  r.header.crc = listed->crc;
  r.packed = listed->compressedSize;
  r.unpacked = listed->uncompressedSize;
  r.memberEnd = next;
  return true;
}

bool TUnZip::selected(const std::string& name) const {
  for (const std::string& mask : m_run->masks) {
    if (sameArchiveName(mask, name)) return true;
  }
  return false;
}

void TUnZip::ExtractMember() {
  Run& r = *m_run;
  if (!isSafeMemberName(r.name)) {
    ReportError("Name " + r.shown + " leads outside the extraction folder ! Skip next...");
    SkipBytes(r.packed);
    return;
  }
  if (platform::isTemporaryName(platform::namePart(r.name))) {
    // The next run into that folder would take the file for a killed run's debris.
    ReportError("Name " + r.shown + " is kept for temporary files ! Skip next...");
    SkipBytes(r.packed);
    return;
  }
  if ((r.header.flags & kFlagEncrypted) != 0) {
    // Decoded without its password, the data would be noise under the member's name.
    ReportError("Member " + r.shown + " is encrypted ! Skip next...");
    SkipBytes(r.packed);
    return;
  }
  bool replaces = false;
  if (!prepareTarget(replaces)) {
    SkipBytes(r.packed);
    return;
  }
  // A file is put in place only from data that was there to the end. Damaged data (a bad
  // CRC, a wrong size) is kept where nothing was, for what it may still be worth, but
  // never replaces a file.
  const std::string target = r.folder + r.shown;
  const Outcome outcome = DecodeMember(target);
  if (outcome == Outcome::Lost || (outcome == Outcome::Damaged && replaces)) {
    r.target.discard();
    if (outcome == Outcome::Damaged) ReportError("File " + target + " was kept as it was.");
    return;
  }
  flushTarget();
  platform::IoError err;
  // A header time that is no real date and time leaves the file's own time.
  std::time_t when = 0;
  if (platform::fromDosDateTime({r.header.date, r.header.time}, when)) {
    r.target.setModificationTime(when, err);
  }
  if (!r.target.commit(err)) ReportError(ioErrorMessage(err.code));
}

// Nothing in the extraction folder is followed: a link on the way to the target refuses
// the member, a link at the target is replaced. A folder or the archive being read in
// the target's place is never replaced.
bool TUnZip::prepareTarget(bool& replaces) {
  Run& r = *m_run;
  platform::IoError err;
  switch (r.target.reachFolder(r.folder, r.name, err)) {
    case platform::BeneathTarget::Reach::LinkedFolder:
      ReportError("Name " + r.shown + " leads through the link " +
                  printableName(r.target.linkedPart()) + " ! Skip next...");
      return false;
    case platform::BeneathTarget::Reach::Failed:
      // A folder missing on the target's path is a path error.
      ReportError(ioErrorMessage(platform::errorKind(err.code) == platform::ErrorKind::NotFound
                                      ? platform::errorCode(platform::ErrorKind::PathNotFound)
                                      : err.code));
      return false;
    case platform::BeneathTarget::Reach::Ok:
      break;
  }
  sweepTargetFolder();
  platform::FileIdentity existing;
  // Creating over a folder, or over a file the user may not write, is refused as the
  // system refuses it; a rename would get past either.
  if (r.target.targetIsFolder() || !r.target.targetWritable()) {
    ReportError(deniedMessage(r.shown));
    return false;
  }
  replaces = r.target.identifyTarget(existing);
  if (replaces && existing.device == r.archiveId.device && existing.inode == r.archiveId.inode) {
    ReportError("Name " + r.shown + " is the archive being read ! Skip next...");
    return false;
  }
  if (!r.target.createTemporary(err)) {
    ReportError(ioErrorMessage(err.code));
    return false;
  }
  return true;
}

// Each folder a run writes into is cleared once of the temporary files that a killed run
// left there.
void TUnZip::sweepTargetFolder() {
  Run& r = *m_run;
  platform::FileIdentity folder;
  if (!r.target.folderIdentity(folder)) return;
  for (const platform::FileIdentity& done : r.swept) {
    if (done.sameObject(folder)) return;
  }
  r.swept.push_back(folder);
  r.target.removeStaleTemporaries();
}

TUnZip::Outcome TUnZip::DecodeMember(const std::string& target) {
  Run& r = *m_run;
  r.crc = kCrcStart;
  r.remaining = r.packed;
  r.written = 0;
  r.outPos = 0;
  platform::IoError err;
  const std::int64_t position = r.archive.position(err);
  const std::int64_t dataStart = position - static_cast<std::int64_t>(r.inCount - r.inPos);
  r.cutOff = position >= 0 && dataStart + static_cast<std::int64_t>(r.packed) > r.archiveSize;
  MemberSource source(*this);
  TargetSink sink(*this);
  BitReader bits(source);
  const DecodeReport report = [this](const std::string& message) { ReportError(message); };
  const std::uint16_t method = r.header.method;
  DecodeResult result = DecodeResult::Done;
  if (method == kMethodStored) {
    const std::uint8_t* data = nullptr;
    while (const std::size_t n = source.next(data)) sink.write(data, n);
  } else if (method == kMethodShrunk) {
    result = Unshrink(bits, sink, r.unpacked, report);
  } else if (method >= 2 && method <= 5) {
    result = Unreduce(bits, sink, method - 1, r.unpacked, report);
  } else if (method == kMethodImploded) {
    result = Explode(bits, sink, r.header.flags, r.unpacked, report);
  } else if (method == kMethodDeflated) {
    result = Inflate(source, sink, r.unpacked, [&](const std::string& message) {
      ReportError(r.shown + ": " + message);
    });
  } else {
    ReportError("Unknown compress method (" + std::to_string(method) + ") use on " + r.shown +
                " ! Skip next...");
    skipRestOfMember();
    return Outcome::Lost;
  }
  // Whatever the decoder left of the member's data is passed over, so that the next
  // header is read where it lies even after damaged data.
  skipRestOfMember();
  if (result == DecodeResult::NoMemory) return Outcome::Lost;
  if (r.cutOff) {
    ReportError(endsInsideMessage(r.archiveName, r.shown));
    return Outcome::Lost;
  }
  bool damaged = result != DecodeResult::Done;
  if (result == DecodeResult::TooLong) {
    ReportError("File " + target + " has wrong size ! Stored size is " +
                std::to_string(r.unpacked) + ", its data goes on past it.");
  } else if (r.written != r.unpacked) {
    ReportError("File " + target + " has wrong size ! Stored size is " +
                std::to_string(r.unpacked) + ", written size is " +
                std::to_string(r.written) + ".");
    damaged = true;
  }
  const std::uint32_t computed = ~r.crc;
  if (computed != r.header.crc) {
    ReportError("File " + target + " has bad CRC ! Stored CRC is " + hex(r.header.crc) +
                ", computed CRC is " + hex(computed) + ".");
    damaged = true;
  }
  return damaged ? Outcome::Damaged : Outcome::Whole;
}

void TUnZip::skipRestOfMember() {
  Run& r = *m_run;
  if (r.remaining > 0) SkipBytes(r.remaining);
  r.remaining = 0;
}

std::size_t TUnZip::nextCompressedRun(const std::uint8_t*& data) {
  Run& r = *m_run;
  if (r.remaining == 0) return 0;
  if (r.inPos >= r.inCount) {
    if (r.atEnd) return 0;
    refill();
    if (r.atEnd) return 0;
  }
  std::size_t n = r.inCount - r.inPos;
  if (n > r.remaining) n = static_cast<std::size_t>(r.remaining);
  if (OnProgress) {
    // One event per byte, as the byte is taken.
    n = 1;
    reportProgress();
  }
  data = r.input.data() + r.inPos;
  r.inPos += n;
  r.remaining -= n;
  return n;
}

void TUnZip::reportProgress() {
  Run& r = *m_run;
  const double left = static_cast<double>(r.remaining) / static_cast<double>(r.packed) * 100.0;
  // nearbyint rounds halves to the even neighbour.
  OnProgress(*this, static_cast<std::int16_t>(100 - static_cast<int>(std::nearbyint(left))));
}

int TUnZip::ReadCompressedByte() {
  if (!m_run || m_run->remaining == 0) return -1;
  Run& r = *m_run;
  const int b = readArchiveByte();
  if (OnProgress) reportProgress();
  --r.remaining;
  return b;
}

void TUnZip::PutByte(std::uint8_t b) {
  if (m_run) writeTarget(&b, 1);
}

void TUnZip::SkipBytes(std::uint64_t n) {
  if (!m_run) return;
  Run& r = *m_run;
  const std::size_t left = r.inPos < r.inCount ? r.inCount - r.inPos : 0;
  if (left >= n + 1) {
    r.inPos += static_cast<std::size_t>(n);
    return;
  }
  platform::IoError err;
  const std::int64_t position = r.archive.position(err);
  if (position < 0 ||
      !r.archive.seek(position - static_cast<std::int64_t>(left) + static_cast<std::int64_t>(n),
                       err)) {
    ReportError(ioErrorMessage(err.code));
  }
  refill();
}

void TUnZip::writeTarget(const std::uint8_t* data, std::size_t n) {
  Run& r = *m_run;
  r.crc = updateCrc(r.crc, data, n);
  r.written += n;
  while (n > 0) {
    std::size_t room = r.output.size() - r.outPos;
    if (room == 0) {
      flushTarget();
      room = r.output.size();
    }
    const std::size_t take = n < room ? n : room;
    std::memcpy(r.output.data() + r.outPos, data, take);
    r.outPos += take;
    data += take;
    n -= take;
  }
}

void TUnZip::flushTarget() {
  Run& r = *m_run;
  if (r.outPos == 0) return;
  platform::IoError err;
  if (!r.target.write(r.output.data(), static_cast<std::int64_t>(r.outPos), err)) {
    throw UnZipError(err.message(), err);
  }
  r.outPos = 0;
}

}  // namespace zip
