// What the package tests ask of Windows itself (under Wine), printed as UTF-8
// lines:
//   version FILE      the version information: "Key=value" of the strings,
//                     "fixed=a.b.c.d"
//   icons FILE        "icon WxH BITS" for each image of the first icon group
//   shortcut LNK      "target=", "icon=PATH,INDEX", "description="
//   run [--kill-when FILE] [NAME=VALUE...] -- PROGRAM
//                     runs PROGRAM with those variables set and this
//                     program's standard handles, and exits with its status;
//                     --kill-when ends PROGRAM as soon as FILE exists, then
//                     exits with 0.
#include <windows.h>
// After windows.h:
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

void Print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

int Version(const wchar_t* file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    std::vector<BYTE> info(size);
    if (size == 0 || !GetFileVersionInfoW(file, 0, size, info.data())) {
        Print(L"no version information");
        return 1;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
        Print(L"fixed=" + std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
              std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
              std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
              std::to_wstring(LOWORD(fixed->dwFileVersionLS)));
    }
    WORD* translation = nullptr;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < 4) {
        Print(L"no translation");
        return 1;
    }
    wchar_t block[64];
    wsprintfW(block, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    Print(std::wstring(L"block=") + block);
    for (const wchar_t* key :
         {L"ProductName", L"FileDescription", L"FileVersion", L"ProductVersion",
          L"OriginalFilename", L"InternalName", L"CompanyName", L"LegalCopyright"}) {
        wchar_t* value = nullptr;
        if (VerQueryValueW(info.data(), (std::wstring(block) + key).c_str(),
                           reinterpret_cast<void**>(&value), &length)) {
            Print(std::wstring(key) + L"=" + value);
        }
    }
    return 0;
}

BOOL CALLBACK First(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
    *reinterpret_cast<LPWSTR*>(found) = name;
    return FALSE;
}

int Icons(const wchar_t* file) {
    const HMODULE module =
        LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    LPWSTR name = nullptr;
    if (module == nullptr) {
        Print(L"cannot load");
        return 1;
    }
    EnumResourceNamesW(module, RT_GROUP_ICON, First, reinterpret_cast<LONG_PTR>(&name));
    const HRSRC resource = name != nullptr ? FindResourceW(module, name, RT_GROUP_ICON) : nullptr;
    if (resource == nullptr) {
        Print(L"no icon");
        return 1;
    }
    const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    const int count = group[4] | group[5] << 8;
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = group + 6 + 14 * i;  // GRPICONDIRENTRY
        const int width = entry[0] == 0 ? 256 : entry[0];
        const int height = entry[1] == 0 ? 256 : entry[1];
        const int bits = entry[6] | entry[7] << 8;
        Print(L"icon " + std::to_wstring(width) + L"x" + std::to_wstring(height) + L" " +
              std::to_wstring(bits));
    }
    return 0;
}

int Shortcut(const wchar_t* file) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) ||
        FAILED(persist->Load(file, STGM_READ))) {
        Print(L"cannot read");
        return 1;
    }
    wchar_t text[MAX_PATH] = L"";
    int index = 0;
    link->GetPath(text, MAX_PATH, nullptr, 0);
    Print(std::wstring(L"target=") + text);
    link->GetIconLocation(text, MAX_PATH, &index);
    Print(std::wstring(L"icon=") + text + L"," + std::to_wstring(index));
    link->GetDescription(text, MAX_PATH);
    Print(std::wstring(L"description=") + text);
    persist->Release();
    link->Release();
    return 0;
}

HANDLE Inheritable(DWORD which) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(which), GetCurrentProcess(), &copy, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
    return copy;
}

int Run(int argc, wchar_t** argv) {
    int i = 2;
    const wchar_t* killWhen = nullptr;
    if (i + 1 < argc && std::wstring(argv[i]) == L"--kill-when") {
        killWhen = argv[i + 1];
        i += 2;
    }
    for (; i < argc && std::wstring(argv[i]) != L"--"; ++i) {
        std::wstring setting = argv[i];
        const size_t equals = setting.find(L'=');
        SetEnvironmentVariableW(setting.substr(0, equals).c_str(),
                                setting.substr(equals + 1).c_str());
    }
    if (i + 1 >= argc) {
        Print(L"run: no program");
        return 2;
    }
    std::wstring command = L"\"" + std::wstring(argv[i + 1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = Inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = Inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = Inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(argv[i + 1], command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &started)) {
        Print(L"run: cannot start " + std::wstring(argv[i + 1]));
        return 2;
    }
    if (killWhen != nullptr) {
        while (GetFileAttributesW(killWhen) == INVALID_FILE_ATTRIBUTES &&
               WaitForSingleObject(started.hProcess, 50) == WAIT_TIMEOUT) {
        }
        TerminateProcess(started.hProcess, 9);
        WaitForSingleObject(started.hProcess, INFINITE);
        return 0;
    }
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD status = 2;
    GetExitCodeProcess(started.hProcess, &status);
    return static_cast<int>(status);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring what = argc > 1 ? argv[1] : L"";
    if (what == L"run") {
        return Run(argc, argv);
    }
    if (argc != 3) {
        Print(L"usage: check version|icons|shortcut FILE, or check run ... -- PROGRAM");
        return 2;
    }
    if (what == L"version") {
        return Version(argv[2]);
    }
    if (what == L"icons") {
        return Icons(argv[2]);
    }
    if (what == L"shortcut") {
        return Shortcut(argv[2]);
    }
    Print(L"unknown: " + what);
    return 2;
}
