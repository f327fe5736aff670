#include "StepFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "History.h"
#include "InputChecks.h"
#include "Wrap.h"

namespace vesmira {

FileFailure::FileFailure(int error) : Failure(FileFailureText(error)), error_(error) {}

std::string FileFailureText(int error) {
    switch (error) {
        case ENOENT:
            return "ファイルが見つかりません";
        case ENOTDIR:
            return "不正なファイル名です";
        case EMFILE:
        case ENFILE:
            return "オープンしたファイルが多すぎます";
        case EACCES:
        case EPERM:
            return "ファイルへのアクセスが拒否されました";
        default:
            return "I/O エラー (" + std::to_string(error) + ")";
    }
}

namespace {

constexpr char kPartialSuffix[] = ".part";

std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {"", path};
    }
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// POSIX says ENOENT both for a missing file and for a missing folder on its
// path; the user is told the two apart, as a bad file name in the second case.
[[noreturn]] void ThrowFileFailure(int error, const std::string& path) {
    if (error == ENOENT) {
        const std::string folder = SplitPath(path).first;
        struct stat st {};
        if (!folder.empty() && (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
            error = ENOTDIR;
        }
    }
    throw FileFailure(error);
}

class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now and returns the error number of close, or 0.
    int Close() {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

// The new file a save writes before renaming it over the step file: hidden,
// in the same folder, and not a step file name itself.
std::string PartialName(const std::string& fileName) {
    const auto [folder, base] = SplitPath(fileName);
    return folder + "." + base + kPartialSuffix;
}

bool IsPartialName(std::string_view name) {
    if (!name.starts_with('.') || !name.ends_with(kPartialSuffix)) {
        return false;
    }
    name.remove_prefix(1);
    name.remove_suffix(sizeof kPartialSuffix - 1);
    return IsStepFileName(name);
}

int CreatePartial(const std::string& path) {
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0 && errno == EEXIST) {
        // Left over from a save that was killed midway.
        ::unlink(path.c_str());
        fd = ::open(path.c_str(), flags, 0666);
    }
    if (fd < 0) {
        ThrowFileFailure(errno, path);
    }
    return fd;
}

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

bool SameTimes(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the file at path is still the one read, as it was before: another
// program that rewrites it meanwhile (in place or by renaming over it) would
// otherwise hand the wizard a snapshot cut off midway, without a message.
bool Unchanged(int fd, const std::string& path, const struct stat& before, size_t bytesRead) {
    struct stat after {};
    struct stat named {};
    if (fstat(fd, &after) != 0 || stat(path.c_str(), &named) != 0) {
        return false;
    }
    return after.st_dev == named.st_dev && after.st_ino == named.st_ino &&
           after.st_size == before.st_size && SameTimes(after.st_mtim, before.st_mtim) &&
           SameTimes(after.st_ctim, before.st_ctim) &&
           (!S_ISREG(before.st_mode) || bytesRead == static_cast<uint64_t>(before.st_size));
}

std::string ReadWholeFile(const std::string& path) {
    // O_NONBLOCK: a FIFO in the step file's place must not hang the wizard.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        ThrowFileFailure(errno, path);
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) {
        ThrowFileFailure(errno, path);
    }
    if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > kMaxStepFileSize) {
        throw FileFailure(EFBIG);
    }
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowFileFailure(errno, path);
        }
        if (n == 0) {
            break;
        }
        if (bytes.size() + static_cast<size_t>(n) > kMaxStepFileSize) {
            throw FileFailure(EFBIG);  // grew while being read, or not a plain file
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    if (!Unchanged(fd.get(), path, st, bytes.size())) {
        throw FileFailure(EIO);
    }
    if (const int error = fd.Close()) {
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
        throw FileFailure(EFBIG);  // a snapshot that "戻る" would refuse to read back
    }
    const std::string partial = PartialName(fileName);
    UniqueFd fd(CreatePartial(partial));
    int error = WriteAll(fd.get(), bytes);
    if (const int closeError = fd.Close(); error == 0) {
        error = closeError;
    }
    // No fsync: a step file only has to outlive the process, not the machine,
    // and rename alone already makes a crash leave the old or the new content.
    if (error == 0 && ::rename(partial.c_str(), fileName.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(partial.c_str());
        ThrowFileFailure(error, fileName);
    }
}

std::string LoadStepFile(int32_t step) {
    StepSnapshot snapshot = ParseStepFile(ReadWholeFile(StepFileName(WrapSub(step, 1))));
    Wizard.CursorYear = snapshot.cursorYear;
    return std::move(snapshot.history);
}

void DeleteStepFiles() {
    DIR* dir = ::opendir(".");
    if (dir == nullptr) {
        return;
    }
    // Collected first: removing entries while reading the folder may skip some.
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (IsStepFileName(name) || IsPartialName(name)) {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        ::unlink(name.c_str());
    }
}

}  // namespace vesmira
