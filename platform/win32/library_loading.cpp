#include "platform/win32/library_loading.h"

#include <vector>

namespace mivetrak {

namespace {

// The full path of the running program in UTF-16, or "" (with the system's error) when it cannot
// be told.
std::wstring ProgramPath() {
    // A path may be longer than MAX_PATH; grow the buffer until it fits.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> buffer(size, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) return std::wstring();
        if (length < size) return std::wstring(buffer.data(), length);
    }
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return std::wstring();
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

}  // namespace

void SetSafeLibrarySearchOrder() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC found =
        kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (found != nullptr) {
        const auto setDefaultDllDirectories =
            reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(found));
        if (setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    }
    SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name) {
    const HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Systems that predate the search flags refuse it as an invalid parameter: name the file in
    // the system folder instead.
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::string path = std::string(folder, length) + "\\" + name;
    return LoadLibraryA(path.c_str());
}

HMODULE LoadResourceLibraryBesideProgram(const std::string& fileName) {
    std::wstring path = ProgramPath();
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    path.erase(slash + 1);
    path += Widen(fileName);
    return LoadLibraryExW(path.c_str(), nullptr,
                          LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

}  // namespace mivetrak
