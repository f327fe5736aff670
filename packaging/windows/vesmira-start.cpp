// vesmira-start.exe: what the Start menu runs. The wizard keeps its step
// files (temp.1, temp.2, ...) and its lock file in its working folder, so each
// start gets a new folder of its own under the user's temporary folder that
// only this user can enter; vesmira.exe, beside this program, runs there, and
// the folder goes when it ends. No folder, no start.
//
// Windows may end this program before the wizard (log-off, Task Manager); the
// folder is then left behind. Each start therefore also removes the folders
// of earlier starts that nothing uses any more. A folder counts as in use
// while any program holds it or anything in it open: the wizard inherits a
// handle to its folder that shares no deletion, and has the folder as its
// current folder; and every entry is opened exclusively before anything is
// removed. Only folders named as this program names them, owned by this user,
// and not links, are ever looked at.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <bcrypt.h>
#include <sddl.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr std::wstring_view kPrefix = L"vesmira.";
constexpr size_t kRandomDigits = 16;
constexpr wchar_t kTitle[] = L"ヴェスミラ";
// A folder deeper or fuller than the wizard could ever leave is not ours to
// clear; it is left as it is.
constexpr int kMaxDepth = 16;
constexpr size_t kMaxEntries = 4096;

class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Get() const { return handle_; }
    void Close() {
        if (IsOpen()) {
            CloseHandle(handle_);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

struct User {
    std::vector<BYTE> sid;  // a SID, as the system keeps it
    std::wstring text;      // the same in its string form, S-1-5-...
};

bool CurrentUser(User& user) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return false;
    }
    Handle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
        return false;
    }
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    user.sid.assign(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        return false;
    }
    user.text = text;
    LocalFree(text);
    return true;
}

std::wstring ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result =
        length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(error);
    LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' ||
                               result.back() == L' ' || result.back() == L'.')) {
        result.pop_back();
    }
    return result;
}

// To standard error where there is one (a terminal, a pipe, a file: whoever
// started this program is looking there); else in a message box, as when
// started from the Start menu.
void Tell(const std::wstring& message) {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error != nullptr && error != INVALID_HANDLE_VALUE &&
        GetFileType(error) != FILE_TYPE_UNKNOWN) {
        const std::wstring line = L"vesmira-start: " + message + L"\n";
        DWORD mode = 0;
        DWORD written = 0;
        if (GetConsoleMode(error, &mode)) {
            WriteConsoleW(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            return;
        }
        const int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                             nullptr, 0, nullptr, nullptr);
        std::string bytes(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(),
                            size, nullptr, nullptr);
        WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        return;
    }
    MessageBoxW(nullptr, message.c_str(), kTitle, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

// "vesmira." and 16 lowercase hexadecimal digits: the names this program
// gives, and the only ones it ever removes.
bool IsOurName(std::wstring_view name) {
    if (name.size() != kPrefix.size() + kRandomDigits ||
        name.substr(0, kPrefix.size()) != kPrefix) {
        return false;
    }
    for (const wchar_t c : name.substr(kPrefix.size())) {
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) {
            return false;
        }
    }
    return true;
}

bool NewName(std::wstring& name) {
    uint8_t random[kRandomDigits / 2];
    if (BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        return false;
    }
    name = kPrefix;
    for (const uint8_t byte : random) {
        name += L"0123456789abcdef"[byte >> 4];
        name += L"0123456789abcdef"[byte & 15];
    }
    return true;
}

std::wstring TemporaryFolder() {
    std::wstring path(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(path.size()), path.data());
    path.resize(length <= MAX_PATH + 1 ? length : 0);
    if (!path.empty() && path.back() != L'\\') {
        path += L'\\';
    }
    return path;
}

// This program's own folder, where vesmira.exe is.
std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

bool AttributesOf(HANDLE handle, DWORD& attributes) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
        return false;
    }
    attributes = tag.FileAttributes;
    return true;
}

bool OwnedBy(HANDLE handle, const User& user) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool same = owner != nullptr && IsValidSid(owner) &&
                      EqualSid(owner, const_cast<BYTE*>(user.sid.data()));
    LocalFree(descriptor);
    return same;
}

// The names in a folder, with their attributes as the listing gives them.
bool ListFolder(HANDLE folder, std::vector<std::pair<std::wstring, DWORD>>& entries) {
    std::vector<LONGLONG> buffer(8192 / sizeof(LONGLONG));
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(folder, kind, buffer.data(),
                                          static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
            return GetLastError() == ERROR_NO_MORE_FILES;
        }
        kind = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const BYTE*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                if (entries.size() >= kMaxEntries) {
                    return false;
                }
                entries.emplace_back(std::move(name), entry->FileAttributes);
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
            bytes += entry->NextEntryOffset;
        }
    }
}

// Where a handle really leads, "\\?\C:\..." with long names; a link opened
// as itself leads to itself.
std::wstring FinalPath(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// One entry opened so that no one else can have it open meanwhile: opening it
// fails while anyone has it open for reading, writing or deleting.
struct Held {
    Handle handle;
    DWORD attributes = 0;
    bool folder = false;
};

Handle OpenToRemove(const std::wstring& path) {
    return Handle(CreateFileW(path.c_str(),
                              DELETE | FILE_READ_DATA | FILE_READ_ATTRIBUTES |
                                  FILE_WRITE_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                              0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Opens and holds what is in the folder `held.back()`, children before their
// folder. A link (reparse point) is held as itself and never entered: the
// listing or the opened entry may say so. An entry whose handle leads
// elsewhere than its name is let be: Wine opens a Unix symbolic link as what
// it points to, and would delete that.
bool HoldContents(const std::wstring& path, std::vector<Held>& held, int depth) {
    std::vector<std::pair<std::wstring, DWORD>> entries;
    if (depth > kMaxDepth || !ListFolder(held.back().handle.Get(), entries)) {
        return false;
    }
    Held folder = std::move(held.back());
    held.pop_back();
    const std::wstring folderPath = FinalPath(folder.handle.Get());
    if (folderPath.empty()) {
        return false;
    }
    for (const auto& [name, listed] : entries) {
        const std::wstring child = path + L"\\" + name;
        Held entry{OpenToRemove(child)};
        if (!entry.handle.IsOpen() || !AttributesOf(entry.handle.Get(), entry.attributes)) {
            return false;
        }
        if (!SamePath(FinalPath(entry.handle.Get()), folderPath + L"\\" + name)) {
            continue;
        }
        entry.attributes |= listed & FILE_ATTRIBUTE_REPARSE_POINT;
        entry.folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                       (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        held.push_back(std::move(entry));
        if (held.back().folder && !HoldContents(child, held, depth + 1)) {
            return false;
        }
        if (held.size() > kMaxEntries) {
            return false;
        }
    }
    held.push_back(std::move(folder));
    return true;
}

bool RemoveHeld(Held& entry) {
    // A read-only file cannot be deleted; its attribute is cleared first,
    // unless the file has other names, whose attribute it also is.
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) != 0 && !entry.folder &&
        (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        FILE_STANDARD_INFO standard{};
        if (GetFileInformationByHandleEx(entry.handle.Get(), FileStandardInfo, &standard,
                                         sizeof standard) &&
            standard.NumberOfLinks == 1) {
            FILE_BASIC_INFO basic{};
            basic.FileAttributes = entry.attributes & ~FILE_ATTRIBUTE_READONLY;
            if (basic.FileAttributes == 0) {
                basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            }
            SetFileInformationByHandle(entry.handle.Get(), FileBasicInfo, &basic, sizeof basic);
        }
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool marked = SetFileInformationByHandle(entry.handle.Get(), FileDispositionInfo,
                                                   &disposition, sizeof disposition);
    entry.handle.Close();  // the entry goes with the last handle
    return marked;
}

// Removes a working folder and all in it; nothing at all if the folder or
// anything in it is in use, or the folder is not as this program makes it.
// What leads elsewhere than its name is kept, and with it the folder.
bool RemoveFolder(const std::wstring& path, const User& user) {
    std::vector<Held> held;
    held.push_back({OpenToRemove(path)});
    Held& top = held.back();
    if (!top.handle.IsOpen() || !AttributesOf(top.handle.Get(), top.attributes) ||
        (top.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (top.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !OwnedBy(top.handle.Get(), user)) {
        return false;
    }
    top.folder = true;
    if (!HoldContents(path, held, 0)) {
        return false;
    }
    bool removed = true;
    for (Held& entry : held) {
        removed = RemoveHeld(entry) && removed;
    }
    return removed;
}

// The folders of earlier starts, in `temporary`, but never `own`.
void RemoveLeftovers(const std::wstring& temporary, const std::wstring& own, const User& user) {
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = temporary + std::wstring(kPrefix) + L"*";
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    std::vector<std::wstring> names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
            IsOurName(found.cFileName) && own != found.cFileName) {
            names.emplace_back(found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    for (const std::wstring& name : names) {
        RemoveFolder(temporary + name, user);
    }
}

struct Folder {
    std::wstring name;
    std::wstring path;
    // Held from the making of the folder until the wizard is done with it, and
    // inherited by the wizard: sharing no deletion, it keeps every other
    // start from removing the folder while this start or the wizard lives.
    Handle guard;
};

DWORD MakeFolder(const std::wstring& temporary, const User& user, Folder& folder) {
    // This user's alone, for the folder and all that is made in it; the owner
    // named too, as an administrator's new files are otherwise owned by the
    // Administrators group.
    const std::wstring descriptor = L"O:" + user.text + L"D:P(A;OICI;FA;;;" + user.text + L")";
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            descriptor.c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr)) {
        return GetLastError();
    }
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    DWORD error = ERROR_ALREADY_EXISTS;
    for (int i = 0; i < 16; ++i) {
        if (!NewName(folder.name)) {
            error = ERROR_GEN_FAILURE;
            break;
        }
        folder.path = temporary + folder.name;
        // Fails for any name that is taken, by a link too.
        if (!CreateDirectoryW(folder.path.c_str(), &attributes)) {
            error = GetLastError();
            if (error == ERROR_ALREADY_EXISTS) {
                continue;
            }
            break;
        }
        // Another start that clears leftovers may have taken the new, empty
        // folder for one; then another name.
        folder.guard =
            Handle(CreateFileW(folder.path.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        DWORD found = 0;
        if (folder.guard.IsOpen() && AttributesOf(folder.guard.Get(), found) &&
            (found & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (found & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            error = ERROR_SUCCESS;
            break;
        }
        error = folder.guard.IsOpen() ? ERROR_BAD_FILE_TYPE : GetLastError();
        folder.guard.Close();
    }
    LocalFree(attributes.lpSecurityDescriptor);
    return error;
}

// Starts the wizard in the folder, handing it only the folder's guard, and
// with the window state the Start menu entry asked of this program.
DWORD StartWizard(const std::wstring& program, Folder& folder, PROCESS_INFORMATION& started) {
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    STARTUPINFOW own{};
    own.cb = sizeof own;
    GetStartupInfoW(&own);
    if ((own.dwFlags & STARTF_USESHOWWINDOW) != 0) {
        startup.StartupInfo.dwFlags |= STARTF_USESHOWWINDOW;
        startup.StartupInfo.wShowWindow = own.wShowWindow;
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<LONGLONG> list((size + sizeof(LONGLONG) - 1) / sizeof(LONGLONG));
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
    HANDLE inherit = folder.guard.Get();
    DWORD flags = CREATE_SUSPENDED;
    if (size > 0 && InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
        if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherit,
                                      sizeof inherit, nullptr, nullptr)) {
            startup.lpAttributeList = attributes;
            flags |= EXTENDED_STARTUPINFO_PRESENT;
        }
    }
    const BOOL created =
        CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, flags, nullptr,
                       folder.path.c_str(), &startup.StartupInfo, &started);
    const DWORD error = created ? ERROR_SUCCESS : GetLastError();
    if (startup.lpAttributeList != nullptr) {
        DeleteProcThreadAttributeList(attributes);
    }
    if (!created) {
        return error;
    }
    // This program has no window; the wizard's must still come to the front.
    AllowSetForegroundWindow(started.dwProcessId);
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    return ERROR_SUCCESS;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    User user;
    const std::wstring temporary = TemporaryFolder();
    Folder folder;
    DWORD error = CurrentUser(user) ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_SUCCESS) {
        error = temporary.empty() ? GetLastError() : MakeFolder(temporary, user, folder);
    }
    if (error != ERROR_SUCCESS) {
        Tell(L"作業フォルダを作れません (no private working folder: " + temporary + L": " +
             ErrorText(error) + L")");
        return 1;
    }

    const std::wstring program = ProgramFolder() + L"vesmira.exe";
    PROCESS_INFORMATION started{};
    error = StartWizard(program, folder, started);
    if (error != ERROR_SUCCESS) {
        folder.guard.Close();
        RemoveFolder(folder.path, user);
        Tell(L"ヴェスミラを起動できません (cannot start " + program + L": " + ErrorText(error) +
             L")");
        return 127;
    }
    // While the wizard starts up.
    RemoveLeftovers(temporary, folder.name, user);

    Handle process(started.hProcess);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.Get(), &status);
    folder.guard.Close();
    RemoveFolder(folder.path, user);
    return static_cast<int>(status);
}
