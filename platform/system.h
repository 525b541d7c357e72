#pragma once
// Threads, the clock, modules and resources, the command line and the shell folders.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/system_error.h"
#include "platform/types.h"

// <windows.h> defines FreeModule as a macro for FreeLibrary; it would rename the method below in
// any Win32 source that includes both.
#ifdef FreeModule
#undef FreeModule
#endif

namespace mivetrak {

// A thread made suspended. Destroying it closes the handle (the thread itself is not stopped).
class Thread {
public:
    virtual ~Thread() = default;
    virtual bool Resume() = 0;
    virtual void WaitUntilEnded() = 0;  // WaitForSingleObject with INFINITE
    // WaitForSingleObject with a limit: true when the thread has ended within it.
    virtual bool WaitForEnd(uint32_t milliseconds) = 0;
};

using ThreadEntry = uint32_t (*)(void* argument);

// A lock that one process at a time holds (a named mutex). Destroying it releases it.
class ProcessLock {
public:
    virtual ~ProcessLock() = default;
};

class System {
public:
    virtual ~System() = default;

    // Threads and the clock.
    virtual std::unique_ptr<Thread> CreateSuspendedThread(ThreadEntry entry, void* argument) = 0;
    // ExitProcess: ends the process at once, every thread in it included, without destroying
    // anything of the program's first. Does not return (a test's stand-in records the call).
    virtual void EndProcess(uint32_t exitCode) = 0;
    virtual uint32_t TickCount() = 0;  // milliseconds, 32-bit, wrapping
    virtual void SleepMilliseconds(uint32_t milliseconds) = 0;
    // The local date and time now, to the millisecond (GetLocalTime).
    virtual SystemTime LocalTime() = 0;
    // The date and time now in UTC (GetSystemTime).
    virtual SystemTime UtcTime() = 0;
    // This process's id (GetCurrentProcessId).
    virtual uint32_t ProcessId() = 0;

    // Modules and their resources. LoadResourceModule loads a library that holds resources only
    // (no code of it runs), by its full path in the executable's own folder, never from the
    // current folder or the PATH; it leaves the system's error number in error.
    virtual ModuleHandle LoadResourceModule(const std::string& fileName, SystemError& error) = 0;
    virtual void FreeModule(ModuleHandle module) = 0;
    // FormatMessageA from the system, in the user's default language; false when it has none.
    // The Internet library's numbers (12000 to 12999) are looked up in that library's own texts
    // too.
    virtual bool SystemErrorText(uint32_t error, std::string& text) = 0;
    // LoadStringA; false when the id is missing.
    virtual bool LoadText(ModuleHandle module, uint32_t id, std::string& text) = 0;
    // LoadIconA from the module (null: the executable itself); null when missing.
    virtual IconHandle LoadIconResource(ModuleHandle module, uint32_t id) = 0;

    // The command line exactly as the process received it, in UTF-8 (GetCommandLineW): the
    // ANSI form would already hold look-alikes for what the code page cannot spell.
    virtual std::string RawCommandLine() = 0;
    // The full path of the running executable (GetModuleFileNameA); false when it cannot be told.
    virtual bool ExecutablePath(std::string& path) = 0;
    // SHGetFolderPathA(CSIDL_PROGRAM_FILES), looked up at run time in "shfolder.dll": false when
    // the library or the function is missing or the call fails. A 32-bit process on 64-bit
    // Windows is given the 32-bit folder, "Program Files (x86)".
    virtual bool ProgramFilesFolder(std::string& out) = 0;
    // IsWow64Process: this 32-bit process runs on 64-bit Windows, which has a second, native
    // Program Files folder and a second registry view.
    virtual bool RunsUnderWow64() = 0;

    // Takes the lock of that name in the session's namespace ("Local\\..."), without waiting:
    // null when another process holds it (or it cannot be made; error then says why). A lock
    // whose holder ended without giving it back is taken.
    virtual std::unique_ptr<ProcessLock> TryLockNamed(const std::string& name,
                                                      SystemError& error) = 0;
    // The id of the process that started this one (the toolhelp snapshot's parent process id);
    // false when it cannot be told.
    virtual bool ParentProcessId(uint32_t& id) = 0;
    // Whether some process holds a lock of that name now (a named mutex of that name exists).
    virtual bool NamedLockExists(const std::string& name) = 0;
    // Starts this program again with administrator rights through the system's consent prompt
    // ("runas"), with marker as its first argument followed by this run's arguments exactly as
    // they were given, waits for it to end and gives its exit code. False when it did not start:
    // error 1223 (ERROR_CANCELLED) when the user refused the prompt.
    virtual bool RestartElevated(const std::string& marker, uint32_t& exitCode,
                                 SystemError& error) = 0;
};

}  // namespace mivetrak
