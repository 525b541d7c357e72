// Threads, the clock, modules and their resources, the command line and the shell folders.
#include <process.h>

#include <cstring>
#include <new>
#include <vector>

#include "platform/win32/elevated_restart.h"
#include "platform/win32/library_loading.h"
#include "platform/win32/program_path.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"
// clang-format off
// tlhelp32.h needs the types of <windows.h>, which win32_platform.h includes first.
#include <tlhelp32.h>
// clang-format on

namespace mivetrak {

namespace {

// What the new thread needs to call the portable entry; the thread itself deletes it.
struct ThreadStart {
    ThreadEntry entry;
    void* argument;
};

unsigned __stdcall ThreadTrampoline(void* raw) {
    const ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    return start.entry(start.argument);
}

class Win32Thread final : public Thread {
public:
    explicit Win32Thread(HANDLE handle) : handle_(handle) {}
    bool Resume() override { return ResumeThread(handle_.Get()) != static_cast<DWORD>(-1); }
    void WaitUntilEnded() override { WaitForSingleObject(handle_.Get(), INFINITE); }
    bool WaitForEnd(uint32_t milliseconds) override {
        return WaitForSingleObject(handle_.Get(), milliseconds) == WAIT_OBJECT_0;
    }

private:
    KernelHandle handle_;
};

// Owns a mutex that this thread has acquired: releases it and closes the handle.
class Win32ProcessLock final : public ProcessLock {
public:
    explicit Win32ProcessLock(HANDLE mutex) : mutex_(mutex) {}
    ~Win32ProcessLock() override { ReleaseMutex(mutex_.Get()); }
    Win32ProcessLock(const Win32ProcessLock&) = delete;
    Win32ProcessLock& operator=(const Win32ProcessLock&) = delete;

private:
    KernelHandle mutex_;
};

// The numbers of the Internet library's own errors (INTERNET_ERROR_BASE to INTERNET_ERROR_LAST).
constexpr uint32_t kFirstInternetError = 12000;
constexpr uint32_t kLastInternetError = 12999;

using ShGetFolderPathFunction = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
constexpr int kCsidlProgramFiles = 0x26;

class Win32System final : public System {
public:
    std::unique_ptr<Thread> CreateSuspendedThread(ThreadEntry entry, void* argument) override {
        auto* start = new (std::nothrow) ThreadStart{entry, argument};
        if (start == nullptr) return nullptr;
        // The C runtime's thread start, so that the runtime's per-thread data is set up and
        // released with the thread; normal priority, default stack size.
        const uintptr_t handle =
            _beginthreadex(nullptr, 0, &ThreadTrampoline, start, CREATE_SUSPENDED, nullptr);
        if (handle == 0) {
            delete start;
            return nullptr;
        }
        return std::make_unique<Win32Thread>(reinterpret_cast<HANDLE>(handle));
    }

    void EndProcess(uint32_t exitCode) override { ExitProcess(exitCode); }

    uint32_t TickCount() override { return GetTickCount(); }
    void SleepMilliseconds(uint32_t milliseconds) override { Sleep(milliseconds); }

    SystemTime LocalTime() override {
        SYSTEMTIME now;
        GetLocalTime(&now);
        return FromWin32(now);
    }

    SystemTime UtcTime() override {
        SYSTEMTIME now;
        GetSystemTime(&now);
        return FromWin32(now);
    }

    uint32_t ProcessId() override { return GetCurrentProcessId(); }

    ModuleHandle LoadResourceModule(const std::string& fileName, SystemError& error) override {
        const HMODULE module = LoadResourceLibraryBesideProgram(fileName);
        error.code = module != nullptr ? 0 : GetLastError();
        return FromWin32(module);
    }

    void FreeModule(ModuleHandle module) override {
        if (module != nullptr) FreeLibrary(ToWin32(module));
    }

    bool SystemErrorText(uint32_t error, std::string& out) override {
        // The Internet library keeps the texts of its own numbers; the system's table has none.
        DWORD source = FORMAT_MESSAGE_FROM_SYSTEM;
        HMODULE internetLibrary = nullptr;
        if (error >= kFirstInternetError && error <= kLastInternetError) {
            internetLibrary = GetModuleHandleA("wininet.dll");
            if (internetLibrary != nullptr) source |= FORMAT_MESSAGE_FROM_HMODULE;
        }
        char* text = nullptr;
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | source | FORMAT_MESSAGE_IGNORE_INSERTS,
                           internetLibrary, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPSTR>(&text), 0, nullptr);
        const bool found = length != 0 && text != nullptr;
        if (found) out.assign(text, length);
        if (text != nullptr) LocalFree(text);
        return found;
    }

    bool LoadText(ModuleHandle module, uint32_t id, std::string& out) override {
        // LoadStringA truncates to the buffer; grow until the whole text fits.
        for (int size = 256; size <= 65536; size *= 2) {
            std::vector<char> buffer(static_cast<size_t>(size), '\0');
            const int length = LoadStringA(ToWin32(module), id, buffer.data(), size);
            if (length <= 0) return false;
            if (length < size - 1) {
                out.assign(buffer.data(), static_cast<size_t>(length));
                return true;
            }
        }
        return false;
    }

    IconHandle LoadIconResource(ModuleHandle module, uint32_t id) override {
        // A null instance would ask for a predefined system icon, not the executable's own.
        const HMODULE from = module != nullptr ? ToWin32(module) : GetModuleHandleA(nullptr);
        return FromWin32(LoadIconA(from, MAKEINTRESOURCEA(id)));
    }

    std::string RawCommandLine() override {
        const wchar_t* line = GetCommandLineW();
        return line != nullptr ? Utf8FromWide(line) : std::string();
    }

    bool ExecutablePath(std::string& out) override {
        char path[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        // A path cut short to fit the buffer is no path at all.
        if (length == 0 || length >= MAX_PATH) return false;
        out.assign(path, length);
        return true;
    }

    bool ProgramFilesFolder(std::string& out) override {
        const LoadedLibrary shellFolders(LoadSystemLibrary("shfolder.dll"));
        if (shellFolders.Get() == nullptr) return false;
        const FARPROC found = GetProcAddress(shellFolders.Get(), "SHGetFolderPathA");
        if (found == nullptr) return false;
        const auto getFolderPath =
            reinterpret_cast<ShGetFolderPathFunction>(reinterpret_cast<void (*)()>(found));
        char path[MAX_PATH];
        std::memset(path, 0, sizeof path);
        if (getFolderPath(nullptr, kCsidlProgramFiles, nullptr, 0, path) < 0) return false;
        path[sizeof path - 1] = '\0';
        out = path;
        return true;
    }

    std::unique_ptr<ProcessLock> TryLockNamed(const std::string& name,
                                              SystemError& error) override {
        KernelHandle mutex(CreateMutexA(nullptr, FALSE, name.c_str()));
        if (!mutex.Valid()) {
            error.code = GetLastError();
            return nullptr;
        }
        // A mutex whose owner ended without releasing it is abandoned: it is ours now.
        const DWORD waited = WaitForSingleObject(mutex.Get(), 0);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            error.code = waited == WAIT_TIMEOUT ? ERROR_ALREADY_EXISTS : GetLastError();
            return nullptr;
        }
        error.code = 0;
        return std::make_unique<Win32ProcessLock>(mutex.Release());
    }

    bool ParentProcessId(uint32_t& id) override {
        const KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot.Valid()) return false;
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        const DWORD self = GetCurrentProcessId();
        for (BOOL more = Process32First(snapshot.Get(), &entry); more;
             more = Process32Next(snapshot.Get(), &entry)) {
            if (entry.th32ProcessID == self) {
                id = entry.th32ParentProcessID;
                return true;
            }
        }
        return false;
    }

    bool NamedLockExists(const std::string& name) override {
        const KernelHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()));
        return mutex.Valid();
    }

    bool RestartElevated(const std::string& marker, uint32_t& exitCode,
                         SystemError& error) override {
        const std::wstring program = ProgramPathW();
        if (program.empty()) {
            error.code = GetLastError();
            return false;
        }
        const wchar_t* line = GetCommandLineW();
        const std::wstring arguments = ArgumentsAfterProgramName(line != nullptr ? line : L"");
        std::wstring parameters = WidenAnsi(marker);
        if (!arguments.empty()) parameters += L" " + arguments;
        DWORD code = 0;
        const bool started = RunElevatedAndWait(program, parameters, exitCode, code);
        error.code = code;
        return started;
    }

    bool RunsUnderWow64() override {
        // Looked up at run time: a system that lacks the function has no WoW64 either.
        using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
        const HMODULE kernel = GetModuleHandleA("kernel32.dll");
        const FARPROC found =
            kernel != nullptr ? GetProcAddress(kernel, "IsWow64Process") : nullptr;
        if (found == nullptr) return false;
        const auto isWow64Process =
            reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void (*)()>(found));
        BOOL wow64 = FALSE;
        return isWow64Process(GetCurrentProcess(), &wow64) && wow64;
    }
};

}  // namespace

std::unique_ptr<System> CreateWin32System() { return std::make_unique<Win32System>(); }

}  // namespace mivetrak
