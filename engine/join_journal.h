// A join's journal: a small file beside the joined file that says which parts the file
// holding the join's bytes holds, at which offsets, so that a join that ended early (a
// kill, a stop, a failure) is continued exactly where its bytes end, and so that a file
// at the join's temporary name is known to be this program's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

namespace engine {

struct JoinJournal {
  // A part whose bytes the holder has; the part itself may be gone.
  struct Held {
    std::int64_t number = 0;
    std::int64_t offset = 0;
    std::int64_t size = 0;
    platform::FileIdentity part;  // the part as it was copied: only that file may be deleted
  };
  std::string series;       // the name of the series' first part: NAME.001
  std::string partsFolder;  // the folder the parts were joined from, as an absolute path
  std::string holder;       // the name, beside the journal, of the file that holds the bytes
  std::uint64_t device = 0, inode = 0;  // ... and that file's identity
  std::int64_t startNumber = 1;         // the join began with this part
  std::int64_t startOffset = 0;         // ... at this offset (bytes kept from before)
  std::int64_t lastNumber = 0;          // the highest part the join planned to take
  std::vector<Held> held;               // in number order, each where the one before ends

  // A journal whose head was cut off (a kill right after it was begun) names no holder:
  // the join it began had written nothing that anybody needs.
  bool headless() const { return holder.empty(); }
  std::int64_t end() const { return held.empty() ? startOffset : held.back().offset + held.back().size; }
  std::int64_t nextNumber() const { return held.empty() ? startNumber : held.back().number + 1; }
};

// The files a join of `outputPath` keeps beside it: ".NAME.sundrix-join" and
// ".NAME.sundrix-journal", or, where the file system cannot take names that long,
// ".sundrix-HASH.join" and ".sundrix-HASH.journal" (HASH: 16 hex digits made of NAME).
struct JoinNames {
  std::string temporary;
  std::string journal;
};
JoinNames joinNamesFor(const std::string& outputPath);
// What the journal's lines give; a line cut off by a kill (no line end) is not read.
// False with `problem` set when the text is not a journal or contradicts itself.
bool parseJournal(const std::string& text, JoinJournal& journal, std::string& problem);
bool loadJournal(const std::string& path, JoinJournal& journal, std::string& problem);

// Writes a journal: its head when created (before the holder exists, so that a holder
// is never there without a journal), then the holder's name and identity, then each
// batch of parts appended and flushed before any of them is deleted.
class JournalWriter {
 public:
  bool create(const std::string& path, const JoinJournal& head, platform::IoError& err);
  bool nameHolder(const JoinJournal& head, platform::IoError& err);
  // Continues a journal that exists: the holder's parts are appended after its lines.
  bool reopen(const std::string& path, platform::IoError& err);
  // Appends the parts and flushes the journal (and, the first time, its folder).
  bool record(const std::vector<JoinJournal::Held>& parts, platform::IoError& err);
  // Removes the journal this writer made or reopened (nothing when it has none).
  bool remove(platform::IoError& err);
  bool active() const { return m_file.isOpen(); }

 private:
  platform::File m_file;
  std::string m_path;
  bool m_folderSynced = false;
};

}  // namespace engine
