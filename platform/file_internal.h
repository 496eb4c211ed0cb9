// What the back ends of the file layer share: the test seam and the way a failure is
// recorded. Not for use outside platform/.
#pragma once

#include <atomic>
#include <string>

#include "platform/file.h"

namespace platform {

extern std::atomic<FaultInjector*> g_injector;

// How syncAndCheckSize opens a file so that it may flush it.
extern const File::Mode kModeForSync;

// Records a failure in `err`; always false, so that callers can return it.
bool fail(IoError& err, FileOp op, const std::string& path, int code, std::string detail = {});

// Asks the test seam; true when the operation must fail (err is then set).
bool injected(FileOp op, const std::string& path, IoError& err);

// A name for a new temporary file, one that isTemporaryName knows.
std::string temporaryName();
// Marks a new temporary file as in use: its lock is what a sweep of the folder looks for.
// False when a sweep removed the file between its creation and the lock: make another.
bool lockTemporary(NativeHandle file);

#ifndef _WIN32
// Whether the permission bits let this user write the file: the owner's, the group's or
// everyone else's, whichever class the user falls in. The superuser gets no exception:
// a file marked read-only stays so for a program that replaces files by renaming.
bool permissionBitsAllowWrite(unsigned ownerId, unsigned groupId, unsigned mode);
#endif

}  // namespace platform
