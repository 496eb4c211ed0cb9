// The checksum file a split writes beside its parts, in the line format that
// `sha256sum -c` and `shasum -a 256 -c` read, and the ".crc" files of other splitters.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace engine {

// What a checksum file says. Sizes and part numbers travel in comment lines, which the
// checking tools skip.
struct ChecksumList {
  struct Part {
    std::int64_t number = 0;
    std::int64_t size = 0;
    std::string name;           // the plain part, as the join reads it
    std::string sha256;         // of the plain part
    std::string archiveName;    // the part's archive, when the split packed it ("" else)
    std::string archiveSha256;  // of the archive
  };
  // The parts in number order, held compactly: a list of 700,000 parts must fit in a few
  // tens of MiB. A name that is the series' k-th name (that of part 1 with k for its
  // number) is not stored, nor a size where every part but the last has the first one's;
  // a digest takes its 32 bytes. A part is read back whole, by value.
  class Parts {
   public:
    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    const Part operator[](std::size_t i) const;
    const Part front() const { return (*this)[0]; }
    void push_back(const Part& part);
    void reserve(std::size_t count);
    // True while every part was added with the number after the one before, and named
    // as the series' part of that number.
    bool numbered() const { return m_numbered; }
    bool inSeries() const { return m_names.empty(); }
    // Whether `name` is the i-th part's name (made of nothing: a long list asks for every part).
    bool isNamed(std::size_t i, std::string_view name) const;

    std::int64_t sizeOf(std::size_t i) const;
    std::string nameOf(std::size_t i) const;
    std::string sha256Of(std::size_t i) const;  // "" when none was given
    bool hasSha256(std::size_t i) const { return i < m_hasDigest.size() && m_hasDigest[i]; }
    // Whether the i-th part's digest is given and is `digest`.
    bool hasSha256(std::size_t i, const std::array<std::uint8_t, 32>& digest) const {
      return hasSha256(i) && m_digests[i] == digest;
    }
    // False (nothing changed) when `hex` is not 64 lowercase hexadecimal digits.
    bool setSha256(std::size_t i, std::string_view hex);
    void setArchive(std::size_t i, const std::string& name, const std::string& sha256);
    void clearArchives() { m_archives.clear(); }

    class Iterator {
     public:
      Iterator(const Parts& parts, std::size_t i) : m_parts(&parts), m_i(i) {}
      const Part operator*() const { return (*m_parts)[m_i]; }
      Iterator& operator++() {
        ++m_i;
        return *this;
      }
      bool operator==(const Iterator& other) const { return m_i == other.m_i; }
      bool operator!=(const Iterator& other) const { return m_i != other.m_i; }

     private:
      const Parts* m_parts;
      std::size_t m_i;
    };
    Iterator begin() const { return {*this, 0}; }
    Iterator end() const { return {*this, m_count}; }

   private:
    struct Archive {
      std::string name;
      std::string sha256;
    };
    std::size_t m_count = 0;
    bool m_numbered = true;
    std::string m_first;                // the name of part 1, whose series the others follow
    std::string m_stem;                 // ... without its extension: the others' names begin so
    std::int64_t m_firstSize = 0;       // the size of every part but the last, while m_sizes is empty
    std::int64_t m_lastSize = 0;        // ... and of the last
    std::vector<std::int64_t> m_sizes;  // every part's, once one before the last differs
    std::vector<std::array<std::uint8_t, 32>> m_digests;  // made room for at the first digest
    std::vector<bool> m_hasDigest;
    std::unordered_map<std::size_t, std::string> m_names;  // names outside the series
    std::unordered_map<std::size_t, Archive> m_archives;
    std::size_t m_reserved = 0;  // the count made room for, once sizes are held one by one
  };
  Parts parts;
  std::string wholeName;    // the input, as a join gives it back
  std::int64_t wholeSize = 0;
  std::string wholeSha256;
};

inline constexpr char kChecksumExtension[] = ".sha256";

// The checksum file named after the series of a part: NAME.001 -> NAME.sha256 (a folder
// in front stays). Every series has its own, so that a split never replaces the list of
// another series: parts named after a join script, temp.001, are listed in temp.sha256.
std::string seriesChecksumFile(const std::string& partPath);
inline constexpr char kChecksumMarker[] = "# sundrix checksums";  // how every such file begins

// The largest checksum file a join reads. It is read a line at a time and only its list is
// held, but a hostile file must not make that list larger than memory.
inline constexpr std::int64_t kMaxChecksumFileSize = 256 * 1024 * 1024;
// The longest line it may have: a digest and a long name, escaped.
inline constexpr std::size_t kMaxChecksumLineLength = 16 * 1024;
// The largest file readTextFile reads.
inline constexpr std::int64_t kMaxTextFileSize = 64 * 1024 * 1024;

std::string checksumFileText(const ChecksumList& list);
// At most the size of the checksum file of `count` parts, none longer in name, number and
// size than `last` (with an archive when it has one) and at most `wholeSize` bytes in all.
std::int64_t checksumFileSizeBound(std::int64_t count, const ChecksumList::Part& last,
                                   const std::string& wholeName, std::int64_t wholeSize);
// The same text handed to `put` a line at a time, so that a list of many parts is never
// held twice; `partSha(i)`, where given, is the i-th part's digest instead of the list's.
void checksumFileLines(const ChecksumList& list, const std::function<void(std::string_view)>& put,
                       const std::function<std::string(std::size_t)>& partSha = {});
// False with `problem` set when the text is not a checksum file of this program.
bool parseChecksumFile(const std::string& text, ChecksumList& list, std::string& problem);
// Reads and parses the file at `path` a line at a time; false with `problem` saying why it
// cannot be used.
bool loadChecksumFile(const std::string& path, ChecksumList& list, std::string& problem);

// True when the list is of the series `partName` belongs to (NAME.001, NAME.002 ...);
// false with `problem` naming the series it lists instead.
bool listsSeriesOf(const ChecksumList& list, const std::string& partName, std::string& problem);

// The checksum file of the series of `firstPartPath`: the one named after the series
// (NAME.001 -> NAME.sha256) whatever it holds or is (a link to nothing, a folder, a pipe:
// then it cannot be read, and the join stops), else the one ".sha256" file of this
// program in the same folder that lists the series. "" when there is none, with
// `problem` set when there are several.
std::string findChecksumFile(const std::string& firstPartPath, std::string& problem);

// A ".crc" file of another splitter: "filename=", "size=" and "crc32=" lines. The file
// name must be a plain name in the parts' folder; anything else makes the file unusable.
struct CrcFile {
  std::string name;
  std::int64_t size = -1;
  std::uint32_t crc = 0;
};
bool parseCrcFile(const std::string& text, CrcFile& crc, std::string& problem);
bool loadCrcFile(const std::string& path, CrcFile& crc, std::string& problem);
// NAME.crc beside the part NAME.001, whatever is there; "" when nothing is.
std::string findCrcFile(const std::string& firstPartPath);

// A name on a line of its own: backslash, line feed and carriage return escaped as \\,
// \n and \r, as the checking tools write them; unescapeName is false on a stray escape.
std::string escapedName(const std::string& name);
bool unescapeName(std::string_view text, std::string& name);

// Reads a small text file whole; false with `problem` set when it cannot.
bool readTextFile(const std::string& path, std::string& text, std::string& problem);

}  // namespace engine
