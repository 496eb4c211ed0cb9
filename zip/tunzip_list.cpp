// TUnZip's listing: one line per member, walking the local headers as the extraction
// does, with the reason kept when the walk ends before the central directory.
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/dos_time.h"
#include "zip/central_directory.h"
#include "zip/name_match.h"
#include "zip/reader_messages.h"
#include "zip/tunzip.h"
#include "zip/zip_format.h"

namespace zip {
namespace {

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

bool validDate(const platform::DosFields& f) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > kDays[f.month - 1]) return false;
  const bool leap = (f.year % 4 == 0 && f.year % 100 != 0) || f.year % 400 == 0;
  return !(f.month == 2 && f.day == 29 && !leap);
}

bool validTime(const platform::DosFields& f) {
  return f.hour < 24 && f.minute < 60 && f.second < 60;
}

// Reads up to n bytes; fewer only at the end of the file. A read error ends the listing.
std::size_t readUpTo(platform::File& file, std::uint8_t* buffer, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    platform::IoError err;
    const std::int64_t r = file.read(buffer + got, static_cast<std::int64_t>(n - got), err);
    if (r < 0) throw UnZipError(err.message(), err);
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

// Name, sizes, ratio, date and time, tab-separated. A date or time that is none shows
// as zeros.
std::string listingLine(const std::string& name, const LocalHeader& h, const WideValues& sizes,
                        char dateSeparator, char timeSeparator) {
  const long ratio = sizes.uncompressedSize == 0
                         ? 0
                         : std::lround(std::nearbyint(
                               static_cast<double>(sizes.compressedSize) /
                                   static_cast<double>(sizes.uncompressedSize) * 100.0 -
                               100.0));
  platform::DosFields f{};
  platform::decodeDosDateTime({h.date, h.time}, f);
  const std::string date = validDate(f)
                               ? twoDigits(f.day) + dateSeparator + twoDigits(f.month) +
                                     dateSeparator + std::to_string(f.year)
                               : std::string("00") + dateSeparator + "00" + dateSeparator + "0000";
  const std::string time = validTime(f)
                               ? twoDigits(f.hour) + timeSeparator + twoDigits(f.minute) +
                                     timeSeparator + twoDigits(f.second)
                               : std::string("00") + timeSeparator + "00" + timeSeparator + "00";
  return name + '\t' + std::to_string(sizes.uncompressedSize) + '\t' +
         std::to_string(sizes.compressedSize) + '\t' + std::to_string(ratio) + "%\t" + date +
         '\t' + time;
}

}  // namespace

void TUnZip::GetZipList(const std::string& arcName, std::vector<std::string>& list) {
  m_listingProblem.clear();
  platform::IoError err;
  platform::File file = platform::File::open(arcName, platform::File::Mode::Read, err);
  if (!file.isOpen()) throw UnZipError(err.message(), err);
  const std::int64_t fileSize = file.size(err);
  if (fileSize < 0) throw UnZipError(err.message(), err);
  std::int64_t position = 0;
  CentralDirectory directory;
  bool directoryTried = false;
  for (;;) {
    std::uint8_t fixed[kLocalHeaderSize];
    const std::size_t got = readUpTo(file, fixed, kLocalHeaderSize);
    if (got >= 4 && get32(fixed) == kCentralHeaderSignature) break;
    // The end record alone, of no members and the file's whole length: what the writer
    // makes when none of its files could be packed.
    if (position == 0 && got >= kEndRecordSize && get32(fixed) == kEndRecordSignature) {
      const EndRecord e = zip::readEndRecord(fixed);
      if (e.totalEntries == 0 && e.entriesOnDisk == 0 && e.centralDirectorySize == 0 &&
          fileSize == static_cast<std::int64_t>(kEndRecordSize) + e.commentLength) {
        break;
      }
    }
    // The walk ends where the extraction would end; the reason is kept for the caller. A
    // file with no member at all (an empty one too) is no archive.
    if (got < 4 || get32(fixed) != kLocalHeaderSignature) {
      m_listingProblem = "Hlava chybí nebo je poškozena u " + arcName;
      break;
    }
    if (got < kLocalHeaderSize) {
      m_listingProblem = endsInsideHeaderMessage(arcName);
      break;
    }
    LocalHeader h = zip::readLocalHeader(fixed);
    std::string name(h.nameLength, '\0');
    name.resize(readUpTo(file, reinterpret_cast<std::uint8_t*>(name.data()), name.size()));
    if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
    name = printableName(name);
    // Sizes past 32 bits are in the header's ZIP64 field.
    std::vector<std::uint8_t> extra(h.extraLength);
    extra.resize(readUpTo(file, extra.data(), extra.size()));
    WideValues sizes{h.uncompressedSize, h.compressedSize, 0};
    readZip64Extra(extra.data(), extra.size(), h.uncompressedSize == kZip64Marker,
                   h.compressedSize == kZip64Marker, false, sizes);
    const std::int64_t headerOffset = position;
    position += static_cast<std::int64_t>(kLocalHeaderSize) + h.nameLength + h.extraLength;
    std::int64_t next = -1;  // where the directory puts the next member
    if ((h.flags & kFlagDataDescriptor) == 0 && directory.loaded() &&
        directory.at(headerOffset) == nullptr) {
      // A header the directory, once read, does not list is no member.
      m_listingProblem = notListedMessage(name);
      next = directory.nextStart(headerOffset);
      if (next < position) break;
      position = next;
      if (!file.seek(position, err)) break;
      continue;
    }
    if ((h.flags & kFlagDataDescriptor) != 0) {
      if (!directoryTried) {
        directoryTried = true;
        directory.load(file, fileSize);
      }
      if (!directory.loaded()) {
        m_listingProblem = noDirectoryMessage(name);
        break;
      }
      const CentralEntry* listed = directory.at(headerOffset);
      next = directory.nextStart(headerOffset);
      if (listed == nullptr || printableName(listed->name.substr(0, kMaxNameLength)) != name ||
          next < position ||
          listed->compressedSize > static_cast<std::uint64_t>(next - position)) {
        m_listingProblem = notListedMessage(name);
        if (next < position) break;
        position = next;
        if (!file.seek(position, err)) break;
        continue;
      }
      h.crc = listed->crc;
      sizes.compressedSize = listed->compressedSize;
      sizes.uncompressedSize = listed->uncompressedSize;
    }

    list.push_back(listingLine(name, h, sizes, DateSeparator, TimeSeparator));

    const bool headerCut = position > fileSize;
    position = next >= 0 ? next
                         : sizes.compressedSize > static_cast<std::uint64_t>(fileSize)
                             ? fileSize + 1
                             : position + static_cast<std::int64_t>(sizes.compressedSize);
    if (position > fileSize) {
      m_listingProblem =
          headerCut ? endsInsideHeaderMessage(arcName) : endsInsideMessage(arcName, name);
      break;
    }
    if (!file.seek(position, err)) break;
  }
  file.closeQuietly();
}

}  // namespace zip
