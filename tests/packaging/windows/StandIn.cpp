// Stands in for the wizard under vesmira-start.exe. Like the wizard it holds
// its lock file open while it runs and writes step files into its working
// folder; unlike it, it leaves them there, as a wizard that was ended would.
// It reports to %STANDIN_REPORT% (UTF-8 lines): "entries N" found in the
// folder at its start, "dir PATH" and "sddl SDDL" of the folder. Then it does
// what %STANDIN_DO% says:
//   "exit N"       exits with N;
//   "terminate N"  is ended by the system with N;
//   "tree"         also leaves a subfolder, files in it and a read-only file;
//   "wait FILE"    waits until FILE exists (at most a minute), exits with 0;
//   "away FILE"    the same, but first closes its lock file and leaves the
//                  folder, so that nothing of it is open any more.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include <cstdlib>
#include <string>

namespace {

void Report(const std::wstring& line) {
    const wchar_t* path = _wgetenv(L"STANDIN_REPORT");
    if (path == nullptr) {
        return;
    }
    const std::wstring text = line + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void Write(const wchar_t* name, const char* text, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    const HANDLE file =
        CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(file);
}

int EntriesHere() {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(L"*", &found);
    int count = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            count += name != L"." && name != L"..";
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return count;
}

std::wstring SddlHere() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (GetNamedSecurityInfoW(L".", SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
        return L"-";
    }
    wchar_t* text = nullptr;
    std::wstring result = L"-";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts,
                                                             &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

void WaitFor(const std::wstring& path) {
    for (int i = 0; i < 1200 && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(50);
    }
}

}  // namespace

int wmain() {
    Report(L"entries " + std::to_wstring(EntriesHere()));
    wchar_t user[256] = L"user";
    DWORD size = 256;
    GetUserNameW(user, &size);
    const std::wstring lockName = L".vesmira." + std::wstring(user) + L".lock";
    // As open as a lock file could be: only the launcher's own checks keep
    // the folder.
    HANDLE lock = CreateFileW(lockName.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    Write(L"temp.1", "2001\r\n");
    Write(L".temp.2.part", "2004\r\n");
    wchar_t here[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, here);
    Report(L"sddl " + SddlHere());
    Report(std::wstring(L"dir ") + here);

    const wchar_t* given = _wgetenv(L"STANDIN_DO");
    const std::wstring todo = given != nullptr ? given : L"exit 0";
    const std::wstring argument =
        todo.find(L' ') == std::wstring::npos ? L"" : todo.substr(todo.find(L' ') + 1);
    if (todo.starts_with(L"terminate ")) {
        TerminateProcess(GetCurrentProcess(),
                         static_cast<UINT>(std::wcstoul(argument.c_str(), nullptr, 10)));
    }
    if (todo == L"tree") {
        CreateDirectoryW(L"sub", nullptr);
        CreateDirectoryW(L"sub\\deeper", nullptr);
        Write(L"sub\\deeper\\temp.3", "2007\r\n");
        Write(L"sub\\notes.txt", "x");
        Write(L"read-only.txt", "x", FILE_ATTRIBUTE_READONLY);
        return 0;
    }
    if (todo.starts_with(L"away ")) {
        CloseHandle(lock);
        SetCurrentDirectoryW(L"C:\\");
        WaitFor(argument);
        return 0;
    }
    if (todo.starts_with(L"wait ")) {
        WaitFor(argument);
        return 0;
    }
    return static_cast<int>(std::wcstol(argument.c_str(), nullptr, 10));
}
