#include "windows/windows_test_support.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

namespace mivetrak::test {

namespace {

std::string WithBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::string EnvironmentValue(const char* name) {
    char value[32768];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) return std::string();
    return std::string(value, length);
}

std::string NewScratchFolder(const std::string& hint, ScratchRoot root) {
    static std::atomic<int> counter{0};
    std::string base =
        root == ScratchRoot::RunFolder ? EnvironmentValue("MIVETRAK_TEST_TEMP") : std::string();
    if (base.empty()) {
        char temp[MAX_PATH] = {};
        const DWORD length = GetTempPathA(sizeof temp, temp);
        if (length == 0 || length >= sizeof temp) return std::string();
        base = temp;
    }
    base = WithBackslash(base);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string folder = base + hint + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(counter++);
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
    }
    return std::string();
}

std::string BinFolder() { return WithBackslash(EnvironmentValue("MIVETRAK_BIN_DIR")); }

bool WriteWholeFile(const std::string& path, const std::string& content) {
    const KernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    DWORD written = 0;
    return WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                     nullptr) &&
           written == content.size();
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    const KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    std::string result;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        result.append(buffer, got);
    }
    content = result;
    return true;
}

bool RawFileTimes(const std::string& path, SystemTime& creation, SystemTime& lastWrite) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    SYSTEMTIME created;
    SYSTEMTIME written;
    if (!FileTimeToSystemTime(&data.ftCreationTime, &created) ||
        !FileTimeToSystemTime(&data.ftLastWriteTime, &written)) {
        return false;
    }
    creation = FromWin32(created);
    lastWrite = FromWin32(written);
    return true;
}

bool SetRawFileTimes(const std::string& path, const SystemTime& time) {
    const KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    const SYSTEMTIME system = ToWin32(time);
    FILETIME fileTime;
    return SystemTimeToFileTime(&system, &fileTime) &&
           SetFileTime(file.Get(), &fileTime, nullptr, &fileTime);
}

HeldFile::HeldFile(const std::string& path) : marker_(path + ".held") {
    const std::string holder = EnvironmentValue("MIVETRAK_HOLD_FILE");
    if (holder.empty()) return;
    DeleteFileA(marker_.c_str());
    std::string command = "\"" + holder + "\" \"" + path + "\" \"" + marker_ + "\" 60";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(holder.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_)) {
        return;
    }
    started_ = true;
    // Ready once the marker appears; gone early when the holder could not open the file.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 20000) {
        if (Exists(marker_)) {
            held_ = true;
            return;
        }
        if (WaitForSingleObject(process_.hProcess, 10) == WAIT_OBJECT_0) return;
    }
}

int HeldFile::Release() {
    if (!started_) return -1;
    DeleteFileA(marker_.c_str());
    if (WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 9);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.hProcess, &code)) code = static_cast<DWORD>(-1);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
    started_ = false;
    held_ = false;
    return static_cast<int>(code);
}

HeldFile::~HeldFile() { Release(); }

}  // namespace mivetrak::test
