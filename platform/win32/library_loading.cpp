#include "platform/win32/library_loading.h"

#include "platform/win32/program_path.h"

namespace mivetrak {

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
    std::wstring path = ProgramPathW();
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    path.erase(slash + 1);
    path += WidenAnsi(fileName);
    return LoadLibraryExW(path.c_str(), nullptr,
                          LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

}  // namespace mivetrak
