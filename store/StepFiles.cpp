#include "StepFiles.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "History.h"
#include "InputChecks.h"
#include "SystemErrors.h"
#include "SystemFiles.h"
#include "Wrap.h"

namespace vesmira {

FileFailure::FileFailure(int error) : Failure(FileFailureText(error)), error_(error) {}

std::string FileFailureText(int error) {
    // Not a switch: on some systems two of these names are one number.
    if (error == system::kNotFound) {
        return "ファイルが見つかりません";
    }
    if (error == system::kBadName) {
        return "不正なファイル名です";
    }
    if (error == system::kTooManyOpen || error == system::kTooManyOpenInSystem) {
        return "オープンしたファイルが多すぎます";
    }
    if (error == system::kDenied || error == system::kNotPermitted) {
        return "ファイルへのアクセスが拒否されました";
    }
    return "I/O エラー (" + std::to_string(error) + ")";
}

namespace {

constexpr char kPartialSuffix[] = ".part";
// Tries at a partial name before giving up: each is new and random, so only
// someone who keeps filling the folder with such names makes a save fail.
constexpr int kPartialNameTries = 16;

// Folder (with its separator) and name; Windows separates by either slash.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
#ifdef _WIN32
    const size_t slash = path.find_last_of("/\\");
#else
    const size_t slash = path.rfind('/');
#endif
    if (slash == std::string::npos) {
        return {"", path};
    }
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// POSIX says ENOENT both for a missing file and for a missing folder on its
// path; the user is told the two apart, as a bad file name in the second case.
// (Windows tells them apart itself.)
[[noreturn]] void ThrowFileFailure(int error, const std::string& path) {
    if (error == system::kNotFound) {
        const std::string folder = SplitPath(path).first;
        if (!folder.empty() && !system::IsFolder(folder)) {
            error = system::kBadName;
        }
    }
    throw FileFailure(error);
}

// The files this process wrote and has not removed yet, each as it was when
// written: only those are ever removed.
struct OwnFile {
    std::string name;
    system::FileStatus written;
};
std::vector<OwnFile> ownFiles;

void Remember(const std::string& name, const system::FileStatus& written) {
    for (OwnFile& own : ownFiles) {
        if (own.name == name) {
            own.written = written;
            return;
        }
    }
    ownFiles.push_back({name, written});
}

// Still the file written: the same file (a number the system may hand out
// again once the file is gone), as large, and not written to since.
bool StillOwn(const OwnFile& own, const system::FileStatus& now) {
    return now.regular && now.id == own.written.id && now.size == own.written.size &&
           now.modified[0] == own.written.modified[0] && now.modified[1] == own.written.modified[1];
}

void Forget(const std::string& name) {
    std::erase_if(ownFiles, [&name](const OwnFile& own) { return own.name == name; });
}

// A name for the new file a save writes before renaming it over the step
// file: hidden, in the same folder, not a step file name, and different at
// every call, so that no file already there is ever taken for it.
std::string PartialName(const std::string& fileName) {
    static uint64_t calls = 0;
    // splitmix64: neighbouring inputs give unrelated names.
    uint64_t x = system::Entropy() + 0x9e3779b97f4a7c15u * ++calls;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
    x ^= x >> 31;
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz234567";
    std::string token;
    for (int i = 0; i < 10; ++i, x >>= 5) {
        token += kLetters[x & 31];
    }
    const auto [folder, base] = SplitPath(fileName);
    return folder + "." + base + "." + token + kPartialSuffix;
}

system::File CreatePartial(const std::string& fileName, std::string& partial) {
    system::File file;
    int error = system::kExists;
    for (int i = 0; i < kPartialNameTries && error == system::kExists; ++i) {
        partial = PartialName(fileName);
        error = system::CreateNew(partial, file);
    }
    if (error != 0) {
        ThrowFileFailure(error, partial);
    }
    return file;
}

// Whether the file at path is still the one read, as it was before: another
// program that rewrites it meanwhile (in place or by renaming over it) would
// otherwise hand the wizard a snapshot cut off midway, without a message.
bool Unchanged(const system::File& file, const std::string& path, const system::FileStatus& before,
               size_t bytesRead) {
    system::FileStatus after;
    system::FileStatus named;
    return file.Status(after) == 0 && system::StatusOf(path, named) == 0 && named.id == after.id &&
           after.SameVersion(before) && bytesRead == before.size;
}

std::string ReadWholeFile(const std::string& path) {
    system::File file;
    if (const int error = system::OpenToRead(path, file)) {
        ThrowFileFailure(error, path);
    }
    system::FileStatus status;
    if (const int error = file.Status(status)) {
        ThrowFileFailure(error, path);
    }
    if (!status.regular) {
        throw FileFailure(status.folder ? system::kIsFolder : system::kNotPlainFile);
    }
    if (status.size > kMaxStepFileSize) {
        throw FileFailure(system::kTooBig);
    }
    std::string bytes;
    char buffer[16384];
    for (;;) {
        size_t got = 0;
        if (const int error = file.Read(buffer, sizeof buffer, got)) {
            ThrowFileFailure(error, path);
        }
        if (got == 0) {
            break;
        }
        if (bytes.size() + got > kMaxStepFileSize) {
            throw FileFailure(system::kTooBig);  // grew while being read
        }
        bytes.append(buffer, got);
    }
    if (!Unchanged(file, path, status, bytes.size())) {
        throw FileFailure(system::kChangedWhileRead);
    }
    if (const int error = file.Close()) {
        ThrowFileFailure(error, path);
    }
    return bytes;
}

}  // namespace

std::string StepFileName(int32_t step) {
    return "temp." + std::to_string(step);
}

bool IsStepFileName(std::string_view name) {
    if (!name.starts_with("temp.") || name.size() == 5) {
        return false;
    }
    name.remove_prefix(5);
    return std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string FormatStepFile(int32_t cursorYear, std::string_view history) {
    std::string bytes = std::to_string(cursorYear) + kLineEnd;
    bytes += history;
    return bytes;
}

StepSnapshot ParseStepFile(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\x1a'));
    // Splits off the next line without its line end; lone CRs are dropped.
    const auto nextLine = [&bytes] {
        const size_t lf = bytes.find('\n');
        std::string line(bytes.substr(0, lf));
        bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
        std::erase(line, '\r');
        return line;
    };
    StepSnapshot snapshot{ToInteger(nextLine()), {}};
    while (!bytes.empty()) {
        snapshot.history += nextLine() + kLineEnd;
    }
    return snapshot;
}

void SaveStepFile(const std::string& fileName, const std::string& history) {
    const std::string bytes = FormatStepFile(Wizard.CursorYear, history);
    if (bytes.size() > kMaxStepFileSize) {
        throw FileFailure(system::kTooBig);  // a snapshot that "戻る" would refuse to read back
    }
    std::string partial;
    system::File file = CreatePartial(fileName, partial);
    int error = file.WriteAll(bytes);
    // Remembered as written, for the case that it cannot be removed below.
    system::FileStatus status;
    if (const int statusError = file.Status(status); statusError == 0) {
        Remember(partial, status);
    } else if (error == 0) {
        error = statusError;
    }
    if (const int closeError = file.Close(); error == 0) {
        error = closeError;
    }
    // No fsync: a step file only has to outlive the process, not the machine,
    // and rename alone already makes a crash leave the old or the new content.
    if (error == 0) {
        error = system::Rename(partial, fileName);
    }
    if (error != 0) {
        if (system::Remove(partial) == 0) {
            Forget(partial);
        }
        ThrowFileFailure(error, fileName);
    }
    Forget(partial);
    Remember(fileName, status);
}

std::string LoadStepFile(int32_t step) {
    StepSnapshot snapshot = ParseStepFile(ReadWholeFile(StepFileName(WrapSub(step, 1))));
    Wizard.CursorYear = snapshot.cursorYear;
    return std::move(snapshot.history);
}

void DeleteStepFiles() {
    // By name, not by listing the folder: that needs no open file, and works
    // in a folder that may be written but not read.
    std::erase_if(ownFiles, [](const OwnFile& own) {
        system::FileStatus status;
        if (const int error = system::StatusOf(own.name, status)) {
            return error == system::kNotFound;
        }
        if (!StillOwn(own, status)) {
            return true;  // someone else's file now: left alone
        }
        const int error = system::Remove(own.name);
        return error == 0 || error == system::kNotFound;
    });
}

}  // namespace vesmira
