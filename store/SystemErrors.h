#pragma once

// The system's error numbers that the shared step-file and lock code names,
// each system's own: a failure's number is what the system said, or for what
// the shared code itself finds wrong, the number that system would use for
// it.
//
// On Windows these are GetLastError numbers. Where Windows says something
// itself, its own number is taken: 2, 3, 4 and 5 for what CreateFileW says of
// a missing file, a missing folder on the path, no more handles and a refused
// access; 80 (ERROR_FILE_EXISTS) from CREATE_NEW; 33 (ERROR_LOCK_VIOLATION)
// from a LockFileEx that fails at once. A folder opened as a file is refused
// with 5, so 5 also stands for a folder in a file's place, and for a lock
// file that is not this user's alone. For the rest: 681
// (ERROR_STOPPED_ON_SYMLINK) for a link or junction in a file's place, 1
// (ERROR_INVALID_FUNCTION, what a pipe or device answers a request it does
// not support) for what is no disk file, 223 (ERROR_FILE_TOO_LARGE), 1006
// (ERROR_FILE_INVALID: the file was altered from outside) for a file that
// changed while read, 1237 (ERROR_RETRY) when the lock file kept going away.
// Windows says 3 itself for a missing folder, so the shared code's check for
// one, which POSIX needs, finds nothing to change there.

#ifndef _WIN32
#include <cerrno>
#endif

namespace vesmira::system {

#ifdef _WIN32
inline constexpr int kNotFound = 2;             // ERROR_FILE_NOT_FOUND
inline constexpr int kBadName = 3;              // ERROR_PATH_NOT_FOUND
inline constexpr int kTooManyOpen = 4;          // ERROR_TOO_MANY_OPEN_FILES
inline constexpr int kTooManyOpenInSystem = 4;  // the same: Windows has one
inline constexpr int kDenied = 5;               // ERROR_ACCESS_DENIED
inline constexpr int kNotPermitted = 5;
inline constexpr int kIsFolder = 5;
inline constexpr int kExists = 80;              // ERROR_FILE_EXISTS
inline constexpr int kLinkInPlace = 681;        // ERROR_STOPPED_ON_SYMLINK
inline constexpr int kNotPlainFile = 1;         // ERROR_INVALID_FUNCTION
inline constexpr int kTooBig = 223;             // ERROR_FILE_TOO_LARGE
inline constexpr int kChangedWhileRead = 1006;  // ERROR_FILE_INVALID
inline constexpr int kWouldBlock = 33;          // ERROR_LOCK_VIOLATION
inline constexpr int kTryAgain = 1237;          // ERROR_RETRY
#else
inline constexpr int kNotFound = ENOENT;
inline constexpr int kBadName = ENOTDIR;
inline constexpr int kTooManyOpen = EMFILE;
inline constexpr int kTooManyOpenInSystem = ENFILE;
inline constexpr int kDenied = EACCES;
inline constexpr int kNotPermitted = EPERM;
inline constexpr int kIsFolder = EISDIR;
inline constexpr int kExists = EEXIST;
inline constexpr int kLinkInPlace = ELOOP;
inline constexpr int kNotPlainFile = EINVAL;
inline constexpr int kTooBig = EFBIG;
inline constexpr int kChangedWhileRead = EIO;
inline constexpr int kWouldBlock = EWOULDBLOCK;
inline constexpr int kTryAgain = EAGAIN;
#endif

}  // namespace vesmira::system
