#include "WindowsTesting.h"

#include <gtest/gtest.h>

// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "History.h"
#include "Session.h"
#include "StepFileTesting.h"
#include "StepFiles.h"

namespace vesmira::testing_support {

namespace fs = std::filesystem;

namespace {

constexpr char kChildFlag[] = "--vesmira-child";

// Only one child is made at a time: each inherits the inheritable handles
// there are, which must be its own pipe ends alone.
std::mutex spawning;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::wstring Wide(const std::string& text) {
    return fs::path(text).wstring();
}

void WriteLine(const std::string& text) {
    const std::string line = text + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
}

// Until the parent closes the pipe.
void WaitForRelease() {
    char byte;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) && got > 0) {
    }
}

std::string Open(const std::string& name, DWORD access, DWORD share) {
    const HANDLE handle = CreateFileW(Wide(name).c_str(), access, share, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    // Left open: the process ending closes it.
    return handle == INVALID_HANDLE_VALUE ? std::to_string(GetLastError()) : "opened";
}

std::string Inside() {
    const FolderLock lock = LockWorkingFolder();
    if (lock.outcome != FolderLock::kTaken) {
        return LockOutcome(lock);
    }
    // Alone inside: a second holder here finds the mark.
    const HANDLE mark = CreateFileW(L"inside", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    Sleep(1);
    if (mark != INVALID_HANDLE_VALUE) {
        CloseHandle(mark);
    }
    ReleaseWorkingFolder();
    return mark != INVALID_HANDLE_VALUE ? "alone" : "together";
}

[[noreturn]] void SaveLoop() {
    std::string longHistory;
    for (int i = 0; i < 300; ++i) {
        longHistory += "大学院入学は" + std::to_string(2000 + i) + "（平成12）年4月\r\n";
    }
    try {
        for (bool told = false;; told = true) {
            Wizard.CursorYear = 2001;
            SaveStepFile("temp.1", kFiveLines);
            if (!told) {
                WriteLine("s");
            }
            Wizard.CursorYear = 2004;
            SaveStepFile("temp.1", longHistory);
        }
    } catch (const Failure& failure) {
        WriteLine(failure.message());
    }
    ExitProcess(1);
}

}  // namespace

int RunChildRole(const std::string& role, const std::string& name) {
    ResetWizard();
    std::string report = "no such role";
    if (role == "hold") {
        report = Open(name, GENERIC_READ | GENERIC_WRITE, 0);
    } else if (role == "write") {
        report = Open(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    } else if (role == "read") {
        report = Open(name, GENERIC_READ, FILE_SHARE_READ);
    } else if (role == "lock") {
        report = LockOutcome(LockWorkingFolder());
    } else if (role == "run") {
        report = name == "lock" ? LockOutcome(LockWorkingFolder()) : "not asked";
        for (int32_t step = 1; step <= 3; ++step) {
            Wizard.CursorYear = 2000 + step;
            SaveStepFile(StepFileName(step), kFiveLines);
        }
        ReleaseWorkingFolder();
        ReleaseWorkingFolder();  // the exit handler after the program's own end
    } else if (role == "saveloop") {
        SaveLoop();
    } else if (role == "inside") {
        report = Inside();
    }
    WriteLine(report);
    WaitForRelease();
    return 0;
}

ChildProcess::ChildProcess(const fs::path& folder, const std::string& role,
                           const std::string& name) {
    wchar_t program[MAX_PATH];
    if (GetModuleFileNameW(nullptr, program, MAX_PATH) == 0) {
        ADD_FAILURE() << "no program name";
        return;
    }
    std::wstring commandLine =
        L"\"" + std::wstring(program) + L"\" " +
        Wide(std::string(kChildFlag) + " " + Quoted(role) + " " + Quoted(name));
    HANDLE output = nullptr;
    {
        const std::lock_guard<std::mutex> one(spawning);
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        HANDLE childInput = nullptr, childOutput = nullptr;
        if (!CreatePipe(&childInput, &input_, &inherited, 0) ||
            !CreatePipe(&output, &childOutput, &inherited, 0)) {
            ADD_FAILURE() << "CreatePipe: " << GetLastError();
            return;
        }
        SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
        startup.hStdError = childOutput;
        PROCESS_INFORMATION started{};
        const std::wstring where = folder.wstring();
        const BOOL made = CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                         nullptr, where.c_str(), &startup, &started);
        const DWORD error = GetLastError();
        CloseHandle(childInput);
        CloseHandle(childOutput);
        if (!made) {
            ADD_FAILURE() << "CreateProcessW: " << error;
            CloseHandle(output);
            return;
        }
        CloseHandle(started.hThread);
        process_ = started.hProcess;
    }
    char c;
    DWORD got = 0;
    while (ReadFile(output, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        report_ += c;
    }
    CloseHandle(output);
}

ChildProcess::~ChildProcess() {
    if (input_ != nullptr) {
        CloseHandle(input_);
    }
    if (process_ != nullptr) {
        WaitForSingleObject(process_, INFINITE);
        CloseHandle(process_);
    }
}

void ChildProcess::Kill() {
    if (process_ != nullptr) {
        TerminateProcess(process_, 9);
        // Signalled once it is gone, its files closed.
        WaitForSingleObject(process_, INFINITE);
    }
}

bool MakeFileLink(const fs::path& link, const fs::path& target) {
    if (!CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(),
                             SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        !CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(), 0)) {
        return false;
    }
    return IsLink(link);  // some systems say yes and make none
}

// A mount point's reparse data: the target as the system names it, then as
// it is shown, each ended by a NUL.
bool MakeJunction(const fs::path& link, const fs::path& target) {
    const std::wstring shown = fs::absolute(target).wstring();
    const std::wstring system = L"\\??\\" + shown;
    struct {
        DWORD tag;
        WORD dataLength;
        WORD reserved;
        WORD systemOffset, systemLength, shownOffset, shownLength;
        wchar_t paths[2 * MAX_PATH + 16];
    } data{};
    if (system.size() + shown.size() + 2 > std::size(data.paths)) {
        return false;
    }
    const WORD systemBytes = static_cast<WORD>(system.size() * sizeof(wchar_t));
    const WORD shownBytes = static_cast<WORD>(shown.size() * sizeof(wchar_t));
    data.tag = IO_REPARSE_TAG_MOUNT_POINT;
    data.systemLength = systemBytes;
    data.shownOffset = static_cast<WORD>(systemBytes + sizeof(wchar_t));
    data.shownLength = shownBytes;
    std::memcpy(data.paths, system.c_str(), systemBytes + sizeof(wchar_t));
    std::memcpy(data.paths + system.size() + 1, shown.c_str(), shownBytes + sizeof(wchar_t));
    data.dataLength = static_cast<WORD>(8 + systemBytes + shownBytes + 2 * sizeof(wchar_t));

    if (!CreateDirectoryW(link.wstring().c_str(), nullptr)) {
        return false;
    }
    const HANDLE handle =
        CreateFileW(link.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD returned = 0;
    const bool made = handle != INVALID_HANDLE_VALUE &&
                      DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, &data, 8 + data.dataLength,
                                      nullptr, 0, &returned, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    if (!made) {
        RemoveDirectoryW(link.wstring().c_str());
    }
    return made;
}

void RemoveTree(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.wstring().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(path.wstring().c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.wstring().c_str());  // a file link: the link
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        std::vector<fs::path> entries;
        for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
            entries.push_back(entry.path());
        }
        for (const fs::path& entry : entries) {
            RemoveTree(entry);
        }
    }
    RemoveDirectoryW(path.wstring().c_str());  // a junction: the junction
}

// Wine makes a file's access list from its Unix mode: SYSTEM is always in
// it, and it is never protected.
bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string AccessOf(const fs::path& path) {
    PSID owner = nullptr;
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.wstring().c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return "(none)";
    }
    HANDLE token = nullptr;
    char user[256];
    DWORD size = 0;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    const PSID userSid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    std::string text;
    if (owner == nullptr || !EqualSid(owner, userSid)) {
        text += "owner not the user; ";
    }
    const bool wine = UnderWine();
    if (!(control & SE_DACL_PROTECTED) && !wine) {
        text += "inherits; ";
    }
    char system[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof system;
    CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize);
    int userEntries = 0;
    if (acl == nullptr) {
        text += "no access list";
    } else {
        for (WORD i = 0; i < acl->AceCount; ++i) {
            void* ace = nullptr;
            GetAce(acl, i, &ace);
            const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
            const bool allows = allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE;
            if (allows && EqualSid(sid, userSid) && allowed->Mask == FILE_ALL_ACCESS) {
                ++userEntries;
            } else if (!(wine && allows && EqualSid(sid, system))) {
                text += "entry " + std::to_string(i) + " type " +
                        std::to_string(allowed->Header.AceType) + " mask " +
                        std::to_string(allowed->Mask) + "; ";
            }
        }
        if (userEntries != 1) {
            text += std::to_string(userEntries) + " entries for the user";
        }
    }
    LocalFree(descriptor);
    return text.empty() ? "private" : text;
}

}  // namespace vesmira::testing_support

int main(int argc, char** argv) {
    using namespace vesmira::testing_support;
    if (argc >= 3 && std::strcmp(argv[1], kChildFlag) == 0) {
        return RunChildRole(argv[2], argc >= 4 ? argv[3] : "");
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
