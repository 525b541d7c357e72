#pragma once
// An in-memory System for unit tests.
//
// Clock: SleepMilliseconds never waits; it advances the tick count and is recorded (Sleeps()).
//   SetTickCount(t) sets the count; ScriptTickCounts({...}) makes the next TickCount calls answer
//   those values in order (each also becomes the current count), after which the count goes on
//   from the last one. LocalTime answers SetLocalTime's value (2026-12-07 22:00:00.000 unless set),
//   UtcTime SetUtcTime's (2026-12-07 21:00:00.000 unless set).
// ProcessId answers SetProcessId's value (4242 unless set).
// Modules: AddModule(name) makes LoadResourceModule(name) succeed (names match without regard to
// case);
//   FailModule(name, error) makes it fail with that error code; an unknown name fails with 126
//   (module not found). Every load and free is counted (LoadCount, FreeCount, LoadedCount).
//   SetText(module, id, text) gives LoadText's strings, AddIcon(module, id) an icon; the module
//   "" is the executable (a null module handle).
//   SetErrorText(code, text) gives SystemErrorText's texts (none when not set).
// Command line: SetRawCommandLine; the executable's path: SetExecutablePath (default
//   "C:\Program Files\Mivetrak\Mivetrak.exe"). Program Files: SetProgramFilesFolder(path) or
//   FailProgramFilesFolder() (the default: no shell folder library). SetWow64(true) makes the
//   process a 32-bit one on 64-bit Windows (the default: a Windows with one view).
// Named locks: TryLockNamed takes a lock unless HoldLockElsewhere(name) says another process
//   holds it, or the test itself holds it (LockHeld(name) tells). FailLock(name, error) makes it
//   fail as if the lock could not be made. LockCalls() lists "Lock <name>" and "Unlock <name>".
//   NamedLockExists tells whether the lock is held, here or elsewhere.
// Parent process: ParentProcessId answers SetParentProcessId's value (1000 unless set; none
//   after SetParentProcessId(std::nullopt)).
// Elevated restart: RestartElevated records its marker (Restarts()) and answers as scripted by
//   ScriptRestart(started, exitCode, error) (by default: started, exit code 0); onRestart, when
//   set, runs during the call (what the restarted run would do meanwhile).
// Threads: RefuseThreads() makes CreateSuspendedThread fail. Otherwise the thread runs its entry
//   on a real std::thread once resumed; WaitUntilEnded joins it, and so does destroying it;
//   WaitForEnd waits up to that many real milliseconds for its end.
//   ThreadsCreated / ThreadsResumed count them; LastThreadResult is the last entry's result.
// Process: EndProcess returns at once; only the program's own entry point calls it.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/system.h"

namespace mivetrak {

class FakeSystem : public System {
public:
    FakeSystem();
    ~FakeSystem() override;

    // --- clock ---
    void SetTickCount(uint32_t ticks);
    void ScriptTickCounts(std::vector<uint32_t> ticks);
    std::vector<uint32_t> Sleeps() const;
    void SetLocalTime(const SystemTime& time);
    void SetUtcTime(const SystemTime& time);
    void SetProcessId(uint32_t id);
    void SetParentProcessId(std::optional<uint32_t> id);

    // --- modules and resources ---
    ModuleHandle AddModule(const std::string& name);
    void FailModule(const std::string& name, uint32_t error);
    void SetText(const std::string& module, uint32_t id, const std::string& text);
    IconHandle AddIcon(const std::string& module, uint32_t id);
    void SetErrorText(uint32_t error, const std::string& text);
    ModuleHandle HandleOf(const std::string& name) const;  // null when not added
    int LoadCount(const std::string& name) const;
    int FreeCount(const std::string& name) const;
    int LoadedCount(const std::string& name) const;  // loads minus frees
    std::vector<std::string> ModuleCalls() const;    // "Load x", "Free x" in order

    // --- command line and folders ---
    void SetRawCommandLine(const std::string& commandLine);
    void SetExecutablePath(const std::string& path);
    void SetProgramFilesFolder(const std::string& path);
    void FailProgramFilesFolder();
    void SetWow64(bool wow64);

    // --- named locks and the elevated restart ---
    void HoldLockElsewhere(const std::string& name, bool held = true);
    void FailLock(const std::string& name, uint32_t error);
    bool LockHeld(const std::string& name) const;  // by the code under test
    std::vector<std::string> LockCalls() const;
    void ScriptRestart(bool started, uint32_t exitCode, uint32_t error = 0);
    std::vector<std::string> Restarts() const;
    std::function<void()> onRestart;

    // --- threads ---
    void RefuseThreads(bool refuse = true);
    int ThreadsCreated() const;
    int ThreadsResumed() const;
    std::optional<uint32_t> LastThreadResult() const;

    // --- System ---
    std::unique_ptr<Thread> CreateSuspendedThread(ThreadEntry entry, void* argument) override;
    void EndProcess(uint32_t exitCode) override;
    uint32_t TickCount() override;
    void SleepMilliseconds(uint32_t milliseconds) override;
    SystemTime LocalTime() override;
    SystemTime UtcTime() override;
    uint32_t ProcessId() override;
    ModuleHandle LoadResourceModule(const std::string& name, SystemError& error) override;
    void FreeModule(ModuleHandle module) override;
    bool SystemErrorText(uint32_t error, std::string& text) override;
    bool LoadText(ModuleHandle module, uint32_t id, std::string& text) override;
    IconHandle LoadIconResource(ModuleHandle module, uint32_t id) override;
    std::string RawCommandLine() override;
    bool ExecutablePath(std::string& path) override;
    bool ProgramFilesFolder(std::string& out) override;
    bool RunsUnderWow64() override;
    std::unique_ptr<ProcessLock> TryLockNamed(const std::string& name, SystemError& error) override;
    bool ParentProcessId(uint32_t& id) override;
    bool NamedLockExists(const std::string& name) override;
    bool RestartElevated(const std::string& marker, uint32_t& exitCode,
                         SystemError& error) override;

private:
    class FakeThread;
    class FakeLock;
    struct Module {
        std::string name;
        ModuleHandle handle = nullptr;
        std::optional<uint32_t> failure;
        int loads = 0;
        int frees = 0;
    };
    Module* FindModule(const std::string& name);
    const Module* FindModule(const std::string& name) const;
    std::string NameOf(ModuleHandle handle) const;  // "" for null

    mutable std::mutex mutex_;
    uint32_t ticks_ = 0;
    std::deque<uint32_t> scriptedTicks_;
    std::vector<uint32_t> sleeps_;
    SystemTime localTime_{2026, 12, 1, 7, 22, 0, 0, 0};
    uint32_t processId_ = 4242;
    SystemTime utcTime_{2026, 12, 1, 7, 21, 0, 0, 0};
    std::optional<uint32_t> parentProcessId_ = 1000;
    std::vector<Module> modules_;
    std::map<std::pair<std::string, uint32_t>, std::string> texts_;
    std::map<std::pair<std::string, uint32_t>, IconHandle> icons_;
    std::map<uint32_t, std::string> errorTexts_;
    std::vector<std::string> moduleCalls_;
    std::string commandLine_;
    std::string executablePath_ = "C:\\Program Files\\Mivetrak\\Mivetrak.exe";
    std::optional<std::string> programFiles_;
    bool wow64_ = false;
    std::set<std::string> locksElsewhere_;
    std::set<std::string> locksHeld_;
    std::map<std::string, uint32_t> lockFailures_;
    std::vector<std::string> lockCalls_;
    bool restartStarts_ = true;
    uint32_t restartExitCode_ = 0;
    uint32_t restartError_ = 0;
    std::vector<std::string> restarts_;
    bool refuseThreads_ = false;
    int threadsCreated_ = 0;
    int threadsResumed_ = 0;
    std::optional<uint32_t> lastThreadResult_;
    uintptr_t nextHandle_ = 0x1000;
};

}  // namespace mivetrak
