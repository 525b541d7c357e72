#include "platform/win32/elevated_restart.h"

#include <objbase.h>
#include <shellapi.h>

#include <vector>

#include "platform/win32/win32_handles.h"

namespace mivetrak {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The current folder, so that the elevated run reads relative arguments as this run did; on
// Windows it would otherwise start in the system folder.
std::wstring CurrentFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) return std::wstring();
    std::vector<wchar_t> buffer(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, buffer.data());
    return length == 0 || length >= size ? std::wstring() : std::wstring(buffer.data(), length);
}

// COM for the length of one shell call: the shell may hand the start to an extension.
class ComScope {
public:
    ComScope()
        : initialised_(SUCCEEDED(
              CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComScope() {
        if (initialised_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised_;
};

}  // namespace

std::wstring ArgumentsAfterProgramName(const std::wstring& commandLine) {
    size_t i = 0;
    bool inQuote = false;
    while (i < commandLine.size() && (inQuote || !IsBlank(commandLine[i]))) {
        if (commandLine[i] == L'"') inQuote = !inQuote;
        ++i;
    }
    while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
    return commandLine.substr(i);
}

bool RunElevatedAndWait(const std::wstring& program, const std::wstring& parameters,
                        uint32_t& exitCode, DWORD& error) {
    const ComScope com;
    const std::wstring folder = CurrentFolder();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) {
        error = GetLastError();
        return false;
    }
    // Without a process there is nothing to wait for and no exit code to give.
    if (info.hProcess == nullptr) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    const KernelHandle process(info.hProcess);
    DWORD code = 0;
    if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.Get(), &code)) {
        error = GetLastError();
        return false;
    }
    exitCode = code;
    error = ERROR_SUCCESS;
    return true;
}

}  // namespace mivetrak
