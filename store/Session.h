#pragma once

// What ties one running copy of the wizard to its working folder: a lock that
// keeps a second copy out of it, and the ends of the program, which must
// still remove the step files.

#include <string>

namespace vesmira {

// Opens any of the standard descriptors 0, 1 and 2 that is closed on the
// null device, so that no file or connection opened later takes its number
// (a warning written to "standard error" would go into it). First thing at
// start. False when the null device cannot be opened.
bool OpenStandardDescriptors();

// ".vesmira.<user>.lock": one per user, so that no other user can hold it
// or leave one behind that blocks this user.
std::string LockFileName();

struct FolderLock {
    enum Outcome { kTaken, kHeldByAnother, kFailed } outcome;
    int error = 0;  // kFailed: the system's error number
};

// Takes the lock of the working folder: LockFileName() there, created mode
// 0600, locked with a lock the system releases when the process ends,
// however it ends. A lock file left by a copy that was killed is taken over.
// kFailed, with nothing changed, when it cannot be made sure that no other
// copy runs here: the file cannot be created or locked, or its name holds a
// link (kLinkInPlace), a folder (kIsFolder), something else that is no plain
// file (kNotPlainFile), or a file that is another user's or has other names
// too (kNotPermitted); the numbers are in SystemErrors.h.
FolderLock LockWorkingFolder();

// Every end the program sees: removes the step files this process wrote and
// its lock file, which stays locked until the process ends. Safe to call
// again, and without the lock.
void ReleaseWorkingFolder();

// From now on SIGTERM, SIGHUP, SIGINT and SIGQUIT, even where they were
// ignored at the start, only write a byte to a pipe. Returns the pipe's read
// end, for the event loop to watch, or -1 (the signals then keep their usual
// effect). Always -1 on Windows, whose ends (log-off, shutdown) come to the
// windows.
int CatchEndSignals();

}  // namespace vesmira
