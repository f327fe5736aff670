#pragma once

// The few calls the step files and the folder lock make of the system, one
// implementation per system (posix/, win/). Each returns 0 or the system's
// error number (errno, or GetLastError on Windows), named in SystemErrors.h
// where the callers look for one; what a failure means to the user is
// decided by the callers.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vesmira::system {

// Which file a name or an open file is: the same for two names of one file.
struct FileId {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

struct FileStatus {
    FileId id;
    bool regular = false;
    bool folder = false;
    bool ownedByUser = false;  // by the user this process runs as
    uint64_t links = 0;
    uint64_t size = 0;
    // Times of the last write and of the last change of any kind (seconds,
    // nanoseconds), for equality only.
    int64_t modified[2] = {};
    int64_t changed[2] = {};
    // The same file, not written or changed in any way since.
    bool SameVersion(const FileStatus& other) const {
        return id == other.id && size == other.size && modified[0] == other.modified[0] &&
               modified[1] == other.modified[1] && changed[0] == other.changed[0] &&
               changed[1] == other.changed[1];
    }
};

// An open file, closed when it goes.
class File {
  public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return handle_ >= 0; }
    // got == 0 at the end of the file.
    int Read(char* buffer, size_t size, size_t& got);
    int WriteAll(std::string_view bytes);
    int Status(FileStatus& status) const;
    // Only this user may read or write it, whatever the defaults of the
    // system or the folder.
    int MakePrivate();
    // An exclusive lock, held until the file is closed or the process ends,
    // however it ends; kWouldBlock while another holds it.
    int TryLock();
    int Close();

  private:
    friend int CreateNew(const std::string&, File&);
    friend int OpenToRead(const std::string&, File&);
    friend int OpenOrCreate(const std::string&, File&);
    intptr_t handle_ = -1;
};

// A new file, private to this user; kExists when anything has that name, a
// link included.
int CreateNew(const std::string& name, File& file);
// For reading; never through a link in its place (kLinkInPlace), never
// waiting for a writer.
int OpenToRead(const std::string& name, File& file);
// For reading and writing, created private to this user if missing; never
// through a link in its place (kLinkInPlace).
int OpenOrCreate(const std::string& name, File& file);
// Of the entry itself: a link is not followed.
int StatusOf(const std::string& name, FileStatus& status);
// Replaces whatever to names, in one step.
int Rename(const std::string& from, const std::string& to);
int Remove(const std::string& name);
bool IsFolder(const std::string& path);
// Differs from call to call and between processes; not for secrets.
uint64_t Entropy();
// The user this process runs as, as text fit for a file name.
std::string UserTag();

}  // namespace vesmira::system
