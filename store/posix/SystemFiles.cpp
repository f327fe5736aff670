#include "SystemFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vesmira::system {

namespace {

constexpr mode_t kPrivate = S_IRUSR | S_IWUSR;

int ErrorOf(int result) {
    return result < 0 ? errno : 0;
}

void Describe(const struct stat& st, FileStatus& status) {
    status.id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    status.regular = S_ISREG(st.st_mode);
    status.folder = S_ISDIR(st.st_mode);
    status.ownedByUser = st.st_uid == ::geteuid();
    status.links = static_cast<uint64_t>(st.st_nlink);
    status.size = static_cast<uint64_t>(st.st_size);
    status.modified[0] = st.st_mtim.tv_sec;
    status.modified[1] = st.st_mtim.tv_nsec;
    status.changed[0] = st.st_ctim.tv_sec;
    status.changed[1] = st.st_ctim.tv_nsec;
}

}  // namespace

File::~File() {
    Close();
}

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

int File::Read(char* buffer, size_t size, size_t& got) {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(handle_), buffer, size);
        if (n >= 0) {
            got = static_cast<size_t>(n);
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

int File::WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
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

int File::Status(FileStatus& status) const {
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0) {
        return errno;
    }
    Describe(st, status);
    return 0;
}

// The umask may take bits away from the mode given to open, never add the
// ones a folder's default ACL grants to others: the mode is set afterwards,
// which also sets the ACL's mask to none.
int File::MakePrivate() {
    return ErrorOf(::fchmod(static_cast<int>(handle_), kPrivate));
}

int File::TryLock() {
    if (::flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB) == 0) {
        return 0;
    }
    return errno == EAGAIN ? EWOULDBLOCK : errno;
}

int File::Close() {
    const int fd = static_cast<int>(std::exchange(handle_, -1));
    return fd < 0 ? 0 : ErrorOf(::close(fd));
}

int CreateNew(const std::string& name, File& file) {
    const int fd =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivate);
    if (fd < 0) {
        return errno;
    }
    file = File();
    file.handle_ = fd;
    if (const int error = file.MakePrivate()) {
        file.Close();
        ::unlink(name.c_str());
        return error;
    }
    return 0;
}

int OpenToRead(const std::string& name, File& file) {
    // O_NONBLOCK: a FIFO in the file's place must not hang the program.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    file = File();
    file.handle_ = fd;
    return 0;
}

int OpenOrCreate(const std::string& name, File& file) {
    const int fd =
        ::open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, kPrivate);
    if (fd < 0) {
        return errno;
    }
    file = File();
    file.handle_ = fd;
    return 0;
}

int StatusOf(const std::string& name, FileStatus& status) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0) {
        return errno;
    }
    Describe(st, status);
    return 0;
}

int Rename(const std::string& from, const std::string& to) {
    return ErrorOf(::rename(from.c_str(), to.c_str()));
}

int Remove(const std::string& name) {
    return ErrorOf(::unlink(name.c_str()));
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint64_t Entropy() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec)) ^
           (static_cast<uint64_t>(::getpid()) << 40);
}

std::string UserTag() {
    return std::to_string(::geteuid());
}

}  // namespace vesmira::system
