#include "Session.h"

#include <utility>

#include "StepFiles.h"
#include "SystemErrors.h"
#include "SystemFiles.h"

namespace vesmira {

namespace {

// A copy that ends removes its lock file while still holding the lock; one
// that opened the file just before then gets a lock on a file without a
// name, and tries again on a new one.
constexpr int kLockTries = 8;

// Held open until the process ends: the lock lasts as long as this file.
system::File lockFile;
system::FileId lockId;
bool lockNamed = false;  // the lock file still to be removed

}  // namespace

std::string LockFileName() {
    return ".vesmira." + system::UserTag() + ".lock";
}

FolderLock LockWorkingFolder() {
    const std::string name = LockFileName();
    for (int i = 0; i < kLockTries; ++i) {
        system::File file;
        if (const int error = system::OpenOrCreate(name, file)) {
            return {FolderLock::kFailed, error};
        }
        system::FileStatus status;
        if (const int error = file.Status(status)) {
            return {FolderLock::kFailed, error};
        }
        if (!status.regular) {
            return {FolderLock::kFailed, status.folder ? system::kIsFolder : system::kNotPlainFile};
        }
        // Another user's file could be held by that user; a second name of
        // a file of this user's would be changed by the next line.
        if (!status.ownedByUser || status.links != 1) {
            return {FolderLock::kFailed, system::kNotPermitted};
        }
        if (const int error = file.MakePrivate()) {
            return {FolderLock::kFailed, error};
        }
        if (const int error = file.TryLock()) {
            const bool held = error == system::kWouldBlock;
            return {held ? FolderLock::kHeldByAnother : FolderLock::kFailed, held ? 0 : error};
        }
        system::FileStatus named;
        if (system::StatusOf(name, named) == 0 && named.id == status.id) {
            lockFile = std::move(file);
            lockId = status.id;
            lockNamed = true;
            return {FolderLock::kTaken};
        }
    }
    return {FolderLock::kFailed, system::kTryAgain};
}

void ReleaseWorkingFolder() {
    DeleteStepFiles();
    if (!lockNamed) {
        return;
    }
    const std::string name = LockFileName();
    system::FileStatus named;
    if (system::StatusOf(name, named) == 0 && named.id == lockId) {
        system::Remove(name);
    }
    lockNamed = false;
}

}  // namespace vesmira
