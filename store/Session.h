#pragma once

// What ties one running copy of the wizard to its working folder: a lock that
// keeps a second copy out of it, and the signals that end the program, which
// must still remove the step files.

namespace vesmira {

// Takes an advisory lock on the working folder itself (no file is created),
// held until the process ends in whatever way. False only when another
// process holds it; where the folder cannot be locked at all (it cannot be
// opened for reading, or its file system has no locks) the wizard runs
// without the lock.
bool LockWorkingFolder();

// From now on SIGTERM, SIGHUP and SIGINT, even where they were ignored at the
// start, only write a byte to a pipe. Returns the pipe's read end, for the
// event loop to watch, or -1 (the signals then keep their usual effect).
int CatchEndSignals();

}  // namespace vesmira
