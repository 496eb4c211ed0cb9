// Joining and verifying a split's parts straight from the archives its compress options
// packed them into (NAME.001.zip, NAME.002.zip ...): each member is decoded as a stream
// into the joined file or the digest, with no part ever unpacked to the disk.
#pragma once

#include <string>

#include "engine/combine.h"
#include "engine/verify.h"

namespace engine {

// True for the name of a part's archive: a numbered part's name followed by ".zip".
bool isPartArchive(const std::string& path);

// The join of CombineFiles for a first archive. The parts are the ones the series'
// checksum file lists (every part and the whole file checked against it), or without
// one the archives numbered from the first up to the highest in the folder, a gap refused
// (each member checked by its CRC-32 only).
// The archives are always kept; appending is refused.
JobResult JoinArchivedParts(const CombineRequest& request, CombineOptions& options,
                            ProgressSink& progress, const StopToken& stop);

// VerifyParts for a first archive: each listed archive against its own digest, and its
// member, decoded, against the part's; a line in MISMATCH says why.
VerifyReport VerifyArchivedParts(const std::string& firstArchivePath, const StopToken& stop);

}  // namespace engine
