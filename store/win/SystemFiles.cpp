// The step files' and the lock's calls on Windows' own API, by wide names.
// Every open names FILE_FLAG_OPEN_REPARSE_POINT, so a link or junction in a
// file's place is what gets opened, never what it points at, and is then
// refused or replaced. Links are the reparse points that name another file
// (name surrogates: symbolic links, junctions); other reparse points, such
// as the placeholders of a folder kept in step with a cloud, are the file
// itself, read through the system's filter.

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "SystemErrors.h"
#include "SystemFiles.h"

namespace vesmira::system {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Opens the entry itself: a folder too, and a link without following it.
constexpr DWORD kEntryItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

int LastError() {
    return static_cast<int>(GetLastError());
}

// UTF-8 to the system's UTF-16. A name with a NUL would name another file.
int Wide(const std::string& name, std::wstring& wide) {
    wide.clear();
    if (name.empty()) {
        return 0;
    }
    if (name.find('\0') != std::string::npos || name.size() > 32767) {
        return ERROR_INVALID_NAME;
    }
    const int size = static_cast<int>(name.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, nullptr, 0);
    if (length <= 0) {
        return LastError();
    }
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, wide.data(), length);
    return 0;
}

// The user this process runs as, and the security of a file that only this
// user may open (the counterpart of mode 0600): one ACE, protected from the
// ACEs a folder passes on, with the user as owner. Made once.
struct UserSecurity {
    int error = 0;
    std::vector<unsigned char> user;  // TOKEN_USER
    std::vector<unsigned char> acl;
    SECURITY_DESCRIPTOR descriptor{};

    PSID Sid() const {
        return error == 0 ? reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid : nullptr;
    }
    PACL Acl() const { return reinterpret_cast<PACL>(const_cast<unsigned char*>(acl.data())); }
};

int ReadUser(UserSecurity& security) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return LastError();
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    security.user.resize(std::max<DWORD>(size, sizeof(TOKEN_USER)));
    const BOOL read = GetTokenInformation(token, TokenUser, security.user.data(),
                                          static_cast<DWORD>(security.user.size()), &size);
    const int error = read ? 0 : LastError();
    CloseHandle(token);
    return error;
}

int MakeSecurity(UserSecurity& security) {
    if (const int error = ReadUser(security)) {
        return error;
    }
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(security.user.data())->User.Sid;
    security.acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    const PACL acl = security.Acl();
    if (!InitializeAcl(acl, static_cast<DWORD>(security.acl.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&security.descriptor, sid, FALSE) ||
        !SetSecurityDescriptorDacl(&security.descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        return LastError();
    }
    return 0;
}

const UserSecurity& Security() {
    static const UserSecurity security = [] {
        UserSecurity made;
        made.error = MakeSecurity(made);
        return made;
    }();
    return security;
}

bool OwnedByUser(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;  // no READ_CONTROL: not known to be the user's
    }
    const PSID user = Security().Sid();
    const bool same = owner != nullptr && user != nullptr && EqualSid(owner, user);
    LocalFree(descriptor);
    return same;
}

// 100 ns since 1601 as seconds and nanoseconds.
void SetTime(int64_t (&time)[2], LARGE_INTEGER value) {
    time[0] = value.QuadPart / 10000000;
    time[1] = value.QuadPart % 10000000 * 100;
}

bool IsLink(const FILE_ATTRIBUTE_TAG_INFO& tag) {
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           IsReparseTagNameSurrogate(tag.ReparseTag);
}

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

int Describe(HANDLE handle, FileStatus& status) {
    status = FileStatus();
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        return 0;  // a pipe or device: neither plain file nor folder
    }
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!GetFileInformationByHandle(handle, &info) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
        return LastError();
    }
    const bool link = IsLink(tag);
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.id = IdOf(info);
    status.regular = !link && !folder;
    status.folder = !link && folder;
    status.ownedByUser = OwnedByUser(handle);
    status.links = info.nNumberOfLinks;
    status.size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    SetTime(status.modified, basic.LastWriteTime);
    SetTime(status.changed, basic.ChangeTime);
    return 0;
}

// What a name holds without following it: INVALID_FILE_ATTRIBUTES if nothing.
DWORD AttributesOf(const std::wstring& name) {
    return GetFileAttributesW(name.c_str());
}

bool IsLinkAt(const std::wstring& name) {
    const HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                      OPEN_EXISTING, kEntryItself, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILE_ATTRIBUTE_TAG_INFO tag;
    const bool link =
        GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) && IsLink(tag);
    CloseHandle(handle);
    return link;
}

// Opens the file at name for access, never what a link there points at: a
// link is refused (kLinkInPlace), and so is anything that is no disk file.
// Another reparse point is opened a second time without
// FILE_FLAG_OPEN_REPARSE_POINT, for its filter to give the content, and
// must still be the same file, no link.
int OpenFile(const std::wstring& name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
             DWORD disposition, DWORD flags, HANDLE& opened) {
    const HANDLE entry = CreateFileW(name.c_str(), access | FILE_READ_ATTRIBUTES, share, security,
                                     disposition, flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (entry == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_ATTRIBUTE_TAG_INFO tag{};
    int error = 0;
    if (GetFileType(entry) != FILE_TYPE_DISK) {
        error = kNotPlainFile;
    } else if (!GetFileInformationByHandle(entry, &info) ||
               !GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag)) {
        error = LastError();
    } else if (IsLink(tag)) {
        error = kLinkInPlace;
    }
    if (error != 0 || !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (error != 0) {
            CloseHandle(entry);
        } else {
            opened = entry;
        }
        return error;
    }
    const HANDLE filtered = CreateFileW(name.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr,
                                        OPEN_EXISTING, flags, nullptr);
    CloseHandle(entry);
    if (filtered == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    BY_HANDLE_FILE_INFORMATION again;
    if (!GetFileInformationByHandle(filtered, &again) ||
        !GetFileInformationByHandleEx(filtered, FileAttributeTagInfo, &tag, sizeof tag) ||
        IsLink(tag) || !(IdOf(again) == IdOf(info))) {
        CloseHandle(filtered);
        return kLinkInPlace;  // replaced in between
    }
    opened = filtered;
    return 0;
}

// A junction or a link to a folder at name, removed itself: what it points
// at is not touched. Through a handle, so that exactly the entry looked at
// goes. False when name holds anything else.
bool RemoveFolderLink(const std::wstring& name) {
    const HANDLE handle = CreateFileW(name.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                      nullptr, OPEN_EXISTING, kEntryItself, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILE_ATTRIBUTE_TAG_INFO tag;
    FILE_DISPOSITION_INFO remove{TRUE};
    const bool removed =
        GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
        IsLink(tag) && (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove);
    CloseHandle(handle);
    return removed;
}

// What gives a new file the access list of the user alone.
int PrivateAttributes(SECURITY_ATTRIBUTES& attributes) {
    const UserSecurity& security = Security();
    if (security.error == 0) {
        attributes = {sizeof attributes, const_cast<SECURITY_DESCRIPTOR*>(&security.descriptor),
                      FALSE};
    }
    return security.error;
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
    DWORD read = 0;
    if (!ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(std::min<size_t>(size, 1u << 30)),
                  &read, nullptr)) {
        return LastError();
    }
    got = read;
    return 0;
}

int File::WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(AsHandle(handle_), bytes.data(),
                       static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30)), &written,
                       nullptr)) {
            return LastError();
        }
        if (written == 0) {
            return ERROR_WRITE_FAULT;  // would loop for ever
        }
        bytes.remove_prefix(written);
    }
    return 0;
}

int File::Status(FileStatus& status) const {
    return Describe(AsHandle(handle_), status);
}

// Replaces the whole list of who may do what, protected as the descriptor
// says: ACEs the folder passed on, or that another program added, go. (Wine
// takes a new list from this call, not from SetSecurityInfo.)
int File::MakePrivate() {
    const UserSecurity& security = Security();
    if (security.error != 0) {
        return security.error;
    }
    SECURITY_DESCRIPTOR descriptor = security.descriptor;
    return SetKernelObjectSecurity(AsHandle(handle_), DACL_SECURITY_INFORMATION, &descriptor)
               ? 0
               : LastError();
}

int File::TryLock() {
    OVERLAPPED whole{};
    if (LockFileEx(AsHandle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   MAXDWORD, MAXDWORD, &whole)) {
        return 0;
    }
    return LastError();  // ERROR_LOCK_VIOLATION, kWouldBlock, while another holds it
}

int File::Close() {
    const HANDLE handle = AsHandle(std::exchange(handle_, -1));
    if (handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    return CloseHandle(handle) ? 0 : LastError();
}

int CreateNew(const std::string& name, File& file) {
    std::wstring wide;
    if (const int error = Wide(name, wide)) {
        return error;
    }
    SECURITY_ATTRIBUTES attributes{};
    if (const int error = PrivateAttributes(attributes)) {
        return error;
    }
    const HANDLE handle = CreateFileW(
        wide.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL, FILE_SHARE_READ,
        &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    file = File();
    file.handle_ = reinterpret_cast<intptr_t>(handle);
    return 0;
}

// Other readers may come in; a writer that holds the file makes this fail at
// once (ERROR_SHARING_VIOLATION) instead of the read taking half its work.
int OpenToRead(const std::string& name, File& file) {
    std::wstring wide;
    if (const int error = Wide(name, wide)) {
        return error;
    }
    // A folder too, which the shared code tells the user is one.
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (const int error = OpenFile(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, handle)) {
        return error;
    }
    file = File();
    file.handle_ = reinterpret_cast<intptr_t>(handle);
    return 0;
}

// Shared in every way, deletion included: another copy opens it to try the
// lock, and the copy that holds it removes it as it ends.
int OpenOrCreate(const std::string& name, File& file) {
    std::wstring wide;
    if (const int error = Wide(name, wide)) {
        return error;
    }
    SECURITY_ATTRIBUTES attributes{};
    if (const int error = PrivateAttributes(attributes)) {
        return error;
    }
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (const int error =
            OpenFile(wide, GENERIC_READ | GENERIC_WRITE | READ_CONTROL | WRITE_DAC, kShareAll,
                     &attributes, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, handle)) {
        // A junction is a folder, which a file open refuses before the link
        // can be seen.
        return error == ERROR_ACCESS_DENIED && IsLinkAt(wide) ? kLinkInPlace : error;
    }
    file = File();
    file.handle_ = reinterpret_cast<intptr_t>(handle);
    return 0;
}

// Attributes need no share with whoever holds the file; the owner (for
// ownedByUser) needs READ_CONTROL, which another user's file may refuse.
int StatusOf(const std::string& name, FileStatus& status) {
    std::wstring wide;
    if (const int error = Wide(name, wide)) {
        return error;
    }
    HANDLE handle = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL, kShareAll,
                                nullptr, OPEN_EXISTING, kEntryItself, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
        handle = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                             kEntryItself, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    const int error = Describe(handle, status);
    CloseHandle(handle);
    return error;
}

// A file link at to is replaced as a file is. A junction or a link to a
// folder there is a folder to the rename, which refuses it (5): the link
// itself is removed and the rename tried once more. Any other failure leaves
// it.
int Rename(const std::string& from, const std::string& to) {
    std::wstring wideFrom, wideTo;
    if (const int error = Wide(from, wideFrom)) {
        return error;
    }
    if (const int error = Wide(to, wideTo)) {
        return error;
    }
    if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return 0;
    }
    const int error = LastError();
    if (error != ERROR_ACCESS_DENIED || !RemoveFolderLink(wideTo)) {
        return error;
    }
    return MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0
                                                                                    : LastError();
}

// A file link goes itself, not what it points at.
int Remove(const std::string& name) {
    std::wstring wide;
    if (const int error = Wide(name, wide)) {
        return error;
    }
    return DeleteFileW(wide.c_str()) ? 0 : LastError();
}

bool IsFolder(const std::string& path) {
    std::wstring wide;
    if (Wide(path, wide) != 0) {
        return false;
    }
    const DWORD attributes = AttributesOf(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t Entropy() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) ^
           (static_cast<uint64_t>(GetCurrentProcessId()) << 40);
}

// The user's SID, "S-1-5-21-…": digits and dashes only.
std::string UserTag() {
    const PSID sid = Security().Sid();
    char* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) {
        return "unknown";
    }
    std::string tag = text;
    LocalFree(text);
    return tag;
}

}  // namespace vesmira::system
