// Rebuilding damaged and missing files of a recovery set into new files: the lost slices
// are solved from the recovery slices and the slices still good, each new file takes the
// good slices of its old self and the solved ones, and it counts as rebuilt only when its
// MD5 is the one its description gives. Existing files are never written or removed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "par2/gf16.h"
#include "par2/recovery_set.h"
#include "platform/file.h"

namespace par2 {

struct RepairOptions {
  std::uint64_t memoryLimit = 1ull << 30;  // for the lost slices being solved
  unsigned threads = 0;                    // 0: the usable cores
  Steering steering;                       // asked between slices, told the bytes read
};

enum class RepairStatus {
  Rebuilt,         // every file that was not good is now in its new file, checked
  NothingToDo,     // every file was good
  TooFewBlocks,    // more slices lost than recovery slices at hand (or than solve together)
  SetIncomplete,   // a file description is lost: slices cannot be placed
  TooMuchMemory,   // the lost slices would not fit in RepairOptions::memoryLimit
  BadOutput,       // an output path is missing, exists already, or is one of the set's files
  Mismatch,        // a rebuilt file's MD5 is not its description's (its new file is removed)
  IoFailed,        // a read or write failed (err says which)
  Stopped,         // a stop came first; files already rebuilt and checked stay
};

struct RepairResult {
  RepairStatus status = RepairStatus::IoFailed;
  std::vector<std::size_t> rebuilt;  // indexes into set.files() written to their outputs
                                     // and checked
  platform::IoError err;
  std::string message;  // what the caller shows: "rebuilt d.bin.002" or why nothing was
};

// `sources` are the paths checkFiles() read (parallel to set.files()); `outputs` names a
// new file for each file that is not good (others are ignored and may be "").
RepairResult repairFiles(const RecoverySet& set, const SetCheck& check,
                         const std::vector<std::string>& sources,
                         const std::vector<std::string>& outputs, const RepairOptions& options = {});

// Solves for the lost slices: picks as many recovery exponents as lost slices whose rows
// of the matrix (constant(lost[k]) ^ exponent) are independent, and returns the inverse of
// that square matrix, row-major. False when the exponents at hand do not give enough
// independent rows.
bool solveMatrix(const std::vector<std::uint32_t>& lost, const std::vector<std::uint32_t>& exponents,
                 std::vector<std::size_t>& chosen, std::vector<Gf>& inverse);

}  // namespace par2
