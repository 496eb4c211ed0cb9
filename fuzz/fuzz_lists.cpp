// Fuzz target: arbitrary bytes as the texts a join reads, which may come from anywhere or
// be damaged: a checksum list, another splitter's .crc file, a join's journal, and an
// escaped name. A list that reads must also be written back as a text that reads as the
// same list whose sizes add up as a file's can, a journal that reads must hold its parts
// end to end, and a name must come back from its escaped form; a break of any aborts, as
// a fault.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/checksum_file.h"
#include "engine/join_journal.h"

namespace {

void require(bool holds) {
  if (!holds) std::abort();
}

bool sameList(const engine::ChecksumList& a, const engine::ChecksumList& b) {
  if (a.wholeName != b.wholeName || a.wholeSize != b.wholeSize ||
      a.wholeSha256 != b.wholeSha256 || a.parts.size() != b.parts.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.parts.size(); ++i) {
    const engine::ChecksumList::Part x = a.parts[i], y = b.parts[i];
    if (x.number != y.number || x.size != y.size || x.name != y.name || x.sha256 != y.sha256 ||
        x.archiveName != y.archiveName || x.archiveSha256 != y.archiveSha256) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string problem;

  engine::ChecksumList list;
  if (engine::parseChecksumFile(text, list, problem)) {
    std::int64_t total = 0;  // a join sums the sizes
    for (std::size_t i = 0; i < list.parts.size(); ++i) {
      require(list.parts.isNamed(i, list.parts.nameOf(i)));
      require(list.parts.hasSha256(i));
      require(!__builtin_add_overflow(total, list.parts.sizeOf(i), &total));
    }
    require(engine::listsSeriesOf(list, list.parts.nameOf(0), problem));
    engine::ChecksumList again;
    require(engine::parseChecksumFile(engine::checksumFileText(list), again, problem));
    require(sameList(list, again));
  } else {
    require(!problem.empty());
  }

  engine::CrcFile crc;
  problem.clear();
  require(engine::parseCrcFile(text, crc, problem) ? crc.size >= 0 : !problem.empty());

  engine::JoinJournal journal;
  problem.clear();
  if (engine::parseJournal(text, journal, problem)) {
    std::int64_t at = journal.startOffset, next = journal.startNumber;
    for (const engine::JoinJournal::Held& held : journal.held) {
      require(held.number == next && held.offset == at && held.size >= 0);
      at = held.offset + held.size;  // a sum past the largest offset is a fault UBSan stops
      next = held.number + 1;
    }
    require(journal.end() == at && journal.nextNumber() == next);
  } else {
    require(!problem.empty());
  }

  std::string name;
  require(engine::unescapeName(engine::escapedName(text), name) && name == text);
  return 0;
}
